// SPDX-License-Identifier: GPL-3.0-or-later
// The command dispatcher of the session: it cuts a batch of client text into
// segments at ";" and routes each one to the login dialogue, the account commands
// ("@@") or the radio command filter, by whether the client has logged in. The
// deciders update the session record and return what is to be done; RunBatch
// carries it out through the session's SessionIo before the next segment.
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
// Dispatches each segment of `batch` (text ending in ";") and carries out its actions
// before the next; stops when the session closes within the batch.
void RunBatch(std::string_view batch, SessionShared& shared, SessionIo& io);
// Carries out one action: the session-close steps for Close, the login flag for
// LogIn, the rest through `io`.
void CarryOut(const SessionAction& action, SessionShared& shared, SessionIo& io);
void CarryOut(const SessionActions& actions, SessionShared& shared, SessionIo& io);

} // namespace linkcore
