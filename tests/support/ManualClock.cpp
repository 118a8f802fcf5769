// SPDX-License-Identifier: GPL-3.0-or-later
#include "testsupport/ManualClock.h"

#include <ctime>

namespace testsupport {

ManualClock::ManualClock(std::int64_t start) : now_(start)
{
    platform::SetClock(this);
}

ManualClock::~ManualClock()
{
    platform::SetClock(nullptr);
}

platform::LocalTime ManualClock::localNow() const
{
    const std::time_t now = static_cast<std::time_t>(nowSeconds());
    std::tm parts{};
    localtime_r(&now, &parts);
    return platform::LocalTime{parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
                               parts.tm_hour, parts.tm_min, parts.tm_sec};
}

void ManualClock::advance(std::int64_t seconds)
{
    now_ += seconds;
    monotonicMs_ += seconds * 1000;
    platform::ClockMoved();
}

void ManualClock::advanceMs(std::int64_t milliseconds)
{
    monotonicMs_ += milliseconds;
    // The wall clock follows in whole seconds.
    now_ = now_.load() + (monotonicMs_.load() / 1000 - (monotonicMs_.load() - milliseconds) / 1000);
    platform::ClockMoved();
}

} // namespace testsupport
