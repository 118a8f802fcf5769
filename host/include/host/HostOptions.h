// SPDX-License-Identifier: GPL-3.0-or-later
// The host's command line: the two radio options, which are found as plain,
// case-sensitive substrings anywhere in the whole command line (even inside another
// word), the headless switch and the profile file. Pure functions; any thread.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace host {

struct HostOptions {
    bool corvexEnabled = false;     // "-ECV": model 19 is a supported radio
    bool loadMessageEnabled = false; // "-ELM": clients may send "LM" with parameters
    bool headless = false;           // "--headless": run the service without a window
    bool help = false;               // "--help" or "-h"
    bool version = false;            // "--version"
    bool fingerprint = false;        // "--fingerprint": print the TLS certificate's fingerprint
    std::optional<std::filesystem::path> profile; // "--profile FILE" or "--profile=FILE"
};

// The arguments after the program name joined by single blanks, as one command line.
std::string JoinCommandLine(int argc, const char* const* argv);
HostOptions ParseHostOptions(int argc, const char* const* argv);
// "Ondrel", followed by " -ECV" and " -ELM" when those options are on.
std::string WindowTitle(const HostOptions& options);

} // namespace host
