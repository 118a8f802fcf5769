// SPDX-License-Identifier: GPL-3.0-or-later
// Non-blocking sockets with poll().

#include "client/Transport.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <thread>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace client {
namespace {

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

void SetNonBlocking(int fd)
{
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

constexpr std::chrono::milliseconds kRefusedRetry{2000};
constexpr std::chrono::milliseconds kRefusedPause{50};

Descriptor ConnectOnce(const std::string& host, const std::string& port, std::chrono::milliseconds limit,
                       std::string& error);

} // namespace

ReadStatus ReadAvailable(int fd, std::string& into)
{
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got > 0) {
            into.append(buffer, static_cast<std::size_t>(got));
            return ReadStatus::Data;
        }
        if (got == 0) {
            return ReadStatus::Closed;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return ReadStatus::WouldBlock;
        }
        // A pseudo-terminal's controller end reads EIO once no one holds the device end.
        return errno == EIO || errno == ECONNRESET ? ReadStatus::Closed : ReadStatus::Failed;
    }
}

bool WaitReadable(int fd, std::chrono::milliseconds limit)
{
    pollfd entry{fd, POLLIN, 0};
    int ready = 0;
    do {
        ready = ::poll(&entry, 1, static_cast<int>(limit.count()));
    } while (ready < 0 && errno == EINTR);
    return ready > 0;
}

Descriptor ConnectTcp(const std::string& host, const std::string& port, std::chrono::milliseconds limit,
                      std::string& error)
{
    // The host listens again only once a session's close has run, so a connection
    // right after a session (its own last one, or another operator's) may be
    // refused for a moment: refusals are retried for a short while.
    const auto retryUntil = Clock::now() + std::min(limit, kRefusedRetry);
    for (;;) {
        Descriptor connected = ConnectOnce(host, port, limit, error);
        if (connected.valid() || error.find(std::strerror(ECONNREFUSED)) == std::string::npos ||
            Clock::now() >= retryUntil) {
            return connected;
        }
        std::this_thread::sleep_for(kRefusedPause);
    }
}

namespace {

Descriptor ConnectOnce(const std::string& host, const std::string& port, std::chrono::milliseconds limit,
                       std::string& error)
{
    const auto deadline = Clock::now() + limit;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* addresses = nullptr;
    const int lookup = ::getaddrinfo(host.c_str(), port.c_str(), &hints, &addresses);
    if (lookup != 0) {
        error = "cannot find " + host + " port " + port + ": " + ::gai_strerror(lookup);
        return {};
    }
    error = "cannot connect to " + host + " port " + port;
    Descriptor connected;
    for (const addrinfo* address = addresses; address != nullptr && !connected.valid(); address = address->ai_next) {
        Descriptor fd(::socket(address->ai_family, address->ai_socktype | SOCK_CLOEXEC, address->ai_protocol));
        if (!fd.valid()) {
            continue;
        }
        SetNonBlocking(fd.get());
        if (::connect(fd.get(), address->ai_addr, address->ai_addrlen) != 0) {
            if (errno != EINPROGRESS) {
                error = "cannot connect to " + host + " port " + port + ": " + std::strerror(errno);
                continue;
            }
            pollfd entry{fd.get(), POLLOUT, 0};
            if (::poll(&entry, 1, RemainingMs(deadline)) <= 0) {
                error = "no answer from " + host + " port " + port;
                continue;
            }
            int failure = 0;
            socklen_t size = sizeof failure;
            ::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &failure, &size);
            if (failure != 0) {
                error = "cannot connect to " + host + " port " + port + ": " + std::strerror(failure);
                continue;
            }
        }
        connected = std::move(fd);
    }
    ::freeaddrinfo(addresses);
    if (connected.valid()) {
        error.clear();
    }
    return connected;
}

} // namespace

Descriptor ListenTcp(const std::string& address, unsigned port, std::string& error)
{
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<std::uint16_t>(port));
    if (port > 65535 || ::inet_pton(AF_INET, address.c_str(), &local.sin_addr) != 1) {
        error = "not an IPv4 address and port: " + address + " " + std::to_string(port);
        return {};
    }
    Descriptor fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    const int yes = 1;
    if (!fd.valid() || ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes) != 0 ||
        ::bind(fd.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 || ::listen(fd.get(), 4) != 0) {
        error = "cannot listen on " + address + " port " + std::to_string(port) + ": " + std::strerror(errno);
        return {};
    }
    return fd;
}

unsigned LocalPort(int fd)
{
    sockaddr_in local{};
    socklen_t size = sizeof local;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &size) != 0) {
        return 0;
    }
    return ntohs(local.sin_port);
}

} // namespace client
