// SPDX-License-Identifier: GPL-3.0-or-later
// The fuzz targets' checks of their own invariants, beyond memory safety. A broken
// one prints its line and condition, then what the target adds (FUZZ_CHECK_WITH:
// the call or the entries at hand), and aborts, which libFuzzer records as a crash
// together with the input.
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK_WITH(condition, context)                                            \
    do {                                                                               \
        if (!(condition)) {                                                            \
            std::fprintf(stderr, "check failed, line %d: %s\n", __LINE__, #condition); \
            context;                                                                   \
            std::abort();                                                              \
        }                                                                              \
    } while (false)

#define FUZZ_CHECK(condition) FUZZ_CHECK_WITH(condition, static_cast<void>(0))
