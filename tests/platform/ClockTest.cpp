// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Clock.h"
#include "platform/Wakeup.h"
#include "testsupport/ManualClock.h"

#include <gtest/gtest.h>

#include <future>

namespace {

using namespace std::chrono_literals;

TEST(ClockTest, TheSystemClockGivesSleepLimitsToItsDeadlines)
{
    const platform::SystemClock clock;
    const platform::MonoTime now = clock.monotonicNow();
    EXPECT_EQ(clock.sleepLimitMs(now - 5ms), 0);
    EXPECT_EQ(clock.sleepLimitMs(now), 0);
    const int limit = clock.sleepLimitMs(now + 500ms);
    EXPECT_GT(limit, 0);
    EXPECT_LE(limit, 500);
    EXPECT_GE(clock.monotonicNow(), now) << "monotonic time never goes back";
}

TEST(ClockTest, AWakeupRaisedManyTimesWakesOnce)
{
    platform::Wakeup wakeup;
    ASSERT_TRUE(wakeup.valid());
    EXPECT_FALSE(wakeup.wait(0));
    wakeup.raise();
    wakeup.raise();
    EXPECT_TRUE(wakeup.wait(0));
    EXPECT_FALSE(wakeup.wait(0));

    platform::WakeupTarget target(wakeup);
    platform::PostMessage(&target, 1, 2, 3);
    EXPECT_TRUE(wakeup.wait(-1));
}

// A sleeper on the manual clock sleeps without limit and is woken only by a move
// of the clock that reaches its deadline; a step of the wall clock moves no deadline.
TEST(ClockTest, AManualClockWakesItsSleepersWhenItMoves)
{
    testsupport::ManualClock clock;
    platform::Wakeup wakeup;
    platform::WatchClock(&wakeup);
    const platform::MonoTime deadline = platform::MonotonicNow() + 2s;

    auto sleeper = std::async(std::launch::async, [&] {
        int wakes = 0;
        while (platform::SleepLimitMs(deadline) != 0) {
            EXPECT_EQ(platform::SleepLimitMs(deadline), -1);
            wakeup.wait(platform::SleepLimitMs(deadline));
            ++wakes;
        }
        return wakes;
    });
    const std::int64_t wall = clock.nowSeconds();
    clock.setWall(wall + 3600);
    clock.setWall(wall - 3600);
    EXPECT_EQ(sleeper.wait_for(50ms), std::future_status::timeout) << "wall steps move no deadline";
    clock.advanceMs(1500);
    EXPECT_EQ(sleeper.wait_for(50ms), std::future_status::timeout);
    clock.advanceMs(500);
    ASSERT_EQ(sleeper.wait_for(10s), std::future_status::ready);
    EXPECT_GE(sleeper.get(), 1);
    EXPECT_EQ(clock.nowSeconds(), wall - 3600 + 2);
    platform::UnwatchClock(&wakeup);
}

} // namespace
