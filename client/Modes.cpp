// SPDX-License-Identifier: GPL-3.0-or-later
// What the three modes share: the one way to speak to the operator, the login with
// its report, and with --voice the call that follows the host's offer.
#include "Modes.h"

#include <cstdio>

#include <unistd.h>

namespace client {

void Say(const std::string& text)
{
    std::fflush(stdout);
    const std::string line = "ondrel-client: " + text + "\n";
    (void)!::write(STDERR_FILENO, line.data(), line.size());
}

int LogInAndReport(ModeContext& context, HostSession& session, bool quietSuccess)
{
    const LoginOutcome outcome = session.open(context.login, context.retry);
    if (!outcome.loggedIn() || !quietSuccess) {
        Say(DescribeLogin(outcome, context.login));
    }
    return ExitStatusOf(outcome);
}

void CallIfOffered(ModeContext& context, const HostSession& session, const SessionItem& item)
{
    if (context.voice != nullptr && item.kind == SessionItem::Kind::Voice && item.text == "@@VE1;") {
        context.voice->callFor(session.fd());
    }
}

} // namespace client
