#include "platform/Clock.h"

#include <atomic>
#include <ctime>

namespace platform {
namespace {

const SystemClock systemClock;
std::atomic<const Clock*> currentClock{&systemClock};

} // namespace

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

const Clock& CurrentClock()
{
    return *currentClock.load();
}

void SetClock(const Clock* clock)
{
    currentClock.store(clock != nullptr ? clock : &systemClock);
}

} // namespace platform
