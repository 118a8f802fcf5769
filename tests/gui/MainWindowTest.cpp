// SPDX-License-Identifier: GPL-3.0-or-later
// The main window against the simulated radio: the service started and stopped from
// CONTROL and the menu, the status display, the refused starts with their message
// boxes, the watchdog, help by state, and the keys and clicks the window ignores.
#include "GuiFixture.h"

#include "host/gui/AboutBox.h"
#include "host/gui/MessageBoxes.h"
#include "host/dialogs/SetupDlg.h"
#include "skinwork/CStaticEx.h"

#include <QComboBox>
#include <QMessageBox>
#include <QTimer>

#include <gmock/gmock.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <optional>

namespace guitest {
namespace {

using ::testing::ElementsAre;

using WindowServiceTest = GuiFixture;

QUrl HelpUrl(const std::filesystem::path& folder, int context)
{
    QUrl url = QUrl::fromLocalFile(QString::fromStdString((folder / "Ondrel.html").string()));
    url.setFragment(QString("context-%1").arg(context));
    return url;
}

// Saves the window as the README's picture when ONDREL_SCREENSHOT names a file.
void SaveScreenshotIfAsked(QWidget& window)
{
    const char* file = std::getenv("ONDREL_SCREENSHOT");
    if (file != nullptr && file[0] != '\0') {
        QApplication::processEvents();
        EXPECT_TRUE(window.grab().save(file, "PNG")) << file;
    }
}

TEST_F(WindowServiceTest, ControlRunsTheServiceAndTheDisplayFollows)
{
    startRadio(20);
    openWindow();
    EXPECT_EQ(window->windowTitle(), "Ondrel");
    EXPECT_TRUE(action("actionOn")->isEnabled());
    EXPECT_FALSE(action("actionOff")->isEnabled());
    EXPECT_EQ(window->helpContext(), host::kHelpStopped);

    startFromControl();
    ASSERT_TRUE(runUntil([&] { return text("modelName") == "Tarsel"; }));
    EXPECT_EQ(ButtonImage(child<QPushButton>("powerSwitch")), PictureImage(132, {77, 23}));
    EXPECT_EQ(ButtonImage(child<QPushButton>("control")), PictureImage(130, {44, 21}));
    EXPECT_FALSE(action("actionOn")->isEnabled());
    EXPECT_TRUE(action("actionOff")->isEnabled());
    EXPECT_TRUE(window->isEnabled());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(watchdogArmed());

    // A client: address at once, user, description and time once logged in.
    auto client = logIn();
    EXPECT_EQ(text("address"), "127.0.0.1");
    EXPECT_EQ(child<QPlainTextEdit>("description")->toPlainText(), "Alice at the club station");
    EXPECT_EQ(text("sessionTime"), "Unlimited");
    EXPECT_FALSE(watchdogArmed());

    // ONAIR follows the radio: white on red while it transmits.
    auto* onAir = child<CStaticEx>("onAir");
    radio->inject("TX0;");
    ASSERT_TRUE(runUntil([&] { return onAir->text() == "ONAIR"; }));
    EXPECT_EQ(onAir->backColor(), skinwork::RGB(255, 0, 0));
    EXPECT_EQ(onAir->foreColor(), skinwork::RGB(255, 255, 255));
    EXPECT_TRUE(onAir->styledFont().bold());
    SaveScreenshotIfAsked(*window);
    radio->inject("RX0;");
    ASSERT_TRUE(runUntil([&] { return onAir->text().isEmpty(); }));
    EXPECT_EQ(onAir->backColor(), skinwork::GetSysColor(skinwork::COLOR_BTNFACE));
    EXPECT_EQ(onAir->foreColor(), skinwork::GetSysColor(skinwork::COLOR_WINDOWTEXT));
    std::string status = radio->query("IF;");
    ASSERT_GT(status.size(), 28u);
    status[28] = '1';
    radio->inject(status);
    ASSERT_TRUE(runUntil([&] { return onAir->text() == "ONAIR"; }));
    status[28] = '0';
    radio->inject(status);
    ASSERT_TRUE(runUntil([&] { return onAir->text().isEmpty(); }));

    // F1 by state: running with the radio on.
    QTest::keyClick(window.get(), Qt::Key_F1);
    EXPECT_THAT(opened, ElementsAre(HelpUrl(helpDir(), 2)));

    // The client leaves: its fields clear and the watchdog runs again.
    client->close();
    ASSERT_TRUE(runUntil([&] { return text("userName").isEmpty(); }));
    EXPECT_EQ(text("address"), "");
    EXPECT_EQ(child<QPlainTextEdit>("description")->toPlainText(), "");
    EXPECT_EQ(text("sessionTime"), "");
    EXPECT_EQ(window->host().timerDelay(host::kWatchdogTimer), std::optional(std::chrono::milliseconds(1000)));

    // The power switch: the radio goes to standby (model 20: PS9), its report turns
    // the picture off, and F1 opens the topic for a radio that is off.
    QTest::mouseClick(child<QPushButton>("powerSwitch"), Qt::LeftButton);
    EXPECT_TRUE(radio->waitForCommand("PS9;", 5s));
    ASSERT_TRUE(runUntil([&] { return ButtonImage(child<QPushButton>("powerSwitch")) == PictureImage(131, {77, 23}); }));
    QTest::keyClick(window.get(), Qt::Key_F1);

    // Menu OFF stops the service; "Help Topics" always opens 2, F1 now 8.
    action("actionOff")->trigger();
    EXPECT_FALSE(window->controller().state().serviceRunning);
    EXPECT_EQ(ButtonImage(child<QPushButton>("control")), PictureImage(129, {44, 21}));
    EXPECT_EQ(text("modelName"), "");
    EXPECT_TRUE(action("actionOn")->isEnabled());
    EXPECT_FALSE(action("actionOff")->isEnabled());
    QTest::keyClick(window.get(), Qt::Key_F1);
    action("actionHelp")->trigger();
    EXPECT_THAT(opened, ElementsAre(HelpUrl(helpDir(), 2), HelpUrl(helpDir(), 26), HelpUrl(helpDir(), 8),
                                    HelpUrl(helpDir(), 2)));
    EXPECT_TRUE(radio->waitForCommand("AI0;", 5s));
}

// The start's message boxes, seen as the user sees them: a Qt message box with its
// text, title and icon, dismissed with OK.
struct SeenBox {
    QString text;
    QString title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

class BoxWatcher {
public:
    BoxWatcher()
    {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                seen.push_back({box->text(), box->windowTitle(), box->icon()});
                QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
            }
        });
        timer_.start();
    }
    std::vector<SeenBox> seen;

private:
    host::gui::MessageBoxHandlerGuard guard_;
    QTimer timer_;
};

TEST_F(WindowServiceTest, Model19IsRefusedWithoutEcvAndAcceptedWithIt)
{
    startRadio(19);
    openWindow();
    {
        BoxWatcher boxes;
        QTest::mouseClick(child<QPushButton>("control"), Qt::LeftButton);
        ASSERT_EQ(boxes.seen.size(), 1u);
        EXPECT_EQ(boxes.seen[0].text, "The transceiver connected to COM1 is Corvex.\n Be sure to connect the Radio to "
                                      "the COM1.\n");
        EXPECT_EQ(boxes.seen[0].title, "Error!");
        EXPECT_EQ(boxes.seen[0].icon, QMessageBox::Warning);
    }
    EXPECT_FALSE(window->controller().state().serviceRunning);
    EXPECT_EQ(ButtonImage(child<QPushButton>("control")), PictureImage(129, {44, 21}));
    EXPECT_EQ(window->focusWidget(), child<QPushButton>("control"));
    EXPECT_TRUE(window->isEnabled());

    window.reset();
    openWindow({"-ECV"});
    EXPECT_EQ(window->windowTitle(), "Ondrel -ECV");
    startFromControl();
    ASSERT_TRUE(runUntil([&] { return text("modelName") == "Corvex"; }));
}

TEST_F(WindowServiceTest, SilentRadioGivesTheUnknownDeviceBox)
{
    startRadio(20);
    radio->setSilent(true);
    openWindow({"x-ELMx"});
    EXPECT_EQ(window->windowTitle(), "Ondrel -ELM");
    testsupport::MessageBoxCapture boxes;
    action("actionOn")->trigger();
    const std::vector<testsupport::MessageBoxCapture::Box> expected = {
        {" An unknown device is connected to COM1, or the Baud rate in this software does not mutch in the "
         "Transceiver.\n Check the status of COM1.\n",
         "Error!", platform::MessageBoxIcon::Exclamation}};
    EXPECT_EQ(boxes.boxes(), expected);
    EXPECT_FALSE(window->controller().state().serviceRunning);
    EXPECT_TRUE(action("actionOn")->isEnabled());
}

TEST_F(WindowServiceTest, WatchdogStopsASilentRadioButNotDuringASession)
{
    startRadio(20);
    openWindow();
    startFromControl();
    auto client = logIn();
    radio->setSilent(true);
    // No watchdog while the client is logged in.
    EXPECT_FALSE(window->host().fireTimer(host::kWatchdogTimer));
    EXPECT_TRUE(window->controller().state().serviceRunning);

    client->close();
    ASSERT_TRUE(runUntil([&] { return text("userName").isEmpty() && watchdogArmed(); }));
    // Four seconds without a word from the radio: the fourth tick stops the service.
    for (int tick = 1; tick <= 3; ++tick) {
        ASSERT_TRUE(window->host().fireTimer(host::kWatchdogTimer)) << tick;
        EXPECT_TRUE(window->controller().state().serviceRunning) << tick;
    }
    ASSERT_TRUE(window->host().fireTimer(host::kWatchdogTimer));
    EXPECT_FALSE(window->controller().state().serviceRunning);
    EXPECT_FALSE(watchdogArmed());
    EXPECT_EQ(ButtonImage(child<QPushButton>("control")), PictureImage(129, {44, 21}));
    EXPECT_TRUE(action("actionOn")->isEnabled());
}

// ---- Help ----

using HelpTest = GuiFixture;

TEST_F(HelpTest, MissingFileNamesItsFullPathAndABrokenOpenerIsRemembered)
{
    openWindow();
    const auto empty = dir / "nohelp";
    std::filesystem::create_directory(empty);
    host::gui::SetHelpFolder(empty);
    {
        testsupport::MessageBoxCapture boxes;
        QTest::keyClick(window.get(), Qt::Key_F1);
        EXPECT_THAT(boxes.texts(),
                    ElementsAre("Not Exist Html Help File\n\n   File Path [ " + (empty / "Ondrel.html").string() + " ]"));
    }
    EXPECT_TRUE(opened.empty());

    // No working opener: tried once, then help does nothing at all.
    host::gui::SetHelpFolder(helpDir());
    openerWorks = false;
    action("actionHelp")->trigger();
    action("actionHelp")->trigger();
    QTest::keyClick(window.get(), Qt::Key_F1);
    EXPECT_EQ(opened.size(), 1u);
}

TEST_F(HelpTest, EveryContextHasItsSection)
{
    std::ifstream file(helpDir() / "Ondrel.html");
    std::stringstream text;
    text << file.rdbuf();
    for (const int context : {2, 8, 26, 30, 32, 34}) {
        EXPECT_NE(text.str().find("id=\"" + host::gui::HelpAnchor(context) + "\""), std::string::npos) << context;
    }
}

// ---- Keys, clicks, splash, About ----

using WindowInputTest = GuiFixture;

TEST_F(WindowInputTest, EnterAndEscapeDoNothingAndTheDescriptionTakesNoFocus)
{
    startRadio(20);
    openWindow();
    auto* control = child<QPushButton>("control");
    control->setFocus();
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
        QTest::keyClick(control, key);
        QTest::keyClick(window.get(), key);
    }
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->controller().state().serviceRunning);

    auto* description = child<QPlainTextEdit>("description");
    description->setPlainText("Alice at the club station");
    QTest::mouseDClick(description->viewport(), Qt::LeftButton, {}, QPoint(20, 8));
    QTest::mouseClick(description->viewport(), Qt::RightButton, {}, QPoint(20, 8));
    EXPECT_FALSE(description->hasFocus());
    EXPECT_FALSE(description->textCursor().hasSelection());
    EXPECT_TRUE(control->hasFocus());
}

TEST_F(WindowInputTest, SplashShowsWhileTheWindowIsMadeAndGoesAway)
{
    bool seen = false;
    QTimer::singleShot(0, [&] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            seen = seen || (widget->objectName() == "splash" && widget->isVisible());
        }
    });
    openWindow({}, true);
    EXPECT_TRUE(seen);
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        EXPECT_FALSE(widget->objectName() == "splash" && widget->isVisible());
    }
}

TEST_F(WindowInputTest, AboutBoxClosesOnReleaseEnterAndEscape)
{
    openWindow();
    const std::vector<std::function<void(QWidget*)>> closers = {
        [](QWidget* box) { QTest::mouseRelease(box, Qt::LeftButton, {}, QPoint(100, 100)); },
        [](QWidget* box) { QTest::keyClick(box, Qt::Key_Return); },
        [](QWidget* box) { QTest::keyClick(box, Qt::Key_Escape); },
    };
    for (std::size_t i = 0; i < closers.size(); ++i) {
        QSize size;
        QTimer::singleShot(0, [&] {
            QWidget* box = QApplication::activeModalWidget();
            ASSERT_NE(box, nullptr);
            size = box->size();
            closers[i](box);
        });
        action("actionAbout")->trigger(); // returns once the box is closed
        EXPECT_EQ(size, QSize(594, 225)) << i;
    }
}

TEST_F(WindowInputTest, SetupOpensFromTheMenuWithItsHelp)
{
    openWindow();
    QString title;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* setup = qobject_cast<dialogs::CSetupDlg*>(QApplication::activeModalWidget());
        if (setup == nullptr || !setup->isActiveWindow()) {
            return;
        }
        poll.stop();
        title = setup->windowTitle();
        QTest::keyClick(setup->findChild<QComboBox*>(), Qt::Key_F1);
        setup->reject();
    });
    poll.start();
    action("actionSetup")->trigger(); // returns once the dialog is closed
    EXPECT_EQ(title, "Setup");
    EXPECT_THAT(opened, ElementsAre(HelpUrl(helpDir(), 30)));
}

TEST(AboutPictureTest, PanelAndPictureCombineByBitwiseAnd)
{
    QImage picture(594, 225, QImage::Format_RGB32);
    picture.fill(Qt::white);
    picture.setPixel(5, 5, qRgb(0, 0, 0));           // dark on the white margin
    picture.setPixel(100, 100, qRgb(0x0F, 0xF0, 0x3C)); // on the panel
    const QImage composed = host::gui::ComposeAboutPicture(picture);
    ASSERT_EQ(composed.size(), QSize(594, 225));
    EXPECT_EQ(composed.pixel(0, 0), qRgb(255, 255, 255));
    EXPECT_EQ(composed.pixel(5, 5), qRgb(0, 0, 0));
    EXPECT_EQ(composed.pixel(15, 15), qRgb(255, 192, 128));
    EXPECT_EQ(composed.pixel(578, 209), qRgb(255, 192, 128));
    EXPECT_EQ(composed.pixel(579, 210), qRgb(255, 255, 255));
    EXPECT_EQ(composed.pixel(14, 100), qRgb(255, 255, 255));
    EXPECT_EQ(composed.pixel(100, 100), qRgb(0x0F & 255, 0xF0 & 192, 0x3C & 128));
}

} // namespace
} // namespace guitest
