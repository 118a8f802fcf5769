// SPDX-License-Identifier: GPL-3.0-or-later
#include "skinwork/VoiceEnable.h"

#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace skinwork {
namespace {

constexpr const char* kDefaultEngineFolder = "/usr/bin";

std::mutex searchMutex;
std::optional<EngineSearch> searchOverride;

bool IsExecutableFile(const std::string& file)
{
    struct stat status {};
    return ::stat(file.c_str(), &status) == 0 && S_ISREG(status.st_mode) && ::access(file.c_str(), X_OK) == 0;
}

std::string EngineIn(std::string_view folder)
{
    if (folder.empty() || folder.front() != '/') {
        return {};
    }
    std::string file(folder);
    if (file.back() != '/') {
        file += '/';
    }
    file += kTelephonyEngineProgram;
    return IsExecutableFile(file) ? file : std::string();
}

} // namespace

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

std::string FindTelephonyEngine(const EngineSearch& search)
{
    std::string_view rest = search.searchPath;
    while (!rest.empty()) {
        const std::size_t colon = rest.find(':');
        const std::string found = EngineIn(rest.substr(0, colon));
        if (!found.empty()) {
            return found;
        }
        rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
    }
    return EngineIn(search.fallbackFolder);
}

std::optional<EngineSearch> SetTelephonyEngineSearch(std::optional<EngineSearch> search)
{
    std::lock_guard lock(searchMutex);
    std::optional<EngineSearch> previous = std::move(searchOverride);
    searchOverride = std::move(search);
    return previous;
}

} // namespace skinwork

extern "C" int GetVoiceEnableOS(void)
{
    const std::optional<skinwork::OsVersion> version = skinwork::QueryOsVersion();
    if (!version) {
        return 0;
    }
    if (version->platformId != skinwork::kPlatformPosix) {
        return skinwork::VoiceEnableForVersion(version->platformId, version->major, version->minor);
    }
    skinwork::EngineSearch search;
    {
        std::lock_guard lock(skinwork::searchMutex);
        if (skinwork::searchOverride) {
            search = *skinwork::searchOverride;
        } else {
            const char* path = std::getenv("PATH");
            search = {path != nullptr ? path : "", skinwork::kDefaultEngineFolder};
        }
    }
    return skinwork::FindTelephonyEngine(search).empty() ? 0 : 1;
}
