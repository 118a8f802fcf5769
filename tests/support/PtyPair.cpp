#include "tests/support/PtyPair.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

namespace testsupport {

PtyPair::PtyPair()
{
    int device = -1;
    char name[256] = {};
    if (::openpty(&controller_, &device, name, nullptr, nullptr) != 0) {
        throw std::runtime_error("openpty failed");
    }
    termios raw{};
    ::tcgetattr(device, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(device, TCSANOW, &raw);
    ::fcntl(controller_, F_SETFD, FD_CLOEXEC);
    ::fcntl(device, F_SETFD, FD_CLOEXEC);
    ::fcntl(controller_, F_SETFL, ::fcntl(controller_, F_GETFL) | O_NONBLOCK);
    deviceKeepOpen_ = device;
    devicePath_ = name;
}

PtyPair::~PtyPair()
{
    closeController();
    if (deviceKeepOpen_ >= 0) {
        ::close(deviceKeepOpen_);
    }
}

void PtyPair::send(std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(controller_, bytes.data(), bytes.size());
        if (n > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
        } else if (n < 0 && errno == EAGAIN) {
            pollfd writable{controller_, POLLOUT, 0};
            ::poll(&writable, 1, 100);
        } else if (!(n < 0 && errno == EINTR)) {
            throw std::runtime_error("write to pty failed");
        }
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
    if (controller_ >= 0) {
        ::close(controller_);
        controller_ = -1;
    }
}

} // namespace testsupport
