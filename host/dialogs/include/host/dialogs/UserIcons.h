// SPDX-License-Identifier: GPL-3.0-or-later
// The 16 x 16 pictures of the Setup dialog's user list: a user who may log in
// (icon 139) and a disabled user (icon 138): the pictures of these numbers that the
// control library knows, else the program's compiled-in ":/ondrel/icon<n>.png",
// else pictures drawn here. GUI thread only.
#pragma once

#include <QIcon>

namespace dialogs {

inline constexpr int kUserEnabledIcon = 139;
inline constexpr int kUserDisabledIcon = 138;

QIcon UserStateIcon(bool disabled);

} // namespace dialogs
