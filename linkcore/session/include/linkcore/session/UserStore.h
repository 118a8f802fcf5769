// SPDX-License-Identifier: GPL-3.0-or-later
// The network users: ten slots of user ID, password, description and disabled flag
// in the application profile, read anew by every call.
#pragma once

#include <cstddef>

namespace linkcore {

// Room for a user's description, terminator included.
inline constexpr std::size_t kUserDescriptionSize = 131;

// 1 when a slot holds `userId` with `password`; then `*disabled` (when not null)
// tells whether the user is disabled. One reading of the profile answers all three.
int CheckMirelUserPassword(const char* userId, const char* password, int* disabled);
// Writes the password of the first slot holding `userId`; 0 when no slot holds it
// or the profile could not store it.
int ChangeUserPassword(const char* userId, const char* newPassword);
int GetUserDisabled(const char* userId);
// Copies the user's description to `dst` (room for kUserDescriptionSize); 0, with
// the first 4 bytes zeroed, for an unknown user.
int GetUserDescription(const char* userId, char* dst);
// Whether voice calls may be answered: the "MIREL Voice" setting and the operating
// system's telephony service.
int GetVoiceEnable();

} // namespace linkcore
