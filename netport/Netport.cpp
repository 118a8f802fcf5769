// SPDX-License-Identifier: GPL-3.0-or-later
#include "netport/Netport.h"

#include "SocketAddresses.h"
#include "TlsServer.h"
#include "platform/Descriptor.h"
#include "platform/MessageBox.h"
#include "protocol/HostTexts.h"

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <shared_mutex>
#include <string>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace {

using netport::Ipv4Address;
using netport::ListenAddress;
using netport::LocalAddress;
using netport::ResolveHost;
using netport::WriteAddressText;
using netport::WriteDottedQuad;

using Deadline = std::chrono::steady_clock::time_point;

// The listening socket stays open between sessions, so clients that connect while a
// session closes wait here until the next Listen takes the first of them.
constexpr int kListenBacklog = 16;
constexpr int kConnectTimeLimitMs = 5000;
constexpr unsigned kHighestPort = 65535;
// The kernel's send buffer of a served connection, fixed so that a peer that stops
// reading is found out after a bounded amount of text rather than several megabytes.
constexpr int kSocketSendBuffer = 32 * 1024;

} // namespace

// The process-wide endpoint behind every CNetport object.
//
// Locks, never taken in another order: lifeMutex (start and join of the thread) ->
// writeMutex (one Write at a time) -> socketMutex -> receiveMutex. The socket thread
// assigns and closes the socket descriptors under socketMutex held exclusively, after
// raising the wake-up descriptor, so a Write that uses a descriptor under the shared
// lock never sees it closed or reused, and gives up its wait at once.
struct NetportEndpoint {
    NetportEndpoint();
    ~NetportEndpoint();
    NetportEndpoint(const NetportEndpoint&) = delete;
    NetportEndpoint& operator=(const NetportEndpoint&) = delete;

    // Clears threadRun and raises wakeFd: wakes the socket thread.
    void RequestStop();
    // Raises wakeFd without stopping: the socket thread looks at its queues again.
    void Wake();
    // Under lifeMutex: stops the socket thread, if any, and joins it.
    void StopAndJoin();
    // Under lifeMutex, with no thread running: starts `body` on the prepared sockets.
    int StartThread(void (*body)(NetportEndpoint*));
    // Under lifeMutex, with no thread running: closes the sockets Listen or Connect prepared.
    void CloseUnstartedSockets();
    // Under lifeMutex, with no thread running: closes the listening socket; the port is free.
    void CloseListener();

    std::mutex lifeMutex;
    std::thread thread;
    sockaddr_in address{}; // connect target; under lifeMutex
    // The listening address as the owner gave it (empty: every IPv4 address); under lifeMutex.
    std::string bindAddress;
    sockaddr_storage listenAddress{}; // what Listen binds to; under lifeMutex
    socklen_t listenAddressLength = 0;
    // eventfd raised by RequestStop; lowered when the next session starts.
    int wakeFd = -1;

    // Guards the outbound queue; held for a whole Write, so writes never interleave.
    std::mutex writeMutex;
    std::string outbound;           // queued text for the peer, oldest first
    std::size_t outboundSent = 0;   // bytes at the front of `outbound` already sent
    // Whether `outbound` holds unsent text: set with it under writeMutex (QueueChanged),
    // read without the lock by the socket thread, which then leaves the mutex alone
    // while nothing waits (a writer that queues text wakes the thread after setting it).
    std::atomic<bool> outboundWaiting{false};
    void QueueChanged() { outboundWaiting = outbound.size() > outboundSent; }
    Deadline lastSendProgress{};    // when the peer last took queued text

    std::shared_mutex socketMutex;
    int clientSocket = -1;
    // Open from the first Listen until StopListening, a Connect, a Listen on another
    // address or a failure of the socket: between sessions, new connections wait in its backlog.
    int listenSocket = -1;
    sockaddr_storage listenSocketAddress{}; // what listenSocket is bound to; under lifeMutex
    // The peer of the current or last connection, kept so that its address can be
    // told even after a client that sent its text and closed at once has gone.
    sockaddr_storage peerAddress{};
    // The TLS side while SetTls gave a certificate: the client's channel lives and dies
    // with clientSocket, under socketMutex held exclusively.
    TlsServer tls;

    std::mutex receiveMutex;
    std::condition_variable receiveArrived;
    char receiveBuffer[CNetport::kReceiveBufferSize] = {};
    std::size_t receiveLength = 0;
    // The buffer was full, so the socket thread stopped reading; a take wakes it.
    bool receiveBlocked = false;

    std::atomic<platform::WindowHandle> eventWindow{nullptr};
    std::atomic<platform::WindowHandle> eventSink{nullptr};
    std::atomic<int> sendOverflow{0};
    std::atomic<int> clientExists{0};
    std::atomic<int> threadAlive{0};
    std::atomic<int> threadRun{0};
    std::atomic<int> clientMode{0};
    std::atomic<int> acceptedFlag{0};
    std::atomic<int> closedFlag{0};
};

namespace {

NetportEndpoint& Endpoint()
{
    static NetportEndpoint endpoint;
    return endpoint;
}

void Post(const NetportEndpoint& endpoint, platform::WParam event, platform::LParam value)
{
    platform::PostMessage(endpoint.eventWindow.load(), WM_NETPORT_EVENT, event, value);
    platform::PostMessage(endpoint.eventSink.load(), WM_NETPORT_EVENT, event, value);
}

// Sends as much of `data` as the socket takes now, without waiting. Returns the
// number of bytes sent, or -1 when the connection failed.
long SendNow(int fd, const char* data, std::size_t size)
{
    std::size_t sent = 0;
    while (sent < size) {
        const ssize_t n = ::send(fd, data + sent, size - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            break;
        } else {
            return -1;
        }
    }
    return static_cast<long>(sent);
}

// SendNow for the served client, through its TLS channel when there is one (which
// takes nothing before its handshake is done).
long SendToClient(NetportEndpoint& endpoint, int fd, const char* data, std::size_t size)
{
    return endpoint.tls.hasClient() ? endpoint.tls.send(data, size) : SendNow(fd, data, size);
}

// Sends queued text as far as the socket takes it; false when the connection failed.
// Called with writeMutex held.
bool FlushQueue(NetportEndpoint& endpoint, int fd)
{
    const std::size_t waiting = endpoint.outbound.size() - endpoint.outboundSent;
    if (waiting == 0) {
        return true;
    }
    const long sent = SendToClient(endpoint, fd, endpoint.outbound.data() + endpoint.outboundSent, waiting);
    if (sent < 0) {
        return false;
    }
    if (sent > 0) {
        endpoint.lastSendProgress = std::chrono::steady_clock::now();
        endpoint.outboundSent += static_cast<std::size_t>(sent);
    }
    if (endpoint.outboundSent == endpoint.outbound.size()) {
        endpoint.outbound.clear();
        endpoint.outboundSent = 0;
    } else if (endpoint.outboundSent >= CNetport::kSendQueueLimit / 2) {
        endpoint.outbound.erase(0, endpoint.outboundSent);
        endpoint.outboundSent = 0;
    }
    endpoint.QueueChanged();
    return true;
}

// Errors of accept() that concern only the one connection being accepted.
bool AcceptErrorIsTransient(int error)
{
    switch (error) {
    case EAGAIN:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
    case EINTR:
    case ECONNABORTED:
    case EPROTO:
    case ENETDOWN:
    case ENOPROTOOPT:
    case EHOSTDOWN:
    case ENONET:
    case EHOSTUNREACH:
    case EOPNOTSUPP:
    case ENETUNREACH:
        return true;
    default:
        return false;
    }
}

// Sends "BUSY;" to a further client and closes it. The send buffer of a fresh
// connection always takes the few bytes, so there is no waiting: the socket thread
// goes straight back to the client it serves.
void TurnAway(int fd)
{
    SendNow(fd, protocol::kBusy.data(), protocol::kBusy.size());
    ::close(fd);
}

// Accepts one pending connection; false when the listening socket failed.
bool AcceptPending(NetportEndpoint& endpoint)
{
    sockaddr_storage peer{};
    socklen_t peerLength = sizeof peer;
    const int fd = ::accept4(endpoint.listenSocket, reinterpret_cast<sockaddr*>(&peer), &peerLength,
                             SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) {
        return AcceptErrorIsTransient(errno);
    }
    if (endpoint.clientExists.load() != 0) {
        endpoint.tls.enabled() ? endpoint.tls.turnAway(fd) : TurnAway(fd);
        return true;
    }
    ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &kSocketSendBuffer, sizeof kSocketSendBuffer);
    {
        std::unique_lock socketLock(endpoint.socketMutex);
        endpoint.clientSocket = fd;
        endpoint.peerAddress = peer;
        if (endpoint.tls.enabled()) {
            endpoint.tls.startClient(fd);
        }
    }
    endpoint.clientExists = 1;
    endpoint.acceptedFlag = 1;
    Post(endpoint, kNetportEventAccepted, 0);
    return true;
}

// Appends one received chunk, every byte of it (zero bytes too).
void StoreChunk(NetportEndpoint& endpoint, const char* chunk, std::size_t textLength)
{
    if (textLength == 0) {
        return;
    }
    std::size_t buffered = 0;
    {
        std::lock_guard receiveLock(endpoint.receiveMutex);
        std::memcpy(endpoint.receiveBuffer + endpoint.receiveLength, chunk, textLength);
        endpoint.receiveLength += textLength;
        endpoint.receiveBuffer[endpoint.receiveLength] = '\0';
        buffered = endpoint.receiveLength;
    }
    endpoint.receiveArrived.notify_all();
    Post(endpoint, kNetportEventReceived, static_cast<platform::LParam>(buffered));
}

// Room left in the receive buffer; 0 marks the reading as blocked until the owner takes text.
std::size_t ReceiveRoom(NetportEndpoint& endpoint)
{
    std::lock_guard receiveLock(endpoint.receiveMutex);
    const std::size_t room = CNetport::kReceiveBufferSize - 1 - endpoint.receiveLength;
    endpoint.receiveBlocked = room == 0;
    return room;
}

// Reads what fits into the receive buffer; false when the connection is over.
bool ReceivePending(NetportEndpoint& endpoint, std::size_t room)
{
    char chunk[CNetport::kReceiveBufferSize];
    if (endpoint.tls.hasClient()) {
        const long decrypted = endpoint.tls.receive(chunk, std::min(room, sizeof chunk - 1));
        if (decrypted < 0) {
            return false;
        }
        StoreChunk(endpoint, chunk, static_cast<std::size_t>(decrypted));
        return true;
    }
    const ssize_t n = ::recv(endpoint.clientSocket, chunk, std::min(room, sizeof chunk - 1), MSG_DONTWAIT);
    if (n == 0) {
        return false;
    }
    if (n < 0) {
        return errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK;
    }
    StoreChunk(endpoint, chunk, static_cast<std::size_t>(n));
    return true;
}

} // namespace

NetportEndpoint::NetportEndpoint()
    : wakeFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
}

NetportEndpoint::~NetportEndpoint()
{
    {
        std::lock_guard lifeLock(lifeMutex);
        StopAndJoin();
        CloseListener();
    }
    platform::CloseDescriptor(wakeFd);
}

void NetportEndpoint::RequestStop()
{
    threadRun = 0;
    const std::uint64_t one = 1;
    while (::write(wakeFd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void NetportEndpoint::Wake()
{
    const std::uint64_t one = 1;
    while (::write(wakeFd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void NetportEndpoint::StopAndJoin()
{
    if (thread.joinable()) {
        RequestStop();
        thread.join();
    }
}

int NetportEndpoint::StartThread(void (*body)(NetportEndpoint*))
{
    std::uint64_t raised = 0;
    while (::read(wakeFd, &raised, sizeof raised) < 0 && errno == EINTR) {
    }
    acceptedFlag = 0;
    closedFlag = 0;
    sendOverflow = 0;
    tls.clearFailure();
    {
        std::lock_guard writeLock(writeMutex);
        outbound.clear();
        outboundSent = 0;
        QueueChanged();
    }
    {
        // Alive before the thread runs, so that a Write or a length query right after
        // Listen or Connect already sees the session.
        std::lock_guard receiveLock(receiveMutex);
        threadAlive = 1;
    }
    threadRun = 1;
    try {
        thread = std::thread(body, this);
    } catch (const std::system_error&) {
        threadRun = 0;
        {
            std::lock_guard receiveLock(receiveMutex);
            threadAlive = 0;
        }
        CloseUnstartedSockets();
        return 0;
    }
    return 1;
}

void NetportEndpoint::CloseUnstartedSockets()
{
    std::unique_lock socketLock(socketMutex);
    platform::CloseDescriptor(clientSocket);
    platform::CloseDescriptor(listenSocket);
}

void NetportEndpoint::CloseListener()
{
    std::unique_lock socketLock(socketMutex);
    platform::CloseDescriptor(listenSocket);
}

CNetport::CNetport()
{
    NetportEndpoint& endpoint = Endpoint();
    std::lock_guard lifeLock(endpoint.lifeMutex);
    if (endpoint.threadAlive.load() != 0) {
        return;
    }
    endpoint.StopAndJoin();
    endpoint.bindAddress.clear();
    endpoint.tls.setContext(nullptr);
    endpoint.eventWindow = nullptr;
    endpoint.clientMode = 0;
    endpoint.clientExists = 0;
    endpoint.threadRun = 0;
    endpoint.acceptedFlag = 0;
    endpoint.closedFlag = 0;
    std::lock_guard receiveLock(endpoint.receiveMutex);
    std::memset(endpoint.receiveBuffer, 0, sizeof endpoint.receiveBuffer);
    endpoint.receiveLength = 0;
}

CNetport::~CNetport()
{
    NetportEndpoint& endpoint = Endpoint();
    std::lock_guard lifeLock(endpoint.lifeMutex);
    endpoint.StopAndJoin();
}

int CNetport::SetTls(const char* certificateFile, const char* keyFile)
{
    NetportEndpoint& endpoint = Endpoint();
    std::lock_guard lifeLock(endpoint.lifeMutex);
    if (endpoint.threadAlive.load() != 0) {
        return 0;
    }
    endpoint.StopAndJoin();
    if (certificateFile == nullptr || keyFile == nullptr) {
        endpoint.tls.setContext(nullptr);
        return 1;
    }
    std::string error;
    auto context = netport::tls::TlsContext::ForServer(certificateFile, keyFile, error);
    if (context == nullptr) {
        return 0;
    }
    endpoint.tls.setContext(std::move(context));
    return 1;
}

int CNetport::GetTlsFailure()
{
    return Endpoint().tls.handshakeFailed();
}

int CNetport::Listen(unsigned port)
{
    NetportEndpoint& endpoint = Endpoint();
    std::lock_guard lifeLock(endpoint.lifeMutex);
    const bool addressValid =
        ListenAddress(endpoint.bindAddress, port, endpoint.listenAddress, endpoint.listenAddressLength);
    endpoint.acceptedFlag = 0;
    endpoint.closedFlag = 0;
    if (endpoint.threadAlive.load() != 0) {
        return 0;
    }
    endpoint.StopAndJoin();
    {
        std::unique_lock socketLock(endpoint.socketMutex);
        endpoint.peerAddress = sockaddr_storage{};
    }
    if (port > kHighestPort || !addressValid || CreateLSocket() == 0) {
        endpoint.CloseListener();
        platform::ShowMessageBox("Network connection error.");
        return 0;
    }
    endpoint.clientMode = 0;
    endpoint.clientExists = 0;
    return endpoint.StartThread(&SockThread);
}

int CNetport::Connect(const char* host, unsigned port)
{
    in_addr target{};
    if (host == nullptr || port > kHighestPort || !ResolveHost(host, target)) {
        return 0;
    }
    NetportEndpoint& endpoint = Endpoint();
    std::lock_guard lifeLock(endpoint.lifeMutex);
    endpoint.address = Ipv4Address(target, port);
    if (endpoint.threadAlive.load() != 0) {
        return 0;
    }
    endpoint.StopAndJoin();
    // One endpoint: as a client it takes no connections of its own.
    endpoint.CloseListener();
    if (CreateCSocket() == 0) {
        return 0;
    }
    endpoint.clientMode = 1;
    return endpoint.StartThread(&SockThread);
}

int CNetport::DisConnect()
{
    NetportEndpoint& endpoint = Endpoint();
    std::lock_guard lifeLock(endpoint.lifeMutex);
    endpoint.StopAndJoin();
    std::lock_guard receiveLock(endpoint.receiveMutex);
    std::memset(endpoint.receiveBuffer, 0, sizeof endpoint.receiveBuffer);
    endpoint.receiveLength = 0;
    return 1;
}

int CNetport::StopListening()
{
    NetportEndpoint& endpoint = Endpoint();
    std::lock_guard lifeLock(endpoint.lifeMutex);
    endpoint.StopAndJoin();
    endpoint.CloseListener();
    std::lock_guard receiveLock(endpoint.receiveMutex);
    std::memset(endpoint.receiveBuffer, 0, sizeof endpoint.receiveBuffer);
    endpoint.receiveLength = 0;
    return 1;
}

int CNetport::GetRcvDataLength()
{
    NetportEndpoint& endpoint = Endpoint();
    if (endpoint.threadAlive.load() == 0) {
        return -1;
    }
    std::lock_guard receiveLock(endpoint.receiveMutex);
    return static_cast<int>(endpoint.receiveLength);
}

int CNetport::GetRcvData(unsigned char* dst)
{
    return GetRcvData(dst, nullptr);
}

int CNetport::GetRcvData(unsigned char* dst, unsigned long* length)
{
    if (dst == nullptr) {
        return 0;
    }
    NetportEndpoint& endpoint = Endpoint();
    bool wasBlocked = false;
    {
        std::lock_guard receiveLock(endpoint.receiveMutex);
        std::memcpy(dst, endpoint.receiveBuffer, endpoint.receiveLength + 1);
        if (length != nullptr) {
            *length = endpoint.receiveLength;
        }
        endpoint.receiveLength = 0;
        endpoint.receiveBuffer[0] = '\0';
        wasBlocked = endpoint.receiveBlocked;
        endpoint.receiveBlocked = false;
    }
    if (wasBlocked) {
        endpoint.Wake();
    }
    return 1;
}

int CNetport::WaitRcvData(unsigned milliseconds)
{
    NetportEndpoint& endpoint = Endpoint();
    std::unique_lock receiveLock(endpoint.receiveMutex);
    endpoint.receiveArrived.wait_for(receiveLock, std::chrono::milliseconds(milliseconds), [&endpoint] {
        return endpoint.receiveLength > 0 || endpoint.threadAlive.load() == 0;
    });
    return endpoint.receiveLength > 0 ? 1 : 0;
}

int CNetport::Write(unsigned char* text, unsigned long length)
{
    NetportEndpoint& endpoint = Endpoint();
    if (text == nullptr || endpoint.threadAlive.load() == 0 ||
        (endpoint.clientMode.load() == 0 && endpoint.clientExists.load() == 0)) {
        return 0;
    }
    std::lock_guard writeLock(endpoint.writeMutex);
    std::shared_lock socketLock(endpoint.socketMutex);
    if (endpoint.clientSocket < 0 || endpoint.threadRun.load() == 0) {
        return 0;
    }
    char* chars = reinterpret_cast<char*>(text);
    const std::size_t size = length;
    const std::size_t queued = endpoint.outbound.size() - endpoint.outboundSent;
    std::size_t sent = 0;
    if (queued == 0) {
        const long now = SendToClient(endpoint, endpoint.clientSocket, chars, size);
        if (now < 0) {
            endpoint.RequestStop();
            return 0;
        }
        sent = static_cast<std::size_t>(now);
        endpoint.lastSendProgress = std::chrono::steady_clock::now();
    }
    if (queued + (size - sent) > kSendQueueLimit) {
        // The peer does not take its text: the session is over, and the socket
        // thread closes it the usual way. What was not sent stays with the caller,
        // at the start of `text`, ended by a NUL when there is room for one.
        std::memmove(chars, chars + sent, size - sent);
        if (sent > 0) {
            chars[size - sent] = '\0';
        }
        endpoint.sendOverflow = 1;
        endpoint.RequestStop();
        return 0;
    }
    if (sent < size) {
        endpoint.outbound.append(chars + sent, size - sent);
        endpoint.QueueChanged();
        // The socket thread now waits for the socket to take more.
        endpoint.Wake();
    }
    if (size > 0) {
        chars[0] = '\0';
    }
    return 1;
}

int CNetport::GetSendOverflow()
{
    return Endpoint().sendOverflow.load();
}

int CNetport::GetClientIP(char* dst)
{
    NetportEndpoint& endpoint = Endpoint();
    std::shared_lock socketLock(endpoint.socketMutex);
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    if (endpoint.clientSocket < 0 ||
        ::getpeername(endpoint.clientSocket, reinterpret_cast<sockaddr*>(&peer), &length) != 0) {
        peer = endpoint.peerAddress;
    }
    if (dst == nullptr) {
        return 0;
    }
    return WriteAddressText(peer, dst) ? 1 : 0;
}

int CNetport::SetBindAddress(const char* address)
{
    NetportEndpoint& endpoint = Endpoint();
    std::lock_guard lifeLock(endpoint.lifeMutex);
    endpoint.bindAddress = address == nullptr ? std::string() : std::string(address);
    sockaddr_storage parsed{};
    socklen_t length = 0;
    return ListenAddress(endpoint.bindAddress, 0, parsed, length) ? 1 : 0;
}

int CNetport::GetLocalIP(char* dst)
{
    if (dst == nullptr) {
        return 0;
    }
    std::memset(dst, 0, 4);
    in_addr address{};
    if (!LocalAddress(address)) {
        return 0;
    }
    WriteDottedQuad(address, dst);
    return 1;
}

int CNetport::GetClientExist()
{
    return Endpoint().clientExists.load();
}

int CNetport::GetSocketAccepted()
{
    return Endpoint().acceptedFlag.load();
}

int CNetport::GetSocketClosed()
{
    return Endpoint().closedFlag.load();
}

void CNetport::WinMsgSendReg(platform::WindowHandle window)
{
    Endpoint().eventWindow = window;
}

void CNetport::EventSinkReg(platform::WindowHandle sink)
{
    Endpoint().eventSink = sink;
}

int CNetport::CreateLSocket()
{
    NetportEndpoint& endpoint = Endpoint();
    if (endpoint.wakeFd < 0) {
        return 0;
    }
    if (endpoint.listenSocket >= 0) {
        // The socket of the last session, on the same address, with its waiting clients.
        if (std::memcmp(&endpoint.listenSocketAddress, &endpoint.listenAddress, endpoint.listenAddressLength) == 0) {
            return 1;
        }
        endpoint.CloseListener();
    }
    const int family = endpoint.listenAddress.ss_family;
    int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_TCP);
    if (fd < 0) {
        return 0;
    }
    // An IPv6 address listens for IPv6 only, so that "::1" does not also answer IPv4 clients.
    const int v6Only = 1;
    if (family == AF_INET6 && ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &v6Only, sizeof v6Only) != 0) {
        platform::CloseDescriptor(fd);
        return 0;
    }
    // The port of a session that just ended stays in TIME_WAIT; the next Listen must not wait for it.
    const int reuse = 1;
    if (::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse) != 0 ||
        ::bind(fd, reinterpret_cast<const sockaddr*>(&endpoint.listenAddress), endpoint.listenAddressLength) != 0 ||
        ::listen(fd, kListenBacklog) != 0) {
        platform::CloseDescriptor(fd);
        return 0;
    }
    std::unique_lock socketLock(endpoint.socketMutex);
    endpoint.listenSocket = fd;
    endpoint.listenSocketAddress = endpoint.listenAddress;
    return 1;
}

int CNetport::CreateCSocket()
{
    NetportEndpoint& endpoint = Endpoint();
    if (endpoint.wakeFd < 0) {
        return 0;
    }
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_TCP);
    if (fd < 0) {
        return 0;
    }
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&endpoint.address), sizeof endpoint.address) != 0) {
        if (errno != EINPROGRESS && errno != EINTR) {
            platform::CloseDescriptor(fd);
            return 0;
        }
        // The connection completes in the background; wait for it a bounded time.
        const Deadline deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kConnectTimeLimitMs);
        int ready = 0;
        do {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            pollfd writable{fd, POLLOUT, 0};
            ready = left.count() > 0 ? ::poll(&writable, 1, static_cast<int>(left.count())) : 0;
        } while (ready < 0 && errno == EINTR);
        int error = 0;
        socklen_t length = sizeof error;
        if (ready <= 0 || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
            platform::CloseDescriptor(fd);
            return 0;
        }
    }
    std::unique_lock socketLock(endpoint.socketMutex);
    endpoint.clientSocket = fd;
    endpoint.peerAddress = sockaddr_storage{};
    std::memcpy(&endpoint.peerAddress, &endpoint.address, sizeof endpoint.address);
    return 1;
}

namespace {

// What one turn of the socket thread waits for, and where each descriptor is in `fds`.
struct SocketPoll {
    pollfd fds[3 + TlsServer::kMaxTurnAways] = {};
    nfds_t count = 0;
    int listenIndex = -1;
    int clientIndex = -1;
    nfds_t turnAwayIndex = 0;
    int timeoutMs = -1;
    // Room in the receive buffer while a client is served.
    std::size_t room = 0;
    // Records already in the TLS channel, read without waiting for the socket.
    bool tlsPending = false;
};

// The served client's poll events: reading while the receive buffer has `room`, writing
// while text is queued (with `timeoutMs` set to what is left of the stall limit), or
// what its TLS handshake waits for.
short ClientEvents(NetportEndpoint& endpoint, std::size_t room, bool clientLeaving, int& timeoutMs)
{
    const short events = static_cast<short>((room > 0 ? POLLIN : 0) | (clientLeaving ? 0 : POLLRDHUP));
    if (endpoint.tls.handshaking()) {
        // Queued text waits for the handshake, which the login deadline bounds.
        return endpoint.tls.handshakeEvents();
    }
    if (!endpoint.outboundWaiting.load()) {
        return events;
    }
    std::lock_guard writeLock(endpoint.writeMutex);
    if (endpoint.outbound.size() <= endpoint.outboundSent) {
        return events;
    }
    const auto stall = endpoint.lastSendProgress + std::chrono::milliseconds(CNetport::kWriteTimeLimitMs);
    timeoutMs = static_cast<int>(std::max<long>(
        0, std::chrono::ceil<std::chrono::milliseconds>(stall - std::chrono::steady_clock::now()).count()));
    return static_cast<short>(events | POLLOUT);
}

// The wake-up eventfd, the listening socket (left alone while the served client is
// leaving), the client socket and the handshakes of turned-away TLS clients.
SocketPoll PreparePoll(NetportEndpoint& endpoint, bool clientLeaving)
{
    SocketPoll polls;
    polls.fds[polls.count++] = {endpoint.wakeFd, POLLIN, 0};
    if (endpoint.listenSocket >= 0 && !clientLeaving) {
        polls.listenIndex = static_cast<int>(polls.count);
        polls.fds[polls.count++] = {endpoint.listenSocket, POLLIN, 0};
    }
    if (endpoint.clientSocket >= 0) {
        polls.room = ReceiveRoom(endpoint);
        const short events = ClientEvents(endpoint, polls.room, clientLeaving, polls.timeoutMs);
        polls.clientIndex = static_cast<int>(polls.count);
        polls.fds[polls.count++] = {endpoint.clientSocket, events, 0};
    }
    polls.turnAwayIndex = polls.count;
    polls.count += endpoint.tls.addTurnAwayPolls(polls.fds + polls.count, polls.timeoutMs);
    polls.tlsPending = polls.clientIndex >= 0 && polls.room > 0 && endpoint.tls.hasPending();
    if (polls.tlsPending) {
        polls.timeoutMs = 0;
    }
    return polls;
}

// What the poll saw on the client socket; records waiting in the TLS channel count as
// readable.
short ClientRevents(const SocketPoll& polls)
{
    if (polls.clientIndex < 0) {
        return 0;
    }
    return static_cast<short>(polls.fds[polls.clientIndex].revents | (polls.tlsPending ? POLLIN : 0));
}

// Lowers the wake-up eventfd when `wake`, its poll entry, saw it raised.
void LowerWake(NetportEndpoint& endpoint, const pollfd& wake)
{
    if ((wake.revents & POLLIN) != 0) {
        std::uint64_t raised = 0;
        while (::read(endpoint.wakeFd, &raised, sizeof raised) < 0 && errno == EINTR) {
        }
    }
}

// After a poll that ran out its time: true when queued text for the peer has not moved
// for the whole stall limit, which ends the session as an overflow.
bool SendStalled(NetportEndpoint& endpoint)
{
    std::lock_guard writeLock(endpoint.writeMutex);
    if (endpoint.outbound.size() > endpoint.outboundSent &&
        std::chrono::steady_clock::now() - endpoint.lastSendProgress >=
            std::chrono::milliseconds(CNetport::kWriteTimeLimitMs)) {
        endpoint.sendOverflow = 1;
        return true;
    }
    return false;
}

// One step of the served client's TLS handshake; false when it failed.
bool AdvanceHandshake(NetportEndpoint& endpoint)
{
    const int handshake = endpoint.tls.advanceHandshake();
    if (handshake < 0) {
        return false;
    }
    if (handshake > 0) {
        // What the owner wrote meanwhile (the greeting) goes out now.
        std::lock_guard writeLock(endpoint.writeMutex);
        endpoint.lastSendProgress = std::chrono::steady_clock::now();
        if (!FlushQueue(endpoint, endpoint.clientSocket)) {
            return false;
        }
    }
    return true;
}

// Sends queued text and reads received text as `revents` allow; false when the
// connection is over.
bool ExchangeText(NetportEndpoint& endpoint, short revents, std::size_t room)
{
    if ((revents & POLLOUT) != 0) {
        std::lock_guard writeLock(endpoint.writeMutex);
        if (!FlushQueue(endpoint, endpoint.clientSocket)) {
            return false;
        }
    }
    if ((revents & POLLIN) != 0) {
        return ReceivePending(endpoint, room);
    }
    return (revents & (POLLERR | POLLHUP | POLLNVAL)) == 0;
}

// Serves the served client's socket events, `revents`; false when the session is over.
bool ServeClient(NetportEndpoint& endpoint, short revents, std::size_t room)
{
    if (revents != 0 && endpoint.tls.handshaking()) {
        return AdvanceHandshake(endpoint);
    }
    return ExchangeText(endpoint, revents, room);
}

// Takes a waiting connection when the listening socket has one; false when the
// listening socket failed.
bool ServeListener(NetportEndpoint& endpoint, short revents)
{
    return (revents & (POLLERR | POLLNVAL)) == 0 && AcceptPending(endpoint);
}

// One way out for every reason: what is still queued for a peer that reads gets one
// last chance to go out, then the sockets close and the owner hears that the session
// is over.
void EndSession(NetportEndpoint& endpoint, bool listenerFailed)
{
    endpoint.RequestStop();
    {
        std::lock_guard writeLock(endpoint.writeMutex);
        if (endpoint.sendOverflow.load() == 0 && endpoint.clientSocket >= 0) {
            FlushQueue(endpoint, endpoint.clientSocket);
        }
        endpoint.outbound.clear();
        endpoint.outboundSent = 0;
        endpoint.QueueChanged();
    }
    {
        std::unique_lock socketLock(endpoint.socketMutex);
        endpoint.tls.endClient();
        endpoint.tls.closeTurnAways();
        platform::CloseDescriptor(endpoint.clientSocket);
        // A working listening socket outlives the session: whoever connects before the
        // next Listen waits in its backlog instead of being refused.
        if (listenerFailed) {
            platform::CloseDescriptor(endpoint.listenSocket);
        }
    }
    {
        std::lock_guard receiveLock(endpoint.receiveMutex);
        endpoint.threadAlive = 0;
        endpoint.receiveBlocked = false;
    }
    endpoint.receiveArrived.notify_all();
    endpoint.closedFlag = 1;
    Post(endpoint, kNetportEventClosed, 0);
}

} // namespace

// Sleeps in poll() on the wake-up eventfd, the listening socket and the client
// socket: reading while the receive buffer has room, writing while text is queued.
// The only time limit is the stall limit of a queue the peer does not drain.
void CNetport::SockThread(NetportEndpoint* state)
{
    NetportEndpoint& endpoint = *state;
    ::pthread_setname_np(::pthread_self(), "netport-socket");
    // Only this thread changes the descriptors while it runs, so it reads them unlocked.
    bool listenerFailed = false;
    // The served client has closed its side: its last text is still read, but the
    // listening socket is left alone until the session has ended, so that the client's
    // next connection waits for the next Listen instead of being turned away as busy.
    bool clientLeaving = false;
    while (endpoint.threadRun.load() != 0) {
        SocketPoll polls = PreparePoll(endpoint, clientLeaving);
        const int ready = ::poll(polls.fds, polls.count, polls.timeoutMs);
        if (ready < 0 && errno != EINTR) {
            break;
        }
        if (ready < 0) {
            continue;
        }
        LowerWake(endpoint, polls.fds[0]);
        if (endpoint.threadRun.load() == 0) {
            break;
        }
        endpoint.tls.serviceTurnAways(polls.fds + polls.turnAwayIndex, polls.count - polls.turnAwayIndex);
        if (ready == 0 && polls.timeoutMs >= 0 && !polls.tlsPending) {
            if (SendStalled(endpoint)) {
                break;
            }
            continue;
        }
        // The served client first: one that closed and at once connected again ends its
        // session here before its new connection is looked at.
        const short revents = ClientRevents(polls);
        if ((revents & POLLRDHUP) != 0) {
            clientLeaving = true;
        }
        if (!ServeClient(endpoint, revents, polls.room)) {
            break;
        }
        if (polls.listenIndex >= 0 && polls.fds[polls.listenIndex].revents != 0 && !clientLeaving &&
            !ServeListener(endpoint, polls.fds[polls.listenIndex].revents)) {
            listenerFailed = true;
            break;
        }
    }
    EndSession(endpoint, listenerFailed);
}
