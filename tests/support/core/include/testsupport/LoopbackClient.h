// SPDX-License-Identifier: GPL-3.0-or-later
// A plain TCP client on 127.0.0.1 for tests of the network side and the benchmarks.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace testsupport {

class LoopbackClient {
public:
    // Connects to 127.0.0.1:port, retrying for up to `limit` while the server starts.
    explicit LoopbackClient(unsigned port, std::chrono::milliseconds limit = std::chrono::seconds(5));
    // Connects to the numeric address `host` (IPv4 or IPv6) from the numeric address `source`
    // (empty: the system's choice); a zero `limit` makes one attempt only.
    LoopbackClient(const std::string& host, unsigned port, const std::string& source = {},
                   std::chrono::milliseconds limit = std::chrono::seconds(5));
    ~LoopbackClient();
    LoopbackClient(const LoopbackClient&) = delete;
    LoopbackClient& operator=(const LoopbackClient&) = delete;

    bool connected() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    // Sends all of `bytes`; false when the server closed the connection.
    bool send(std::string_view bytes);
    // Reads until the received text contains `terminator`, the peer closes, or
    // `limit` passes; returns everything read.
    std::string receiveUntil(std::string_view terminator,
                             std::chrono::milliseconds limit = std::chrono::seconds(5));
    // The same, appending to `received` (which may hold the start of `terminator`);
    // true when `received` contains it.
    bool receiveInto(std::string& received, std::string_view terminator,
                     std::chrono::milliseconds limit = std::chrono::seconds(5));
    // What the next read brings within `limit`; empty when nothing came or the peer closed.
    std::string receiveSome(std::chrono::milliseconds limit = std::chrono::seconds(5));
    // Reads whatever arrives within `limit`.
    std::string receiveFor(std::chrono::milliseconds limit);
    // True when the server closed the connection within `limit` (reads and drops data).
    bool waitForClose(std::chrono::milliseconds limit = std::chrono::seconds(5));
    void close();

private:
    int fd_ = -1;
};

// A free TCP port on the loopback interface at the time of the call.
unsigned FreeTcpPort();

// A SIP port for a SIP engine on 127.0.0.1: UDP and TCP free on it and TCP free on the
// next one, where the engine takes SIP over TLS. Chosen below the range the kernel
// hands out to outgoing connections, so that no other socket (a control connection
// left in TIME_WAIT, a parallel test's client) takes either port between this call and
// the engine's start.
int FreeSipPort();

} // namespace testsupport
