// SPDX-License-Identifier: GPL-3.0-or-later
// TLS on loopback for tests: a client that connects and shakes hands with a real
// OpenSSL handshake, and certificates made for a test's own folder.
#pragma once

#include "testsupport/LoopbackClient.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace netport::tls {
class TlsChannel;
class TlsContext;
} // namespace netport::tls

namespace testsupport {

// A self-signed certificate and its key (mode 0600), as the host makes them.
struct TestCertificate {
    std::filesystem::path certificate;
    std::filesystem::path key;
    std::string fingerprint; // "SHA256:AB:CD:..."
};
// Makes the pair in `folder` (one pair per folder: the host's default file names).
TestCertificate MakeTestCertificate(const std::filesystem::path& folder);

class TlsClient {
public:
    // Connects to 127.0.0.1:port and shakes hands within `limit`; established() tells
    // whether it succeeded, failure() why not. The client takes any certificate.
    explicit TlsClient(unsigned port, std::chrono::milliseconds limit = std::chrono::seconds(5));
    ~TlsClient();
    TlsClient(const TlsClient&) = delete;
    TlsClient& operator=(const TlsClient&) = delete;

    bool established() const { return established_; }
    const std::string& failure() const { return failure_; }
    std::string peerFingerprint() const;

    void send(std::string_view bytes);
    // Decrypted text until it contains `terminator`, the peer closes, or `limit` passes.
    std::string receiveUntil(std::string_view terminator, std::chrono::milliseconds limit = std::chrono::seconds(5));
    // True when the server closed the connection within `limit` (reads and drops data).
    bool waitForClose(std::chrono::milliseconds limit = std::chrono::seconds(5));

private:
    LoopbackClient socket_;
    std::shared_ptr<netport::tls::TlsContext> context_;
    std::unique_ptr<netport::tls::TlsChannel> channel_;
    bool established_ = false;
    bool closed_ = false;
    std::string failure_;
};

} // namespace testsupport
