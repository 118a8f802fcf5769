// SPDX-License-Identifier: GPL-3.0-or-later
// Shared vocabulary of the reply tables (parser and change notifiers): which models
// a row applies to, and how a row names the cells it reads or writes. Internal to
// the library; the tables are constant data, so any thread may read them.
#pragma once

#include "linkcore/radio/RadioState.h"

#include "linkcore/radio/Models.h"

#include <cstdint>
#include <span>

namespace linkcore {

// Finds a row's cells in the state; `index` selects the entry of an indexed group
// and is ignored by the others.
using Locator = std::span<Cell> (*)(RadioState& state, int index);

// A two-letter mnemonic packed into one comparable value.
constexpr std::uint16_t Mnemonic(char first, char second)
{
    return static_cast<std::uint16_t>((static_cast<unsigned char>(first) << 8) | static_cast<unsigned char>(second));
}

} // namespace linkcore

// Locator of a cell or text field of RadioState, given by its path: AT(FA.text),
// AT(AG.value[i]) (i is the row's index).
#define LINKCORE_AT(path)                                                                          \
    [](::linkcore::RadioState & s, [[maybe_unused]] int i) -> std::span<::linkcore::Cell> {       \
        return s.path.cells();                                                                     \
    }
