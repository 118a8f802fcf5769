// SPDX-License-Identifier: GPL-3.0-or-later
#include "DeviceTerminal.h"

#include "platform/PseudoTerminal.h"

#include <cerrno>

#include <poll.h>
#include <unistd.h>

namespace radiosim::testing {

DeviceTerminal::DeviceTerminal(const std::string& path) : fd_(platform::OpenRawTerminal(path, true).release()) {}

DeviceTerminal::~DeviceTerminal()
{
    platform::CloseDescriptor(fd_);
}

void DeviceTerminal::send(std::string_view bytes)
{
    platform::WriteAll(fd_, bytes);
}

bool DeviceTerminal::readSome(std::string& text, std::chrono::steady_clock::time_point deadline)
{
    while (!hungUp_) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return false;
        }
        pollfd readable{fd_, POLLIN, 0};
        if (::poll(&readable, 1, static_cast<int>(left.count())) <= 0) {
            continue;
        }
        char chunk[4096];
        const ssize_t n = ::read(fd_, chunk, sizeof chunk);
        if (n > 0) {
            text.append(chunk, static_cast<std::size_t>(n));
            return true;
        }
        if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            hungUp_ = true; // a pseudo-terminal whose controller closed reads as EOF or EIO
        }
    }
    return false;
}

std::string DeviceTerminal::receive(std::size_t expected, std::chrono::milliseconds limit)
{
    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (text.size() < expected && readSome(text, deadline)) {
    }
    return text;
}

std::string DeviceTerminal::receiveUntil(std::string_view suffix, std::chrono::milliseconds limit)
{
    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!text.ends_with(suffix) && readSome(text, deadline)) {
    }
    return text;
}

bool DeviceTerminal::waitForHangUp(std::chrono::milliseconds limit)
{
    std::string dropped;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (readSome(dropped, deadline)) {
        dropped.clear();
    }
    return hungUp_;
}

} // namespace radiosim::testing
