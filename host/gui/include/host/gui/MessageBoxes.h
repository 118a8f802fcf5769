// SPDX-License-Identifier: GPL-3.0-or-later
// The window's message boxes: the boxes raised through platform::ShowMessageBox are
// shown as Qt message boxes with an OK button: a plain text with the application's
// title and no icon, a titled box with its title (empty: the application's title)
// and its icon. Raised on the GUI thread, the box is modal and the caller waits for
// it; raised on another thread (the activity log on the session thread), it is handed
// to the GUI thread and the caller goes on at once.
#pragma once

#include "platform/MessageBox.h"

#include <QMessageBox>
#include <QString>

#include <optional>
#include <string_view>

namespace host::gui {

// The Qt icon of a box; a plain text box (no icon given) has none.
QMessageBox::Icon QtIcon(std::optional<platform::MessageBoxIcon> icon);

// Installs the Qt handlers until the guard goes; the previous handlers come back then.
class MessageBoxHandlerGuard {
public:
    MessageBoxHandlerGuard();
    ~MessageBoxHandlerGuard();
    MessageBoxHandlerGuard(const MessageBoxHandlerGuard&) = delete;
    MessageBoxHandlerGuard& operator=(const MessageBoxHandlerGuard&) = delete;

private:
    platform::MessageBoxHandler previous_;
    platform::TitledMessageBoxHandler previousTitled_;
};

} // namespace host::gui
