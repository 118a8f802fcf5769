// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/PseudoTerminal.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace platform {
namespace {

bool AddFlags(int fd, int statusFlags, int descriptorFlags)
{
    const int status = ::fcntl(fd, F_GETFL);
    const int descriptor = ::fcntl(fd, F_GETFD);
    return status >= 0 && descriptor >= 0 && ::fcntl(fd, F_SETFL, status | statusFlags) == 0 &&
           ::fcntl(fd, F_SETFD, descriptor | descriptorFlags) == 0;
}

std::string SystemError(const char* what)
{
    return std::string(what) + ": " + std::strerror(errno);
}

} // namespace

void MakeRaw(termios& settings)
{
    ::cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
}

bool MakeRaw(int terminal)
{
    termios settings{};
    if (::tcgetattr(terminal, &settings) != 0) {
        return false;
    }
    MakeRaw(settings);
    return ::tcsetattr(terminal, TCSANOW, &settings) == 0;
}

std::optional<PseudoTerminal> OpenPseudoTerminal(std::string& error, const PseudoTerminalOptions& options)
{
    int controller = -1;
    int device = -1;
    winsize size{};
    size.ws_row = options.rows;
    size.ws_col = options.columns;
    const bool sized = options.rows != 0 || options.columns != 0;
    if (::openpty(&controller, &device, nullptr, nullptr, sized ? &size : nullptr) != 0) {
        error = SystemError("openpty");
        return std::nullopt;
    }
    PseudoTerminal terminal{Descriptor(controller), Descriptor(device), {}};
    char name[256] = {};
    if (!AddFlags(controller, O_NONBLOCK, FD_CLOEXEC) || !AddFlags(device, 0, FD_CLOEXEC) ||
        ::ttyname_r(device, name, sizeof name) != 0 || (options.raw && !MakeRaw(device))) {
        error = SystemError("pseudo-terminal set-up");
        return std::nullopt;
    }
    terminal.devicePath = name;
    return terminal;
}

Descriptor OpenRawTerminal(const std::string& path, bool nonBlocking)
{
    int fd = -1;
    do {
        fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | (nonBlocking ? O_NONBLOCK : 0));
    } while (fd < 0 && errno == EINTR);
    Descriptor terminal(fd);
    if (terminal.valid() && !MakeRaw(terminal.get())) {
        terminal.reset();
    }
    return terminal;
}

} // namespace platform
