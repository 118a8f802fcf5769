// SPDX-License-Identifier: GPL-3.0-or-later
// CUserDlg, "Setup User": edits one network user (user ID, password typed twice,
// description, disabled flag) for the Setup dialog, which runs it modally to add a
// user or to edit the selected one. OK is offered only while the ID and both
// passwords are filled in and the passwords agree; on OK, IDs and passwords that
// break the character rule are refused with a message box. In edit mode the ID
// cannot be changed. GUI thread only.
#pragma once

#include "host/dialogs/SetupModel.h"

#include <QDialog>

#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace dialogs {

// Opens help at a context number.
using HelpHandler = std::function<void(int context)>;

inline constexpr int kUserDlgWidth = 305;
inline constexpr int kUserDlgHeight = 242;

class CUserDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kAddMode = 1;
    static constexpr int kEditMode = 2;

    // `entry` is shown in edit mode and ignored in add mode, which starts empty.
    CUserDlg(int editMode, const UserEntry& entry, QWidget* parent, HelpHandler help = {});
    ~CUserDlg() override;

    // The entry as accepted; meaningful after the dialog ended with OK.
    const UserEntry& entry() const { return entry_; }
    // Whether the password was typed in this dialog (always so when adding).
    bool passwordEdited() const { return passwordEdited_; }

    void accept() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void updateOkState();
    // Keeps the description within kDescriptionLimit bytes and on one line.
    void limitDescription(int position, int charsAdded);

    int editMode_;
    UserEntry entry_;
    bool passwordEdited_ = false;
    HelpHandler help_;

    QLineEdit* userId_ = nullptr;
    QLineEdit* password_ = nullptr;
    QLineEdit* retype_ = nullptr;
    QPlainTextEdit* description_ = nullptr;
    QCheckBox* disabled_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
    bool limitingDescription_ = false;
    int pendingPosition_ = 0;
    int pendingAdded_ = 0;
};

} // namespace dialogs
