// LinkcoreShared: the one process-wide record behind every CLinkcore instance. It
// lives from library load to unload (LinkcoreShared::instance()); every flag in it is
// atomic, so the host's, the radio reader's and the session threads may read it freely.
#pragma once

#include "linkcore/Linkcore.h"
#include "linkcore/LoginBackoff.h"
#include "linkcore/RadioState.h"
#include "linkcore/ReplyFramer.h"
#include "linkcore/SessionRecord.h"
#include "netport/Netport.h"
#include "platform/Wakeup.h"
#include "platform/WindowMessage.h"
#include "serport/Serport.h"

#include <atomic>
#include <mutex>
#include <thread>

struct LinkcoreShared;

namespace linkcore {

// The radio side of the link, told by the serial port on its reader thread: received
// text is framed, parsed and relayed there and then (CLinkcore::ReceiveRadioText), and
// the loss of the line ends the session and tells the host (CLinkcore::RadioLineLost).
class RadioReceiver final : public CSerportReceiver {
public:
    explicit RadioReceiver(LinkcoreShared& shared) : shared_(shared) {}
    void OnSerportData(CSerport& port) noexcept override;
    void OnSerportLineLost(CSerport& port) noexcept override;

private:
    LinkcoreShared& shared_;
};

// The session side's target for the endpoint's events, called on the socket thread:
// text received from a logged-in client is handled right there when the session thread
// is not busy (so it goes on to the radio without a thread switch); every other event,
// and text that needs the session thread (a close may follow), wakes the session thread.
class SessionEvents final : public platform::MessageTarget {
public:
    explicit SessionEvents(LinkcoreShared& shared) : shared_(shared) {}
    void post(std::uint32_t message, platform::WParam event, platform::LParam value) noexcept override;

private:
    LinkcoreShared& shared_;
};

} // namespace linkcore

struct LinkcoreShared {
    // The record every CLinkcore instance works on.
    static LinkcoreShared& instance();

    LinkcoreShared() = default;
    // Stops the radio reader if the host left the link open; the threads of the
    // record are joined before the ports they use are destroyed.
    ~LinkcoreShared();
    LinkcoreShared(const LinkcoreShared&) = delete;
    LinkcoreShared& operator=(const LinkcoreShared&) = delete;

    // ---- Radio link ----
    // The radio's serial port and the network endpoint; declared first so that they
    // outlive every thread of the record.
    CSerport serial;
    CNetport socket;

    // The radio reader is the serial port's reader thread, which hands received text to
    // radioReceiver; these flags keep the reader's state: run while the link is to be
    // served, alive from the opening to the close.
    std::atomic<int> radioReaderRun{0};   // cleared by RadioConnectionClose
    std::atomic<int> radioReaderAlive{0}; // 1 while the link is open and read
    linkcore::RadioState radioState;      // written by the radio reader (see RadioState.h)
    std::atomic<int> loadMessageEnable{0};
    std::atomic<int> radioConnected{0};
    std::atomic<int> passThrough{0}; // the radio is in pass-through mode
    std::atomic<int> radioLost{0};   // the open line was lost (hang-up, failure, device gone)
    std::atomic<unsigned> radioPort{0}; // the COM port number of the open link
    std::atomic<platform::WindowHandle> notifyWindow{nullptr};

    // Serialises RadioConnectionOpen and RadioConnectionClose, which any instance may call.
    std::mutex radioLinkMutex;
    linkcore::RadioReceiver radioReceiver{*this};
    // Frames the radio's text; used on the serial port's reader thread only.
    linkcore::ReplyFramer radioFramer;
    // Closes the serial port, which ends the radio reader (RadioConnectionClose).
    void closeRadioLink();

    // ---- Session server ----
    std::atomic<int> serverRun{0};   // cleared by SocketServerClose
    std::atomic<int> serverAlive{0}; // 1 while the session thread runs
    linkcore::SessionRecord session; // the current client; written by the session thread
    std::atomic<int> clientConnected{0}; // from a client's acceptance to the session-close steps
    std::atomic<unsigned> serverPort{0}; // listened on again after every session
    std::atomic<int> listenFailed{0};    // the endpoint could not listen again after a session
    // Failed logins per client address, counted while loginBackoffOn (read at each acceptance).
    linkcore::LoginBackoff loginBackoff;
    std::atomic<int> loginBackoffOn{0};
    // Serialises SocketServerOpen and SocketServerClose, which any instance may call.
    std::mutex sessionServerMutex;
    // The session thread sleeps on this until something happens: the endpoint's events
    // (through sessionEvents), a stop request, the loss of the radio, or a move of a
    // test clock; its deadlines are the sleep's time limit.
    platform::Wakeup sessionWakeup;
    // Held by the thread that runs the session's work: the session thread while it is
    // awake, or the socket thread handling a logged-in client's text (which only tries
    // it, so a session thread that joins the socket thread never waits for it).
    std::mutex sessionMutex;
    CLinkcore::SessionLoop* sessionLoop = nullptr; // under sessionMutex; the running loop
    linkcore::SessionEvents sessionEvents{*this};
    // The session thread; started by SocketServerOpen, joined by SocketServerClose. Declared
    // last, so that at unload it is stopped (its stop token) and joined before anything it uses goes.
    std::jthread sessionThread;
};
