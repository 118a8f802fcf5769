// SPDX-License-Identifier: GPL-3.0-or-later
// Whether the running system can carry the host's voice calls.
// On the NT platform the rule is the version: 5.0 or 5.1 only. On Linux it is the
// telephony engine that the voice plug-in runs: voice is possible exactly where the
// engine's program is installed (found in a folder of PATH, or in /usr/bin).
#pragma once

#include "skinwork/SkinworkExport.h"

#include <optional>
#include <string>
#include <string_view>

namespace skinwork {

enum OsPlatformId : unsigned int {
    kPlatformWin32s = 0,
    kPlatformWin32Windows = 1,
    kPlatformWin32NT = 2,
    kPlatformPosix = 0x100,
};

struct OsVersion {
    unsigned int platformId = 0;
    unsigned int major = 0;
    unsigned int minor = 0;
};

// The telephony engine's program, and the Debian package that installs it.
inline constexpr const char* kTelephonyEngineProgram = "baresip";
inline constexpr const char* kTelephonyEnginePackage = "baresip-core";

// Where GetVoiceEnableOS looks for the engine: the folders of a PATH value, then one more folder.
struct EngineSearch {
    std::string searchPath;
    std::string fallbackFolder;
};

// 1 when (platformId, major, minor) allows voice by the version rule, else 0.
SKINWORK_EXPORT int VoiceEnableForVersion(unsigned int platformId, unsigned int major, unsigned int minor);
// The running system's platform and kernel version; nullopt when it cannot be read.
SKINWORK_EXPORT std::optional<OsVersion> QueryOsVersion();
// The full name of the engine's program: the first executable file of that name in
// the folders of `search.searchPath` (':'-separated; empty and relative entries are
// skipped, since they depend on the current folder), else in `search.fallbackFolder`;
// empty when there is none.
SKINWORK_EXPORT std::string FindTelephonyEngine(const EngineSearch& search);
// Replaces the search of GetVoiceEnableOS (by default PATH, then /usr/bin), so that a
// test can offer or withhold the engine; nullopt restores the default. Returns the
// previous replacement. Any thread.
SKINWORK_EXPORT std::optional<EngineSearch> SetTelephonyEngineSearch(std::optional<EngineSearch> search);

} // namespace skinwork

extern "C" {
// Non-zero when the running system allows voice: on Linux (kPlatformPosix) when the
// telephony engine is found, elsewhere by VoiceEnableForVersion of QueryOsVersion.
SKINWORK_EXPORT int GetVoiceEnableOS(void);
}
