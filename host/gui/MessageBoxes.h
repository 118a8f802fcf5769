// The window's message boxes: the texts raised through platform::ShowMessageBox are
// shown as Qt message boxes with an OK button, with the title and icon that belong to
// each text. Raised on the GUI thread, the box is modal and the caller waits for it;
// raised on another thread (the activity log on the session thread), the text is
// handed to the GUI thread and the caller goes on at once.
#pragma once

#include <QMessageBox>
#include <QString>

#include <string_view>

namespace host::gui {

struct MessageBoxStyle {
    QString title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

// The start errors: "Error!" with the exclamation icon; the log's open error: the stop
// icon; every other text: the application's title and no icon.
MessageBoxStyle MessageBoxStyleFor(std::string_view text);

// Installs the Qt handler for the application's lifetime (until the returned guard goes).
class MessageBoxHandlerGuard {
public:
    MessageBoxHandlerGuard();
    ~MessageBoxHandlerGuard();
    MessageBoxHandlerGuard(const MessageBoxHandlerGuard&) = delete;
    MessageBoxHandlerGuard& operator=(const MessageBoxHandlerGuard&) = delete;
};

} // namespace host::gui
