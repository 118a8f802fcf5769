// SPDX-License-Identifier: GPL-3.0-or-later
// Posted window messages between the libraries and the host.
// A window handle is a pointer to a MessageTarget; a null handle means "no messages".
// post() is thread-safe and never blocks: any thread may post to any target.
#pragma once

#include "platform/PlatformExport.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

namespace platform {

using WParam = std::uintptr_t;
using LParam = std::intptr_t;

struct Message {
    std::uint32_t message = 0;
    WParam wParam = 0;
    LParam lParam = 0;

    bool operator==(const Message&) const = default;
};

class PLATFORM_EXPORT MessageTarget {
public:
    virtual ~MessageTarget() = default;
    // Queues the message for the target's owner; must not block the caller.
    virtual void post(std::uint32_t message, WParam wParam, LParam lParam) noexcept = 0;
};

using WindowHandle = MessageTarget*;

// Posts to `window` when it is non-null; the libraries' one way of notifying.
inline void PostMessage(WindowHandle window, std::uint32_t message, WParam wParam, LParam lParam) noexcept
{
    if (window != nullptr) {
        window->post(message, wParam, lParam);
    }
}

// A target backed by an unbounded FIFO that one thread waits on and drains:
// the headless host's message loop and the tests use it.
class PLATFORM_EXPORT MessageQueue final : public MessageTarget {
public:
    void post(std::uint32_t message, WParam wParam, LParam lParam) noexcept override;

    // Takes the oldest message, waiting up to `timeout`; nullopt when none arrived.
    std::optional<Message> take(std::chrono::milliseconds timeout);
    // Takes every queued message without waiting.
    std::vector<Message> drain();
    std::size_t size() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<Message> messages_;
};

} // namespace platform
