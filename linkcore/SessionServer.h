// The session thread's loop and the helpers that the session side shares. A
// SessionLoop belongs to the session thread (CLinkcore::ThreadSock), which alone
// calls it; it works on the process-wide LinkcoreShared record.
#pragma once

#include "linkcore/Linkcore.h"
#include "linkcore/LinkcoreShared.h"

#include <chrono>
#include <cstdint>
#include <stop_token>
#include <string>
#include <string_view>

namespace linkcore {

// How long a client may stay connected without logging in, and a logged-in client
// may stay silent, in seconds of the platform clock.
inline constexpr std::int64_t kLoginTimeLimit = 30;
inline constexpr std::int64_t kIdleTimeLimit = 30;
// Client text without ";" may not reach this many characters.
inline constexpr std::size_t kCommandTextLimit = 1024;
// The longest wait of one pass for want of work.
inline constexpr std::chrono::milliseconds kPassWait{10};
// How often a lost listener is set up again.
inline constexpr std::chrono::seconds kListenRetryInterval{1};

// Sends `text` whole to the connected client; 0 when there is none or it is gone.
int SendToClient(LinkcoreShared& shared, std::string_view text);
// Writes `text` to the radio unchanged; a closed serial port drops it.
void SendToRadio(LinkcoreShared& shared, std::string_view text);
// Posts WM_LINKCORE_NOTIFY to the registered window, if any.
void NotifyHost(LinkcoreShared& shared, platform::WParam code, platform::LParam value);
// printf into a string, for the fixed texts of the session protocol and the log.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace linkcore

// The session thread's state machine. The session record and the endpoint give the
// state; the passes of runPass move it along these transitions:
//
//   Waiting  --client accepted: greeting, OPEN logged-------------------> Greeted
//   Greeted  --"UID:" and right "PWD:" (enabled user)-------------------> LoggedIn
//   Greeted  --login deadline, third wrong password, disabled user,
//              client gone, command text too long-----------------------> Closing
//   LoggedIn --idle deadline, session limit, client gone,
//              command text too long------------------------------------> Closing
//   Closing  --the session-close steps (OnSocketClose): radio reset,
//              CLOSE logged, listen again-------------------------------> Waiting
//
// Deadlines, all on the platform clock in whole seconds and checked in one place
// (checkDeadlines): Greeted ends at acceptance + kLoginTimeLimit; LoggedIn ends at
// last client data + kIdleTimeLimit and, with a session limit L, at login + L.
// While LoggedIn and the radio is in pass-through mode, client text goes to the
// radio raw; otherwise it is framed at the last ";" and dispatched as one batch.
class CLinkcore::SessionLoop {
public:
    // Clears the session record and reads the session limit.
    explicit SessionLoop(LinkcoreShared& shared);

    // One pass of the session thread. Waits at most kPassWait, less when client
    // text arrives or `stop` is requested.
    void runPass(const std::stop_token& stop);
    // Handles text taken from the endpoint (up to its first NUL): the length check,
    // the pass-through relay or the framing and dispatch of complete commands.
    void takeClientText(std::string_view chunk);
    // The login, idle and session-limit deadlines and the elapsed-time reports.
    void checkDeadlines(std::int64_t now);

    // Client text not yet ended by ";".
    const std::string& pendingText() const { return accumulator_; }

private:
    void acceptClient();
    void readSessionLimit();
    void waitForListener(const std::stop_token& stop);

    LinkcoreShared& shared_;
    std::string accumulator_;
    std::int64_t limitSeconds_ = 0;
    std::int64_t publishedElapsed_ = 0;
    std::chrono::steady_clock::time_point nextListenAttempt_{};
};
