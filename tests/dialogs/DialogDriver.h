// SPDX-License-Identifier: GPL-3.0-or-later
// Drives the dialogs as a user would: finds controls by object name, acts on the
// modal dialog that a click opens, and saves pictures of windows for a person to look at.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QPixmap>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace dialogtest {

template <typename Widget>
Widget* Child(const QWidget* parent, const char* name)
{
    auto* found = parent->findChild<Widget*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << "no control named " << name;
    return found;
}

// Types `text` into `widget` a key at a time, letters beyond ASCII included.
inline void TypeText(QWidget* widget, const QString& text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x80) {
            QTest::keyClicks(widget, QString(c));
        } else {
            QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
        }
    }
}

// Runs an action on the next window of type `Window` once it shows: the modal
// dialog or the popup menu that a click is about to open (and wait in). The action
// must close that window. An action that has not run when this object goes is dropped.
template <typename Window>
class WhenShown {
public:
    explicit WhenShown(std::function<void(Window&)> action) : action_(std::move(action))
    {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            Window* window = qobject_cast<Window*>(QApplication::activePopupWidget());
            if (window == nullptr) {
                window = qobject_cast<Window*>(QApplication::activeModalWidget());
            }
            if (window == nullptr || !window->isVisible()) {
                return;
            }
            timer_.stop();
            ran_ = true;
            if (qobject_cast<QDialog*>(window) != nullptr) {
                // Keys go where a user's would: to the dialog once it is the active window.
                window->activateWindow();
                EXPECT_TRUE(QTest::qWaitForWindowActive(window));
            }
            action_(*window);
        });
        timer_.start();
    }
    bool ran() const { return ran_; }

private:
    std::function<void(Window&)> action_;
    QTimer timer_;
    bool ran_ = false;
};

// Where pictures of the dialogs go: the test program's folder, and also the folder
// that ONDREL_DIALOG_PICTURES names (`make screenshot` gives docs/).
inline std::filesystem::path PictureFolder()
{
    return std::filesystem::path(QCoreApplication::applicationDirPath().toStdString()) / "pictures";
}

inline std::filesystem::path SavePicture(QWidget& window, const std::string& name)
{
    std::filesystem::create_directories(PictureFolder());
    const std::filesystem::path file = PictureFolder() / (name + ".png");
    const QPixmap picture = window.grab();
    EXPECT_TRUE(picture.save(QString::fromStdString(file.string())));
    if (const char* folder = std::getenv("ONDREL_DIALOG_PICTURES"); folder != nullptr && *folder != '\0') {
        const std::filesystem::path copy = std::filesystem::path(folder) / (name + ".png");
        EXPECT_TRUE(picture.save(QString::fromStdString(copy.string()))) << copy;
    }
    return file;
}

} // namespace dialogtest
