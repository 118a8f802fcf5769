// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop program: the Qt application with the message-box handlers, the main
// window for the life of the program, SIGINT and SIGTERM closing it through its
// tear-down. Runs on the program's main thread, after the program has taken the
// single-instance lock, blocked the termination signals and chosen the profile
// (main.cpp), in the window module (ondrel_run_window, host/WindowModule.h).
#pragma once

#include "host/HostOptions.h"

namespace host::gui {

// Returns the exit status: 0 when the window was closed.
int RunWindow(const HostOptions& options, int argc, char** argv);

} // namespace host::gui
