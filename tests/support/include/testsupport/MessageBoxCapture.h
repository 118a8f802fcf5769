// SPDX-License-Identifier: GPL-3.0-or-later
// Records the message boxes raised while it lives, from any thread, text boxes and
// titled boxes alike, and puts the previous handlers back when it goes.
#pragma once

#include "platform/MessageBox.h"

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace testsupport {

class MessageBoxCapture {
public:
    struct Box {
        std::string text;
        std::string title; // empty for a text box
        platform::MessageBoxIcon icon = platform::MessageBoxIcon::Error;
        bool operator==(const Box&) const = default;
    };

    MessageBoxCapture()
    {
        previous_ = platform::SetMessageBoxHandler([this](std::string_view text) { record({std::string(text), {}}); });
        previousTitled_ = platform::SetTitledMessageBoxHandler(
            [this](std::string_view text, std::string_view title, platform::MessageBoxIcon icon) {
                record({std::string(text), std::string(title), icon});
            });
    }
    ~MessageBoxCapture()
    {
        platform::SetTitledMessageBoxHandler(std::move(previousTitled_));
        platform::SetMessageBoxHandler(std::move(previous_));
    }
    MessageBoxCapture(const MessageBoxCapture&) = delete;
    MessageBoxCapture& operator=(const MessageBoxCapture&) = delete;

    std::vector<std::string> texts() const
    {
        std::lock_guard lock(mutex_);
        std::vector<std::string> texts;
        for (const Box& box : boxes_) {
            texts.push_back(box.text);
        }
        return texts;
    }
    std::vector<Box> boxes() const
    {
        std::lock_guard lock(mutex_);
        return boxes_;
    }

private:
    void record(Box box)
    {
        std::lock_guard lock(mutex_);
        boxes_.push_back(std::move(box));
    }

    mutable std::mutex mutex_;
    std::vector<Box> boxes_;
    platform::MessageBoxHandler previous_;
    platform::TitledMessageBoxHandler previousTitled_;
};

} // namespace testsupport
