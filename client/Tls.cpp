// SPDX-License-Identifier: GPL-3.0-or-later
#include "client/Tls.h"

#include "netport/tls/Fingerprint.h"
#include "netport/tls/TlsChannel.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace client {
namespace {

using netport::tls::TlsResult;
using Clock = std::chrono::steady_clock;

// Asks a yes/no question on the controlling terminal; nothing without one.
std::optional<bool> AskOnTerminal(const std::string& question)
{
    const int tty = ::open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (tty < 0) {
        return std::nullopt;
    }
    for (;;) {
        (void)!::write(tty, question.data(), question.size());
        std::string answer;
        char c = 0;
        ssize_t got = 0;
        while ((got = ::read(tty, &c, 1)) > 0 && c != '\n') {
            answer += c;
        }
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            ::close(tty);
            return false; // end of input: no
        }
        if (answer == "yes" || answer == "no") {
            ::close(tty);
            return answer == "yes";
        }
        const std::string again = "Please type \"yes\" or \"no\".\n";
        (void)!::write(tty, again.data(), again.size());
    }
}

} // namespace

std::filesystem::path KnownHostsPath()
{
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::filesystem::path folder;
    if (config != nullptr && config[0] == '/') {
        folder = config;
    } else {
        const char* home = std::getenv("HOME");
        folder = std::filesystem::path(home != nullptr ? home : "") / ".config";
    }
    return folder / "ondrel" / "known_hosts";
}

std::optional<std::string> KnownFingerprint(const std::filesystem::path& file, std::string_view host,
                                            std::string_view port)
{
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string lineHost;
        std::string linePort;
        std::string fingerprint;
        if (fields >> lineHost >> linePort >> fingerprint && lineHost == host && linePort == port) {
            if (const auto canonical = netport::tls::ParseFingerprint(fingerprint)) {
                return canonical;
            }
        }
    }
    return std::nullopt;
}

bool RememberFingerprint(const std::filesystem::path& file, std::string_view host, std::string_view port,
                         std::string_view fingerprint, std::string& error)
{
    const std::filesystem::path folder = file.parent_path();
    std::error_code failure;
    std::filesystem::create_directories(folder, failure);
    if (failure || ::chmod(folder.c_str(), 0700) != 0) {
        error = "cannot make " + folder.string() + ": " + (failure ? failure.message() : std::strerror(errno));
        return false;
    }
    const int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        error = "cannot write " + file.string() + ": " + std::strerror(errno);
        return false;
    }
    const std::string line = std::string(host) + " " + std::string(port) + " " + std::string(fingerprint) + "\n";
    const bool written = ::fchmod(fd, 0600) == 0 && ::write(fd, line.data(), line.size()) ==
                                                        static_cast<ssize_t>(line.size());
    ::close(fd);
    if (!written) {
        error = "cannot write " + file.string();
    }
    return written;
}

TlsLink::TlsLink() = default;
TlsLink::~TlsLink() = default;

TlsLink::Result TlsLink::open(int fd, const TlsSettings& settings, const std::string& host, const std::string& port,
                              std::chrono::milliseconds limit, std::string& detail)
{
    const std::string where = host + " port " + port;
    fd_ = fd;
    context_ = netport::tls::TlsContext::ForClient(settings.caFile, detail);
    if (context_ == nullptr) {
        return Result::Failed;
    }
    channel_ = std::make_unique<netport::tls::TlsChannel>(*context_, fd, host);
    const auto deadline = Clock::now() + limit;
    for (;;) {
        const TlsResult result = channel_->handshake();
        if (result == TlsResult::Done) {
            break;
        }
        if (result != TlsResult::WantRead && result != TlsResult::WantWrite) {
            if (!settings.caFile.empty() && channel_->failure().find("certificate verify failed") != std::string::npos) {
                detail = "the certificate of " + where + " is not vouched for by " + settings.caFile + ": " +
                         channel_->failure();
                return Result::Untrusted;
            }
            if (channel_->closedByPeer()) {
                detail = where + " closed the connection during the TLS handshake";
                return Result::Closed;
            }
            detail = "no TLS from " + where + " (" + channel_->failure() +
                     "); is TLS on at the host? Without it, leave out --tls";
            return Result::Failed;
        }
        if (!netport::tls::WaitForTurn(fd, result, deadline)) {
            detail = "no TLS handshake with " + where + " within " + std::to_string(limit.count() / 1000) + " s";
            return Result::Failed;
        }
    }
    const std::string fingerprint = channel_->peerFingerprint();
    if (!settings.caFile.empty()) {
        return Result::Trusted; // verified in the handshake, chain and name
    }
    if (!settings.fingerprint.empty()) {
        if (fingerprint == settings.fingerprint) {
            return Result::Trusted;
        }
        detail = "the certificate of " + where + " has the fingerprint " + fingerprint + ", not " +
                 settings.fingerprint + " as given with --fingerprint; refusing to connect";
        return Result::Changed;
    }
    const std::filesystem::path file = settings.knownHosts.empty() ? KnownHostsPath() : settings.knownHosts;
    if (const std::optional<std::string> known = KnownFingerprint(file, host, port)) {
        if (*known == fingerprint) {
            return Result::Trusted;
        }
        detail = "WARNING: the certificate of " + where + " has CHANGED. Someone may be listening in, or the host "
                 "has a new certificate. Remembered: " + *known + "; now: " + fingerprint +
                 ". Refusing to connect. Ask the host's operator for the fingerprint (ondrel --fingerprint); if "
                 "the new one is right, remove the line for " + host + " " + port + " from " + file.string();
        return Result::Changed;
    }
    const std::string shown = "The host " + where + " is not known yet.\nIts certificate's fingerprint is " +
                              fingerprint + "\nCompare it with the one the host's operator reads to you.\n";
    const std::optional<bool> accepted = AskOnTerminal(shown + "Trust this host and connect (yes/no)? ");
    if (!accepted && !settings.trustNew) {
        detail = "the host " + where + " is not known and there is no terminal to ask on; its fingerprint is " +
                 fingerprint + ". Give --fingerprint " + fingerprint + " or --trust-new to accept it";
        return Result::Untrusted;
    }
    if (accepted && !*accepted) {
        detail = "the host " + where + " was not trusted";
        return Result::Untrusted;
    }
    std::string error;
    if (!RememberFingerprint(file, host, port, fingerprint, error)) {
        detail = error;
        return Result::Untrusted;
    }
    const std::string added = "ondrel-client: " + where + " (" + fingerprint + ") added to " + file.string() + "\n";
    (void)!::write(STDERR_FILENO, added.data(), added.size());
    return Result::Trusted;
}

ReadStatus TlsLink::read(std::string& into)
{
    bool got = false;
    for (;;) {
        char buffer[16384];
        std::size_t count = 0;
        const TlsResult result = channel_->read(buffer, sizeof buffer, count);
        if (result == TlsResult::Done) {
            into.append(buffer, count);
            got = true;
            if (!channel_->hasPending()) {
                return ReadStatus::Data; // poll() on the socket tells of more
            }
        } else if (result == TlsResult::WantRead || result == TlsResult::WantWrite) {
            return got ? ReadStatus::Data : ReadStatus::WouldBlock;
        } else {
            // What came before the end is handed on first; the end shows at the next read.
            return got ? ReadStatus::Data : (result == TlsResult::Closed ? ReadStatus::Closed : ReadStatus::Failed);
        }
    }
}

bool TlsLink::writeAll(std::string_view bytes, std::chrono::milliseconds limit)
{
    const auto deadline = Clock::now() + limit;
    while (!bytes.empty()) {
        std::size_t sent = 0;
        const TlsResult result = channel_->write(bytes.data(), bytes.size(), sent);
        if (result == TlsResult::Done) {
            bytes.remove_prefix(sent);
        } else if (result != TlsResult::WantRead && result != TlsResult::WantWrite) {
            return false;
        } else if (!netport::tls::WaitForTurn(fd_, result, deadline)) {
            return false;
        }
    }
    return true;
}

} // namespace client
