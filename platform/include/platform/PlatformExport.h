// SPDX-License-Identifier: GPL-3.0-or-later
// Symbol visibility of the platform shared library. The library is built with hidden
// visibility; only what is marked here is exported. Callers see the same mark, so that
// a caller built with hidden visibility itself still shares the class's type
// information with the library.
#pragma once

#define PLATFORM_EXPORT __attribute__((visibility("default")))
// The private members of an exported class that no caller can reach.
#define PLATFORM_LOCAL __attribute__((visibility("hidden")))
