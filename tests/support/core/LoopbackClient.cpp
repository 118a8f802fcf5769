// SPDX-License-Identifier: GPL-3.0-or-later
#include "testsupport/LoopbackClient.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <random>
#include <stdexcept>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace testsupport {
namespace {

sockaddr_in Loopback(unsigned port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

std::chrono::milliseconds Left(std::chrono::steady_clock::time_point deadline)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
}

} // namespace

LoopbackClient::LoopbackClient(unsigned port, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    const sockaddr_in address = Loopback(port);
    do {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd_ < 0) {
            throw std::runtime_error("socket failed");
        }
        if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
            return;
        }
        ::close(fd_);
        fd_ = -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    } while (Left(deadline).count() > 0);
}

LoopbackClient::LoopbackClient(const std::string& host, unsigned port, const std::string& source,
                               std::chrono::milliseconds limit)
{
    const auto numeric = [port](const std::string& text, sockaddr_storage& address) {
        address = sockaddr_storage{};
        auto* ipv4 = reinterpret_cast<sockaddr_in*>(&address);
        auto* ipv6 = reinterpret_cast<sockaddr_in6*>(&address);
        if (::inet_pton(AF_INET, text.c_str(), &ipv4->sin_addr) == 1) {
            ipv4->sin_family = AF_INET;
            ipv4->sin_port = htons(static_cast<std::uint16_t>(port));
            return socklen_t{sizeof(sockaddr_in)};
        }
        if (::inet_pton(AF_INET6, text.c_str(), &ipv6->sin6_addr) != 1) {
            throw std::runtime_error("not a numeric address: " + text);
        }
        ipv6->sin6_family = AF_INET6;
        ipv6->sin6_port = htons(static_cast<std::uint16_t>(port));
        return socklen_t{sizeof(sockaddr_in6)};
    };
    sockaddr_storage target{};
    const socklen_t targetLength = numeric(host, target);
    const auto deadline = std::chrono::steady_clock::now() + limit;
    do {
        fd_ = ::socket(target.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd_ < 0) {
            throw std::runtime_error("socket failed");
        }
        if (!source.empty()) {
            sockaddr_storage from{};
            const socklen_t fromLength = numeric(source, from);
            reinterpret_cast<sockaddr_in*>(&from)->sin_port = 0;
            if (::bind(fd_, reinterpret_cast<const sockaddr*>(&from), fromLength) != 0) {
                throw std::runtime_error("bind failed: " + source);
            }
        }
        if (::connect(fd_, reinterpret_cast<const sockaddr*>(&target), targetLength) == 0) {
            return;
        }
        ::close(fd_);
        fd_ = -1;
        if (Left(deadline).count() > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    } while (Left(deadline).count() > 0);
}

LoopbackClient::~LoopbackClient()
{
    close();
}

bool LoopbackClient::send(std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
        } else if (!(n < 0 && errno == EINTR)) {
            return false; // the server closed the connection; a test sees that on receive
        }
    }
    return true;
}

std::string LoopbackClient::receiveUntil(std::string_view terminator, std::chrono::milliseconds limit)
{
    std::string received;
    receiveInto(received, terminator, limit);
    return received;
}

bool LoopbackClient::receiveInto(std::string& received, std::string_view terminator, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (received.find(terminator) == std::string::npos) {
        const auto left = Left(deadline);
        if (left.count() <= 0) {
            return false;
        }
        const std::string more = receiveSome(left);
        if (more.empty()) {
            return false; // closed, or nothing more within the limit
        }
        received += more;
    }
    return true;
}

std::string LoopbackClient::receiveSome(std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (auto left = limit; left.count() > 0; left = Left(deadline)) {
        pollfd readable{fd_, POLLIN, 0};
        if (::poll(&readable, 1, static_cast<int>(left.count())) <= 0) {
            continue;
        }
        char chunk[4096];
        const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
        if (n > 0) {
            return std::string(chunk, static_cast<std::size_t>(n));
        }
        if (n == 0 || errno != EINTR) {
            break;
        }
    }
    return {};
}

std::string LoopbackClient::receiveFor(std::chrono::milliseconds limit)
{
    // A terminator that no test text contains: reads until the limit or the close.
    return receiveUntil(std::string_view("\0\xff\0", 3), limit);
}

bool LoopbackClient::waitForClose(std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (Left(deadline).count() > 0) {
        pollfd readable{fd_, POLLIN, 0};
        if (::poll(&readable, 1, static_cast<int>(Left(deadline).count())) <= 0) {
            continue;
        }
        char chunk[4096];
        const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
        if (n == 0 || (n < 0 && errno != EINTR)) {
            return true;
        }
    }
    return false;
}

void LoopbackClient::close()
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

unsigned FreeTcpPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (fd >= 0) {
            ::close(fd);
        }
        throw std::runtime_error("no free port");
    }
    ::close(fd);
    return ntohs(address.sin_port);
}

int FreeSipPort()
{
    const auto bindable = [](int type, int port) {
        const int fd = socket(AF_INET, type | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        const bool free = fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
        if (fd >= 0) {
            close(fd);
        }
        return free;
    };
    // Parallel callers start at different places, so that they seldom try the same pair.
    constexpr int kFirst = 20000;
    constexpr int kPairs = 6000;
    std::mt19937 random(std::random_device{}());
    const int start = static_cast<int>(random() % kPairs);
    for (int step = 0; step < kPairs; ++step) {
        const int port = kFirst + 2 * ((start + step) % kPairs);
        if (bindable(SOCK_DGRAM, port) && bindable(SOCK_STREAM, port) && bindable(SOCK_STREAM, port + 1)) {
            return port;
        }
    }
    throw std::runtime_error("no free SIP port pair");
}

} // namespace testsupport
