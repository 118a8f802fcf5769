#include "tests/radiosim/DeviceTerminal.h"

#include <cerrno>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace radiosim::testing {

DeviceTerminal::DeviceTerminal(const std::string& path)
    : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC))
{
    termios raw{};
    if (fd_ >= 0 && ::tcgetattr(fd_, &raw) == 0) {
        ::cfmakeraw(&raw);
        ::tcsetattr(fd_, TCSANOW, &raw);
    }
}

DeviceTerminal::~DeviceTerminal()
{
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

void DeviceTerminal::send(std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
        if (n > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
        } else if (n < 0 && errno == EAGAIN) {
            pollfd writable{fd_, POLLOUT, 0};
            ::poll(&writable, 1, 100);
        } else if (!(n < 0 && errno == EINTR)) {
            return;
        }
    }
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
