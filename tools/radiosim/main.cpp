// SPDX-License-Identifier: GPL-3.0-or-later
// radiosim: a simulated transceiver on a pseudo-terminal (or on a given device)
// for trying the host without a radio. Prints the device path on its first line
// and runs until SIGINT or SIGTERM.
#include "platform/VersionNotice.h"
#include "radiosim/RadioSimulator.h"

#include <charconv>
#include <csignal>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* kUsage =
    "usage: radiosim [options]\n"
    "  --model 19|20         model number answered to \"ID;\" (default 20)\n"
    "  --device PATH         serve an existing device instead of a new pseudo-terminal\n"
    "  --link PATH           make PATH a symbolic link to the device while running\n"
    "  --baud N              pace both directions at N baud (10 bit times a character)\n"
    "  --reply-delay MS      processing time before each answer\n"
    "  --silent              never answer\n"
    "  --split N[,N...]|random  write every reply in pieces, cut at these offsets\n"
    "  --piece-gap MS        pause between the pieces of a split reply (default 2)\n"
    "  --noise TEXT|random   send noise bytes before every reply\n"
    "  --close-after N       close the device after N commands\n"
    "  --verbose             log commands and replies on standard error\n"
    "  --help                print this text\n"
    "  --version             print the program's version\n";

struct Settings {
    radiosim::Options options;
    std::string device;
    std::string link;
    bool silent = false;
    std::vector<std::size_t> splitPoints;
    bool randomSplit = false;
    std::string noise;
    bool randomNoise = false;
    std::size_t closeAfter = 0;
    bool verbose = false;
};

template <typename Number>
bool ParseNumber(std::string_view text, Number low, Number high, Number& value)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc{} && end == text.data() + text.size() && value >= low && value <= high;
}

bool ParseSplit(std::string_view text, Settings& settings)
{
    if (text == "random") {
        settings.randomSplit = true;
        return true;
    }
    while (!text.empty()) {
        const auto comma = text.find(',');
        std::size_t cut = 0;
        if (!ParseNumber<std::size_t>(text.substr(0, comma), 1, 1024, cut)) {
            return false;
        }
        settings.splitPoints.push_back(cut);
        text = comma == std::string_view::npos ? std::string_view{} : text.substr(comma + 1);
    }
    return !settings.splitPoints.empty();
}

// Returns false with a message on standard error when the command line is wrong.
bool ParseArguments(int argc, char** argv, Settings& settings)
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view option = argv[i];
        if (option == "--help") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        }
        if (option == "--version") {
            std::printf("radiosim %s\n%s", ONDREL_VERSION, platform::kVersionNotice);
            std::exit(0);
        }
        if (option == "--silent") {
            settings.silent = true;
            continue;
        }
        if (option == "--verbose") {
            settings.verbose = true;
            continue;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "radiosim: unknown option or missing value: %s\n", argv[i]);
            return false;
        }
        const std::string_view value = argv[++i];
        unsigned number = 0;
        bool ok = true;
        if (option == "--model") {
            ok = ParseNumber(value, 1u, 99u, number);
            settings.options.model = static_cast<int>(number);
        } else if (option == "--device") {
            settings.device = value;
        } else if (option == "--link") {
            settings.link = value;
        } else if (option == "--baud") {
            ok = ParseNumber(value, 50u, 4'000'000u, settings.options.baud);
        } else if (option == "--reply-delay") {
            ok = ParseNumber(value, 0u, 60'000u, number);
            settings.options.replyDelay = std::chrono::milliseconds(number);
        } else if (option == "--piece-gap") {
            ok = ParseNumber(value, 0u, 60'000u, number);
            settings.options.pieceGap = std::chrono::milliseconds(number);
        } else if (option == "--split") {
            ok = ParseSplit(value, settings);
        } else if (option == "--noise") {
            settings.randomNoise = value == "random";
            settings.noise = settings.randomNoise ? std::string{} : std::string(value);
            ok = !value.empty();
        } else if (option == "--close-after") {
            ok = ParseNumber<std::size_t>(value, 1, 1'000'000'000, settings.closeAfter);
        } else {
            std::fprintf(stderr, "radiosim: unknown option %s\n", argv[i - 1]);
            return false;
        }
        if (!ok) {
            std::fprintf(stderr, "radiosim: bad value for %s: %s\n", argv[i - 1], argv[i]);
            return false;
        }
    }
    return true;
}

// Protocol text with control characters made visible, for the log.
std::string Visible(std::string_view text)
{
    std::string out;
    for (unsigned char c : text) {
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c < 0x20 || c > 0x7e || c == '\\') {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

// Points `link` at `target`, replacing an old symbolic link but nothing else.
bool MakeLink(const std::string& link, const std::string& target)
{
    struct stat info {};
    if (::lstat(link.c_str(), &info) == 0) {
        if (!S_ISLNK(info.st_mode)) {
            std::fprintf(stderr, "radiosim: %s exists and is not a symbolic link\n", link.c_str());
            return false;
        }
        ::unlink(link.c_str());
    }
    if (::symlink(target.c_str(), link.c_str()) != 0) {
        std::fprintf(stderr, "radiosim: cannot link %s: %s\n", link.c_str(), std::strerror(errno));
        return false;
    }
    return true;
}

// Removes `link` if it still points at `target` (another instance may have taken it over).
void RemoveLink(const std::string& link, const std::string& target)
{
    char buffer[4096];
    const ssize_t n = ::readlink(link.c_str(), buffer, sizeof buffer);
    if (n > 0 && std::string_view(buffer, static_cast<std::size_t>(n)) == target) {
        ::unlink(link.c_str());
    }
}

} // namespace

int main(int argc, char** argv)
{
    Settings settings;
    if (!ParseArguments(argc, argv, settings)) {
        std::fputs(kUsage, stderr);
        return 2;
    }

    // Signals are taken by sigwait below; every thread inherits this mask. SIGUSR1
    // is raised by the simulator's thread when the device closes on its own.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    if (settings.verbose) {
        settings.options.trace = [](radiosim::Direction direction, std::string_view text) {
            std::fprintf(stderr, "%s %s\n", direction == radiosim::Direction::Received ? "<-" : "->",
                         Visible(text).c_str());
        };
    }
    settings.options.onClosed = [] { ::kill(::getpid(), SIGUSR1); };

    radiosim::RadioSimulator radio(settings.options);
    radio.setSilent(settings.silent);
    radio.setSplitPoints(settings.splitPoints);
    radio.setRandomSplit(settings.randomSplit);
    radio.setNoise(settings.noise);
    radio.setRandomNoise(settings.randomNoise);
    radio.closeAfterCommands(settings.closeAfter);

    const bool started = settings.device.empty() ? radio.start() : radio.startOnDevice(settings.device);
    if (!started) {
        std::fprintf(stderr, "radiosim: %s\n", radio.error().c_str());
        return 1;
    }
    if (!settings.link.empty() && !MakeLink(settings.link, radio.devicePath())) {
        return 1;
    }
    std::printf("%s\n", radio.devicePath().c_str());
    std::fflush(stdout);
    std::fprintf(stderr, "radiosim: model %d on %s\n", settings.options.model, radio.devicePath().c_str());

    int received = 0;
    while (sigwait(&signals, &received) != 0) {
    }
    if (received == SIGUSR1) {
        std::fprintf(stderr, "radiosim: device closed\n");
    }
    radio.stop();
    if (!settings.link.empty()) {
        RemoveLink(settings.link, radio.devicePath());
    }
    return 0;
}
