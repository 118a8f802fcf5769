// The desktop program: one copy per user (the lock that `--headless` takes too, so a
// window and a headless copy exclude each other; a second copy ends at once and
// silently), the settings profile, the Qt application with the message-box handlers,
// the main window for the life of the program, SIGINT and SIGTERM closing it through
// its tear-down. Runs on the program's main thread.
#pragma once

#include "host/HostOptions.h"

#include <filesystem>
#include <optional>

namespace host::gui {

// Returns the exit status: 0 when the window was closed, kExitAlreadyRunning (3) for a
// second copy, kExitNoInstanceLock (5) when the lock cannot be made.
int RunWindow(const HostOptions& options, int argc, char** argv);

} // namespace host::gui
