// SPDX-License-Identifier: GPL-3.0-or-later
// Connecting and logging in.

#include "client/Session.h"

#include <thread>

namespace client {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::chrono::milliseconds kBusyRetry{3000};
constexpr std::chrono::milliseconds kBusyPause{100};

std::string Printable(std::string_view text)
{
    std::string shown;
    for (const char c : text.substr(0, 80)) {
        if (c == '\r') {
            shown += "\\r";
        } else if (c == '\n') {
            shown += "\\n";
        } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            shown += '?';
        } else {
            shown += c;
        }
    }
    return shown;
}

} // namespace

LoginOutcome HostSession::open(LoginSettings& settings, const PasswordRetry& retry)
{
    // The host serves one connection at a time. It keeps its listening socket between
    // sessions, so a connection made right after this user's last session ended waits
    // and is greeted; but a session that is still open a moment longer (another copy
    // of this client, a script's last connection not yet closed) makes it answer
    // "BUSY;", and a host of an older release, which opened its listening socket afresh
    // after every session, could close a waiting connection before any greeting: both
    // are asked again for a while.
    const auto busyUntil = Clock::now() + kBusyRetry;
    for (;;) {
        LoginOutcome outcome = attempt(settings, retry);
        const bool closedUngreeted = outcome.result == LoginResult::ConnectionClosed && !outcome.greeted;
        if ((outcome.result != LoginResult::Busy && !closedUngreeted) || Clock::now() >= busyUntil) {
            return outcome;
        }
        std::this_thread::sleep_for(kBusyPause);
    }
}

LoginOutcome HostSession::attempt(LoginSettings& settings, const PasswordRetry& retry)
{
    LoginOutcome outcome;
    tls_.reset();
    socket_ = ConnectTcp(settings.host, settings.port, settings.timeout, outcome.detail);
    firstBytes_.clear();
    if (!socket_.valid()) {
        return outcome;
    }
    if (settings.tls.on) {
        tls_ = std::make_unique<TlsLink>();
        const TlsLink::Result trust =
            tls_->open(socket_.get(), settings.tls, settings.host, settings.port, settings.timeout, outcome.detail);
        if (trust == TlsLink::Result::Closed) {
            // As a plain connection closed before the greeting: a session of the host's is
            // ending, and open() asks again.
            outcome.result = LoginResult::ConnectionClosed;
            close();
            return outcome;
        }
        if (trust != TlsLink::Result::Trusted) {
            outcome.kind = trust == TlsLink::Result::Failed      ? LoginOutcome::Kind::TlsFailed
                           : trust == TlsLink::Result::Untrusted ? LoginOutcome::Kind::Untrusted
                                                                 : LoginOutcome::Kind::CertificateChanged;
            close();
            return outcome;
        }
    }
    LoginDialogue dialogue(settings.user, settings.password);
    auto deadline = Clock::now() + settings.timeout;
    while (dialogue.result() == LoginResult::InProgress || dialogue.result() == LoginResult::PasswordWrong) {
        if (dialogue.result() == LoginResult::PasswordWrong) {
            std::optional<std::string> password = retry ? retry(socket_.get()) : std::nullopt;
            if (!password) {
                // Either given up, or the host spoke during the prompt: read it.
                std::string received;
                if (WaitReadable(socket_.get(), std::chrono::milliseconds(0)) &&
                    receive(received) != ReadStatus::WouldBlock) {
                    received.empty() ? dialogue.closed() : dialogue.receive(received);
                    continue;
                }
                break;
            }
            settings.password = *password;
            dialogue.retry(std::move(*password));
            deadline = Clock::now() + settings.timeout;
        }
        if (const std::string out = dialogue.takeOutgoing(); !out.empty() && !send(out)) {
            dialogue.closed();
            break;
        }
        if (dialogue.result() != LoginResult::InProgress) {
            continue;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0 || !WaitReadable(socket_.get(), left)) {
            outcome.detail = "no answer from " + settings.host + " port " + settings.port + " within " +
                             std::to_string(settings.timeout.count() / 1000) + " s";
            if (!settings.tls.on && !dialogue.greeted()) {
                // A TLS port waits for a handshake and says nothing first.
                outcome.detail += "; if the host has TLS on, add --tls";
            }
            close();
            return outcome;
        }
        std::string received;
        const ReadStatus status = receive(received);
        if (status == ReadStatus::Data) {
            dialogue.receive(received);
        } else if (status != ReadStatus::WouldBlock) {
            dialogue.closed();
        }
    }
    outcome.result = dialogue.result();
    outcome.greeted = dialogue.greeted();
    if (outcome.result == LoginResult::LoggedIn) {
        outcome.kind = LoginOutcome::Kind::LoggedIn;
        firstBytes_ = dialogue.takeSessionBytes();
        return outcome;
    }
    outcome.kind = LoginOutcome::Kind::Host;
    outcome.detail = Printable(dialogue.unexpected());
    close();
    return outcome;
}

std::string HostSession::takeFirstBytes()
{
    std::string bytes;
    bytes.swap(firstBytes_);
    return bytes;
}

ReadStatus HostSession::receive(std::string& into)
{
    return tls_ != nullptr ? tls_->read(into) : ReadAvailable(socket_.get(), into);
}

bool HostSession::send(std::string_view bytes)
{
    if (!socket_.valid()) {
        return false;
    }
    return tls_ != nullptr ? tls_->writeAll(bytes, std::chrono::seconds(5))
                           : WriteAll(socket_.get(), bytes, std::chrono::seconds(5));
}

std::string DescribeLogin(const LoginOutcome& outcome, const LoginSettings& settings)
{
    const std::string where = settings.host + " port " + settings.port;
    if (outcome.kind != LoginOutcome::Kind::Host && outcome.kind != LoginOutcome::Kind::LoggedIn) {
        return outcome.detail;
    }
    switch (outcome.result) {
    case LoginResult::LoggedIn:
        return "logged in to " + where + " as " + settings.user;
    case LoginResult::PasswordWrong:
        return "login refused by " + where + ": wrong user ID or password";
    case LoginResult::LoginFailed:
        return "login refused by " + where + ": wrong user ID or password three times; the host said "
               "\"Login failed. Good-Bye\" and closed the connection";
    case LoginResult::Busy:
        return where + " is busy: another operator is logged in (the host answered \"BUSY;\")";
    case LoginResult::UserDisabled:
        return "login refused by " + where + ": the user " + settings.user + " is disabled there";
    case LoginResult::LoginTimeout:
        return where + " closed the login: it was not completed within 30 seconds (\"Login timeout.\")";
    case LoginResult::CommandRefused:
        return where + " refused the login text (\"CMD:NG;\")";
    case LoginResult::UnexpectedText:
        return where + " is not an Ondrel radio host, or speaks another protocol: it sent \"" + outcome.detail + "\"";
    case LoginResult::ConnectionClosed:
        return where + " closed the connection during the login";
    case LoginResult::InProgress:
        break;
    }
    return "login to " + where + " did not finish";
}

int ExitStatusOf(const LoginOutcome& outcome)
{
    switch (outcome.kind) {
    case LoginOutcome::Kind::Unreachable:
        return kExitUnreachable;
    case LoginOutcome::Kind::TlsFailed:
        return kExitProtocol;
    case LoginOutcome::Kind::Untrusted:
        return kExitUntrusted;
    case LoginOutcome::Kind::CertificateChanged:
        return kExitCertificateChanged;
    case LoginOutcome::Kind::LoggedIn:
    case LoginOutcome::Kind::Host:
        break;
    }
    switch (outcome.result) {
    case LoginResult::LoggedIn:
        return kExitOk;
    case LoginResult::PasswordWrong:
    case LoginResult::LoginFailed:
        return kExitRefused;
    case LoginResult::Busy:
        return kExitBusy;
    case LoginResult::UserDisabled:
        return kExitDisabled;
    case LoginResult::LoginTimeout:
        return kExitLoginTimeout;
    case LoginResult::ConnectionClosed:
        return kExitUnreachable;
    case LoginResult::CommandRefused:
    case LoginResult::UnexpectedText:
    case LoginResult::InProgress:
        break;
    }
    return kExitProtocol;
}

std::string DescribeSessionEnd(SessionItem::Kind kind)
{
    switch (kind) {
    case SessionItem::Kind::IdleTimeout:
        return "the host ended the session after 30 seconds without commands (\"Connection time out.\")";
    case SessionItem::Kind::CommandTooLong:
        return "the host ended the session: 1024 characters without \";\" (\"Command length too long!!\")";
    case SessionItem::Kind::RadioLost:
        return "the host lost its radio and ended the session (\"Radio connection lost.\")";
    default:
        break;
    }
    return "the host closed the connection";
}

} // namespace client
