// SPDX-License-Identifier: GPL-3.0-or-later
// Certificate fingerprints in the one form this system prints and stores everywhere
// (the host's log, `ondrel --fingerprint`, the client's messages and known_hosts):
// "SHA256:" and the 32 bytes of the SHA-256 of the certificate's DER encoding as
// uppercase hex pairs joined by ":", the digits `openssl x509 -fingerprint -sha256`
// prints after its "=". Pure functions; any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

typedef struct x509_st X509;

namespace netport::tls {

inline constexpr std::string_view kFingerprintPrefix = "SHA256:";
// "SHA256:" + 32 pairs + 31 colons.
inline constexpr std::size_t kFingerprintLength = 7 + 32 * 2 + 31;

// The fingerprint of `certificate`; empty when it cannot be encoded.
std::string FingerprintOf(X509* certificate);

// The canonical form of a fingerprint typed by a person: "SHA256:" (any case) and 64
// hex digits (any case), with or without ":" between the byte pairs. Nothing for
// anything else.
std::optional<std::string> ParseFingerprint(std::string_view text);

// The fingerprint of the first certificate in the PEM file `path`; empty with `error`
// set when the file cannot be read or holds no certificate.
std::string CertificateFileFingerprint(const std::string& path, std::string& error);

} // namespace netport::tls
