// SPDX-License-Identifier: GPL-3.0-or-later
// The "Setup" dialog driven by clicks and keys against a real profile file: what
// it shows, what OK writes and Cancel does not, the port box, the log box, the user
// list with its buttons and context menu, the Advanced dialog it opens, the voice
// box that follows the telephony engine, and help.

#include "host/dialogs/SetupDlg.h"
#include "host/dialogs/UserIcons.h"
#include "linkcore/Linkcore.h"
#include "netport/TlsIdentity.h"
#include "platform/Profile.h"
#include "skinwork/VoiceEnable.h"
#include "DialogDriver.h"
#include "testsupport/MessageBoxCapture.h"
#include "testsupport/TempDir.h"

#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <sstream>

namespace dialogtest {
namespace {

using dialogs::AdvancedSettings;
using dialogs::CAdvancedDlg;
using dialogs::CSetupDlg;
using dialogs::CUserDlg;
using testsupport::MessageBoxCapture;

class SetupDlgTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::SetApplicationProfilePath(dir_ / "Ondrel.ini");
        // No telephony engine unless a test offers one.
        std::filesystem::create_directory(dir_ / "bin");
        skinwork::SetTelephonyEngineSearch(skinwork::EngineSearch{(dir_ / "bin").string(), ""});
    }
    void TearDown() override { skinwork::SetTelephonyEngineSearch(std::nullopt); }

    void write(std::string_view section, std::string_view key, std::string_view text)
    {
        ASSERT_EQ(platform::ApplicationProfile().WriteProfileString(section, key, text), 1);
    }
    void addUser(int slot, const std::string& id, const std::string& password, const std::string& description,
                 int disabled = 0)
    {
        const std::string prefix = "MIREL 00" + std::to_string(slot) + " ";
        write("Setting", prefix + "User ID", id);
        write("Setting", prefix + "Password", password);
        write("Setting", prefix + "Description", description);
        write("Setting", prefix + "User Disabled", std::to_string(disabled));
    }
    std::string value(std::string_view key, std::string_view section = "Setting") const
    {
        return platform::ApplicationProfile().GetProfileString(section, key, "<missing>");
    }
    std::string fileText() const
    {
        std::ifstream in(dir_ / "Ondrel.ini", std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    // The file's lines that set one of `keys`, in file order.
    std::vector<std::string> linesOf(const std::vector<std::string>& keys) const
    {
        std::vector<std::string> result;
        std::istringstream lines(fileText());
        for (std::string line; std::getline(lines, line);) {
            for (const std::string& key : keys) {
                if (line.starts_with(key + "=")) {
                    result.push_back(line);
                }
            }
        }
        return result;
    }

    void open()
    {
        dialog_ = std::make_unique<CSetupDlg>(nullptr, [this](int context) { help_.push_back(context); });
        // The provider the window gives it: the settings file's folder resolves a
        // relative path.
        dialog_->setFingerprintProvider([](const AdvancedSettings& settings) {
            return dialogs::CertificateFingerprintText(settings, platform::ApplicationProfile().path());
        });
        dialog_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog_.get()));
        dialog_->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(dialog_.get()));
        users_ = Child<QTreeWidget>(dialog_.get(), "userList");
        ok_ = Child<QPushButton>(dialog_.get(), "okButton");
        port_ = Child<QLineEdit>(dialog_.get(), "tcpPortEdit");
    }
    void click(const char* name) { QTest::mouseClick(Child<QWidget>(dialog_.get(), name), Qt::LeftButton); }
    void clickCheckBox(const char* name)
    {
        auto* box = Child<QCheckBox>(dialog_.get(), name);
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
    }
    QComboBox* list(const char* name) { return Child<QComboBox>(dialog_.get(), name); }

    // The user list as "name|description|disabled" rows, the flag read from the row's picture.
    std::vector<std::string> rows() const
    {
        const QImage enabled = dialogs::UserStateIcon(false).pixmap(16, 16).toImage();
        const QImage disabled = dialogs::UserStateIcon(true).pixmap(16, 16).toImage();
        std::vector<std::string> result;
        for (int i = 0; i < users_->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* row = users_->topLevelItem(i);
            const QImage picture = row->icon(0).pixmap(16, 16).toImage();
            const char* flag = picture == disabled ? "1" : (picture == enabled ? "0" : "?");
            result.push_back(row->text(0).toStdString() + "|" + row->text(1).toStdString() + "|" + flag);
        }
        return result;
    }
    void selectRow(int index)
    {
        const QRect where = users_->visualItemRect(users_->topLevelItem(index));
        QTest::mouseClick(users_->viewport(), Qt::LeftButton, {}, where.center());
    }
    // A right click on a row (or on the empty part of the list when `index` is -1)
    // with `action` run on the menu it opens.
    void rightClick(int index, std::function<void(QMenu&)> action)
    {
        const QPoint where = index >= 0 ? users_->visualItemRect(users_->topLevelItem(index)).center()
                                        : QPoint(users_->viewport()->width() / 2, users_->viewport()->height() - 5);
        WhenShown<QMenu> menu(std::move(action));
        QTest::mouseClick(users_->viewport(), Qt::RightButton, {}, where);
        QContextMenuEvent event(QContextMenuEvent::Mouse, where, users_->viewport()->mapToGlobal(where));
        if (!menu.ran()) {
            // Platforms that raise the context menu on the press leave it to the event.
            QApplication::sendEvent(users_->viewport(), &event);
        }
        EXPECT_TRUE(menu.ran());
    }
    static void choose(QMenu& menu, const QString& text)
    {
        for (QAction* action : menu.actions()) {
            if (action->text() == text) {
                QTest::mouseClick(&menu, Qt::LeftButton, {}, menu.actionGeometry(action).center());
                return;
            }
        }
        ADD_FAILURE() << "no menu item " << text.toStdString();
        menu.close();
    }
    // Adds a user through "Add..." and the user editor.
    void addThroughEditor(const QString& id, const QString& password, const QString& description = {})
    {
        WhenShown<CUserDlg> editor([&](CUserDlg& dialog) {
            QTest::keyClicks(Child<QLineEdit>(&dialog, "userIdEdit"), id);
            QTest::keyClicks(Child<QLineEdit>(&dialog, "passwordEdit"), password);
            QTest::keyClicks(Child<QLineEdit>(&dialog, "retypeEdit"), password);
            QTest::keyClicks(Child<QPlainTextEdit>(&dialog, "descriptionEdit"), description);
            QTest::mouseClick(Child<QPushButton>(&dialog, "okButton"), Qt::LeftButton);
        });
        click("addButton");
        EXPECT_TRUE(editor.ran());
    }

    // Clicks "Advanced..." and runs `action` on the dialog it opens.
    void inAdvanced(std::function<void(CAdvancedDlg&)> action)
    {
        WhenShown<CAdvancedDlg> advanced(std::move(action));
        click("advancedButton");
        EXPECT_TRUE(advanced.ran());
    }
    static void retype(QWidget* dialog, const char* name, const QString& text)
    {
        auto* edit = Child<QLineEdit>(dialog, name);
        edit->setFocus();
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        TypeText(edit, text);
    }
    static void tick(QWidget* dialog, const char* name)
    {
        auto* box = Child<QCheckBox>(dialog, name);
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
    }
    static std::string fingerprint(QWidget* dialog)
    {
        return Child<QPlainTextEdit>(dialog, "fingerprintText")->toPlainText().toStdString();
    }

    testsupport::TempDir dir_;
    std::unique_ptr<CSetupDlg> dialog_;
    std::vector<int> help_;
    QTreeWidget* users_ = nullptr;
    QPushButton* ok_ = nullptr;
    QLineEdit* port_ = nullptr;
};

TEST_F(SetupDlgTest, EverySettingIsShownWithItsRulesAndCancelWritesNothing)
{
    write("Setting", "COM Port", "7");
    write("Setting", "COM Baud", "12345");
    write("Setting", "MIREL IP Port No", "80");
    write("Setting", "MIREL Voice", "1");
    write("Setting", "MIREL Session Time", "7");
    write("Setting", "MIREL Log", "1");
    write("File Path", "MIREL Log File Path", "/var/log/ondrel");
    addUser(0, "zed", "pz", "Zed's rig");
    addUser(3, "Alice", "pa", "Alice at home", 7);
    addUser(4, "bob", "pb", "");
    const std::string before = fileText();
    open();

    EXPECT_EQ(dialog_->windowTitle(), "Setup");
    EXPECT_EQ(dialog_->size(), QSize(390, 403));
    EXPECT_EQ(list("comPortList")->currentText(), "    COM7");
    EXPECT_EQ(list("comPortList")->count(), 20);
    EXPECT_EQ(list("comPortList")->itemText(19), "    COM20");
    EXPECT_EQ(list("baudList")->itemText(0), "    4800bps");
    EXPECT_EQ(list("baudList")->itemText(5), "  115200bps");
    EXPECT_EQ(list("sessionTimeList")->count(), 14);
    EXPECT_EQ(list("sessionTimeList")->itemText(13), "   120");
    EXPECT_EQ(list("baudList")->currentText(), "    9600bps");
    EXPECT_EQ(list("sessionTimeList")->currentText(), "   Unlimited");
    EXPECT_EQ(port_->text(), "50000");
    EXPECT_EQ(port_->maxLength(), 5);
    EXPECT_TRUE(ok_->isEnabled());
    auto* voice = Child<QCheckBox>(dialog_.get(), "voiceCheck");
    EXPECT_TRUE(voice->isChecked());
    EXPECT_FALSE(voice->isEnabled()) << "no telephony engine is offered";
    EXPECT_TRUE(Child<QCheckBox>(dialog_.get(), "logCheck")->isChecked());
    EXPECT_EQ(Child<QLineEdit>(dialog_.get(), "logFolderEdit")->text(), "/var/log/ondrel");
    EXPECT_TRUE(Child<QLineEdit>(dialog_.get(), "logFolderEdit")->isReadOnly());

    char address[25] = {};
    CLinkcore().GetLocalIP(address);
    EXPECT_EQ(Child<QLabel>(dialog_.get(), "ipAddressText")->text().toStdString(), address);

    EXPECT_EQ(users_->headerItem()->text(0), "User Name");
    EXPECT_EQ(users_->headerItem()->text(1), "Description");
    EXPECT_EQ(users_->columnWidth(0), 100);
    EXPECT_EQ(users_->columnWidth(1), 260);
    EXPECT_EQ(rows(), (std::vector<std::string>{"Alice|Alice at home|1", "bob||0", "zed|Zed's rig|0"}));
    EXPECT_TRUE(users_->selectedItems().isEmpty());
    SavePicture(*dialog_, "setup-dialog");

    // Whatever is changed, Cancel writes nothing.
    addThroughEditor("carol", "pc");
    selectRow(0);
    click("deleteButton");
    list("baudList")->setCurrentIndex(5);
    click("cancelButton");
    EXPECT_FALSE(dialog_->isVisible());
    EXPECT_EQ(dialog_->result(), QDialog::Rejected);
    EXPECT_EQ(fileText(), before);
}

TEST_F(SetupDlgTest, OkWritesWhatTheControlsHold)
{
    addUser(0, "alice", "pa", "Alice");
    open();
    auto* baud = list("baudList");
    baud->setFocus();
    QTest::keyClick(baud, Qt::Key_End);
    list("comPortList")->setCurrentIndex(2);
    list("sessionTimeList")->setCurrentIndex(8);
    port_->selectAll();
    QTest::keyClicks(port_, "4533");
    QTest::mouseClick(ok_, Qt::LeftButton);
    EXPECT_EQ(dialog_->result(), QDialog::Accepted);
    EXPECT_EQ(value("COM Port"), "3");
    EXPECT_EQ(value("COM Baud"), "115200");
    EXPECT_EQ(value("MIREL IP Port No"), "4533");
    EXPECT_EQ(value("MIREL Session Time"), "30");
    EXPECT_EQ(value("MIREL Voice"), "0");
    EXPECT_EQ(value("MIREL Log"), "0");
    EXPECT_EQ(value("MIREL Log File Path", "File Path"), "");
    EXPECT_EQ(value("MIREL 000 User ID"), "alice");
    EXPECT_EQ(value("MIREL 000 Password"), "pa");
    EXPECT_EQ(value("MIREL 001 User ID"), "");
}

TEST_F(SetupDlgTest, ThePortBoxDisablesOkWhileInvalidAndIsRepairedOnLeaving)
{
    open();
    struct Step {
        const char* typed;
        bool okWhileTyped;
        const char* afterLeaving;
    };
    const std::vector<Step> steps = {
        {"12", false, "50000"}, {"08080", true, "8080"}, {"", false, "50000"}, {"2000x", false, "2000"}};
    for (const Step& step : steps) {
        SCOPED_TRACE(step.typed);
        port_->setFocus();
        port_->selectAll();
        QTest::keyClick(port_, Qt::Key_Delete);
        QTest::keyClicks(port_, step.typed);
        EXPECT_EQ(ok_->isEnabled(), step.okWhileTyped);
        QTest::keyClick(port_, Qt::Key_Tab);
        EXPECT_FALSE(port_->hasFocus());
        EXPECT_EQ(port_->text().toStdString(), step.afterLeaving);
        EXPECT_TRUE(ok_->isEnabled());
    }
    QTest::keyClicks(port_, "123456");
    EXPECT_EQ(port_->text().size(), 5);
}

TEST_F(SetupDlgTest, TheLogBoxNeedsAFolderChosenInTheBrowser)
{
    open();
    std::vector<QString> titles;
    std::optional<QString> answer;
    dialog_->setFolderBrowser([&](QWidget* parent, const QString& title, const QString&) {
        EXPECT_EQ(parent, dialog_.get());
        titles.push_back(title);
        return answer;
    });
    auto* log = Child<QCheckBox>(dialog_.get(), "logCheck");
    auto* folder = Child<QLineEdit>(dialog_.get(), "logFolderEdit");
    clickCheckBox("logCheck");
    EXPECT_FALSE(log->isChecked());

    click("browseButton");
    EXPECT_EQ(folder->text(), "") << "a cancelled browser changes nothing";
    answer = QString::fromStdString((dir_ / "logs").string());
    click("browseButton");
    EXPECT_EQ(folder->text(), *answer);
    EXPECT_EQ(titles, (std::vector<QString>{"Select log file folder.", "Select log file folder."}));
    folder->setFocus();
    QTest::keyClicks(folder, "typed");
    EXPECT_EQ(folder->text(), *answer) << "the folder cannot be typed";

    clickCheckBox("logCheck");
    EXPECT_TRUE(log->isChecked());
    QTest::mouseClick(ok_, Qt::LeftButton);
    EXPECT_EQ(value("MIREL Log"), "1");
    EXPECT_EQ(value("MIREL Log File Path", "File Path"), (dir_ / "logs").string());
}

TEST_F(SetupDlgTest, UsersAreAddedSortedAndDuplicatesIgnoringCaseAreRefused)
{
    addUser(0, "alice", "pa", "Alice");
    open();
    MessageBoxCapture boxes;
    addThroughEditor("Carol", "pc", "Carol's shack");
    EXPECT_EQ(rows(), (std::vector<std::string>{"alice|Alice|0", "Carol|Carol's shack|0"}));
    ASSERT_EQ(users_->selectedItems().size(), 1);
    EXPECT_EQ(users_->selectedItems().front()->text(0), "Carol");

    addThroughEditor("ALICE", "other", "not added");
    EXPECT_EQ(boxes.boxes(), (std::vector<MessageBoxCapture::Box>{
                                 {"There are same User ID.", "", platform::MessageBoxIcon::Exclamation}}));
    EXPECT_EQ(rows().size(), 2u);

    for (int i = 0; i < 8; ++i) {
        addThroughEditor(QStringLiteral("user%1").arg(i), "pw");
    }
    EXPECT_EQ(rows().size(), 10u);
    {
        WhenShown<CUserDlg> editor([](CUserDlg& dialog) { dialog.reject(); });
        click("addButton");
        QTest::qWait(50);
        EXPECT_FALSE(editor.ran()) << "with ten users Add opens nothing";
    }
    EXPECT_EQ(boxes.boxes().size(), 1u);

    QTest::mouseClick(ok_, Qt::LeftButton);
    EXPECT_EQ(value("MIREL 000 User ID"), "alice");
    EXPECT_EQ(value("MIREL 001 User ID"), "Carol");
    EXPECT_EQ(value("MIREL 001 Password"), "pc");
    EXPECT_EQ(value("MIREL 009 User ID"), "user7");
}

TEST_F(SetupDlgTest, EditDeleteAndToggleWorkOnTheSelectedRow)
{
    addUser(0, "alice", "pa", "Alice");
    addUser(1, "bob", "pb", "Bob", 1);
    addUser(2, "carol", "pc", "Carol");
    open();

    // Nothing selected: Edit and Del do nothing.
    {
        WhenShown<CUserDlg> editor([](CUserDlg& dialog) { dialog.reject(); });
        click("editButton");
        click("deleteButton");
        QTest::qWait(50);
        EXPECT_FALSE(editor.ran());
    }
    EXPECT_EQ(rows().size(), 3u);

    // Double click edits; the editor shows the user in edit mode.
    {
        WhenShown<CUserDlg> editor([](CUserDlg& dialog) {
            EXPECT_FALSE(Child<QLineEdit>(&dialog, "userIdEdit")->isEnabled());
            EXPECT_EQ(Child<QLineEdit>(&dialog, "passwordEdit")->text(), "pb");
            EXPECT_TRUE(Child<QCheckBox>(&dialog, "disabledCheck")->isChecked());
            auto* description = Child<QPlainTextEdit>(&dialog, "descriptionEdit");
            description->selectAll();
            QTest::keyClicks(description, "Bob, edited");
            QTest::mouseClick(Child<QCheckBox>(&dialog, "disabledCheck"), Qt::LeftButton, {}, QPoint(6, 7));
            QTest::mouseClick(Child<QPushButton>(&dialog, "okButton"), Qt::LeftButton);
        });
        const QPoint where = users_->visualItemRect(users_->topLevelItem(1)).center();
        QTest::mouseClick(users_->viewport(), Qt::LeftButton, {}, where);
        QTest::mouseDClick(users_->viewport(), Qt::LeftButton, {}, where);
        EXPECT_TRUE(editor.ran());
    }
    EXPECT_EQ(rows(), (std::vector<std::string>{"alice|Alice|0", "bob|Bob, edited|0", "carol|Carol|0"}));

    // The context menu toggles the selected user, and its picture follows.
    rightClick(2, [](QMenu& menu) {
        for (QAction* action : menu.actions()) {
            EXPECT_TRUE(action->isEnabled()) << action->text().toStdString();
        }
        choose(menu, "Enable/Disable (&B)");
    });
    EXPECT_EQ(rows().back(), "carol|Carol|1");
    rightClick(2, [](QMenu& menu) { choose(menu, "Enable/Disable (&B)"); });
    EXPECT_EQ(rows().back(), "carol|Carol|0");
    rightClick(2, [](QMenu& menu) { choose(menu, "Enable/Disable (&B)"); });

    // Delete the first user; OK moves the others down a slot.
    selectRow(0);
    click("deleteButton");
    EXPECT_EQ(rows(), (std::vector<std::string>{"bob|Bob, edited|0", "carol|Carol|1"}));
    QTest::mouseClick(ok_, Qt::LeftButton);
    EXPECT_EQ(value("MIREL 000 User ID"), "bob");
    EXPECT_EQ(value("MIREL 000 Password"), "pb");
    EXPECT_EQ(value("MIREL 000 Description"), "Bob, edited");
    EXPECT_EQ(value("MIREL 000 User Disabled"), "0");
    EXPECT_EQ(value("MIREL 001 User ID"), "carol");
    EXPECT_EQ(value("MIREL 001 User Disabled"), "1");
    EXPECT_EQ(value("MIREL 002 User ID"), "");
    EXPECT_EQ(value("MIREL 002 Password"), "");
}

TEST_F(SetupDlgTest, TheContextMenuOfAnEmptyListOffersOnlyAdd)
{
    open();
    rightClick(-1, [](QMenu& menu) {
        EXPECT_EQ(menu.title(), "UserList");
        std::vector<std::string> items;
        for (QAction* action : menu.actions()) {
            items.push_back(action->isSeparator() ? "-"
                                                  : action->text().toStdString() + (action->isEnabled() ? "" : " (gray)"));
        }
        EXPECT_EQ(items, (std::vector<std::string>{"Add (&A)...", "Edit (&E)... (gray)", "Delete (&D) (gray)", "-",
                                                   "Enable/Disable (&B) (gray)"}));
        menu.close();
    });
    // Its Add runs the editor like the button.
    WhenShown<CUserDlg> editor([](CUserDlg& dialog) {
        QTest::keyClicks(Child<QLineEdit>(&dialog, "userIdEdit"), "menuuser");
        QTest::keyClicks(Child<QLineEdit>(&dialog, "passwordEdit"), "pw");
        QTest::keyClicks(Child<QLineEdit>(&dialog, "retypeEdit"), "pw");
        QTest::keyClick(Child<QLineEdit>(&dialog, "retypeEdit"), Qt::Key_Return);
    });
    rightClick(-1, [](QMenu& menu) { choose(menu, "Add (&A)..."); });
    EXPECT_TRUE(editor.ran());
    EXPECT_EQ(rows(), std::vector<std::string>{"menuuser||0"});
}

TEST_F(SetupDlgTest, F1OpensTheSetupHelpAndTheEditorsAndAdvancedOwn)
{
    open();
    QTest::keyClick(port_, Qt::Key_F1);
    WhenShown<CUserDlg> editor([](CUserDlg& dialog) {
        QTest::keyClick(Child<QLineEdit>(&dialog, "userIdEdit"), Qt::Key_F1);
        dialog.reject();
    });
    click("addButton");
    EXPECT_TRUE(editor.ran());
    inAdvanced([](CAdvancedDlg& dialog) {
        QTest::keyClick(Child<QLineEdit>(&dialog, "voicePortEdit"), Qt::Key_F1);
        QTest::mouseClick(Child<QPushButton>(&dialog, "helpButton"), Qt::LeftButton);
        EXPECT_TRUE(dialog.isVisible()) << "help leaves the dialog open";
        dialog.reject();
    });
    EXPECT_EQ(help_, (std::vector<int>{30, 32, 34, 34}));
}

TEST_F(SetupDlgTest, TheVoiceBoxIsOfferedExactlyWhereTheTelephonyEngineIsInstalled)
{
    const std::string engine = (dir_ / "bin" / "baresip").string();
    struct Row {
        mode_t mode; // 0: no file
        bool enabled;
        const char* tip;
    };
    const Row rows[] = {
        {0, false, "Voice calls need the telephony engine baresip: install the package baresip-core."},
        {0644, false, "Voice calls need the telephony engine baresip: install the package baresip-core."},
        {0755, true, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.mode);
        if (row.mode != 0) {
            std::ofstream(engine) << "#!/bin/sh\n";
            ASSERT_EQ(::chmod(engine.c_str(), row.mode), 0);
        }
        open();
        auto* voice = Child<QCheckBox>(dialog_.get(), "voiceCheck");
        EXPECT_EQ(voice->isEnabled(), row.enabled);
        EXPECT_EQ(voice->toolTip().toStdString(), row.tip);
        if (row.enabled) {
            clickCheckBox("voiceCheck");
            QTest::mouseClick(ok_, Qt::LeftButton);
            EXPECT_EQ(value("MIREL Voice"), "1");
        }
    }
}

TEST_F(SetupDlgTest, AdvancedEditsTheFileOnlySettingsAndSetupsOkSavesThem)
{
    write("Setting", "MIREL Bind Address", "127.0.0.1");
    write("Setting", "MIREL Login Backoff", "1");
    write("Setting", "MIREL Voice Port", "99999");
    // A real certificate and key beside the settings file, chosen by their names as an
    // operator who keeps them there would.
    const std::string certificate = "host.pem";
    const std::string key = "host.key";
    std::string hostFingerprint;
    {
        const netport::TlsFiles files{(dir_ / certificate).string(), (dir_ / key).string(), true};
        bool made = false;
        std::string error;
        ASSERT_TRUE(netport::PrepareTlsIdentity(files, made, hostFingerprint, error)) << error;
    }
    open();

    const auto shown = [](QWidget* dialog) {
        std::vector<std::string> values;
        for (const char* name : {"bindAddressEdit", "tlsCertificateEdit", "tlsKeyEdit", "voiceDeviceEdit",
                                 "voicePortEdit"}) {
            values.push_back(Child<QLineEdit>(dialog, name)->text().toStdString());
        }
        for (const char* name : {"loginBackoffCheck", "tlsCheck", "voicePlainCheck"}) {
            values.push_back(Child<QCheckBox>(dialog, name)->isChecked() ? "on" : "off");
        }
        values.push_back(fingerprint(dialog));
        return values;
    };
    // Cancel discards what was typed.
    inAdvanced([&](CAdvancedDlg& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "Advanced");
        EXPECT_EQ(dialog.size(), QSize(390, 388));
        EXPECT_EQ(shown(&dialog), (std::vector<std::string>{"127.0.0.1", "", "", "default", "5060", "on", "off", "off",
                                                            "(TLS off)"}));
        retype(&dialog, "bindAddressEdit", "10.8.0.1");
        tick(&dialog, "voicePlainCheck");
        QTest::mouseClick(Child<QPushButton>(&dialog, "cancelButton"), Qt::LeftButton);
    });
    // OK keeps what was typed, ticked and browsed for Setup.
    std::vector<QString> titles;
    dialog_->setFileBrowser([&](QWidget*, const QString& title, const QString&) -> std::optional<QString> {
        titles.push_back(title);
        return QString::fromStdString(titles.size() == 1 ? certificate : key);
    });
    inAdvanced([&](CAdvancedDlg& dialog) {
        EXPECT_EQ(shown(&dialog)[0], "127.0.0.1") << "Cancel kept nothing";
        retype(&dialog, "bindAddressEdit", "::1");
        tick(&dialog, "loginBackoffCheck");
        tick(&dialog, "tlsCheck");
        EXPECT_EQ(fingerprint(&dialog), "The self-signed certificate is made at the first start with TLS on.")
            << "TLS on asks the provider";
        QTest::mouseClick(Child<QPushButton>(&dialog, "tlsCertificateBrowse"), Qt::LeftButton);
        QTest::mouseClick(Child<QPushButton>(&dialog, "tlsKeyBrowse"), Qt::LeftButton);
        retype(&dialog, "voiceDeviceEdit", "plughw:CARD=CODEC,DEV=0");
        retype(&dialog, "voicePortEdit", "5062");
        tick(&dialog, "voicePlainCheck");
        const std::vector<std::string> values = shown(&dialog);
        EXPECT_EQ(values.back(), hostFingerprint);
        SavePicture(dialog, "advanced-dialog");
        QTest::mouseClick(Child<QPushButton>(&dialog, "okButton"), Qt::LeftButton);
    });
    EXPECT_EQ(titles, (std::vector<QString>{"Select the certificate file (PEM).", "Select the key file (PEM)."}));
    const std::vector<std::string> keys = {"MIREL Bind Address", "MIREL Login Backoff", "MIREL TLS",
                                           "MIREL TLS Certificate", "MIREL TLS Key", "MIREL Voice Device",
                                           "MIREL Voice Port", "MIREL Voice Plain"};
    EXPECT_EQ(linesOf(keys), (std::vector<std::string>{"MIREL Bind Address=127.0.0.1", "MIREL Login Backoff=1",
                                                       "MIREL Voice Port=99999"}))
        << "nothing is written before Setup's OK";

    // Advanced shows what it was given back, and Setup's OK writes it.
    inAdvanced([&](CAdvancedDlg& dialog) {
        EXPECT_EQ(shown(&dialog)[0], "::1");
        dialog.reject();
    });
    QTest::mouseClick(ok_, Qt::LeftButton);
    EXPECT_EQ(dialog_->result(), QDialog::Accepted);
    EXPECT_EQ(linesOf(keys), (std::vector<std::string>{
                                 "MIREL Bind Address=::1",
                                 "MIREL Login Backoff=0",
                                 "MIREL Voice Port=5062",
                                 "MIREL TLS=1",
                                 "MIREL TLS Certificate=" + certificate,
                                 "MIREL TLS Key=" + key,
                                 "MIREL Voice Device=plughw:CARD=CODEC,DEV=0",
                                 "MIREL Voice Plain=1",
                             }));
}

TEST_F(SetupDlgTest, AdvancedRefusesWhatCannotBeUsedAndSetupChecksItAgain)
{
    write("Setting", "MIREL Voice", "1");
    open();
    MessageBoxCapture boxes;
    struct Row {
        const char* field;
        const char* typed;
        const char* message;
    };
    const Row rows[] = {
        {"bindAddressEdit", "my.host",
         "The bind address must be empty (every IPv4 address), an IPv4 or IPv6 address, or localhost."},
        {"tlsKeyEdit", "/nowhere/host.key", "The key file /nowhere/host.key does not exist."},
        {"voiceDeviceEdit", "", "The voice device must be an ALSA device name without blanks, such as default."},
        {"voicePortEdit", "0", "The voice port must be a number from 1 to 65535."},
        {"voicePortEdit", "65536", "The voice port must be a number from 1 to 65535."},
        {"voicePortEdit", "50000", "The voice port must differ from the TCP/IP port 50000."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.typed);
        inAdvanced([&](CAdvancedDlg& dialog) {
            retype(&dialog, row.field, QString::fromLatin1(row.typed));
            QTest::mouseClick(Child<QPushButton>(&dialog, "okButton"), Qt::LeftButton);
            EXPECT_TRUE(dialog.isVisible()) << "refused";
            // The dialog's focus widget: whether its window is active is up to the platform.
            EXPECT_EQ(dialog.focusWidget(), Child<QLineEdit>(&dialog, row.field));
            dialog.reject();
        });
        ASSERT_FALSE(boxes.boxes().empty());
        EXPECT_EQ(boxes.boxes().back(),
                  (MessageBoxCapture::Box{row.message, "Advanced", platform::MessageBoxIcon::Exclamation}));
    }
    EXPECT_EQ(boxes.boxes().size(), std::size(rows));

    // A voice port that Setup's TCP port meets later is refused by Setup's OK.
    inAdvanced([&](CAdvancedDlg& dialog) {
        retype(&dialog, "voicePortEdit", "5070");
        QTest::mouseClick(Child<QPushButton>(&dialog, "okButton"), Qt::LeftButton);
    });
    port_->selectAll();
    QTest::keyClicks(port_, "5070");
    const std::string before = fileText();
    QTest::mouseClick(ok_, Qt::LeftButton);
    EXPECT_TRUE(dialog_->isVisible());
    EXPECT_EQ(boxes.boxes().back(),
              (MessageBoxCapture::Box{"The voice port must differ from the TCP/IP port 5070.\n\nCorrect it under "
                                      "Advanced...",
                                      "Setup", platform::MessageBoxIcon::Exclamation}));
    EXPECT_EQ(fileText(), before);
    port_->selectAll();
    QTest::keyClicks(port_, "5071");
    QTest::mouseClick(ok_, Qt::LeftButton);
    EXPECT_EQ(dialog_->result(), QDialog::Accepted);
    EXPECT_EQ(value("MIREL Voice Port"), "5070");
    EXPECT_EQ(value("MIREL IP Port No"), "5071");
}

} // namespace
} // namespace dialogtest
