// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/WindowMessage.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

using platform::Message;
using platform::MessageQueue;

TEST(MessageQueue, DeliversInOrderAndTimesOutWhenEmpty)
{
    MessageQueue queue;
    platform::PostMessage(&queue, 0x3200, 0x1000, 7);
    platform::PostMessage(&queue, 0x3200, 0x3000, 1);
    EXPECT_EQ(queue.take(std::chrono::milliseconds(0)), (Message{0x3200, 0x1000, 7}));
    EXPECT_EQ(queue.take(std::chrono::milliseconds(0)), (Message{0x3200, 0x3000, 1}));
    EXPECT_FALSE(queue.take(std::chrono::milliseconds(1)).has_value());
}

TEST(MessageQueue, WaiterWakesForAMessageFromAnotherThread)
{
    MessageQueue queue;
    std::thread poster([&] { queue.post(0x1110, 1, 42); });
    const auto message = queue.take(std::chrono::seconds(5));
    poster.join();
    ASSERT_TRUE(message.has_value());
    EXPECT_EQ(message->lParam, 42);
}

TEST(MessageQueue, ManyPostersLoseNothing)
{
    MessageQueue queue;
    std::vector<std::thread> posters;
    for (int t = 0; t < 4; ++t) {
        posters.emplace_back([&, t] {
            for (int i = 0; i < 500; ++i) {
                queue.post(static_cast<std::uint32_t>(t), static_cast<platform::WParam>(i), 0);
            }
        });
    }
    for (auto& poster : posters) {
        poster.join();
    }
    const auto all = queue.drain();
    ASSERT_EQ(all.size(), 2000u);
    std::vector<int> next(4, 0);
    for (const Message& message : all) {
        EXPECT_EQ(static_cast<int>(message.wParam), next[message.message]++);
    }
    EXPECT_EQ(queue.size(), 0u);
}

} // namespace
