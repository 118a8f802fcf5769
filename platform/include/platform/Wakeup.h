// SPDX-License-Identifier: GPL-3.0-or-later
// Wakeup: a wake-up signal on an eventfd that one thread sleeps on (alone or in a
// poll() with other descriptors) and any thread raises. Raising it several times
// before the sleeper wakes gives one wake-up. WakeupTarget raises one for every
// message posted to it, so that a library's notifications wake a sleeping thread.
#pragma once

#include "platform/PlatformExport.h"
#include "platform/WindowMessage.h"

namespace platform {

class PLATFORM_EXPORT Wakeup {
public:
    Wakeup();
    ~Wakeup();
    Wakeup(const Wakeup&) = delete;
    Wakeup& operator=(const Wakeup&) = delete;

    // False when the system gave no eventfd; raise and wait then do nothing.
    bool valid() const { return fd_ >= 0; }
    // The descriptor, readable while raised; for poll() only.
    int fd() const { return fd_; }
    // Any thread; never blocks.
    void raise() noexcept;
    // Lowers it; true when it was raised.
    bool clear() noexcept;
    // Sleeps until raised or `timeoutMs` passed (-1: no limit); lowers it and returns
    // true when it was raised.
    bool wait(int timeoutMs) noexcept;

private:
    int fd_ = -1;
};

class PLATFORM_EXPORT WakeupTarget final : public MessageTarget {
public:
    explicit WakeupTarget(Wakeup& wakeup) : wakeup_(wakeup) {}
    void post(std::uint32_t, WParam, LParam) noexcept override { wakeup_.raise(); }

private:
    Wakeup& wakeup_;
};

} // namespace platform
