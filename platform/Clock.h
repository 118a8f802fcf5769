// Wall clock in whole seconds and the local date and time. One process-wide clock
// that tests replace to run timeouts without sleeping.
#pragma once

#include <cstdint>

namespace platform {

struct LocalTime {
    int year = 0;   // e.g. 2026
    int month = 0;  // 1..12
    int day = 0;    // 1..31
    int hour = 0;   // 0..23
    int minute = 0; // 0..59
    int second = 0; // 0..60
};

class Clock {
public:
    virtual ~Clock() = default;
    // Seconds since the epoch.
    virtual std::int64_t nowSeconds() const = 0;
    // The local date and time of nowSeconds().
    virtual LocalTime localNow() const = 0;
};

// The system's clock.
class SystemClock final : public Clock {
public:
    std::int64_t nowSeconds() const override;
    LocalTime localNow() const override;
};

// The current process-wide clock (the system clock unless replaced).
const Clock& CurrentClock();
// Replaces the process-wide clock; nullptr restores the system clock. The clock
// must outlive its use; tests install it before starting the threads that read it.
void SetClock(const Clock* clock);

inline std::int64_t NowSeconds() { return CurrentClock().nowSeconds(); }
inline LocalTime LocalNow() { return CurrentClock().localNow(); }

} // namespace platform
