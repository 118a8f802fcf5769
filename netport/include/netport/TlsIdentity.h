// SPDX-License-Identifier: GPL-3.0-or-later
// The host's TLS identity: where its certificate and private key lie, the self-signed
// pair made at the first start with TLS on, the refusal of a key that others can
// read, and the certificate's fingerprint, which the operator reads to remote users.
// Plain functions without a toolkit, for the host, the headless runner and the
// settings dialogs alike; any thread.
#pragma once

#include "netport/NetportExport.h"

#include <string>

namespace netport {

// Beside the settings file when neither "MIREL TLS Certificate" nor "MIREL TLS Key" is set.
inline constexpr const char* kDefaultCertificateFileName = "ondrel-tls.crt";
inline constexpr const char* kDefaultKeyFileName = "ondrel-tls.key";

struct TlsFiles {
    std::string certificate; // PEM certificate (chain)
    std::string key;         // PEM private key
    bool defaults = false;   // both are the default files beside the settings file
};

// The files the settings name: both set (a relative path is taken from the settings
// file's folder), or neither (the defaults beside `settingsFile`). False, `error`
// set, when only one of the two is set.
NETPORT_EXPORT bool ResolveTlsFiles(const std::string& certificateSetting, const std::string& keySetting,
                                    const std::string& settingsFile, TlsFiles& files, std::string& error);

// Readies the identity for a start with TLS on: when the files are the defaults and
// neither exists, makes a self-signed certificate (ECDSA P-256, valid ten years, the
// key written with mode 0600) and sets `made`. Then refuses a key file that its
// group or others may access, and checks that the certificate and the key load and
// belong together. True with `fingerprint` (see CertificateFingerprint) on success;
// false with `error`, a sentence for the operator, otherwise.
NETPORT_EXPORT bool PrepareTlsIdentity(const TlsFiles& files, bool& made, std::string& fingerprint,
                                       std::string& error);

// The fingerprint of the certificate in `certificateFile`: "SHA256:" and the SHA-256
// of its DER encoding as 32 uppercase hex pairs joined by ":" (the one form shown
// everywhere). Empty, `error` set, when the file holds no readable certificate.
NETPORT_EXPORT std::string CertificateFingerprint(const std::string& certificateFile, std::string& error);

} // namespace netport
