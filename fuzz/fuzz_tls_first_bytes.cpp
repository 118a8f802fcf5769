// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds the first bytes a TLS port receives to the server side of a real OpenSSL
// channel, as the endpoint's socket thread drives it: the handshake step by step while
// it wants to read, then reads. Input: the bytes the client sends, as it sends them
// (a ClientHello, a plain-text login, noise), after which it half-closes.
//
// Checked besides memory safety: a handshake that the input cannot complete (it holds
// no client keys) never reports Done, so no byte of it is ever handed on as session
// text; every step returns at once (the socket is non-blocking, and the loop is bounded).

#include "FuzzCheck.h"

#include "netport/TlsIdentity.h"
#include "netport/tls/TlsChannel.h"
#include "testsupport/TempDir.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using netport::tls::TlsResult;

// One certificate for the whole run, made as the host makes it at its first start.
const netport::tls::TlsContext& ServerContext()
{
    static testsupport::TempDir folder("fuzz_tls_first_bytes", testsupport::InMemoryTempBase());
    static const std::shared_ptr<netport::tls::TlsContext> context = [] {
        netport::TlsFiles files;
        std::string error;
        std::string fingerprint;
        bool made = false;
        FUZZ_CHECK(netport::ResolveTlsFiles("", "", (folder.path() / "Ondrel.ini").string(), files, error));
        FUZZ_CHECK(netport::PrepareTlsIdentity(files, made, fingerprint, error));
        return netport::tls::TlsContext::ForServer(files.certificate, files.key, error);
    }();
    FUZZ_CHECK(context != nullptr);
    return *context;
}

void Drain(int fd)
{
    char sink[4096];
    while (::recv(fd, sink, sizeof sink, MSG_DONTWAIT) > 0) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // More than a socket pair's buffer holds is no first bytes; the handshake would have failed long before.
    if (size > 16384) {
        return 0;
    }
    int ends[2];
    FUZZ_CHECK(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, ends) == 0);
    const int server = ends[0];
    const int client = ends[1];
    if (size > 0) {
        FUZZ_CHECK(::send(client, data, size, MSG_NOSIGNAL) == static_cast<ssize_t>(size));
    }
    ::shutdown(client, SHUT_WR);
    {
        netport::tls::TlsChannel channel(ServerContext(), server);
        TlsResult result = TlsResult::WantRead;
        for (int step = 0; step < 64 && (result == TlsResult::WantRead || result == TlsResult::WantWrite); ++step) {
            result = channel.handshake();
            Drain(client); // what the server answers (a ServerHello, an alert) goes nowhere
        }
        FUZZ_CHECK(result != TlsResult::Done);
        FUZZ_CHECK(!channel.established());
        char text[1024];
        std::size_t count = 0;
        channel.read(text, sizeof text, count);
        FUZZ_CHECK(count == 0);
    }
    ::close(server);
    ::close(client);
    return 0;
}
