// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Descriptor.h"

#include <cerrno>
#include <optional>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {
namespace {

using Clock = std::chrono::steady_clock;

// Milliseconds for poll() until `deadline`: 0 once it passed, -1 without one.
int PollTimeout(const std::optional<Clock::time_point>& deadline)
{
    if (!deadline) {
        return -1;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

bool WriteAllUntil(int fd, std::string_view bytes, const std::optional<Clock::time_point>& deadline)
{
    while (!bytes.empty()) {
        ssize_t put = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (put < 0 && errno == ENOTSOCK) {
            put = ::write(fd, bytes.data(), bytes.size());
        }
        if (put > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(put));
            continue;
        }
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd entry{fd, POLLOUT, 0};
            const int timeout = PollTimeout(deadline);
            int ready = 0;
            do {
                ready = timeout == 0 ? 0 : ::poll(&entry, 1, timeout);
            } while (ready < 0 && errno == EINTR);
            if (ready <= 0 || (entry.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
                return false;
            }
            continue;
        }
        return false;
    }
    return true;
}

} // namespace

void CloseDescriptor(int& fd) noexcept
{
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

bool WriteAll(int fd, std::string_view bytes, std::chrono::milliseconds limit)
{
    return WriteAllUntil(fd, bytes, Clock::now() + limit);
}

bool WriteAll(int fd, std::string_view bytes)
{
    return WriteAllUntil(fd, bytes, std::nullopt);
}

} // namespace platform
