#include "host/gui/MessageBoxes.h"

#include "platform/MessageBox.h"

#include <QApplication>
#include <QMetaObject>
#include <QThread>
#include <QWidget>

#include <array>

namespace host::gui {
namespace {

struct StyledText {
    std::string_view prefix;
    const char* title; // nullptr: the application's title
    QMessageBox::Icon icon;
};

constexpr std::array<StyledText, 3> kStyles = {{
    {" An unknown device is connected to COM", "Error!", QMessageBox::Warning},
    {"The transceiver connected to COM", "Error!", QMessageBox::Warning},
    {"MIREL Log:File Open Error!!", nullptr, QMessageBox::Critical},
}};

void Show(const QString& text)
{
    const MessageBoxStyle style = MessageBoxStyleFor(text.toStdString());
    QMessageBox box(style.icon, style.title, text, QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
}

} // namespace

MessageBoxStyle MessageBoxStyleFor(std::string_view text)
{
    for (const StyledText& styled : kStyles) {
        if (text.substr(0, styled.prefix.size()) == styled.prefix) {
            return {styled.title != nullptr ? QString(styled.title) : QCoreApplication::applicationName(),
                    styled.icon};
        }
    }
    return {QCoreApplication::applicationName(), QMessageBox::NoIcon};
}

MessageBoxHandlerGuard::MessageBoxHandlerGuard()
{
    platform::SetMessageBoxHandler([](std::string_view text) {
        const QString copy = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
        QCoreApplication* app = QCoreApplication::instance();
        if (app == nullptr) {
            return;
        }
        if (QThread::currentThread() == app->thread()) {
            Show(copy);
        } else {
            QMetaObject::invokeMethod(app, [copy] { Show(copy); }, Qt::QueuedConnection);
        }
    });
}

MessageBoxHandlerGuard::~MessageBoxHandlerGuard() { platform::SetMessageBoxHandler({}); }

} // namespace host::gui
