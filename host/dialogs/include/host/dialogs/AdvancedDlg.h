// SPDX-License-Identifier: GPL-3.0-or-later
// CAdvancedDlg, "Advanced": the settings that Setup has no room for, in three
// groups: Network (the address the service listens on, the login back-off),
// Encryption (TLS, its certificate and key files, the certificate's fingerprint)
// and Voice (sound device, SIP port, plain RTP allowed). The Setup dialog runs it
// modally over an AdvancedSettings and keeps what OK returns; Setup's own OK saves
// it, so nothing here touches the profile. OK refuses a value that cannot be used
// with a message box and puts the focus on it. GUI thread only.
#pragma once

#include "host/dialogs/SetupModel.h"
#include "host/dialogs/UserDlg.h"

#include <QDialog>
#include <QString>

#include <functional>
#include <optional>
#include <string>

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace dialogs {

inline constexpr int kAdvancedDlgWidth = 390;
inline constexpr int kAdvancedDlgHeight = 388;

// The certificate's fingerprint for the settings shown, for the operator to read
// out to a remote user; asked when the dialog opens and whenever TLS, the
// certificate or the key changes while TLS is on.
using FingerprintProvider = std::function<std::string(const AdvancedSettings& settings)>;

// Asks the user for a file; nullopt when cancelled.
using FileBrowser =
    std::function<std::optional<QString>(QWidget* parent, const QString& title, const QString& startFile)>;

class CAdvancedDlg : public QDialog {
    Q_OBJECT
public:
    // Shows `settings`. `tcpPort` and `voiceOn` are what Setup holds at this
    // moment: the voice port may not be the session server's TCP port while voice is on.
    CAdvancedDlg(const AdvancedSettings& settings, int tcpPort, bool voiceOn, QWidget* parent, HelpHandler help = {});
    ~CAdvancedDlg() override;

    // By default the fingerprint field stays empty while TLS is on.
    void setFingerprintProvider(FingerprintProvider provider);
    // Replaces the file browser of the two "..." buttons (by default Qt's file dialog).
    void setFileBrowser(FileBrowser browser);
    // What the controls hold now; the dialog's result after OK.
    AdvancedSettings settings() const;

    void accept() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void showFingerprint();
    void browse(QLineEdit* field, const char* title);
    QWidget* fieldOf(AdvancedField field) const;

    int tcpPort_;
    bool voiceOn_;
    HelpHandler help_;
    FingerprintProvider fingerprint_;
    FileBrowser browseFile_;

    QLineEdit* bindAddress_ = nullptr;
    QCheckBox* loginBackoff_ = nullptr;
    QCheckBox* tls_ = nullptr;
    QLineEdit* certificate_ = nullptr;
    QLineEdit* key_ = nullptr;
    QPlainTextEdit* fingerprintText_ = nullptr;
    QLineEdit* voiceDevice_ = nullptr;
    QLineEdit* voicePort_ = nullptr;
    QCheckBox* voicePlain_ = nullptr;
};

} // namespace dialogs
