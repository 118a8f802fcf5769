// SPDX-License-Identifier: GPL-3.0-or-later
// The network users: ten slots of user ID, password, description and disabled flag
// in the application profile. Nothing is cached: every query reads the profile once
// and answers from that one reading, so an edit made by the host counts from the
// next query on.

#include "linkcore/session/UserStore.h"

#include "linkcore/ServiceSettings.h"
#include "platform/Profile.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace linkcore {
namespace {

using namespace settings;

// The first slot whose user ID equals `userId` byte for byte; free slots (empty
// IDs) never match.
std::optional<int> FindUserSlot(const platform::ProfileValues& profile, std::string_view userId)
{
    for (int slot = 0; slot < kUserSlots; ++slot) {
        const std::string stored = profile.GetProfileString(kSettingSection, UserKey(slot, kUserIdField), "");
        if (!stored.empty() && stored == userId) {
            return slot;
        }
    }
    return std::nullopt;
}

std::string_view TextOf(const char* text)
{
    return text != nullptr ? std::string_view(text) : std::string_view();
}

// Whether the platform offers the telephony service that voice calls need. It
// exists on one family of desktop systems only, never on this one.
bool OperatingSystemOffersVoice()
{
    return false;
}

} // namespace

int CheckMirelUserPassword(const char* userId, const char* password, int* disabled)
{
    if (disabled != nullptr) {
        *disabled = 0;
    }
    // One reading answers the slot, the password and the flag, so they belong together.
    const platform::ProfileValues profile = platform::ApplicationProfile().Snapshot();
    const std::optional<int> slot = FindUserSlot(profile, TextOf(userId));
    if (!slot) {
        return 0;
    }
    const std::string stored = profile.GetProfileString(kSettingSection, UserKey(*slot, kPasswordField), "");
    if (stored != TextOf(password)) {
        return 0;
    }
    if (disabled != nullptr) {
        *disabled = profile.GetProfileInt(kSettingSection, UserKey(*slot, kUserDisabledField), 0) != 0 ? 1 : 0;
    }
    return 1;
}

int ChangeUserPassword(const char* userId, const char* newPassword)
{
    const std::string_view id = TextOf(userId);
    const std::string_view password = TextOf(newPassword);
    // The slot is found and written in one update of the profile, so a save of the
    // user list that renumbers the slots meanwhile cannot put the password into
    // another user's slot. The profile refuses a value it cannot store (one holding
    // a line break); the caller must then hear that the old password still holds.
    return platform::ApplicationProfile().UpdateProfile(
        [id, password](const platform::ProfileValues& values) -> std::optional<std::vector<platform::ProfileEntry>> {
            for (int slot = 0; slot < kUserSlots; ++slot) {
                const std::string stored = values.GetProfileString(kSettingSection, UserKey(slot, kUserIdField), "");
                if (!stored.empty() && stored == id) {
                    return std::vector<platform::ProfileEntry>{
                        {std::string(kSettingSection), UserKey(slot, kPasswordField), std::string(password)}};
                }
            }
            return std::nullopt;
        });
}

int GetUserDisabled(const char* userId)
{
    const platform::ProfileValues profile = platform::ApplicationProfile().Snapshot();
    const std::optional<int> slot = FindUserSlot(profile, TextOf(userId));
    if (!slot) {
        return 0;
    }
    return profile.GetProfileInt(kSettingSection, UserKey(*slot, kUserDisabledField), 0) != 0 ? 1 : 0;
}

int GetUserDescription(const char* userId, char* dst)
{
    std::memset(dst, 0, 4);
    const platform::ProfileValues profile = platform::ApplicationProfile().Snapshot();
    const std::optional<int> slot = FindUserSlot(profile, TextOf(userId));
    if (!slot) {
        return 0;
    }
    const std::string description = profile.GetProfileString(kSettingSection, UserKey(*slot, kDescriptionField), "");
    const std::size_t length = std::min(description.size(), kUserDescriptionSize - 1);
    std::memcpy(dst, description.data(), length);
    dst[length] = '\0';
    return 1;
}

int GetVoiceEnable()
{
    const int voice = platform::ApplicationProfile().GetProfileInt(kSettingSection, kVoiceKey, 0);
    return (voice != 0 && OperatingSystemOffersVoice()) ? 1 : 0;
}

} // namespace linkcore
