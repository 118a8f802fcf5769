// SPDX-License-Identifier: GPL-3.0-or-later
// A platform clock that stands still until the test moves it; installed as the
// process-wide clock for its lifetime. Safe to read from any thread. advance()
// moves the wall and the monotonic clock together and wakes every thread that
// sleeps until a deadline; setWall() steps the wall clock alone, as NTP or a
// person setting the time would.
#pragma once

#include "platform/Clock.h"

#include <atomic>
#include <cstdint>

namespace testsupport {

class ManualClock final : public platform::Clock {
public:
    explicit ManualClock(std::int64_t start = 1'800'000'000);
    ~ManualClock() override;

    std::int64_t nowSeconds() const override { return now_.load(); }
    platform::LocalTime localNow() const override;
    platform::MonoTime monotonicNow() const override { return platform::MonoTime(monotonicMs_.load()); }
    // Never reached by waiting: only advance() moves the clock.
    int sleepLimitMs(platform::MonoTime deadline) const override
    {
        return deadline <= monotonicNow() ? 0 : -1;
    }

    void advance(std::int64_t seconds);
    void advanceMs(std::int64_t milliseconds);
    // Steps the wall clock only; no deadline moves.
    void setWall(std::int64_t seconds) { now_ = seconds; }
    // Kept for the tests that move the wall clock to a date; the monotonic clock stays.
    void set(std::int64_t seconds) { setWall(seconds); }

private:
    std::atomic<std::int64_t> now_;
    std::atomic<std::int64_t> monotonicMs_{1'000'000};
};

} // namespace testsupport
