// SPDX-License-Identifier: GPL-3.0-or-later
// TLS to the host and whom to trust, as ssh does: a host and port seen before must
// show the certificate fingerprint remembered in known_hosts; a new one is shown to
// the user, who accepts it on the terminal (or with --trust-new without one); a
// fingerprint given with --fingerprint is the only one accepted; with --ca the
// certificate must be signed by that authority for the host's name. One thread.
#pragma once

#include "client/Transport.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace netport::tls {
class TlsChannel;
class TlsContext;
} // namespace netport::tls

namespace client {

struct TlsSettings {
    bool on = false;          // --tls (also implied by --fingerprint and --ca)
    std::string fingerprint;  // --fingerprint, in the canonical form
    std::string caFile;       // --ca
    bool trustNew = false;    // --trust-new: accept an unknown host without a terminal
    // Empty: $XDG_CONFIG_HOME/ondrel/known_hosts, else ~/.config/ondrel/known_hosts.
    std::filesystem::path knownHosts;
};

// Where the fingerprints of hosts already trusted are kept.
std::filesystem::path KnownHostsPath();

// The fingerprint remembered for `host` and `port`; nothing when there is none.
// known_hosts has one line per host and port: "<host> <port> SHA256:<pairs>".
std::optional<std::string> KnownFingerprint(const std::filesystem::path& file, std::string_view host,
                                            std::string_view port);
// Appends a line for `host` and `port`, the file mode 0600 in a folder of mode 0700;
// false, `error` set, when it cannot be written.
bool RememberFingerprint(const std::filesystem::path& file, std::string_view host, std::string_view port,
                         std::string_view fingerprint, std::string& error);

// One TLS connection over the connected socket to the host.
class TlsLink {
public:
    enum class Result {
        Trusted,     // the handshake is done and the certificate is the one trusted
        Failed,      // no TLS handshake (a host without TLS, a broken connection, the time ran out)
        Closed,      // the host closed the connection before the handshake was done (ending a session)
        Untrusted,   // a new host not accepted, or one the CA does not vouch for
        Changed,     // the certificate differs from the remembered or pinned one
    };

    TlsLink();
    ~TlsLink();
    TlsLink(const TlsLink&) = delete;
    TlsLink& operator=(const TlsLink&) = delete;

    // Shakes hands on `fd` (non-blocking) within `limit` and judges the certificate.
    // `detail` says what happened, for the user, when the result is not Trusted.
    Result open(int fd, const TlsSettings& settings, const std::string& host, const std::string& port,
                std::chrono::milliseconds limit, std::string& detail);

    // Decrypts everything that has arrived (nothing is left inside the channel, so
    // poll() on the socket tells when more comes).
    ReadStatus read(std::string& into);
    // Sends all of `bytes` within `limit`; false when it failed.
    bool writeAll(std::string_view bytes, std::chrono::milliseconds limit);

private:
    int fd_ = -1;
    std::shared_ptr<netport::tls::TlsContext> context_;
    std::unique_ptr<netport::tls::TlsChannel> channel_;
};

} // namespace client
