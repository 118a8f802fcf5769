// Whether the operating system allows the host's voice feature.
// The rule: only the NT platform at version 5.0 or 5.1 qualifies. Other systems,
// Linux among them, report a platform of their own and never qualify.
#pragma once

#include "skinwork/SkinworkExport.h"

#include <optional>

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

// 1 when (platformId, major, minor) allows voice, else 0.
SKINWORK_EXPORT int VoiceEnableForVersion(unsigned int platformId, unsigned int major, unsigned int minor);
// The running system's platform and kernel version; nullopt when it cannot be read.
SKINWORK_EXPORT std::optional<OsVersion> QueryOsVersion();

} // namespace skinwork

extern "C" {
// 1 when the running system allows voice (VoiceEnableForVersion of QueryOsVersion), else 0.
SKINWORK_EXPORT int GetVoiceEnableOS(void);
}
