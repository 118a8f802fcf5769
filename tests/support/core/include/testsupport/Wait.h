// SPDX-License-Identifier: GPL-3.0-or-later
// Bounded waiting for a condition, in place of fixed sleeps.
#pragma once

#include <chrono>
#include <thread>

namespace testsupport {

// Polls `condition` every millisecond until it holds or `limit` has passed;
// returns its last value.
template <typename Condition>
bool WaitUntil(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(5))
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return condition();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace testsupport
