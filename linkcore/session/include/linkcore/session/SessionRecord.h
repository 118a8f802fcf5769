// SPDX-License-Identifier: GPL-3.0-or-later
// SessionRecord: the current network client's session. The session thread alone
// changes it; the host's thread and the radio reader read it. Flags, counters and
// times are atomics; the two texts are guarded by the record's own mutex.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace linkcore {

struct SessionRecord {
    // Longest user ID a client may give; room a caller gives GetLoginUserID.
    static constexpr std::size_t kMaxUserIdLength = 32;
    static constexpr std::size_t kUserIdSize = 35;
    static constexpr std::size_t kClientIpSize = 46; // an IPv6 address in text, and its NUL

    std::atomic<int> clientLoggedIn{0};
    std::atomic<int> loginFailures{0};
    // Times on the monotonic clock (platform::MonotonicNow), in milliseconds.
    std::atomic<std::int64_t> lastReceiveTime{0}; // the client's last data
    std::atomic<int> autoStatus{0};
    std::atomic<int> passwordChangeResult{0};
    std::atomic<std::int64_t> sessionStartTime{0}; // acceptance, then login
    std::atomic<int> limitHours{0};
    std::atomic<int> limitMinutes{0};
    std::atomic<int> limitSeconds{0};
    std::atomic<int> elapsedHours{0};
    std::atomic<int> elapsedMinutes{0};
    std::atomic<int> elapsedSeconds{0};

    std::string userId() const
    {
        std::lock_guard lock(textMutex_);
        return userId_;
    }
    // Keeps at most kMaxUserIdLength characters.
    void setUserId(std::string_view id)
    {
        std::lock_guard lock(textMutex_);
        userId_.assign(id.substr(0, kMaxUserIdLength));
    }
    std::string clientIp() const
    {
        std::lock_guard lock(textMutex_);
        return clientIp_;
    }
    // Keeps at most kClientIpSize - 1 characters.
    void setClientIp(std::string_view ip)
    {
        std::lock_guard lock(textMutex_);
        clientIp_.assign(ip.substr(0, kClientIpSize - 1));
    }

    // The record of a session that has not begun: every field empty or 0.
    void clear()
    {
        setUserId({});
        setClientIp({});
        clientLoggedIn = 0;
        loginFailures = 0;
        lastReceiveTime = 0;
        autoStatus = 0;
        passwordChangeResult = 0;
        sessionStartTime = 0;
        limitHours = 0;
        limitMinutes = 0;
        limitSeconds = 0;
        clearElapsed();
    }
    void clearElapsed()
    {
        elapsedHours = 0;
        elapsedMinutes = 0;
        elapsedSeconds = 0;
    }

private:
    mutable std::mutex textMutex_;
    std::string userId_;
    std::string clientIp_;
};

} // namespace linkcore
