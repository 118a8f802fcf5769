// SPDX-License-Identifier: GPL-3.0-or-later
// LoginBackoff: failed logins per client address. Once an address has failed
// kThreshold logins, each further failure makes it wait a delay (kFirstDelay,
// doubled with every further failure, at most kLongestDelay) before it is served
// again. An address without a failed login for kQuietPeriod, or with a login that
// succeeded, is forgotten. Times come from the caller (the monotonic clock), so the
// table holds no clock of its own. Thread-safe.
#pragma once

#include "platform/Clock.h"

#include <chrono>
#include <cstddef>
#include <map>
#include <mutex>
#include <string>

namespace linkcore {

class LoginBackoff {
public:
    static constexpr int kThreshold = 3;
    static constexpr std::chrono::seconds kFirstDelay{5};
    static constexpr std::chrono::seconds kLongestDelay{300};
    static constexpr std::chrono::seconds kQuietPeriod{900};
    // Addresses kept at most; the one quiet longest makes room for a new one.
    static constexpr std::size_t kMaxAddresses = 1024;

    // Counts a failed login of `address` at `now`; the delay this failure starts
    // (zero below the threshold), so that the caller logs each back-off once.
    std::chrono::milliseconds recordFailure(const std::string& address, platform::MonoTime now);
    // A successful login: the address is forgotten.
    void recordSuccess(const std::string& address);
    // How long `address` still waits at `now`; zero when it may be served.
    std::chrono::milliseconds remaining(const std::string& address, platform::MonoTime now);
    // Forgets every address.
    void clear();

private:
    struct Entry {
        int failures = 0;
        platform::MonoTime lastFailure{};
        platform::MonoTime servedFrom{};
    };
    void forgetQuiet(platform::MonoTime now);

    std::mutex mutex_;
    std::map<std::string, Entry> entries_;
};

} // namespace linkcore
