// SPDX-License-Identifier: GPL-3.0-or-later
// The process-wide clock: wall-clock time for what a person reads (log lines, the
// log file's date) and a monotonic time for every deadline and duration, which a
// step of the wall clock (NTP, a manual change) does not move. Tests replace the
// clock to run timeouts without sleeping; a replacement that moves only when told
// wakes the threads that sleep until one of its deadlines (WatchClock).
#pragma once

#include "platform/PlatformExport.h"

#include <chrono>
#include <cstdint>

namespace platform {

class Wakeup;

struct LocalTime {
    int year = 0;   // e.g. 2026
    int month = 0;  // 1..12
    int day = 0;    // 1..31
    int hour = 0;   // 0..23
    int minute = 0; // 0..59
    int second = 0; // 0..60
};

// A point on the monotonic clock: the time since an arbitrary start, never going back.
using MonoTime = std::chrono::milliseconds;

class PLATFORM_EXPORT Clock {
public:
    virtual ~Clock() = default;
    // Wall clock: seconds since the epoch.
    virtual std::int64_t nowSeconds() const = 0;
    // The local date and time of nowSeconds().
    virtual LocalTime localNow() const = 0;
    // Monotonic clock; CLOCK_MONOTONIC unless a clock of its own is given.
    virtual MonoTime monotonicNow() const;
    // How long, in real milliseconds, a thread may sleep before `deadline` can have
    // come: 0 when it has; -1 (no limit) for a clock that moves only when told, which
    // then wakes the sleepers through ClockMoved().
    virtual int sleepLimitMs(MonoTime deadline) const;
};

// The system's clocks (CLOCK_REALTIME and CLOCK_MONOTONIC).
class PLATFORM_EXPORT SystemClock final : public Clock {
public:
    std::int64_t nowSeconds() const override;
    LocalTime localNow() const override;
};

// The current process-wide clock (the system clock unless replaced).
PLATFORM_EXPORT const Clock& CurrentClock();
// Replaces the process-wide clock; nullptr restores the system clock. The clock
// must outlive its use; tests install it before starting the threads that read it.
PLATFORM_EXPORT void SetClock(const Clock* clock);

inline std::int64_t NowSeconds() { return CurrentClock().nowSeconds(); }
inline LocalTime LocalNow() { return CurrentClock().localNow(); }
inline MonoTime MonotonicNow() { return CurrentClock().monotonicNow(); }
inline int SleepLimitMs(MonoTime deadline) { return CurrentClock().sleepLimitMs(deadline); }

// A thread that sleeps until a deadline of the clock registers its wake-up here for
// the time it sleeps; ClockMoved() raises every registered wake-up. Thread-safe.
PLATFORM_EXPORT void WatchClock(Wakeup* wakeup);
PLATFORM_EXPORT void UnwatchClock(Wakeup* wakeup);
// Called by a clock that moves only when told, after it moved.
PLATFORM_EXPORT void ClockMoved();

} // namespace platform
