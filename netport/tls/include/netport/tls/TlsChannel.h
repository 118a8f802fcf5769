// SPDX-License-Identifier: GPL-3.0-or-later
// TLS over a non-blocking TCP descriptor with OpenSSL, for a poll() loop: every
// operation returns at once and says which readiness of the descriptor it waits for;
// the caller polls for it and calls the same operation again. TlsContext holds the
// settings shared by the connections of one side; TlsChannel is one connection.
// Neither locks: a channel is used by one thread at a time (its owner serialises).
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

typedef struct ssl_ctx_st SSL_CTX;
typedef struct ssl_st SSL;

namespace netport::tls {

// The settings of one side: TLS 1.2 at least, OpenSSL's default ciphers.
class TlsContext {
public:
    // A server with the certificate (chain) and private key of the PEM files; nothing,
    // `error` set, when they cannot be loaded or do not belong together.
    static std::shared_ptr<TlsContext> ForServer(const std::string& certificateFile, const std::string& keyFile,
                                                 std::string& error);
    // A client. With `caFile` the handshake verifies the server's chain against that
    // authority and the name the channel was given; without it the handshake takes any
    // certificate and the caller judges the peer by its fingerprint.
    static std::shared_ptr<TlsContext> ForClient(const std::string& caFile, std::string& error);

    ~TlsContext();
    TlsContext(const TlsContext&) = delete;
    TlsContext& operator=(const TlsContext&) = delete;

    SSL_CTX* native() const { return context_; }
    bool verifiesPeer() const { return verifiesPeer_; }

private:
    TlsContext(SSL_CTX* context, bool verifiesPeer) : context_(context), verifiesPeer_(verifiesPeer) {}

    SSL_CTX* context_;
    bool verifiesPeer_;
};

// What an operation came to. WantRead/WantWrite: wait for that readiness, then call
// the same operation again (a write with the same bytes at the front).
enum class TlsResult { Done, WantRead, WantWrite, Closed, Failed };

class TlsChannel {
public:
    // The server side of an accepted connection.
    TlsChannel(const TlsContext& context, int fd);
    // The client side; `serverName` goes out as SNI and is checked when the context verifies.
    TlsChannel(const TlsContext& context, int fd, const std::string& serverName);
    // Frees the TLS state; the descriptor stays open (its owner closes it).
    ~TlsChannel();
    TlsChannel(const TlsChannel&) = delete;
    TlsChannel& operator=(const TlsChannel&) = delete;

    // Drives the handshake on; Done once it is complete.
    TlsResult handshake();
    bool established() const { return established_; }

    // Decrypted bytes into `buffer`: Done with `count` > 0; Closed when the peer ended
    // the connection (close_notify or end of file).
    TlsResult read(char* buffer, std::size_t size, std::size_t& count);
    // Encrypts and sends up to `size` bytes: Done with `count` taken (at least one record).
    TlsResult write(const char* data, std::size_t size, std::size_t& count);
    // Bytes wait inside the channel that poll() on the descriptor does not show:
    // read again before sleeping.
    bool hasPending() const;
    // Sends close_notify once, without waiting for the peer's.
    void closeNotify();

    // The peer's certificate fingerprint (see Fingerprint.h); empty before the handshake.
    std::string peerFingerprint() const;
    // Why the handshake failed, in words (OpenSSL's reason and the verification result).
    const std::string& failure() const { return failure_; }
    // The handshake failed because the peer closed or reset the connection.
    bool closedByPeer() const { return closedByPeer_; }

private:
    TlsResult outcome(int returned, const char* what);

    SSL* ssl_ = nullptr;
    bool established_ = false;
    bool failed_ = false;
    bool closeSent_ = false;
    bool closedByPeer_ = false;
    std::string failure_;
};

// For a blocking caller on a non-blocking socket: waits until `fd` is ready for what
// `result` (WantRead or WantWrite) asks; false when `deadline` passes first.
bool WaitForTurn(int fd, TlsResult result, std::chrono::steady_clock::time_point deadline);

} // namespace netport::tls
