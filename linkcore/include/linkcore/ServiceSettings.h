// SPDX-License-Identifier: GPL-3.0-or-later
// Names of the network service's settings in the application profile, which the
// host's setup dialog writes and the session server, user store and activity log
// read. Pure names: no state.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace linkcore::settings {

inline constexpr std::string_view kSettingSection = "Setting";
inline constexpr std::string_view kFilePathSection = "File Path";

inline constexpr std::string_view kSessionTimeKey = "MIREL Session Time"; // minutes, 0 = no limit
inline constexpr std::string_view kLogKey = "MIREL Log";                   // non-zero = logging on
inline constexpr std::string_view kLogFolderKey = "MIREL Log File Path";   // section kFilePathSection
inline constexpr std::string_view kVoiceKey = "MIREL Voice";
// Empty = every IPv4 address; an IPv4 or IPv6 literal, or "localhost".
inline constexpr std::string_view kBindAddressKey = "MIREL Bind Address";
// Non-zero = a client address with repeated failed logins waits before it is served again.
inline constexpr std::string_view kLoginBackoffKey = "MIREL Login Backoff";
// Non-zero = the service's port speaks TLS only.
inline constexpr std::string_view kTlsKey = "MIREL TLS";
// PEM files of the certificate and its private key; both empty = the pair made beside
// the settings file (netport/TlsIdentity.h).
inline constexpr std::string_view kTlsCertificateKey = "MIREL TLS Certificate";
inline constexpr std::string_view kTlsKeyKey = "MIREL TLS Key";

inline constexpr int kUserSlots = 10;

// "MIREL 000 User ID" .. "MIREL 009 User Disabled".
inline std::string UserKey(int slot, std::string_view field)
{
    char number[16];
    std::snprintf(number, sizeof number, "%03d", slot);
    return "MIREL " + std::string(number) + " " + std::string(field);
}

inline constexpr std::string_view kUserIdField = "User ID";
inline constexpr std::string_view kPasswordField = "Password";
inline constexpr std::string_view kDescriptionField = "Description";
inline constexpr std::string_view kUserDisabledField = "User Disabled";

} // namespace linkcore::settings
