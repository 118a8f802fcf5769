// SPDX-License-Identifier: GPL-3.0-or-later
// The window module's one exported name: the program (host/WindowModule.cpp) looks it
// up after loading ondrel-window.so and hands it the parsed options.
#include "host/HostOptions.h"
#include "host/gui/WindowApp.h"

extern "C" __attribute__((visibility("default"))) int ondrel_run_window(const host::HostOptions* options, int argc,
                                                                        char** argv)
{
    return host::gui::RunWindow(*options, argc, argv);
}
