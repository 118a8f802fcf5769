// SPDX-License-Identifier: GPL-3.0-or-later
// The radio path of a logged-in client's command: the mnemonic is upper-cased, the
// command is checked against the rules for every model and for the connected model,
// and what passes is to go to the radio with its ";". The filter decides; the
// session carries out what it returns.
#pragma once

#include "linkcore/session/SessionActions.h"
#include "linkcore/session/SessionShared.h"

#include <cstdint>
#include <string_view>

namespace linkcore {

// The rules for every model: 1 allowed, 0 refused.
int GenericCommandAllowed(std::string_view command, int loadMessageEnable);
// The rules of a Corvex; a "TC" command adds the host's notification to `actions`.
int CorvexCommandAllowed(std::string_view command, SessionActions& actions);
// The rules of a Tarsel.
int TarselCommandAllowed(std::string_view command);
// What a logged-in client's command (without its ";") leads to: nothing for a
// refused command, else the radio text, after a notification where one is due.
SessionActions FilterRadioCommand(std::string_view segment, std::int32_t model, int loadMessageEnable);

} // namespace linkcore
