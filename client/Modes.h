// SPDX-License-Identifier: GPL-3.0-or-later
// The three ways ondrel-client works once it has its settings: the console, the
// one-shot commands and the relay of a pseudo-terminal or local TCP port, and what
// they share (Modes.cpp). main.cpp picks the mode; nothing here calls back into it.
#pragma once

#include "client/Options.h"
#include "client/Session.h"
#include "VoiceLink.h"

namespace client {

// What every mode shares: the options, the login settings, the way to ask for a
// password again (empty when it came from a file or the environment), and a
// descriptor that becomes readable when SIGINT, SIGTERM or SIGHUP arrives.
struct ModeContext {
    const Options& options;
    LoginSettings& login;
    PasswordRetry retry;
    int signalFd = -1;
    // With --voice: calls the host after each login; null without.
    VoiceLink* voice = nullptr;
};

// Each returns the exit status.
int RunConsole(ModeContext& context);
int RunOneShot(ModeContext& context);
int RunRelay(ModeContext& context);

// Writes "ondrel-client: <text>" to standard error.
void Say(const std::string& text);

// Logs in and reports a failure; the exit status, kExitOk when logged in.
int LogInAndReport(ModeContext& context, HostSession& session, bool quietSuccess);

// With --voice, calls the host when it says that it answers calls during the session
// ("@@VE1;"): only then is its telephony engine up and listening to its own events,
// so that the call cannot ring unseen at an engine still starting.
void CallIfOffered(ModeContext& context, const HostSession& session, const SessionItem& item);

} // namespace client
