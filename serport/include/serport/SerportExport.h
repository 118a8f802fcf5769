// SPDX-License-Identifier: GPL-3.0-or-later
// Symbol visibility of the Serport shared library. The library is built with hidden
// visibility; only what is marked here is exported. Callers see the same mark, so that
// a caller built with hidden visibility itself still shares the classes' type
// information with the library.
#pragma once

#define SERPORT_EXPORT __attribute__((visibility("default")))
// On a private member function of an exported class: only the class's own members,
// all inside the library, can call it, so it stays out of the export table.
#define SERPORT_LOCAL __attribute__((visibility("hidden")))
