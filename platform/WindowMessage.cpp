// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/WindowMessage.h"

namespace platform {

void MessageQueue::post(std::uint32_t message, WParam wParam, LParam lParam) noexcept
{
    {
        std::lock_guard lock(mutex_);
        messages_.push_back(Message{message, wParam, lParam});
    }
    arrived_.notify_one();
}

std::optional<Message> MessageQueue::take(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(mutex_);
    if (!arrived_.wait_for(lock, timeout, [this] { return !messages_.empty(); })) {
        return std::nullopt;
    }
    Message oldest = messages_.front();
    messages_.pop_front();
    return oldest;
}

std::vector<Message> MessageQueue::drain()
{
    std::lock_guard lock(mutex_);
    std::vector<Message> all(messages_.begin(), messages_.end());
    messages_.clear();
    return all;
}

std::size_t MessageQueue::size() const
{
    std::lock_guard lock(mutex_);
    return messages_.size();
}

} // namespace platform
