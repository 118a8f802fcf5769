// SPDX-License-Identifier: GPL-3.0-or-later
// Where the password comes from: a file only its owner can read, the environment
// variable ONDREL_PASSWORD, or a prompt without echo on the terminal. Never the
// command line, where every user of the machine could read it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace client {

inline constexpr const char* kPasswordVariable = "ONDREL_PASSWORD";

// Reads the first line of `path`. Refuses (false, `error` set) a file that is not a
// regular file of this user or that its group or others may read or write.
bool ReadPasswordFile(const std::string& path, std::string& password, std::string& error);

// Takes the password from ONDREL_PASSWORD and overwrites it in the process's
// environment block, so that it does not stay readable there.
std::optional<std::string> TakeEnvironmentPassword();

enum class PromptResult {
    Entered,     // `password` holds the line typed
    Cancelled,   // end of input (Ctrl-D) or Ctrl-C at the prompt
    Interrupted, // `watchFd` became readable first
    NoTerminal,  // the process has no terminal to ask on
};

// Asks on the controlling terminal with echo off. While waiting, `watchFd` (when
// not -1) is watched too, so that a host closing the login interrupts the prompt.
PromptResult PromptPassword(std::string_view prompt, int watchFd, std::string& password);

} // namespace client
