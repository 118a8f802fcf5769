// SPDX-License-Identifier: GPL-3.0-or-later
#include "linkcore/session/LoginBackoff.h"

#include <algorithm>

namespace linkcore {

std::chrono::milliseconds LoginBackoff::recordFailure(const std::string& address, platform::MonoTime now)
{
    std::lock_guard lock(mutex_);
    forgetQuiet(now);
    if (entries_.size() >= kMaxAddresses && !entries_.contains(address)) {
        const auto quietest = std::min_element(entries_.begin(), entries_.end(), [](const auto& a, const auto& b) {
            return a.second.lastFailure < b.second.lastFailure;
        });
        entries_.erase(quietest);
    }
    Entry& entry = entries_[address];
    entry.failures += 1;
    entry.lastFailure = now;
    if (entry.failures < kThreshold) {
        return std::chrono::milliseconds(0);
    }
    // Doubles from kFirstDelay; the shift stays small, so it cannot overflow.
    const int doublings = std::min(entry.failures - kThreshold, 16);
    const std::chrono::milliseconds delay = std::min<std::chrono::milliseconds>(kFirstDelay * (1 << doublings), kLongestDelay);
    entry.servedFrom = now + delay;
    return delay;
}

void LoginBackoff::recordSuccess(const std::string& address)
{
    std::lock_guard lock(mutex_);
    entries_.erase(address);
}

std::chrono::milliseconds LoginBackoff::remaining(const std::string& address, platform::MonoTime now)
{
    std::lock_guard lock(mutex_);
    forgetQuiet(now);
    const auto found = entries_.find(address);
    if (found == entries_.end() || found->second.servedFrom <= now) {
        return std::chrono::milliseconds(0);
    }
    return found->second.servedFrom - now;
}

void LoginBackoff::clear()
{
    std::lock_guard lock(mutex_);
    entries_.clear();
}

void LoginBackoff::forgetQuiet(platform::MonoTime now)
{
    std::erase_if(entries_, [now](const auto& item) { return now - item.second.lastFailure >= kQuietPeriod; });
}

} // namespace linkcore
