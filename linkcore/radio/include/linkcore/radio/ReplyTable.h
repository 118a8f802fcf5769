// Shared vocabulary of the reply tables (parser and change notifiers): which models
// a row applies to, and how a row names the cells it reads or writes. Internal to
// the library; the tables are constant data, so any thread may read them.
#pragma once

#include "linkcore/radio/RadioState.h"

#include <cstdint>
#include <span>

namespace linkcore {

// The models a row applies to.
enum Models : std::uint8_t {
    kCorvexOnly = 1,
    kTarselOnly = 2,
    kBothModels = kCorvexOnly | kTarselOnly,
    kAnyModel = 4, // every model ID, also unsupported ones and 0
};

constexpr bool ModelAccepts(Models models, std::int32_t model)
{
    return (models & kAnyModel) != 0 || ((models & kCorvexOnly) != 0 && model == kModelCorvex) ||
           ((models & kTarselOnly) != 0 && model == kModelTarsel);
}

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
