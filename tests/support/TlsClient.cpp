// SPDX-License-Identifier: GPL-3.0-or-later
#include "testsupport/TlsClient.h"

#include "netport/TlsIdentity.h"
#include "netport/tls/TlsChannel.h"

#include <fcntl.h>
#include <poll.h>
#include <stdexcept>

namespace testsupport {
namespace {

using netport::tls::TlsResult;
using Clock = std::chrono::steady_clock;

} // namespace

TestCertificate MakeTestCertificate(const std::filesystem::path& folder)
{
    netport::TlsFiles files;
    std::string error;
    bool made = false;
    TestCertificate certificate;
    if (!netport::ResolveTlsFiles("", "", (folder / "Ondrel.ini").string(), files, error) ||
        !netport::PrepareTlsIdentity(files, made, certificate.fingerprint, error)) {
        throw std::runtime_error("test certificate: " + error);
    }
    certificate.certificate = files.certificate;
    certificate.key = files.key;
    return certificate;
}

TlsClient::TlsClient(unsigned port, std::chrono::milliseconds limit)
    : socket_(port, limit)
{
    const auto deadline = Clock::now() + limit;
    if (!socket_.connected()) {
        failure_ = "no connection";
        return;
    }
    ::fcntl(socket_.fd(), F_SETFL, ::fcntl(socket_.fd(), F_GETFL) | O_NONBLOCK);
    context_ = netport::tls::TlsContext::ForClient("", failure_);
    if (context_ == nullptr) {
        return;
    }
    channel_ = std::make_unique<netport::tls::TlsChannel>(*context_, socket_.fd(), "127.0.0.1");
    for (;;) {
        const TlsResult result = channel_->handshake();
        if (result == TlsResult::Done) {
            established_ = true;
            return;
        }
        if (result != TlsResult::WantRead && result != TlsResult::WantWrite) {
            failure_ = channel_->failure();
            return;
        }
        if (!netport::tls::WaitForTurn(socket_.fd(), result, deadline)) {
            failure_ = "handshake timed out";
            return;
        }
    }
}

TlsClient::~TlsClient() = default;

std::string TlsClient::peerFingerprint() const
{
    return channel_ != nullptr ? channel_->peerFingerprint() : std::string();
}

void TlsClient::send(std::string_view bytes)
{
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (established_ && !bytes.empty()) {
        std::size_t sent = 0;
        const TlsResult result = channel_->write(bytes.data(), bytes.size(), sent);
        if (result == TlsResult::Done) {
            bytes.remove_prefix(sent);
        } else if (result == TlsResult::WantRead || result == TlsResult::WantWrite) {
            if (!netport::tls::WaitForTurn(socket_.fd(), result, deadline)) {
                throw std::runtime_error("TLS send timed out");
            }
        } else {
            throw std::runtime_error("TLS send failed: " + channel_->failure());
        }
    }
}

std::string TlsClient::receiveUntil(std::string_view terminator, std::chrono::milliseconds limit)
{
    const auto deadline = Clock::now() + limit;
    std::string received;
    while (established_ && !closed_ && received.find(terminator) == std::string::npos) {
        char buffer[4096];
        std::size_t count = 0;
        const TlsResult result = channel_->read(buffer, sizeof buffer, count);
        if (result == TlsResult::Done) {
            received.append(buffer, count);
        } else if (result == TlsResult::WantRead || result == TlsResult::WantWrite) {
            if (!netport::tls::WaitForTurn(socket_.fd(), result, deadline)) {
                break;
            }
        } else {
            closed_ = true;
        }
    }
    return received;
}

bool TlsClient::waitForClose(std::chrono::milliseconds limit)
{
    if (!established_) {
        return socket_.waitForClose(limit);
    }
    receiveUntil(std::string_view("\x01\x02\x03 never sent", 14), limit);
    return closed_;
}

} // namespace testsupport
