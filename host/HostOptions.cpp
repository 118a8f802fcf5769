// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/HostOptions.h"

#include "platform/Profile.h"

namespace host {

std::string JoinCommandLine(int argc, const char* const* argv)
{
    std::string line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) {
            line += ' ';
        }
        line += argv[i];
    }
    return line;
}

HostOptions ParseHostOptions(int argc, const char* const* argv)
{
    HostOptions options;
    const std::string line = JoinCommandLine(argc, argv);
    options.corvexEnabled = line.find("-ECV") != std::string::npos;
    options.loadMessageEnabled = line.find("-ELM") != std::string::npos;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--headless") {
            options.headless = true;
        } else if (argument == "--help" || argument == "-h") {
            options.help = true;
        } else if (argument == "--version") {
            options.version = true;
        } else if (argument == "--fingerprint") {
            options.fingerprint = true;
        }
    }
    options.profile = platform::Profile::pathFromArguments(argc, argv);
    return options;
}

std::string WindowTitle(const HostOptions& options)
{
    std::string title = "Ondrel";
    if (options.corvexEnabled) {
        title += " -ECV";
    }
    if (options.loadMessageEnabled) {
        title += " -ELM";
    }
    return title;
}

} // namespace host
