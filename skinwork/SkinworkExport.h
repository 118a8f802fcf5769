// Symbol visibility of the Skinwork shared library: only what is marked here is exported.
#pragma once

#if defined(SKINWORK_BUILDING)
#define SKINWORK_EXPORT __attribute__((visibility("default")))
#else
#define SKINWORK_EXPORT
#endif
