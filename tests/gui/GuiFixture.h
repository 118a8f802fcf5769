// SPDX-License-Identifier: GPL-3.0-or-later
// The setup of the window tests: a settings profile in a temporary folder, a
// simulated radio on a pseudo-terminal mapped to COM1, a free TCP port, the help file
// in a folder of the test's choosing with its opener observed, and the window itself.
#pragma once

#include "host/ServiceController.h"
#include "host/gui/Help.h"
#include "host/gui/MainWindow.h"
#include "platform/Profile.h"
#include "testsupport/LoopbackClient.h"
#include "testsupport/MessageBoxCapture.h"
#include "testsupport/TempDir.h"
#include "radiosim/RadioSimulator.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

// Test failures name URLs by their text.
inline void PrintTo(const QUrl& url, std::ostream* out) { *out << url.toString().toStdString(); }

namespace guitest {

using namespace std::chrono_literals;

// Picture `id` as the window shows it on a button of `size`.
inline QImage PictureImage(int id, QSize size)
{
    const QImage image = QIcon(QString(":/ondrel/bitmap%1.png").arg(id)).pixmap(size).toImage();
    EXPECT_FALSE(image.isNull()) << id;
    return image;
}

inline QImage ButtonImage(const QPushButton* button)
{
    return button->icon().pixmap(button->iconSize()).toImage();
}

class GuiFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::SetApplicationProfilePath(dir / "Ondrel.ini");
        std::filesystem::create_directory(dir / "log");
        std::filesystem::create_directory(helpDir());
        std::filesystem::copy_file(ONDREL_HELP_SOURCE, helpDir() / "Ondrel.html");
        previousFolder_ = host::gui::SetHelpFolder(helpDir());
        previousOpener_ = host::gui::SetHelpOpener([this](const QUrl& url) {
            opened.push_back(url);
            return openerWorks;
        });
        tcpPort = testsupport::FreeTcpPort();
    }

    void TearDown() override
    {
        window.reset();
        if (radio) {
            radio->stop();
        }
        host::gui::SetHelpOpener(std::move(previousOpener_));
        host::gui::SetHelpFolder(std::move(previousFolder_));
    }

    void startRadio(int model)
    {
        radiosim::Options options;
        options.model = model;
        radio = std::make_unique<radiosim::RadioSimulator>(options);
        ASSERT_TRUE(radio->start()) << radio->error();
        platform::Profile& profile = platform::ApplicationProfile();
        profile.WriteProfileString("COM Devices", "COM1", radio->devicePath());
        profile.WriteProfileInt("Setting", "COM Port", 1);
        profile.WriteProfileInt("Setting", "COM Baud", 9600);
        profile.WriteProfileInt("Setting", "MIREL IP Port No", static_cast<int>(tcpPort));
        profile.WriteProfileInt("Setting", "MIREL Session Time", 0);
        profile.WriteProfileInt("Setting", "MIREL Log", 1);
        profile.WriteProfileString("File Path", "MIREL Log File Path", (dir / "log").string());
        profile.WriteProfileString("Setting", "MIREL 000 User ID", "alice");
        profile.WriteProfileString("Setting", "MIREL 000 Password", "secret");
        profile.WriteProfileString("Setting", "MIREL 000 Description", "Alice at the club station");
        profile.WriteProfileInt("Setting", "MIREL 000 User Disabled", 0);
    }

    void openWindow(std::vector<const char*> arguments = {}, bool splash = false)
    {
        arguments.insert(arguments.begin(), "ondrel");
        const host::HostOptions options =
            host::ParseHostOptions(static_cast<int>(arguments.size()), arguments.data());
        window = std::make_unique<host::gui::MainWindow>(options, splash);
        // The watchdog's seconds pass only when a test fires its timer.
        window->host().setManualTimers(true);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }

    template <typename Widget = QWidget>
    Widget* child(const char* name) const
    {
        auto* found = window->findChild<Widget*>(name);
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QString text(const char* name) const { return child<QLabel>(name)->text(); }
    QAction* action(const char* name) const { return child<QAction>(name); }

    // Runs the event loop until `condition` holds; false when it did not within 5 s.
    template <typename Condition>
    bool runUntil(Condition condition)
    {
        return QTest::qWaitFor(condition, 5000);
    }

    // Clicks CONTROL and waits until the radio's first answers have been shown.
    void startFromControl()
    {
        QTest::mouseClick(child<QPushButton>("control"), Qt::LeftButton);
        ASSERT_TRUE(window->controller().state().serverOpen);
        ASSERT_TRUE(runUntil([&] {
            return window->controller().state().radioPowerOn && radio->autoInformation() == 2;
        }));
    }

    std::unique_ptr<testsupport::LoopbackClient> logIn()
    {
        auto client = std::make_unique<testsupport::LoopbackClient>(tcpPort);
        EXPECT_TRUE(client->connected());
        client->send("UID:alice;PWD:secret;");
        EXPECT_NE(client->receiveUntil("@@UE1;").find("PWD:OK;"), std::string::npos);
        EXPECT_TRUE(runUntil([&] { return text("userName") == "alice"; }));
        return client;
    }

    bool watchdogArmed() { return window->host().timerDelay(host::kWatchdogTimer).has_value(); }

    std::filesystem::path helpDir() const { return dir / "help"; }

    testsupport::TempDir dir;
    unsigned tcpPort = 0;
    std::unique_ptr<radiosim::RadioSimulator> radio;
    std::unique_ptr<host::gui::MainWindow> window;
    std::vector<QUrl> opened;
    bool openerWorks = true;

private:
    host::gui::HelpOpener previousOpener_;
    std::filesystem::path previousFolder_;
};

} // namespace guitest
