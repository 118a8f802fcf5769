// SPDX-License-Identifier: GPL-3.0-or-later
// The command dispatcher of the session: it cuts a batch of client text into
// segments at ";" and routes each one to the login dialogue, the account commands
// ("@@") or the radio command filter, by whether the client has logged in. The
// deciders update the session record and return what is to be done; the session
// server carries it out (SessionServer.h, RunBatch). Nothing here calls the server.
#pragma once

#include "linkcore/session/SessionActions.h"
#include "linkcore/session/SessionShared.h"

#include <string_view>

namespace linkcore {

// The login dialogue before login: 1 handled or ignored, 0 refused (the caller then
// answers the refusal).
int DecideLogin(std::string_view segment, SessionShared& shared, SessionActions& actions);
// Account commands "@@" plus at least two letters, the two letters upper-cased.
void DecideAccountCommand(std::string_view command, SessionShared& shared, SessionActions& actions);
int DecideAccountCommandA(std::string_view command, SessionShared& shared, SessionActions& actions);
int DecideAccountCommandC(std::string_view command, SessionShared& shared, SessionActions& actions);
int DecideAccountCommandS(std::string_view command, SessionShared& shared, SessionActions& actions);
// What one segment (client text without its ";") leads to.
SessionActions DispatchSegment(std::string_view segment, SessionShared& shared);

} // namespace linkcore
