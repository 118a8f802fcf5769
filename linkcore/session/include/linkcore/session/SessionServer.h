// SPDX-License-Identifier: GPL-3.0-or-later
// The session server: its open and close, the session thread and its loop, the
// acceptance and the session-close steps. A SessionLoop belongs to the session thread
// (RunSessionThread), which alone calls it; the socket thread may use it under
// sessionMutex (SessionEvents).
#pragma once

#include "linkcore/session/SessionActions.h"
#include "linkcore/session/SessionShared.h"
#include "platform/Clock.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

namespace linkcore {

// How long a client may stay connected without logging in, and a logged-in client
// may stay silent, on the platform's monotonic clock.
inline constexpr platform::MonoTime kLoginTimeLimit = std::chrono::seconds(30);
inline constexpr platform::MonoTime kIdleTimeLimit = std::chrono::seconds(30);
// A command (client text not yet ended by ";") may not reach this many characters.
inline constexpr std::size_t kCommandTextLimit = 1024;
// The longest the radio's answers to the close steps are kept from the next client.
inline constexpr platform::MonoTime kCloseReplyLimit = std::chrono::seconds(1);
// How often a lost listener is set up again while it cannot be.
inline constexpr platform::MonoTime kListenRetryInterval = std::chrono::seconds(1);

// The session's ends as the server has them: the endpoint, the serial port, the
// host's window and the activity log.
class ServerIo final : public SessionIo {
public:
    explicit ServerIo(SessionShared& shared) : shared_(shared) {}
    int sendToClient(std::string_view text) override;
    void sendToRadio(std::string_view text) override;
    void notifyHost(platform::WParam code, platform::LParam value) override;
    void log(const std::string& line) override;
    void disconnectClient() override;
    bool listenAgain() override;

private:
    SessionShared& shared_;
};

// Listens on `port` and starts the session thread; 0 while the server runs or when
// the port cannot be listened on.
int OpenSessionServer(SessionShared& shared, unsigned port);
// Stops and joins the session thread and disconnects the endpoint.
void CloseSessionServer(SessionShared& shared);
// The session thread's body; sleeps until an event or a deadline, and ends when
// serverRun falls or `stop` is requested.
unsigned RunSessionThread(std::stop_token stop, SessionShared& shared);
// A client was accepted: its address is kept and it is greeted.
void AcceptSession(SessionShared& shared, SessionIo& io);
// The session-close steps; does nothing when no client is connected.
void CloseSession(SessionShared& shared, SessionIo& io);
// Dispatches each segment of `batch` (text ending in ";", DispatchSegment) and
// carries out its actions before the next; stops when the session closes within the
// batch.
void RunBatch(std::string_view batch, SessionShared& shared, SessionIo& io);
// Carries out one action: the session-close steps for Close, the login flag for
// LogIn, the rest through `io`.
void CarryOut(const SessionAction& action, SessionShared& shared, SessionIo& io);
void CarryOut(const SessionActions& actions, SessionShared& shared, SessionIo& io);

// The session thread's state machine. The session record and the endpoint give the
// state; the passes of runPass move it along these transitions:
//
//   Waiting  --client accepted: greeting, OPEN logged-------------------> Greeted
//   Greeted  --"UID:" and right "PWD:" (enabled user)-------------------> LoggedIn
//   Greeted  --login deadline, third wrong password, disabled user,
//              client gone, command text too long-----------------------> Closing
//   LoggedIn --idle deadline, session limit, client gone,
//              command text too long------------------------------------> Closing
//   Closing  --the session-close steps (CloseSession): radio reset,
//              CLOSE logged, listen again-------------------------------> Waiting
//
// Any state: the radio's line lost --the client is told, CLOSE logged----> Closing
//
// Deadlines, all on the platform's monotonic clock and checked in one place
// (checkDeadlines): Greeted ends at acceptance + kLoginTimeLimit; LoggedIn ends at
// last client data + kIdleTimeLimit and, with a session limit L, at login + L, with
// an elapsed-time report every second before. The thread sleeps until the earliest
// deadline or an event (nextDeadline); without a client and a listener problem, or
// logged in without a limit but for the idle deadline, nothing wakes it on a timer.
// While LoggedIn and the radio is in pass-through mode, client text goes to the
// radio raw; otherwise it is framed at the last ";" and dispatched as one batch.
class SessionLoop {
public:
    // Clears the session record and reads the session limit. What leaves the session
    // goes through `io`.
    SessionLoop(SessionShared& shared, SessionIo& io);

    // One pass of the session thread: handles what happened, then sleeps until the
    // next event (or `stop`) or the earliest deadline. Takes sessionMutex while awake.
    void runPass(const std::stop_token& stop);
    // On the socket thread, with sessionMutex held: takes and handles the received text
    // of a logged-in client when that cannot end the session; false when the session
    // thread has to do it (text that would be too long is kept for it).
    bool takeTextAtOnce();
    // Handles text taken from the endpoint (up to its first NUL): the length check,
    // the pass-through relay or the framing and dispatch of complete commands.
    void takeClientText(std::string_view chunk);
    // The login, idle and session-limit deadlines and the elapsed-time reports.
    void checkDeadlines(platform::MonoTime now);
    // The earliest deadline of the current state; nullopt when there is none.
    std::optional<platform::MonoTime> nextDeadline() const;

    // Client text not yet ended by ";".
    const std::string& pendingText() const { return accumulator_; }

private:
    void acceptClient();
    // With the login back-off on: closes a client whose address still waits; true when it did.
    bool refuseWaitingClient();
    void readSessionLimit();
    bool listenerMissing() const;
    void retryListener(platform::MonoTime now);
    void closeForLostRadio();
    bool commandTooLong(std::string_view chunk) const;
    void forgetClientText();
    // Takes all the text waiting in the endpoint's receive buffer, NUL bytes included.
    std::string receiveClientText();
    // After the client closed: carries out the text it sent before, held back or buffered.
    void takeBufferedText();

    SessionShared& shared_;
    SessionIo& io_;
    std::string accumulator_;
    // Text the socket thread took but left to the session thread, handled before any newer.
    std::string deferred_;
    std::int64_t limitSeconds_ = 0;
    std::int64_t publishedElapsed_ = 0;
    platform::MonoTime nextListenAttempt_{};
};

} // namespace linkcore
