// SPDX-License-Identifier: GPL-3.0-or-later
// The models a table row serves, for the reply parser, the change notifier, the
// command builders and the status readers alike.
#pragma once

#include "linkcore/LinkcoreCodes.h"

#include <cstdint>

namespace linkcore {

enum Models : std::uint8_t {
    kCorvexOnly = 1,
    kTarselOnly = 2,
    kBothModels = kCorvexOnly | kTarselOnly,
    kAnyModel = 4, // every model ID, also unsupported ones and 0
};

// Short names for the tables.
inline constexpr Models k19 = kCorvexOnly;
inline constexpr Models k20 = kTarselOnly;
inline constexpr Models kBoth = kBothModels;

constexpr bool ModelAccepts(Models models, std::int32_t model)
{
    return (models & kAnyModel) != 0 || ((models & kCorvexOnly) != 0 && model == kModelCorvex) ||
           ((models & kTarselOnly) != 0 && model == kModelTarsel);
}

} // namespace linkcore
