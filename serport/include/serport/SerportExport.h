// Symbol visibility of the Serport shared library. The library is built with hidden
// visibility; only what is marked here is exported. Callers see the same mark, so that
// a caller built with hidden visibility itself still shares the classes' type
// information with the library.
#pragma once

#define SERPORT_EXPORT __attribute__((visibility("default")))
