// SPDX-License-Identifier: GPL-3.0-or-later
#include "testsupport/PtyPair.h"

#include "platform/PseudoTerminal.h"

#include <cerrno>
#include <optional>
#include <stdexcept>

#include <poll.h>
#include <unistd.h>

namespace testsupport {

PtyPair::PtyPair()
{
    std::string error;
    std::optional<platform::PseudoTerminal> terminal = platform::OpenPseudoTerminal(error);
    if (!terminal) {
        throw std::runtime_error(error);
    }
    controller_ = terminal->controller.release();
    deviceKeepOpen_ = terminal->device.release();
    devicePath_ = terminal->devicePath;
}

PtyPair::~PtyPair()
{
    closeController();
    platform::CloseDescriptor(deviceKeepOpen_);
}

void PtyPair::send(std::string_view bytes)
{
    if (!platform::WriteAll(controller_, bytes)) {
        throw std::runtime_error("write to pty failed");
    }
}

std::string PtyPair::receive(std::size_t expected, std::chrono::milliseconds limit)
{
    std::string received;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (received.size() < expected) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            break;
        }
        pollfd readable{controller_, POLLIN, 0};
        if (::poll(&readable, 1, static_cast<int>(left.count())) <= 0) {
            continue;
        }
        char chunk[4096];
        const ssize_t n = ::read(controller_, chunk, sizeof chunk);
        if (n > 0) {
            received.append(chunk, static_cast<std::size_t>(n));
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            break;
        }
    }
    return received;
}

std::string PtyPair::receiveFor(std::chrono::milliseconds limit)
{
    return receive(static_cast<std::size_t>(-1), limit);
}

void PtyPair::closeController()
{
    platform::CloseDescriptor(controller_);
}

} // namespace testsupport
