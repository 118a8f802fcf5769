// SPDX-License-Identifier: GPL-3.0-or-later
// LINKCORE_EXPORT marks what libLinkcore exports; the library is built with hidden
// visibility, so everything else in it stays inside.
#pragma once

#if defined(__GNUC__)
#define LINKCORE_EXPORT __attribute__((visibility("default")))
#else
#define LINKCORE_EXPORT
#endif
