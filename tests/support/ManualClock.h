// A platform clock that stands still until the test moves it; installed as the
// process-wide clock for its lifetime. Safe to read from any thread.
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
    void advance(std::int64_t seconds) { now_ += seconds; }
    void set(std::int64_t seconds) { now_ = seconds; }

private:
    std::atomic<std::int64_t> now_;
};

} // namespace testsupport
