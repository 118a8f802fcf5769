// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Wakeup.h"

#include <cerrno>
#include <cstdint>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace platform {

Wakeup::Wakeup() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

Wakeup::~Wakeup()
{
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

void Wakeup::raise() noexcept
{
    if (fd_ < 0) {
        return;
    }
    const std::uint64_t one = 1;
    while (::write(fd_, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

bool Wakeup::clear() noexcept
{
    std::uint64_t count = 0;
    ssize_t got = -1;
    do {
        got = fd_ >= 0 ? ::read(fd_, &count, sizeof count) : 0;
    } while (got < 0 && errno == EINTR);
    return got == static_cast<ssize_t>(sizeof count) && count > 0;
}

bool Wakeup::wait(int timeoutMs) noexcept
{
    if (fd_ < 0) {
        return false;
    }
    pollfd entry{fd_, POLLIN, 0};
    int ready = 0;
    do {
        ready = ::poll(&entry, 1, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    return ready > 0 && clear();
}

} // namespace platform
