// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/dialogs/UserDlg.h"

#include "host/dialogs/DialogControls.h"
#include "host/HelpContexts.h"
#include "platform/MessageBox.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>

#include <utility>

namespace dialogs {
namespace {

bool IsLineBreakOrTab(QChar c)
{
    return c == u'\n' || c == u'\r' || c == u'\t' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
}

} // namespace

CUserDlg::CUserDlg(int editMode, const UserEntry& entry, QWidget* parent, HelpHandler help)
    : QDialog(parent), editMode_(editMode == kEditMode ? kEditMode : kAddMode), help_(std::move(help))
{
    setObjectName(QStringLiteral("userDialog"));
    setWindowTitle(QStringLiteral("Setup User"));
    setFont(DialogFont());
    setFixedSize(kUserDlgWidth, kUserDlgHeight);

    AddLabel(this, "User Name", {11, 14, 89, 14});
    userId_ = new QLineEdit(this);
    userId_->setObjectName(QStringLiteral("userIdEdit"));
    userId_->setGeometry(107, 12, 182, 21);
    userId_->setMaxLength(static_cast<int>(kUserIdLimit));
    userId_->setAttribute(Qt::WA_InputMethodEnabled, false);

    AddLabel(this, "Password", {11, 40, 89, 14});
    password_ = new QLineEdit(this);
    password_->setObjectName(QStringLiteral("passwordEdit"));
    password_->setGeometry(107, 37, 182, 21);
    password_->setEchoMode(QLineEdit::Password);
    password_->setMaxLength(static_cast<int>(kPasswordLimit));

    AddLabel(this, "Retype Password", {11, 65, 89, 14});
    retype_ = new QLineEdit(this);
    retype_->setObjectName(QStringLiteral("retypeEdit"));
    retype_->setGeometry(107, 61, 182, 21);
    retype_->setEchoMode(QLineEdit::Password);
    retype_->setMaxLength(static_cast<int>(kPasswordLimit));

    AddLabel(this, "Description", {11, 88, 89, 14});
    description_ = new QPlainTextEdit(this);
    description_->setObjectName(QStringLiteral("descriptionEdit"));
    description_->setGeometry(107, 86, 182, 70);
    description_->setTabChangesFocus(true);
    description_->setFont(GuiFont());
    description_->installEventFilter(this);

    disabled_ = new QCheckBox(QStringLiteral("User is disabled"), this);
    disabled_->setObjectName(QStringLiteral("disabledCheck"));
    disabled_->setGeometry(11, 163, 120, 14);

    ok_ = new QPushButton(QStringLiteral("OK"), this);
    ok_->setObjectName(QStringLiteral("okButton"));
    ok_->setGeometry(131, 184, 75, 21);
    ok_->setDefault(true);
    ok_->setEnabled(false);
    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    cancel_->setObjectName(QStringLiteral("cancelButton"));
    cancel_->setGeometry(213, 184, 75, 21);

    if (editMode_ == kEditMode) {
        entry_ = entry;
        userId_->setText(FromUtf8(entry_.userId));
        userId_->setEnabled(false);
        password_->setText(FromUtf8(entry_.password));
        retype_->setText(FromUtf8(entry_.password));
        description_->setPlainText(FromUtf8(entry_.description));
        disabled_->setChecked(entry_.disabled != 0);
        updateOkState();
    } else {
        passwordEdited_ = true;
    }

    connect(userId_, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (ObeysCharacterRule(Utf8(text))) {
            updateOkState();
        }
    });
    connect(password_, &QLineEdit::textChanged, this, &CUserDlg::updateOkState);
    connect(retype_, &QLineEdit::textChanged, this, &CUserDlg::updateOkState);
    connect(password_, &QLineEdit::textEdited, this, [this] { passwordEdited_ = true; });
    // The change is looked at once the document has finished it, and mended then.
    connect(description_->document(), &QTextDocument::contentsChange, this, [this](int position, int, int charsAdded) {
        pendingPosition_ = position;
        pendingAdded_ = charsAdded;
    });
    connect(description_->document(), &QTextDocument::contentsChanged, this, [this] {
        const int added = std::exchange(pendingAdded_, 0);
        limitDescription(pendingPosition_, added);
    });
    connect(ok_, &QPushButton::clicked, this, &CUserDlg::accept);
    connect(cancel_, &QPushButton::clicked, this, &CUserDlg::reject);

    (editMode_ == kEditMode ? password_ : userId_)->setFocus();
}

CUserDlg::~CUserDlg() = default;

void CUserDlg::updateOkState()
{
    ok_->setEnabled(UserEntryAcceptable(Utf8(userId_->text()), Utf8(password_->text()), Utf8(retype_->text())));
}

void CUserDlg::limitDescription(int position, int charsAdded)
{
    if (limitingDescription_ || charsAdded <= 0) {
        return;
    }
    const QString text = description_->toPlainText();
    if (position < 0 || position + charsAdded > text.size()) {
        return;
    }
    const QString inserted = text.mid(position, charsAdded);
    QString kept = inserted;
    // One line in the profile: pasted line breaks and tabs become blanks.
    for (QChar& c : kept) {
        if (IsLineBreakOrTab(c)) {
            c = u' ';
        }
    }
    QString others = text;
    others.remove(position, charsAdded);
    const qsizetype room = static_cast<qsizetype>(kDescriptionLimit) - others.toUtf8().size();
    while (!kept.isEmpty() && kept.toUtf8().size() > room) {
        kept.chop(kept.size() >= 2 && kept.back().isLowSurrogate() ? 2 : 1);
    }
    if (kept == inserted) {
        return;
    }
    limitingDescription_ = true;
    QTextCursor cursor(description_->document());
    cursor.setPosition(position);
    cursor.setPosition(position + charsAdded, QTextCursor::KeepAnchor);
    cursor.insertText(kept);
    description_->setTextCursor(cursor);
    limitingDescription_ = false;
}

bool CUserDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == description_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool control = key->modifiers().testFlag(Qt::ControlModifier);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        if (enter && !control) {
            // Enter presses the default button here as anywhere else in the dialog.
            if (ok_->isEnabled()) {
                ok_->click();
            }
            return true;
        }
        if (control && (enter || key->key() == Qt::Key_I || key->key() == Qt::Key_J || key->key() == Qt::Key_M)) {
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CUserDlg::accept()
{
    const std::string userId = editMode_ == kEditMode ? entry_.userId : Utf8(userId_->text());
    const std::string password = Utf8(password_->text());
    if (!ObeysCharacterRule(userId)) {
        platform::ShowMessageBox(" There are invalid character(s) in User ID.", "User ID Check",
                                 platform::MessageBoxIcon::Exclamation);
        if (editMode_ == kAddMode) {
            userId_->setFocus();
            userId_->selectAll();
        }
        return;
    }
    if (!ObeysCharacterRule(password)) {
        platform::ShowMessageBox(" There are invalid character(s) in Password.", "Password Check",
                                 platform::MessageBoxIcon::Exclamation);
        password_->setFocus();
        password_->selectAll();
        return;
    }
    entry_.userId = userId.substr(0, kUserIdLimit);
    if (passwordEdited_) {
        entry_.password = password.substr(0, kPasswordLimit);
    }
    entry_.description = Utf8(description_->toPlainText());
    entry_.disabled = disabled_->isChecked() ? 1 : 0;
    QDialog::accept();
}

// F1 anywhere in the dialog asks for its help: the controls leave the key to the dialog.
void CUserDlg::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F1 && event->modifiers() == Qt::NoModifier) {
        if (help_) {
            help_(host::kHelpUserEditor);
        }
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace dialogs
