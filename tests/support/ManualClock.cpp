#include "tests/support/ManualClock.h"

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

} // namespace testsupport
