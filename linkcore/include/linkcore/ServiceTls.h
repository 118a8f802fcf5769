// SPDX-License-Identifier: GPL-3.0-or-later
// Whether the service's port speaks TLS, and with which certificate and key, as the
// application profile says. Read by the session server when it opens and by the host
// before a start and for `ondrel --fingerprint`; any thread.
#pragma once

#include "linkcore/ServiceSettings.h"
#include "netport/TlsIdentity.h"

#include <string>

namespace linkcore {

struct ServiceTls {
    bool on = false;        // "MIREL TLS" is non-zero
    netport::TlsFiles files; // valid when `error` is empty
    std::string error;      // the settings name only one of the two files
};

// `Profile` is platform::Profile (a template only so that this installed header needs
// none of the platform library's uninstalled headers).
template <typename Profile>
ServiceTls ReadServiceTls(const Profile& profile)
{
    ServiceTls tls;
    tls.on = profile.GetProfileInt(settings::kSettingSection, settings::kTlsKey, 0) != 0;
    const std::string certificate =
        profile.GetProfileString(settings::kSettingSection, settings::kTlsCertificateKey, "");
    const std::string key = profile.GetProfileString(settings::kSettingSection, settings::kTlsKeyKey, "");
    netport::ResolveTlsFiles(certificate, key, profile.path().string(), tls.files, tls.error);
    return tls;
}

} // namespace linkcore
