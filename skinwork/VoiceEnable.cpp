#include "skinwork/VoiceEnable.h"

#include <sys/utsname.h>

#include <cstdio>

namespace skinwork {

int VoiceEnableForVersion(unsigned int platformId, unsigned int major, unsigned int minor)
{
    return platformId == kPlatformWin32NT && major == 5 && (minor == 0 || minor == 1) ? 1 : 0;
}

std::optional<OsVersion> QueryOsVersion()
{
    utsname name{};
    if (uname(&name) != 0) {
        return std::nullopt;
    }
    OsVersion version;
    version.platformId = kPlatformPosix;
    if (std::sscanf(name.release, "%u.%u", &version.major, &version.minor) < 1) {
        version.major = 0;
        version.minor = 0;
    }
    return version;
}

} // namespace skinwork

extern "C" int GetVoiceEnableOS(void)
{
    const std::optional<skinwork::OsVersion> version = skinwork::QueryOsVersion();
    if (!version) {
        return 0;
    }
    return skinwork::VoiceEnableForVersion(version->platformId, version->major, version->minor);
}
