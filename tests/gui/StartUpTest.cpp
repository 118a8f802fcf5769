// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up and tear-down of the desktop program: the stored window position, the
// single instance shared with the headless host, closing by signal, and message boxes
// raised on other threads.
#include "GuiFixture.h"

#include "host/gui/MessageBoxes.h"
#include "host/gui/WindowPosition.h"
#include "testsupport/ChildProcess.h"
#include "testsupport/Wait.h"

#include <QMessageBox>
#include <QScreen>
#include <QTimer>

#include <gmock/gmock.h>

#include <csignal>
#include <fstream>
#include <optional>
#include <sstream>
#include <thread>

namespace guitest {
namespace {

using host::gui::StoredWindowCorner;
using host::gui::WindowCorner;
using host::gui::WindowCornerText;

TEST(WindowPositionTest, StoredCornerIsUsedOnlyWhenItFitsTheDesktop)
{
    struct Case {
        const char* text;
        std::optional<WindowCorner> corner;
    };
    // Desktop 1024 x 768: bottom 768, right 1024.
    const Case cases[] = {
        {"0010000200", WindowCorner{100, 200}},
        {"0000100001", WindowCorner{1, 1}},
        {"0076701023", WindowCorner{767, 1023}},
        {"0000000200", std::nullopt}, // top 0 is not above 0
        {"0010000000", std::nullopt}, // nor is left 0
        {"0076800200", std::nullopt}, // top at the desktop's bottom
        {"0010001024", std::nullopt}, // left at its right edge
        {"001000020", std::nullopt},  // nine characters
        {"00100002000", std::nullopt}, // eleven
        {"", std::nullopt},
        {"00 1000200", std::nullopt}, // not decimal
        {"-010000200", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(StoredWindowCorner(c.text, 768, 1024), c.corner) << c.text;
    }
    EXPECT_EQ(WindowCornerText({100, 200}), "0010000200");
    EXPECT_EQ(WindowCornerText({-5, 7}), "0000000007");
    EXPECT_EQ(WindowCornerText({120000, 3}), "9999900003");
}

using WindowPlacementTest = GuiFixture;

TEST_F(WindowPlacementTest, StoredPositionIsAppliedOrIgnoredAndSavedAtTearDown)
{
    const QRect desktop = QGuiApplication::primaryScreen()->geometry();
    platform::Profile& profile = platform::ApplicationProfile();
    profile.WriteProfileString("WindowPos", "Mirel", "0012300045");
    openWindow();
    EXPECT_EQ(window->pos(), QPoint(45, 123));
    EXPECT_EQ(window->centralWidget()->size(), QSize(host::gui::kClientWidth, host::gui::kClientHeight));
    EXPECT_EQ(window->minimumSize(), window->maximumSize()); // fixed size
    window->move(60, 70);
    window->close();
    EXPECT_EQ(profile.GetProfileString("WindowPos", "Mirel", ""), "0007000060");
    window.reset();

    // Beyond the desktop: the window stays where it would be put anyway.
    const std::string beyond = WindowCornerText({desktop.bottom() + 10, 45});
    profile.WriteProfileString("WindowPos", "Mirel", beyond);
    openWindow();
    EXPECT_NE(window->pos().y(), desktop.bottom() + 10);
}

// ---- The program as a process ----

class ProgramTest : public ::testing::Test {
protected:
    std::unique_ptr<testsupport::ChildProcess> launch(std::vector<std::string> options)
    {
        options.insert(options.begin(), ONDREL_PROGRAM);
        return std::make_unique<testsupport::ChildProcess>(
            options, std::vector<std::string>{"ONDREL_PROFILE=" + (dir / "Ondrel.ini").string(),
                                              "XDG_RUNTIME_DIR=" + (dir / "runtime").string(),
                                              "QT_QPA_PLATFORM=offscreen"});
    }

    // True once process `pid` holds a file lock (its instance lock).
    static bool HoldsALock(pid_t pid)
    {
        std::ifstream locks("/proc/locks");
        std::string line;
        const std::string field = " " + std::to_string(pid) + " ";
        while (std::getline(locks, line)) {
            if (line.find("FLOCK") != std::string::npos && line.find(field) != std::string::npos) {
                return true;
            }
        }
        return false;
    }

    testsupport::TempDir dir;
};

TEST_F(ProgramTest, SecondCopyEndsSilentlyWhileTheWindowRuns)
{
    auto first = launch({});
    ASSERT_TRUE(testsupport::WaitUntil([&] { return HoldsALock(first->pid()); }, 10s)) << first->errors();
    for (const std::vector<std::string>& options : {std::vector<std::string>{}, {"--headless"}}) {
        auto second = launch(options);
        EXPECT_EQ(second->waitForExit(), 3);
        EXPECT_EQ(second->output(), "");
        EXPECT_EQ(second->errors(), "");
    }
    // SIGTERM closes the window through its tear-down, which stores the position.
    first->signal(SIGTERM);
    EXPECT_EQ(first->waitForExit(), 0) << first->errors();
    EXPECT_EQ(platform::Profile(dir / "Ondrel.ini").GetProfileString("WindowPos", "Mirel", "").size(), 10u);
}

// ---- Message boxes ----

TEST(MessageBoxTest, BoxesShowWithTheirTitleAndIconAndOtherThreadsDoNotWait)
{
    const host::gui::MessageBoxHandlerGuard guard;
    struct Seen {
        QString text;
        QString title;
        QMessageBox::Icon icon;
    };
    std::vector<Seen> seen;
    QTimer dismiss;
    dismiss.setInterval(10);
    QObject::connect(&dismiss, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            seen.push_back({box->text(), box->windowTitle(), box->icon()});
            box->button(QMessageBox::Ok)->click();
        }
    });
    dismiss.start();

    // On another thread: the call returns at once, the box comes up on this one.
    std::thread([] { platform::ShowMessageBox("MIREL Log:File Open Error!!", {}, platform::MessageBoxIcon::Error); })
        .join();
    EXPECT_TRUE(seen.empty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return seen.size() == 1; }, 5000));
    EXPECT_EQ(seen[0].text, "MIREL Log:File Open Error!!");
    EXPECT_EQ(seen[0].title, QCoreApplication::applicationName());
    EXPECT_EQ(seen[0].icon, QMessageBox::Critical);

    // On this thread: modal, the call returns once OK was pressed.
    platform::ShowMessageBox("Error opening COM port");
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].text, "Error opening COM port");
    EXPECT_EQ(seen[1].title, QCoreApplication::applicationName());
    EXPECT_EQ(seen[1].icon, QMessageBox::NoIcon);
}

} // namespace
} // namespace guitest
