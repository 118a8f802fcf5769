// SPDX-License-Identifier: GPL-3.0-or-later
// SessionShared: the session server's record, built on the radio link's. Every flag
// in it is atomic, so the host's, the radio reader's, the socket and the session
// threads may read it freely; the session record's texts have their own mutex.
#pragma once

#include "linkcore/link/LinkShared.h"
#include "linkcore/session/LoginBackoff.h"
#include "linkcore/session/SessionRecord.h"
#include "netport/Netport.h"
#include "platform/Wakeup.h"
#include "platform/WindowMessage.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace linkcore {

struct SessionShared;
class SessionLoop;

// The session side's target for the endpoint's events, called on the socket thread:
// text received from a logged-in client is handled right there when the session thread
// is not busy (so it goes on to the radio without a thread switch); every other event,
// and text that needs the session thread (a close may follow), wakes the session thread.
class SessionEvents final : public platform::MessageTarget {
public:
    explicit SessionEvents(SessionShared& shared) : shared_(shared) {}
    void post(std::uint32_t message, platform::WParam event, platform::LParam value) noexcept override;

private:
    SessionShared& shared_;
};

// The session side's listener on the radio link, called on the radio reader thread:
// relays the radio's text to a logged-in client, and on the loss of the line logs it
// and wakes the session thread, which sends a logged-in client away.
class SessionRadioRelay final : public RadioListener {
public:
    explicit SessionRadioRelay(SessionShared& shared) : shared_(shared) {}
    void onRadioText(unsigned char* text, std::size_t length) noexcept override;
    void onRadioLineLost(unsigned port) noexcept override;
    void onRadioLostMarked() noexcept override;

private:
    // Past the close steps' replies: the offset in `batch` just after the IF reply's
    // ";", or npos while it has not ended. Replies may arrive cut anywhere, so the
    // reply in progress is carried from one batch to the next.
    std::size_t skipCloseReplies(std::string_view batch);

    SessionShared& shared_;
    // The radio reader's alone: the hold these belong to (closeRepliesUntil) and the
    // first letters of the reply in progress since its last ";".
    std::int64_t heldUntil_ = 0;
    std::string replyStart_;
};

struct SessionShared : LinkShared {
    // Registers the session side as the radio link's listener.
    SessionShared();
    // The threads go before what they use: the session thread, then the endpoint's
    // socket thread (which posts to sessionEvents), then the radio reader.
    ~SessionShared();

    // The network endpoint: one client at a time.
    CNetport socket;
    // Lets clients send "LM" with parameters (read by the client command filter).
    std::atomic<int> loadMessageEnable{0};

    std::atomic<int> serverRun{0};   // cleared by the server's close
    std::atomic<int> serverAlive{0}; // 1 while the session thread runs
    SessionRecord session;           // the current client; written by the session thread
    std::atomic<int> clientConnected{0}; // from a client's acceptance to the session-close steps
    std::atomic<unsigned> serverPort{0}; // listened on again after every session
    std::atomic<int> listenFailed{0};    // the endpoint could not listen again after a session
    // Until the radio has answered the close steps' "ID;RX;IF;" (its IF reply), or until
    // this monotonic time (a count of platform::MonoTime) at the latest, radio text is
    // not relayed: those replies belong to the session just closed, not to the next
    // client, who may log in within milliseconds. 0: relay as usual.
    std::atomic<std::int64_t> closeRepliesUntil{0};
    // Failed logins per client address, counted while loginBackoffOn (read at each acceptance).
    LoginBackoff loginBackoff;
    std::atomic<int> loginBackoffOn{0};
    // Serialises the server's open and close, which any thread may call.
    std::mutex sessionServerMutex;
    // The session thread sleeps on this until something happens: the endpoint's events
    // (through sessionEvents), a stop request, the loss of the radio, or a move of a
    // test clock; its deadlines are the sleep's time limit.
    platform::Wakeup sessionWakeup;
    // Held by the thread that runs the session's work: the session thread while it is
    // awake, or the socket thread handling a logged-in client's text (which only tries
    // it, so a session thread that joins the socket thread never waits for it).
    std::mutex sessionMutex;
    SessionLoop* sessionLoop = nullptr; // under sessionMutex; the running loop
    SessionEvents sessionEvents{*this};
    SessionRadioRelay radioRelay{*this};
    // The session thread; started by the server's open, joined by its close. Declared
    // last, so that it is stopped (its stop token) and joined before anything it uses goes.
    std::jthread sessionThread;
};

} // namespace linkcore
