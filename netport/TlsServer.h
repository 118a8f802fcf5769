// SPDX-License-Identifier: GPL-3.0-or-later
// The TLS side of the endpoint's server: the certificate's context, the served
// client's channel and the handshakes of further clients that are turned away with
// "BUSY;" once their handshake is done. Owned by the endpoint; used by its socket
// thread, and by Write on the owner's threads (send). The channel's state is guarded
// by one mutex of its own, taken after every endpoint lock and never held across a
// call out, so Write and the socket thread never use the TLS state at once.
#pragma once

#include "netport/tls/TlsChannel.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <mutex>
#include <poll.h>
#include <vector>

class TlsServer {
public:
    // Further clients whose handshakes may run at once; one more is closed at once.
    static constexpr std::size_t kMaxTurnAways = 4;
    // A further client that has not finished its handshake by then is closed without "BUSY;".
    static constexpr std::chrono::milliseconds kTurnAwayTimeLimit{5000};

    ~TlsServer();

    // With no socket thread running: the context of later sessions; nullptr: plain TCP.
    void setContext(std::shared_ptr<netport::tls::TlsContext> context);
    bool enabled() const { return context_ != nullptr; }
    // A served client's channel exists (from its accept to the end of the session).
    bool hasClient() const { return hasClient_.load(); }

    // Socket thread, under the endpoint's socket lock held exclusively: the accepted
    // client's channel begins its handshake / is ended with close_notify and freed.
    void startClient(int fd);
    void endClient();
    // The served client's handshake is still running.
    bool handshaking() const { return client_ != nullptr && !established_.load(); }
    // What the handshake waits for, as poll() events.
    short handshakeEvents() const { return handshakeWaits_; }
    // Drives the handshake on: 1 once established, 0 while it runs, -1 when it failed
    // (handshakeFailed() then gives 1 until the next session).
    int advanceHandshake();
    int handshakeFailed() const { return handshakeFailed_.load(); }
    void clearFailure() { handshakeFailed_ = 0; }

    // Like a send() that never waits: bytes taken (0 while the handshake runs or the
    // socket is full), -1 when the connection failed.
    long send(const char* data, std::size_t size);
    // Decrypted bytes, at most `size`: the count (0 when none waits), -1 when the
    // connection ended or failed.
    long receive(char* buffer, std::size_t size);
    // Decrypted or undecoded bytes wait in the channel, unseen by poll(), as the last
    // receive (or the handshake's end) left it; takes no lock, since only the socket
    // thread reads from the channel.
    bool hasPending() const;

    // A further client: its handshake runs in the socket thread's poll loop alongside
    // the served client, then it receives "BUSY;" and is closed.
    void turnAway(int fd);
    // Adds the further clients' descriptors to `fds` and shortens `timeoutMs` to the
    // earliest of their time limits; the number added.
    nfds_t addTurnAwayPolls(pollfd* fds, int& timeoutMs);
    // Drives the handshakes that poll() found ready (`fds` as filled by addTurnAwayPolls)
    // and closes those finished, failed or out of time.
    void serviceTurnAways(const pollfd* fds, nfds_t count);
    void closeTurnAways();

private:
    // receive's reading, with channelMutex_ held.
    long receiveLocked(char* buffer, std::size_t size);

    struct TurnAway {
        int fd;
        std::unique_ptr<netport::tls::TlsChannel> channel;
        std::chrono::steady_clock::time_point deadline;
        short waits;
    };

    std::shared_ptr<netport::tls::TlsContext> context_;
    mutable std::mutex channelMutex_;
    std::unique_ptr<netport::tls::TlsChannel> client_;
    std::atomic<bool> hasClient_{false};
    std::atomic<bool> established_{false};
    // Set under channelMutex_ by the socket thread's reads: the channel holds text
    // that poll() cannot see (hasPending).
    std::atomic<bool> pending_{false};
    short handshakeWaits_ = POLLIN;
    std::atomic<int> handshakeFailed_{0};
    std::vector<TurnAway> turnAways_;
};
