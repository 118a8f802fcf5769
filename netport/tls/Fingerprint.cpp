// SPDX-License-Identifier: GPL-3.0-or-later
#include "netport/tls/Fingerprint.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace netport::tls {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

int HexValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::string Format(const unsigned char* digest, std::size_t size)
{
    std::string text(kFingerprintPrefix);
    for (std::size_t i = 0; i < size; ++i) {
        if (i > 0) {
            text += ':';
        }
        text += kHexDigits[digest[i] >> 4];
        text += kHexDigits[digest[i] & 0x0F];
    }
    return text;
}

} // namespace

std::string FingerprintOf(X509* certificate)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (certificate == nullptr || X509_digest(certificate, EVP_sha256(), digest, &size) != 1 || size != 32) {
        return {};
    }
    return Format(digest, size);
}

std::optional<std::string> ParseFingerprint(std::string_view text)
{
    if (text.size() < kFingerprintPrefix.size()) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < kFingerprintPrefix.size(); ++i) {
        const char c = text[i];
        const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        const char wanted = kFingerprintPrefix[i];
        const char wantedLower = (wanted >= 'A' && wanted <= 'Z') ? static_cast<char>(wanted - 'A' + 'a') : wanted;
        if (lower != wantedLower) {
            return std::nullopt;
        }
    }
    text.remove_prefix(kFingerprintPrefix.size());
    // Either every pair is separated by ":" or none is.
    const bool colons = text.size() == 32 * 3 - 1;
    if (!colons && text.size() != 64) {
        return std::nullopt;
    }
    unsigned char digest[32];
    std::size_t at = 0;
    for (std::size_t i = 0; i < 32; ++i) {
        if (colons && i > 0) {
            if (text[at] != ':') {
                return std::nullopt;
            }
            ++at;
        }
        const int high = HexValue(text[at]);
        const int low = HexValue(text[at + 1]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        digest[i] = static_cast<unsigned char>(high << 4 | low);
        at += 2;
    }
    return Format(digest, sizeof digest);
}

std::string CertificateFileFingerprint(const std::string& path, std::string& error)
{
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "re"), &std::fclose);
    if (!file) {
        error = path + ": " + std::strerror(errno);
        return {};
    }
    std::unique_ptr<X509, void (*)(X509*)> certificate(PEM_read_X509(file.get(), nullptr, nullptr, nullptr),
                                                       &X509_free);
    if (!certificate) {
        error = path + ": no PEM certificate in the file";
        return {};
    }
    std::string fingerprint = FingerprintOf(certificate.get());
    if (fingerprint.empty()) {
        error = path + ": the certificate cannot be encoded";
    }
    return fingerprint;
}

} // namespace netport::tls
