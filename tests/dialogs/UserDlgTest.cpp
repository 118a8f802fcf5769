// SPDX-License-Identifier: GPL-3.0-or-later
// The "Setup User" dialog driven by keys and clicks: the OK state, the character
// rule with its two message boxes and the focus they leave, edit mode, the limits
// and the description's key filter. Its help key is tested with the Setup dialog.

#include "host/dialogs/UserDlg.h"
#include "DialogDriver.h"
#include "testsupport/MessageBoxCapture.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <vector>

namespace dialogtest {
namespace {

using dialogs::CUserDlg;
using dialogs::UserEntry;
using testsupport::MessageBoxCapture;
using Box = MessageBoxCapture::Box;

constexpr auto kExclamation = platform::MessageBoxIcon::Exclamation;
const Box kUserIdBox{" There are invalid character(s) in User ID.", "User ID Check", kExclamation};
const Box kPasswordBox{" There are invalid character(s) in Password.", "Password Check", kExclamation};

class UserDlgTest : public ::testing::Test {
protected:
    void open(int mode, const UserEntry& entry = {})
    {
        dialog_ = std::make_unique<CUserDlg>(mode, entry, nullptr);
        dialog_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog_.get()));
        dialog_->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(dialog_.get()));
        userId_ = Child<QLineEdit>(dialog_.get(), "userIdEdit");
        password_ = Child<QLineEdit>(dialog_.get(), "passwordEdit");
        retype_ = Child<QLineEdit>(dialog_.get(), "retypeEdit");
        description_ = Child<QPlainTextEdit>(dialog_.get(), "descriptionEdit");
        disabled_ = Child<QCheckBox>(dialog_.get(), "disabledCheck");
        ok_ = Child<QPushButton>(dialog_.get(), "okButton");
    }
    // Types at the end of the box's text.
    void type(QWidget* box, const QString& text)
    {
        box->setFocus();
        QTest::keyClick(box, Qt::Key_End, Qt::ControlModifier);
        TypeText(box, text);
    }
    void fill(const QString& id, const QString& password, const QString& retyped)
    {
        type(userId_, id);
        type(password_, password);
        type(retype_, retyped);
    }

    std::unique_ptr<CUserDlg> dialog_;
    QLineEdit* userId_ = nullptr;
    QLineEdit* password_ = nullptr;
    QLineEdit* retype_ = nullptr;
    QPlainTextEdit* description_ = nullptr;
    QCheckBox* disabled_ = nullptr;
    QPushButton* ok_ = nullptr;
};

TEST_F(UserDlgTest, OkIsOfferedOnlyForAnIdAndTwoEqualPasswords)
{
    open(CUserDlg::kAddMode);
    EXPECT_FALSE(ok_->isEnabled());
    type(userId_, "carol");
    EXPECT_FALSE(ok_->isEnabled());
    type(password_, "pw");
    EXPECT_FALSE(ok_->isEnabled());
    type(retype_, "pW");
    EXPECT_FALSE(ok_->isEnabled()) << "passwords compare with their case";
    QTest::keyClick(retype_, Qt::Key_Backspace);
    QTest::keyClicks(retype_, "w");
    EXPECT_TRUE(ok_->isEnabled());
    QTest::keyClick(retype_, Qt::Key_Backspace);
    EXPECT_FALSE(ok_->isEnabled());
    QTest::keyClicks(retype_, "w");
    userId_->clear();
    EXPECT_FALSE(ok_->isEnabled());

    // An ID that breaks the rule leaves the OK state as it was.
    type(userId_, "x");
    EXPECT_TRUE(ok_->isEnabled());
    QTest::keyClick(userId_, Qt::Key_Backspace);
    EXPECT_FALSE(ok_->isEnabled());
    QTest::keyClick(userId_, Qt::Key_Space);
    EXPECT_FALSE(ok_->isEnabled());
    QTest::keyClicks(userId_, "x");
    EXPECT_FALSE(ok_->isEnabled());
}

TEST_F(UserDlgTest, AnAcceptedEntryCarriesWhatWasTyped)
{
    open(CUserDlg::kAddMode);
    fill("Tilde~\"\\", "p~\"\\w", "p~\"\\w");
    type(description_, QString::fromUtf8("Café, 2nd floor"));
    QTest::mouseClick(disabled_, Qt::LeftButton, {}, QPoint(5, disabled_->height() / 2));
    MessageBoxCapture boxes;
    QTest::mouseClick(ok_, Qt::LeftButton);
    EXPECT_TRUE(boxes.boxes().empty());
    EXPECT_EQ(dialog_->result(), QDialog::Accepted);
    EXPECT_EQ(dialog_->entry().userId, "Tilde~\"\\");
    EXPECT_EQ(dialog_->entry().password, "p~\"\\w");
    EXPECT_EQ(dialog_->entry().description, "Café, 2nd floor");
    EXPECT_EQ(dialog_->entry().disabled, 1);
    EXPECT_TRUE(dialog_->passwordEdited());
}

TEST_F(UserDlgTest, BrokenIdsAndPasswordsAreRefusedWithTheirBoxAndSelected)
{
    struct Case {
        QString id;
        QString password;
        Box box;
        const char* focused;
    };
    const std::vector<Case> cases = {
        {"two words", "pw", kUserIdBox, "userIdEdit"},
        {QString::fromUtf8("Jürgen"), "bad pw", kUserIdBox, "userIdEdit"},
        {"carol", "pass;", kPasswordBox, "passwordEdit"},
        {"carol", QString::fromUtf8("paß"), kPasswordBox, "passwordEdit"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id.toStdString() + " / " + c.password.toStdString());
        open(CUserDlg::kAddMode);
        fill(c.id, c.password, c.password);
        ASSERT_TRUE(ok_->isEnabled());
        MessageBoxCapture boxes;
        type(description_, "x");
        QTest::mouseClick(ok_, Qt::LeftButton);
        EXPECT_EQ(boxes.boxes(), std::vector<Box>{c.box});
        EXPECT_TRUE(dialog_->isVisible());
        EXPECT_EQ(dialog_->result(), QDialog::Rejected);
        auto* focused = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        ASSERT_NE(focused, nullptr);
        EXPECT_EQ(focused->objectName(), QString::fromLatin1(c.focused));
        EXPECT_TRUE(focused->hasSelectedText());
        EXPECT_EQ(focused->selectedText(), focused->text());
    }
}

TEST_F(UserDlgTest, EditModeShowsTheEntryAndKeepsTheId)
{
    open(CUserDlg::kEditMode, UserEntry{"alice", "Secret-1", "Alice at home", 1});
    EXPECT_EQ(dialog_->windowTitle(), "Setup User");
    EXPECT_EQ(dialog_->size(), QSize(dialogs::kUserDlgWidth, dialogs::kUserDlgHeight));
    SavePicture(*dialog_, "user-dialog");
    EXPECT_FALSE(userId_->isEnabled());
    EXPECT_EQ(userId_->text(), "alice");
    EXPECT_EQ(password_->text(), "Secret-1");
    EXPECT_EQ(retype_->text(), "Secret-1");
    EXPECT_EQ(description_->toPlainText(), "Alice at home");
    EXPECT_TRUE(disabled_->isChecked());
    EXPECT_TRUE(ok_->isEnabled());

    type(description_, ", or away");
    QTest::mouseClick(disabled_, Qt::LeftButton, {}, QPoint(5, disabled_->height() / 2));
    QTest::mouseClick(ok_, Qt::LeftButton);
    EXPECT_EQ(dialog_->result(), QDialog::Accepted);
    EXPECT_EQ(dialog_->entry().userId, "alice");
    EXPECT_EQ(dialog_->entry().description, "Alice at home, or away");
    EXPECT_EQ(dialog_->entry().disabled, 0);
    EXPECT_FALSE(dialog_->passwordEdited()) << "the password was not typed";

    open(CUserDlg::kEditMode, UserEntry{"alice", "Secret-1", "", 0});
    password_->selectAll();
    QTest::keyClicks(password_, "Other-2");
    EXPECT_FALSE(ok_->isEnabled());
    retype_->selectAll();
    type(retype_, "Other-2");
    QTest::keyClick(retype_, Qt::Key_Return);
    EXPECT_EQ(dialog_->result(), QDialog::Accepted);
    EXPECT_EQ(dialog_->entry().password, "Other-2");
    EXPECT_TRUE(dialog_->passwordEdited());
}

TEST_F(UserDlgTest, AStoredIdThatBreaksTheRuleCanOnlyBeCancelled)
{
    open(CUserDlg::kEditMode, UserEntry{"hand edited", "pw", "", 0});
    MessageBoxCapture boxes;
    for (int attempt = 0; attempt < 2; ++attempt) {
        QTest::mouseClick(ok_, Qt::LeftButton);
        EXPECT_TRUE(dialog_->isVisible());
    }
    password_->clear();
    retype_->clear();
    type(password_, "other");
    type(retype_, "other");
    QTest::mouseClick(ok_, Qt::LeftButton);
    EXPECT_EQ(boxes.boxes(), (std::vector<Box>{kUserIdBox, kUserIdBox, kUserIdBox}));
    EXPECT_FALSE(userId_->isEnabled());
    EXPECT_TRUE(dialog_->isVisible());
    QTest::mouseClick(Child<QPushButton>(dialog_.get(), "cancelButton"), Qt::LeftButton);
    EXPECT_FALSE(dialog_->isVisible());
    EXPECT_EQ(dialog_->result(), QDialog::Rejected);
}

TEST_F(UserDlgTest, NoBoxTakesMoreThanItsLimit)
{
    open(CUserDlg::kAddMode);
    const QString longText(40, QLatin1Char('a'));
    for (QLineEdit* box : {userId_, password_, retype_}) {
        type(box, longText);
        EXPECT_EQ(box->text().size(), 32) << box->objectName().toStdString();
    }
    type(description_, QString(140, QLatin1Char('d')));
    EXPECT_EQ(description_->toPlainText(), QString(128, QLatin1Char('d')));

    // A paste is cut to what fits, and its line breaks and tabs become blanks.
    description_->clear();
    description_->insertPlainText(QString(120, QLatin1Char('e')));
    description_->insertPlainText("one\ntwo\tthree");
    EXPECT_EQ(description_->toPlainText(), QString(120, QLatin1Char('e')) + "one two ");
    // The limit counts the bytes stored: "é" takes two.
    description_->clear();
    description_->insertPlainText(QString(127, QLatin1Char('f')) + QString::fromUtf8("é"));
    EXPECT_EQ(description_->toPlainText(), QString(127, QLatin1Char('f')));
}

TEST_F(UserDlgTest, TheDescriptionTakesNoLineBreaksOrTabsAndEnterPressesOk)
{
    open(CUserDlg::kAddMode);
    type(description_, "a");
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_I, Qt::Key_J, Qt::Key_M}) {
        QTest::keyClick(description_, key, Qt::ControlModifier);
    }
    QTest::keyClicks(description_, "b");
    EXPECT_EQ(description_->toPlainText(), "ab");

    // A plain Enter with OK disabled does nothing; with OK enabled it accepts.
    QTest::keyClick(description_, Qt::Key_Return);
    EXPECT_EQ(description_->toPlainText(), "ab");
    EXPECT_TRUE(dialog_->isVisible());
    fill("dave", "pw", "pw");
    QTest::keyClick(description_, Qt::Key_Return);
    EXPECT_FALSE(dialog_->isVisible());
    EXPECT_EQ(dialog_->result(), QDialog::Accepted);
    EXPECT_EQ(dialog_->entry().description, "ab");
}

} // namespace
} // namespace dialogtest
