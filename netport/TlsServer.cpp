// SPDX-License-Identifier: GPL-3.0-or-later
#include "TlsServer.h"

#include "platform/Descriptor.h"

#include <algorithm>

namespace {

using netport::tls::TlsChannel;
using netport::tls::TlsResult;

constexpr char kBusyText[] = "BUSY;";

short EventsFor(TlsResult result)
{
    return result == TlsResult::WantWrite ? POLLOUT : POLLIN;
}

} // namespace

TlsServer::~TlsServer()
{
    closeTurnAways();
}

void TlsServer::setContext(std::shared_ptr<netport::tls::TlsContext> context)
{
    context_ = std::move(context);
}

void TlsServer::startClient(int fd)
{
    std::lock_guard channelLock(channelMutex_);
    client_ = std::make_unique<TlsChannel>(*context_, fd);
    established_ = false;
    pending_ = false;
    handshakeWaits_ = POLLIN;
    hasClient_ = true;
}

void TlsServer::endClient()
{
    std::lock_guard channelLock(channelMutex_);
    if (client_ != nullptr) {
        client_->closeNotify();
        client_.reset();
    }
    hasClient_ = false;
    established_ = false;
    pending_ = false;
}

int TlsServer::advanceHandshake()
{
    std::lock_guard channelLock(channelMutex_);
    const TlsResult result = client_->handshake();
    if (result == TlsResult::Done) {
        established_ = true;
        pending_ = client_->hasPending();
        return 1;
    }
    if (result == TlsResult::WantRead || result == TlsResult::WantWrite) {
        handshakeWaits_ = EventsFor(result);
        return 0;
    }
    handshakeFailed_ = 1;
    return -1;
}

long TlsServer::send(const char* data, std::size_t size)
{
    std::lock_guard channelLock(channelMutex_);
    if (client_ == nullptr || !established_.load()) {
        return 0;
    }
    std::size_t sent = 0;
    while (sent < size) {
        std::size_t count = 0;
        const TlsResult result = client_->write(data + sent, size - sent, count);
        if (result == TlsResult::Done) {
            sent += count;
        } else if (result == TlsResult::WantRead || result == TlsResult::WantWrite) {
            break;
        } else {
            return -1;
        }
    }
    return static_cast<long>(sent);
}

long TlsServer::receive(char* buffer, std::size_t size)
{
    std::lock_guard channelLock(channelMutex_);
    if (client_ == nullptr) {
        return -1;
    }
    const long received = receiveLocked(buffer, size);
    pending_ = client_->hasPending();
    return received;
}

long TlsServer::receiveLocked(char* buffer, std::size_t size)
{
    std::size_t received = 0;
    // Every record that has arrived, as far as the room goes, so that nothing waits
    // in the channel unseen while there is room for it.
    while (received < size) {
        std::size_t count = 0;
        const TlsResult result = client_->read(buffer + received, size - received, count);
        if (result == TlsResult::Done) {
            received += count;
            // Nothing more inside the channel: the socket is asked again only when poll() says so.
            if (!client_->hasPending()) {
                break;
            }
        } else if (result == TlsResult::WantRead || result == TlsResult::WantWrite) {
            break;
        } else {
            // What came before the end is still delivered; the end shows at the next read.
            return received > 0 ? static_cast<long>(received) : -1;
        }
    }
    return static_cast<long>(received);
}

bool TlsServer::hasPending() const
{
    return pending_.load();
}

void TlsServer::turnAway(int fd)
{
    if (turnAways_.size() >= kMaxTurnAways) {
        platform::CloseDescriptor(fd);
        return;
    }
    turnAways_.push_back(TurnAway{fd, std::make_unique<TlsChannel>(*context_, fd),
                                  std::chrono::steady_clock::now() + kTurnAwayTimeLimit, POLLIN});
}

nfds_t TlsServer::addTurnAwayPolls(pollfd* fds, int& timeoutMs)
{
    const auto now = std::chrono::steady_clock::now();
    nfds_t count = 0;
    for (const TurnAway& client : turnAways_) {
        fds[count++] = {client.fd, client.waits, 0};
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(client.deadline - now).count();
        const int leftMs = static_cast<int>(std::max<long>(0, left));
        timeoutMs = timeoutMs < 0 ? leftMs : std::min(timeoutMs, leftMs);
    }
    return count;
}

void TlsServer::serviceTurnAways(const pollfd* fds, nfds_t count)
{
    const auto now = std::chrono::steady_clock::now();
    std::vector<bool> finished(turnAways_.size(), false);
    for (nfds_t i = 0; i < count && i < turnAways_.size(); ++i) {
        TurnAway& client = turnAways_[i];
        if (fds[i].revents != 0) {
            const TlsResult result = client.channel->handshake();
            if (result == TlsResult::Done) {
                std::size_t sent = 0;
                // A fresh connection's buffers always take the few bytes.
                client.channel->write(kBusyText, sizeof kBusyText - 1, sent);
                client.channel->closeNotify();
                finished[i] = true;
            } else if (result == TlsResult::WantRead || result == TlsResult::WantWrite) {
                client.waits = EventsFor(result);
            } else {
                finished[i] = true;
            }
        }
        if (!finished[i] && now >= client.deadline) {
            finished[i] = true;
        }
    }
    for (std::size_t i = turnAways_.size(); i-- > 0;) {
        if (finished[i]) {
            turnAways_[i].channel.reset();
            platform::CloseDescriptor(turnAways_[i].fd);
            turnAways_.erase(turnAways_.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
}

void TlsServer::closeTurnAways()
{
    for (TurnAway& client : turnAways_) {
        client.channel.reset();
        platform::CloseDescriptor(client.fd);
    }
    turnAways_.clear();
}
