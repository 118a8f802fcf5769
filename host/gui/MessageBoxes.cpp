// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/gui/MessageBoxes.h"

#include <QApplication>
#include <QMetaObject>
#include <QThread>
#include <QWidget>

namespace host::gui {
namespace {

void Show(const QString& text, const QString& title, QMessageBox::Icon icon)
{
    QMessageBox box(icon, title.isEmpty() ? QCoreApplication::applicationName() : title, text, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.setObjectName("messageBox");
    box.exec();
}

// Shows the box now on the GUI thread, or hands it to the GUI thread from any other.
void Raise(std::string_view text, std::string_view title, QMessageBox::Icon icon)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) {
        return;
    }
    const QString textCopy = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    const QString titleCopy = QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size()));
    if (QThread::currentThread() == app->thread()) {
        Show(textCopy, titleCopy, icon);
    } else {
        QMetaObject::invokeMethod(app, [textCopy, titleCopy, icon] { Show(textCopy, titleCopy, icon); },
                                  Qt::QueuedConnection);
    }
}

} // namespace

QMessageBox::Icon QtIcon(std::optional<platform::MessageBoxIcon> icon)
{
    if (!icon) {
        return QMessageBox::NoIcon;
    }
    switch (*icon) {
    case platform::MessageBoxIcon::Error: return QMessageBox::Critical;
    case platform::MessageBoxIcon::Exclamation: return QMessageBox::Warning;
    case platform::MessageBoxIcon::Information: return QMessageBox::Information;
    }
    return QMessageBox::NoIcon;
}

MessageBoxHandlerGuard::MessageBoxHandlerGuard()
{
    previous_ = platform::SetMessageBoxHandler([](std::string_view text) { Raise(text, {}, QtIcon(std::nullopt)); });
    previousTitled_ = platform::SetTitledMessageBoxHandler(
        [](std::string_view text, std::string_view title, platform::MessageBoxIcon icon) {
            Raise(text, title, QtIcon(icon));
        });
}

MessageBoxHandlerGuard::~MessageBoxHandlerGuard()
{
    platform::SetTitledMessageBoxHandler(std::move(previousTitled_));
    platform::SetMessageBoxHandler(std::move(previous_));
}

} // namespace host::gui
