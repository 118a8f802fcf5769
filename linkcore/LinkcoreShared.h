// LinkcoreShared: the one process-wide record behind every CLinkcore instance. It
// lives from library load to unload (LinkcoreShared::instance()); every flag in it is
// atomic, so the host's, the radio reader's and the session threads may read it freely.
#pragma once

#include "linkcore/RadioState.h"
#include "linkcore/SessionRecord.h"
#include "netport/Netport.h"
#include "platform/WindowMessage.h"
#include "serport/Serport.h"

#include <atomic>
#include <mutex>
#include <thread>

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

    std::atomic<int> radioReaderRun{0};   // cleared by RadioConnectionClose
    std::atomic<int> radioReaderAlive{0}; // 1 while the radio reader thread runs
    linkcore::RadioState radioState;      // written by the radio reader (see RadioState.h)
    std::atomic<int> loadMessageEnable{0};
    std::atomic<int> radioConnected{0};
    std::atomic<int> passThrough{0}; // the radio is in pass-through mode
    std::atomic<platform::WindowHandle> notifyWindow{nullptr};

    // Serialises RadioConnectionOpen and RadioConnectionClose, which any instance may call.
    std::mutex radioLinkMutex;
    // The radio reader thread; started by RadioConnectionOpen, joined by RadioConnectionClose.
    std::thread radioReader;
    // Stops and joins the radio reader and closes the serial port (RadioConnectionClose).
    void closeRadioLink();

    // ---- Session server ----
    std::atomic<int> serverRun{0};   // cleared by SocketServerClose
    std::atomic<int> serverAlive{0}; // 1 while the session thread runs
    linkcore::SessionRecord session; // the current client; written by the session thread
    std::atomic<int> clientConnected{0}; // from a client's acceptance to the session-close steps
    std::atomic<unsigned> serverPort{0}; // listened on again after every session
    std::atomic<int> listenFailed{0};    // the endpoint could not listen again after a session
    // Serialises SocketServerOpen and SocketServerClose, which any instance may call.
    std::mutex sessionServerMutex;
    // The session thread; started by SocketServerOpen, joined by SocketServerClose. Declared
    // last, so that at unload it is stopped (its stop token) and joined before anything it uses goes.
    std::jthread sessionThread;
};
