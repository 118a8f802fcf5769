// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Clock.h"

#include "platform/Wakeup.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <ctime>
#include <mutex>
#include <vector>

namespace platform {
namespace {

const SystemClock systemClock;
std::atomic<const Clock*> currentClock{&systemClock};

std::mutex watchersMutex;
std::vector<Wakeup*>& Watchers()
{
    static std::vector<Wakeup*> watchers;
    return watchers;
}

} // namespace

int Clock::sleepLimitMs(MonoTime deadline) const
{
    const MonoTime left = deadline - monotonicNow();
    if (left.count() <= 0) {
        return 0;
    }
    return static_cast<int>(std::min<MonoTime::rep>(left.count(), INT_MAX));
}

std::int64_t SystemClock::nowSeconds() const
{
    return static_cast<std::int64_t>(std::time(nullptr));
}

LocalTime SystemClock::localNow() const
{
    const std::time_t now = static_cast<std::time_t>(nowSeconds());
    std::tm parts{};
    localtime_r(&now, &parts);
    return LocalTime{parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
                     parts.tm_hour, parts.tm_min, parts.tm_sec};
}

MonoTime Clock::monotonicNow() const
{
    // Rounded up, so that a deadline computed from it is never reached early.
    return std::chrono::ceil<MonoTime>(std::chrono::steady_clock::now().time_since_epoch());
}

const Clock& CurrentClock()
{
    return *currentClock.load();
}

void SetClock(const Clock* clock)
{
    currentClock.store(clock != nullptr ? clock : &systemClock);
    ClockMoved();
}

void WatchClock(Wakeup* wakeup)
{
    std::lock_guard lock(watchersMutex);
    Watchers().push_back(wakeup);
}

void UnwatchClock(Wakeup* wakeup)
{
    std::lock_guard lock(watchersMutex);
    std::vector<Wakeup*>& watchers = Watchers();
    watchers.erase(std::remove(watchers.begin(), watchers.end(), wakeup), watchers.end());
}

void ClockMoved()
{
    std::lock_guard lock(watchersMutex);
    for (Wakeup* wakeup : Watchers()) {
        wakeup->raise();
    }
}

} // namespace platform
