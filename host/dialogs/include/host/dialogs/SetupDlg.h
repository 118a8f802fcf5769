// SPDX-License-Identifier: GPL-3.0-or-later
// CSetupDlg, "Setup": edits every setting of the system (serial port and speed,
// TCP port, voice, session limit, activity log) and the list of up to ten network
// users, loaded from the application profile when the dialog opens and written back
// when OK is pressed; Cancel writes nothing. Users are added and edited through
// CUserDlg, the settings it has no room for through CAdvancedDlg ("Advanced..."). Settings take effect where they are next read: the next start of the
// service, the next login, the next log line. GUI thread only.
#pragma once

#include "host/dialogs/AdvancedDlg.h"
#include "host/dialogs/SetupModel.h"
#include "host/dialogs/UserDlg.h"

#include <QDialog>
#include <QString>

#include <functional>
#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace platform {
class Profile;
}

namespace dialogs {

inline constexpr int kSetupDlgWidth = 390;
inline constexpr int kSetupDlgHeight = 403;

// Asks the user for a folder; nullopt when cancelled.
using FolderBrowser =
    std::function<std::optional<QString>(QWidget* parent, const QString& title, const QString& startFolder)>;

class CSetupDlg : public QDialog {
    Q_OBJECT
public:
    // Reads the settings from the application profile, or from `profile` when given
    // (it must outlive the dialog).
    explicit CSetupDlg(QWidget* parent, HelpHandler help = {}, platform::Profile* profile = nullptr);
    ~CSetupDlg() override;

    // Replaces the folder browser (by default Qt's directory dialog).
    void setFolderBrowser(FolderBrowser browser);
    // Handed to the Advanced dialog for its fingerprint field.
    void setFingerprintProvider(FingerprintProvider provider);
    // Handed to the Advanced dialog for its "..." buttons.
    void setFileBrowser(FileBrowser browser);
    // What the dialog's controls hold now.
    SetupSettings settings() const;

    void accept() override;

private:
    // The controls, group by group, at their pixel positions.
    void buildComPortGroup();
    void buildTcpIpGroup();
    void buildOptionGroup();
    void buildUsersGroup();
    void buildButtons();
    // This computer's address, and whether it can make voice calls.
    void showThisComputer();
    void connectControls();
    void loadSettings();
    void showUsers(std::optional<std::size_t> selected);
    std::optional<std::size_t> selectedUser() const;
    void checkTcpPort();
    void repairTcpPort();
    void browseLogFolder();
    void addUser();
    void editUser();
    void deleteUser();
    void toggleUser();
    void showUserMenu(const QPoint& position);
    void editAdvanced();

    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

    HelpHandler help_;
    platform::Profile& profile_;
    FolderBrowser browseFolder_;
    FingerprintProvider fingerprint_;
    FileBrowser browseFile_;
    UserList users_;
    AdvancedSettings advanced_;

    QComboBox* comPort_ = nullptr;
    QComboBox* baud_ = nullptr;
    QLabel* ipAddress_ = nullptr;
    QLineEdit* tcpPort_ = nullptr;
    QCheckBox* voice_ = nullptr;
    QComboBox* sessionTime_ = nullptr;
    QCheckBox* log_ = nullptr;
    QLineEdit* logFolder_ = nullptr;
    QPushButton* browse_ = nullptr;
    QTreeWidget* userList_ = nullptr;
    QPushButton* add_ = nullptr;
    QPushButton* delete_ = nullptr;
    QPushButton* edit_ = nullptr;
    QPushButton* advancedButton_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

} // namespace dialogs
