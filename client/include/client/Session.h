// SPDX-License-Identifier: GPL-3.0-or-later
// One connection to the host: connect, log in, and the words and exit status for
// every way a login or a session can end.
#pragma once

#include "client/HostProtocol.h"
#include "client/Options.h"
#include "client/Tls.h"
#include "client/Transport.h"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace client {

struct LoginSettings {
    std::string host;
    std::string port;
    std::string user;
    std::string password;
    std::chrono::milliseconds timeout{10000};
    TlsSettings tls;
};

// Asked for a new password after the host refused one; `watchFd` is the connection,
// which the prompt watches so that the host's closing ends it. Nothing: give up.
using PasswordRetry = std::function<std::optional<std::string>(int watchFd)>;

struct LoginOutcome {
    // Unreachable when the connection failed or the host did not answer in time; the
    // TLS kinds as TlsLink::Result tells them (Failed, Untrusted, Changed).
    enum class Kind { LoggedIn, Unreachable, Host, TlsFailed, Untrusted, CertificateChanged } kind = Kind::Unreachable;
    LoginResult result = LoginResult::InProgress; // Kind::Host: what the host answered
    std::string detail;                           // connection error or unexpected text
    bool greeted = false;                         // the host's greeting arrived

    bool loggedIn() const { return kind == Kind::LoggedIn; }
};

class HostSession {
public:
    // Connects and logs in; a busy host, or one that closes the connection before
    // greeting, is asked again for a few seconds. On success the connection is open
    // and firstBytes() holds
    // what the host sent right after the login reply. `settings.password` is updated
    // when a retry gave a better one.
    LoginOutcome open(LoginSettings& settings, const PasswordRetry& retry = {});

    bool connected() const { return socket_.valid(); }
    int fd() const { return socket_.get(); }
    // What the host sent, decrypted when the connection is TLS: call when fd() is
    // readable; nothing stays behind that poll() would not show.
    ReadStatus receive(std::string& into);
    std::string takeFirstBytes();
    // Sends a command (or raw program bytes) within a few seconds; false when it failed.
    bool send(std::string_view bytes);
    void close()
    {
        tls_.reset();
        socket_.reset();
    }

private:
    LoginOutcome attempt(LoginSettings& settings, const PasswordRetry& retry);

    Descriptor socket_;
    std::unique_ptr<TlsLink> tls_; // with --tls, over socket_
    std::string firstBytes_;
};

// A sentence saying what happened, for the user.
std::string DescribeLogin(const LoginOutcome& outcome, const LoginSettings& settings);
// The exit status that tells scripts the same.
int ExitStatusOf(const LoginOutcome& outcome);
// A sentence for a session that the host ended.
std::string DescribeSessionEnd(SessionItem::Kind kind);

} // namespace client
