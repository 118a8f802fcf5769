// SPDX-License-Identifier: GPL-3.0-or-later
// The window lives in a module of its own (ondrel-window.so), loaded only when the
// program opens its window, so that `ondrel --headless` never maps the toolkit: the
// service then costs the memory of the service alone.
//
// The module is looked for beside the program (the build tree), then in the private
// library folder of an installed tree (<prefix>/<libdir>/ondrel). It stays loaded until
// the process ends, as the toolkit's exit handlers expect.
#pragma once

#include "host/HostOptions.h"

#include <filesystem>
#include <vector>

namespace host {

// The module's file name and the C entry point it exports:
//   int ondrel_run_window(const host::HostOptions* options, int argc, char** argv)
// which runs the window until it closes and returns the program's exit status.
inline constexpr const char* kWindowModuleName = "ondrel-window.so";
inline constexpr const char* kWindowEntryName = "ondrel_run_window";
using WindowEntry = int (*)(const HostOptions* options, int argc, char** argv);

// Where the module is looked for, in order, for a program in `programFolder`.
std::vector<std::filesystem::path> WindowModuleCandidates(const std::filesystem::path& programFolder);

// Loads the module and runs the window. With the single-instance lock held and the
// profile chosen by the caller. Returns the window's exit status, or kExitNoWindow
// (with the reason on stderr) when the module cannot be loaded.
int RunWindowModule(const HostOptions& options, int argc, char** argv);

} // namespace host
