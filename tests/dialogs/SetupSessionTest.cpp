// SPDX-License-Identifier: GPL-3.0-or-later
// The Setup dialog open while a logged-in client changes its password with "@@CP"
// over a real session: OK keeps the client's new password, and writes the
// passwords that were typed in the dialog.

#include "host/dialogs/SetupDlg.h"
#include "DialogDriver.h"
#include "platform/Profile.h"
#include "SessionFixture.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace dialogtest {
namespace {

using dialogs::CSetupDlg;
using dialogs::CUserDlg;

class SetupSessionTest : public sessiontest::SessionFixture {
protected:
    // Opens the editor on row `index` by a double click and runs `action` in it.
    void edit(QTreeWidget* users, int index, std::function<void(CUserDlg&)> action)
    {
        WhenShown<CUserDlg> editor(std::move(action));
        const QPoint where = users->visualItemRect(users->topLevelItem(index)).center();
        QTest::mouseClick(users->viewport(), Qt::LeftButton, {}, where);
        QTest::mouseDClick(users->viewport(), Qt::LeftButton, {}, where);
        EXPECT_TRUE(editor.ran());
    }
};

TEST_F(SetupSessionTest, APasswordChangedByAClientWhileTheDialogIsOpenSurvivesOk)
{
    addUser(2, "carol", "carol-old", "Carol");
    startService();
    auto client = connectAndLogIn();

    CSetupDlg dialog(nullptr);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    auto* users = Child<QTreeWidget>(&dialog, "userList");
    ASSERT_EQ(users->topLevelItemCount(), 3);

    // alice (row 0): only the description is edited.
    edit(users, 0, [](CUserDlg& editor) {
        auto* description = Child<QPlainTextEdit>(&editor, "descriptionEdit");
        QTest::keyClick(description, Qt::Key_End, Qt::ControlModifier);
        QTest::keyClicks(description, ", on the road");
        QTest::mouseClick(Child<QPushButton>(&editor, "okButton"), Qt::LeftButton);
    });
    // carol (row 2): a new password is typed.
    edit(users, 2, [](CUserDlg& editor) {
        for (const char* name : {"passwordEdit", "retypeEdit"}) {
            auto* box = Child<QLineEdit>(&editor, name);
            box->setFocus();
            box->selectAll();
            QTest::keyClicks(box, "carol-typed");
        }
        QTest::mouseClick(Child<QPushButton>(&editor, "okButton"), Qt::LeftButton);
    });

    // Meanwhile alice changes her password over the network.
    client->send("@@AI1;");
    ASSERT_EQ(client->readThrough("@@AI1;"), "@@AI1;");
    client->send("@@CPfrom-the-road;");
    ASSERT_EQ(client->readThrough("@@CP1;"), "@@CP1;");
    ASSERT_EQ(storedPassword(0), "from-the-road");

    QTest::mouseClick(Child<QPushButton>(&dialog, "okButton"), Qt::LeftButton);
    ASSERT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(storedPassword(0), "from-the-road");
    EXPECT_EQ(storedPassword(1), std::string(sessiontest::kDisabledPassword));
    EXPECT_EQ(storedPassword(2), "carol-typed");
    EXPECT_EQ(CLinkcore::CheckMirelUserPassword("alice", "from-the-road"), 1);
    EXPECT_EQ(CLinkcore::CheckMirelUserPassword("carol", "carol-typed"), 1);
    EXPECT_EQ(platform::ApplicationProfile().GetProfileString("Setting", "MIREL 000 Description", ""),
              "Alice at home, on the road");

    // The next login takes the password the client chose.
    client->close();
    ASSERT_TRUE(waitUntilListening());
    auto again = connect();
    logIn(*again, "alice", "from-the-road");
}

} // namespace
} // namespace dialogtest
