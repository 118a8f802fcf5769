// SPDX-License-Identifier: GPL-3.0-or-later
// Symbol visibility of the Skinwork shared library. The library is built with hidden
// visibility; only what is marked here is exported. Callers see the same mark, so that
// a caller built with hidden visibility itself still shares the controls' type
// information with the library.
#pragma once

#define SKINWORK_EXPORT __attribute__((visibility("default")))
