// SPDX-License-Identifier: GPL-3.0-or-later
#include "netport/tls/TlsChannel.h"

#include "netport/tls/Fingerprint.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <cerrno>

#include <poll.h>
#include <cstdint>
#include <sys/socket.h>

namespace netport::tls {
namespace {

// A socket BIO that sends with MSG_NOSIGNAL: a peer that went away shows as a failed
// write, never as SIGPIPE, whichever thread writes and whatever its signal mask.
int DescriptorOf(BIO* bio)
{
    return static_cast<int>(reinterpret_cast<std::intptr_t>(BIO_get_data(bio)));
}

int SocketWrite(BIO* bio, const char* data, int size)
{
    BIO_clear_retry_flags(bio);
    ssize_t sent = 0;
    do {
        sent = ::send(DescriptorOf(bio), data, static_cast<std::size_t>(size), MSG_NOSIGNAL | MSG_DONTWAIT);
    } while (sent < 0 && errno == EINTR);
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        BIO_set_retry_write(bio);
    }
    return static_cast<int>(sent);
}

int SocketRead(BIO* bio, char* buffer, int size)
{
    BIO_clear_retry_flags(bio);
    ssize_t received = 0;
    do {
        received = ::recv(DescriptorOf(bio), buffer, static_cast<std::size_t>(size), MSG_DONTWAIT);
    } while (received < 0 && errno == EINTR);
    if (received < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        BIO_set_retry_read(bio);
    }
    return static_cast<int>(received);
}

long SocketControl(BIO*, int command, long, void*)
{
    // Nothing is buffered in the BIO, so a flush is done at once; nothing else is asked of it.
    return command == BIO_CTRL_FLUSH ? 1 : 0;
}

int SocketCreate(BIO* bio)
{
    BIO_set_init(bio, 1);
    return 1;
}

const BIO_METHOD* NoSignalSocket()
{
    static BIO_METHOD* const method = [] {
        BIO_METHOD* made = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK | BIO_TYPE_DESCRIPTOR,
                                        "socket without SIGPIPE");
        if (made != nullptr) {
            BIO_meth_set_write(made, &SocketWrite);
            BIO_meth_set_read(made, &SocketRead);
            BIO_meth_set_ctrl(made, &SocketControl);
            BIO_meth_set_create(made, &SocketCreate);
        }
        return made;
    }();
    return method;
}

// Binds `ssl` to `fd` through the BIO above; false when OpenSSL has no memory.
bool AttachSocket(SSL* ssl, int fd)
{
    const BIO_METHOD* method = NoSignalSocket();
    BIO* bio = method != nullptr ? BIO_new(method) : nullptr;
    if (bio == nullptr) {
        return false;
    }
    BIO_set_data(bio, reinterpret_cast<void*>(static_cast<std::intptr_t>(fd)));
    SSL_set_bio(ssl, bio, bio);
    return true;
}

// The reason of the newest error in this thread's OpenSSL queue, which is then emptied.
std::string LastError()
{
    unsigned long code = 0;
    unsigned long newest = 0;
    while ((code = ERR_get_error()) != 0) {
        newest = code;
    }
    if (newest == 0) {
        return {};
    }
    const char* reason = ERR_reason_error_string(newest);
    return reason != nullptr ? reason : "error " + std::to_string(newest);
}

SSL_CTX* NewContext(const SSL_METHOD* method, std::string& error)
{
    ERR_clear_error();
    SSL_CTX* context = SSL_CTX_new(method);
    if (context == nullptr) {
        error = "cannot set up TLS: " + LastError();
        return nullptr;
    }
    SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
    // Write retries may come from a buffer that moved (the endpoint's queue), and a
    // write may end after a whole record so that the rest waits its turn.
    SSL_CTX_set_mode(context, SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER | SSL_MODE_ENABLE_PARTIAL_WRITE);
    // One connection, no resumption: no session cache, no tickets.
    SSL_CTX_set_session_cache_mode(context, SSL_SESS_CACHE_OFF);
    SSL_CTX_set_options(context, SSL_OP_NO_TICKET | SSL_OP_NO_RENEGOTIATION);
    // A peer that closes without close_notify has simply ended its session: the
    // protocol inside has its own ends, so there is no truncation to detect.
    SSL_CTX_set_options(context, SSL_OP_IGNORE_UNEXPECTED_EOF);
    // One recv() takes whatever has arrived, records and all, rather than a header and
    // then its body: fewer system calls per command on the round trip.
    SSL_CTX_set_read_ahead(context, 1);
    return context;
}

} // namespace

std::shared_ptr<TlsContext> TlsContext::ForServer(const std::string& certificateFile, const std::string& keyFile,
                                                  std::string& error)
{
    SSL_CTX* context = NewContext(TLS_server_method(), error);
    if (context == nullptr) {
        return nullptr;
    }
    SSL_CTX_set_num_tickets(context, 0);
    if (SSL_CTX_use_certificate_chain_file(context, certificateFile.c_str()) != 1) {
        error = certificateFile + ": not a usable certificate (" + LastError() + ")";
    } else if (SSL_CTX_use_PrivateKey_file(context, keyFile.c_str(), SSL_FILETYPE_PEM) != 1) {
        error = keyFile + ": not a usable private key (" + LastError() + ")";
    } else if (SSL_CTX_check_private_key(context) != 1) {
        error = keyFile + " is not the key of the certificate " + certificateFile;
    } else {
        return std::shared_ptr<TlsContext>(new TlsContext(context, false));
    }
    SSL_CTX_free(context);
    return nullptr;
}

std::shared_ptr<TlsContext> TlsContext::ForClient(const std::string& caFile, std::string& error)
{
    SSL_CTX* context = NewContext(TLS_client_method(), error);
    if (context == nullptr) {
        return nullptr;
    }
    if (caFile.empty()) {
        SSL_CTX_set_verify(context, SSL_VERIFY_NONE, nullptr);
        return std::shared_ptr<TlsContext>(new TlsContext(context, false));
    }
    if (SSL_CTX_load_verify_locations(context, caFile.c_str(), nullptr) != 1) {
        error = caFile + ": not a usable CA certificate (" + LastError() + ")";
        SSL_CTX_free(context);
        return nullptr;
    }
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
    return std::shared_ptr<TlsContext>(new TlsContext(context, true));
}

TlsContext::~TlsContext()
{
    SSL_CTX_free(context_);
}

TlsChannel::TlsChannel(const TlsContext& context, int fd)
    : ssl_(SSL_new(context.native()))
{
    if (ssl_ == nullptr || !AttachSocket(ssl_, fd)) {
        failed_ = true;
        failure_ = "cannot set up TLS: " + LastError();
        return;
    }
    SSL_set_accept_state(ssl_);
}

TlsChannel::TlsChannel(const TlsContext& context, int fd, const std::string& serverName)
    : ssl_(SSL_new(context.native()))
{
    if (ssl_ == nullptr || !AttachSocket(ssl_, fd)) {
        failed_ = true;
        failure_ = "cannot set up TLS: " + LastError();
        return;
    }
    SSL_set_connect_state(ssl_);
    if (!serverName.empty()) {
        ASN1_OCTET_STRING* address = a2i_IPADDRESS(serverName.c_str());
        if (address == nullptr) {
            // SNI carries host names only, never addresses.
            SSL_set_tlsext_host_name(ssl_, serverName.c_str());
        } else {
            ASN1_OCTET_STRING_free(address);
        }
        if (context.verifiesPeer()) {
            X509_VERIFY_PARAM* parameters = SSL_get0_param(ssl_);
            X509_VERIFY_PARAM_set_hostflags(parameters, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
            // An address is checked against the certificate's IP entries, a name against its DNS names.
            if (X509_VERIFY_PARAM_set1_ip_asc(parameters, serverName.c_str()) != 1) {
                X509_VERIFY_PARAM_set1_host(parameters, serverName.c_str(), 0);
            }
        }
    }
}

TlsChannel::~TlsChannel()
{
    SSL_free(ssl_);
}

TlsResult TlsChannel::outcome(int returned, const char* what)
{
    switch (SSL_get_error(ssl_, returned)) {
    case SSL_ERROR_WANT_READ:
        return TlsResult::WantRead;
    case SSL_ERROR_WANT_WRITE:
        return TlsResult::WantWrite;
    case SSL_ERROR_ZERO_RETURN:
    case SSL_ERROR_SYSCALL:
        if (established_) {
            ERR_clear_error();
            return TlsResult::Closed;
        }
        // An end before the handshake is done is its failure.
        failure_ = std::string(what) + ": the peer closed the connection";
        closedByPeer_ = true;
        break;
    default: {
        failure_ = std::string(what) + ": " + LastError();
        const long verified = SSL_get_verify_result(ssl_);
        if (verified != X509_V_OK) {
            failure_ += std::string(" (") + X509_verify_cert_error_string(verified) + ")";
        }
        break;
    }
    }
    ERR_clear_error();
    failed_ = true;
    return TlsResult::Failed;
}

TlsResult TlsChannel::handshake()
{
    if (failed_) {
        return TlsResult::Failed;
    }
    if (established_) {
        return TlsResult::Done;
    }
    ERR_clear_error();
    const int returned = SSL_do_handshake(ssl_);
    if (returned == 1) {
        established_ = true;
        return TlsResult::Done;
    }
    return outcome(returned, "TLS handshake failed");
}

TlsResult TlsChannel::read(char* buffer, std::size_t size, std::size_t& count)
{
    count = 0;
    if (failed_) {
        return TlsResult::Failed;
    }
    ERR_clear_error();
    const int returned = SSL_read_ex(ssl_, buffer, size, &count);
    if (returned == 1) {
        return TlsResult::Done;
    }
    count = 0;
    return outcome(returned, "TLS read failed");
}

TlsResult TlsChannel::write(const char* data, std::size_t size, std::size_t& count)
{
    count = 0;
    if (failed_) {
        return TlsResult::Failed;
    }
    if (size == 0) {
        return TlsResult::Done;
    }
    ERR_clear_error();
    const int returned = SSL_write_ex(ssl_, data, size, &count);
    if (returned == 1) {
        return TlsResult::Done;
    }
    count = 0;
    return outcome(returned, "TLS write failed");
}

bool TlsChannel::hasPending() const
{
    return ssl_ != nullptr && !failed_ && SSL_has_pending(ssl_) == 1;
}

void TlsChannel::closeNotify()
{
    if (ssl_ == nullptr || failed_ || !established_ || closeSent_) {
        return;
    }
    closeSent_ = true;
    ERR_clear_error();
    SSL_shutdown(ssl_);
    ERR_clear_error();
}

std::string TlsChannel::peerFingerprint() const
{
    if (ssl_ == nullptr) {
        return {};
    }
    X509* certificate = SSL_get0_peer_certificate(ssl_);
    return FingerprintOf(certificate);
}

bool WaitForTurn(int fd, TlsResult result, std::chrono::steady_clock::time_point deadline)
{
    pollfd entry{fd, static_cast<short>(result == TlsResult::WantWrite ? POLLOUT : POLLIN), 0};
    int ready = 0;
    do {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        ready = ::poll(&entry, 1, left > 0 ? static_cast<int>(left) : 0);
    } while (ready < 0 && errno == EINTR);
    return ready > 0;
}

} // namespace netport::tls
