// Records the texts of the message boxes raised while it lives, from any thread,
// and puts the previous handler back when it goes.
#pragma once

#include "platform/MessageBox.h"

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace testsupport {

class MessageBoxCapture {
public:
    MessageBoxCapture()
    {
        previous_ = platform::SetMessageBoxHandler([this](std::string_view text) {
            std::lock_guard lock(mutex_);
            texts_.emplace_back(text);
        });
    }
    ~MessageBoxCapture() { platform::SetMessageBoxHandler(std::move(previous_)); }
    MessageBoxCapture(const MessageBoxCapture&) = delete;
    MessageBoxCapture& operator=(const MessageBoxCapture&) = delete;

    std::vector<std::string> texts() const
    {
        std::lock_guard lock(mutex_);
        return texts_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> texts_;
    platform::MessageBoxHandler previous_;
};

} // namespace testsupport
