// SPDX-License-Identifier: GPL-3.0-or-later
// ondrel_tls_echo: the floor under the host's TLS figures. A server with nothing but
// the endpoint's TLS channel (or plain TCP) that answers every "FA;" at once, as the
// radio would, so that ondrel_latency_bench can tell what TLS itself adds to a round
// trip and to a process's resident memory, apart from what the host adds. Serves one
// connection after another on 127.0.0.1 until a signal ends it; prints "listening"
// once its port is open.
//   ondrel_tls_echo PORT                     plain TCP
//   ondrel_tls_echo PORT CERTIFICATE KEY     TLS with that PEM certificate and key
#include "netport/tls/TlsChannel.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using netport::tls::TlsChannel;
using netport::tls::TlsResult;

constexpr std::string_view kQuery = "FA;";
constexpr std::string_view kAnswer = "FA00014250000;";
// A client that stops in the middle of a handshake or a record is dropped after this.
constexpr auto kStallLimit = std::chrono::seconds(10);

// The answers to the whole queries at the front of `pending`, which keeps the
// start of a query not yet complete.
std::string TakeAnswers(std::string& pending)
{
    std::string answers;
    std::size_t at = 0;
    while (pending.size() - at >= kQuery.size()) {
        if (std::string_view(pending).substr(at, kQuery.size()) == kQuery) {
            answers += kAnswer;
            at += kQuery.size();
        } else {
            ++at;
        }
    }
    pending.erase(0, at);
    return answers;
}

void ServePlain(int fd)
{
    std::string pending;
    char buffer[1024];
    for (;;) {
        const ssize_t received = ::recv(fd, buffer, sizeof buffer, 0);
        if (received <= 0) {
            return;
        }
        pending.append(buffer, static_cast<std::size_t>(received));
        const std::string answers = TakeAnswers(pending);
        if (!answers.empty() && ::send(fd, answers.data(), answers.size(), MSG_NOSIGNAL) < 0) {
            return;
        }
    }
}

bool Wait(int fd, TlsResult result)
{
    return netport::tls::WaitForTurn(fd, result, std::chrono::steady_clock::now() + kStallLimit);
}

// Waits, without a limit, until the client sends more: between queries a client
// may think for as long as it likes. False when poll() fails.
bool WaitForClient(int fd)
{
    pollfd entry{fd, POLLIN, 0};
    int ready = 0;
    do {
        ready = ::poll(&entry, 1, -1);
    } while (ready < 0 && errno == EINTR);
    return ready > 0;
}

// As the host's socket thread does: the socket is read only when poll() says so
// or the channel holds records already read.
void ServeTls(int fd, const netport::tls::TlsContext& context)
{
    TlsChannel channel(context, fd);
    for (TlsResult result = channel.handshake(); result != TlsResult::Done; result = channel.handshake()) {
        if (!Wait(fd, result)) {
            return;
        }
    }
    std::string pending;
    for (;;) {
        if (!channel.hasPending() && !WaitForClient(fd)) {
            return;
        }
        char buffer[1024];
        std::size_t count = 0;
        const TlsResult read = channel.read(buffer, sizeof buffer, count);
        if (read == TlsResult::WantRead) {
            continue;
        }
        if (read == TlsResult::WantWrite && Wait(fd, read)) {
            continue;
        }
        if (read != TlsResult::Done) {
            return;
        }
        pending.append(buffer, count);
        const std::string answers = TakeAnswers(pending);
        for (std::size_t sent = 0; sent < answers.size();) {
            std::size_t taken = 0;
            const TlsResult write = channel.write(answers.data() + sent, answers.size() - sent, taken);
            if (write == TlsResult::Done) {
                sent += taken;
            } else if (!Wait(fd, write)) {
                return;
            }
        }
    }
}

int Listen(unsigned port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    if (fd >= 0) {
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 4) != 0) {
        std::perror("ondrel_tls_echo: cannot listen");
        std::exit(1);
    }
    return fd;
}

} // namespace

int main(int argc, char** argv)
{
    const unsigned long port = argc >= 2 ? std::strtoul(argv[1], nullptr, 10) : 0;
    if ((argc != 2 && argc != 4) || port == 0 || port > 65535) {
        std::fputs("usage: ondrel_tls_echo PORT [CERTIFICATE KEY]\n", stderr);
        return 2;
    }
    std::shared_ptr<netport::tls::TlsContext> context;
    if (argc == 4) {
        std::string error;
        context = netport::tls::TlsContext::ForServer(argv[2], argv[3], error);
        if (context == nullptr) {
            std::fprintf(stderr, "ondrel_tls_echo: %s\n", error.c_str());
            return 1;
        }
    }
    const int listening = Listen(static_cast<unsigned>(port));
    std::puts("listening");
    std::fflush(stdout);
    for (;;) {
        const int fd = ::accept4(listening, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        if (context != nullptr) {
            ServeTls(fd, *context);
        } else {
            ServePlain(fd);
        }
        ::close(fd);
    }
}
