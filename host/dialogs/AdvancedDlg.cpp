// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/dialogs/AdvancedDlg.h"

#include "host/dialogs/DialogControls.h"
#include "host/HelpContexts.h"
#include "platform/MessageBox.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace dialogs {
namespace {

constexpr const char* kTlsOffText = "(TLS off)";
constexpr const char* kSelfSignedHint = "self-signed, beside the settings file";

std::optional<QString> BrowseWithQt(QWidget* parent, const QString& title, const QString& startFile)
{
    const QString file = QFileDialog::getOpenFileName(parent, title, startFile,
                                                      QStringLiteral("PEM files (*.pem *.crt *.key);;All files (*)"));
    if (file.isEmpty()) {
        return std::nullopt;
    }
    return file;
}

} // namespace

CAdvancedDlg::CAdvancedDlg(const AdvancedSettings& settings, int tcpPort, bool voiceOn, QWidget* parent,
                           HelpHandler help)
    : QDialog(parent), tcpPort_(tcpPort), voiceOn_(voiceOn), help_(std::move(help)), browseFile_(BrowseWithQt)
{
    setObjectName(QStringLiteral("advancedDialog"));
    setWindowTitle(QStringLiteral("Advanced"));
    setFont(DialogFont());
    setFixedSize(kAdvancedDlgWidth, kAdvancedDlgHeight);

    AddFrame(this, "Network", {11, 12, 363, 74});
    AddLabel(this, "Bind Address", {26, 35, 80, 16});
    bindAddress_ = AddEdit(this, "bindAddressEdit", {110, 31, 254, 21});
    bindAddress_->setPlaceholderText(QStringLiteral("every IPv4 address"));
    loginBackoff_ = AddCheckBox(this, "loginBackoffCheck", "Login &back-off for addresses that keep failing",
                                {24, 59, 300, 16});

    AddFrame(this, "Encryption", {11, 89, 363, 156});
    tls_ = AddCheckBox(this, "tlsCheck", "Encrypt sessions (&TLS)", {24, 109, 200, 16});
    AddLabel(this, "Certificate", {26, 136, 80, 16});
    certificate_ = AddEdit(this, "tlsCertificateEdit", {110, 132, 228, 21});
    certificate_->setPlaceholderText(QString::fromLatin1(kSelfSignedHint));
    QPushButton* certificateBrowse = AddButton(this, "tlsCertificateBrowse", "...", {344, 133, 20, 19});
    AddLabel(this, "Key", {26, 161, 80, 16});
    key_ = AddEdit(this, "tlsKeyEdit", {110, 157, 228, 21});
    key_->setPlaceholderText(QString::fromLatin1(kSelfSignedHint));
    QPushButton* keyBrowse = AddButton(this, "tlsKeyBrowse", "...", {344, 158, 20, 19});
    AddLabel(this, "Fingerprint", {26, 186, 80, 16});
    // A fingerprint is one long word: it wraps anywhere, and can be selected and copied.
    fingerprintText_ = new QPlainTextEdit(this);
    fingerprintText_->setObjectName(QStringLiteral("fingerprintText"));
    fingerprintText_->setGeometry(110, 182, 254, 52);
    fingerprintText_->setReadOnly(true);
    fingerprintText_->setFont(GuiFont());
    fingerprintText_->setWordWrapMode(QTextOption::WrapAnywhere);
    fingerprintText_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    fingerprintText_->setTabChangesFocus(true);

    AddFrame(this, "Voice", {11, 248, 363, 98});
    AddLabel(this, "Device", {26, 271, 80, 16});
    voiceDevice_ = AddEdit(this, "voiceDeviceEdit", {110, 267, 254, 21});
    AddLabel(this, "Port No.", {26, 296, 80, 16});
    voicePort_ = AddEdit(this, "voicePortEdit", {110, 292, 60, 21});
    voicePort_->setMaxLength(static_cast<int>(kVoicePortBoxLimit));
    AddLabel(this, "UDP and TCP", {178, 296, 100, 16});
    voicePlain_ = AddCheckBox(this, "voicePlainCheck", "Allow &plain RTP (unencrypted media)", {24, 321, 300, 16});

    QPushButton* ok = AddButton(this, "okButton", "OK", {137, 354, 75, 23});
    ok->setDefault(true);
    QPushButton* cancel = AddButton(this, "cancelButton", "Cancel", {218, 354, 75, 23});
    QPushButton* helpButton = AddButton(this, "helpButton", "Help", {299, 354, 75, 23});

    bindAddress_->setText(FromUtf8(settings.bindAddress));
    loginBackoff_->setChecked(settings.loginBackoff);
    tls_->setChecked(settings.tls);
    certificate_->setText(FromUtf8(settings.tlsCertificate));
    key_->setText(FromUtf8(settings.tlsKey));
    voiceDevice_->setText(FromUtf8(settings.voiceDevice));
    voicePort_->setText(FromUtf8(settings.voicePortText));
    voicePlain_->setChecked(settings.voicePlain);
    showFingerprint();

    connect(tls_, &QCheckBox::toggled, this, &CAdvancedDlg::showFingerprint);
    connect(certificate_, &QLineEdit::editingFinished, this, &CAdvancedDlg::showFingerprint);
    connect(key_, &QLineEdit::editingFinished, this, &CAdvancedDlg::showFingerprint);
    connect(certificateBrowse, &QPushButton::clicked, this,
            [this] { browse(certificate_, "Select the certificate file (PEM)."); });
    connect(keyBrowse, &QPushButton::clicked, this, [this] { browse(key_, "Select the key file (PEM)."); });
    connect(ok, &QPushButton::clicked, this, &CAdvancedDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CAdvancedDlg::reject);
    connect(helpButton, &QPushButton::clicked, this, [this] {
        if (help_) {
            help_(host::kHelpAdvanced);
        }
    });
    bindAddress_->setFocus();
}

CAdvancedDlg::~CAdvancedDlg() = default;

void CAdvancedDlg::setFingerprintProvider(FingerprintProvider provider)
{
    fingerprint_ = std::move(provider);
    showFingerprint();
}

void CAdvancedDlg::setFileBrowser(FileBrowser browser)
{
    browseFile_ = browser ? std::move(browser) : FileBrowser(BrowseWithQt);
}

AdvancedSettings CAdvancedDlg::settings() const
{
    AdvancedSettings current;
    current.bindAddress = Utf8(bindAddress_->text());
    current.loginBackoff = loginBackoff_->isChecked();
    current.tls = tls_->isChecked();
    current.tlsCertificate = Utf8(certificate_->text());
    current.tlsKey = Utf8(key_->text());
    current.voiceDevice = Utf8(voiceDevice_->text());
    current.voicePortText = Utf8(voicePort_->text());
    current.voicePlain = voicePlain_->isChecked();
    return current;
}

void CAdvancedDlg::showFingerprint()
{
    QString text = QString::fromLatin1(kTlsOffText);
    if (tls_->isChecked()) {
        text = fingerprint_ ? FromUtf8(fingerprint_(settings())) : QString();
    }
    if (text != fingerprintText_->toPlainText()) {
        fingerprintText_->setPlainText(text);
    }
}

void CAdvancedDlg::browse(QLineEdit* field, const char* title)
{
    const std::optional<QString> file = browseFile_(this, QString::fromLatin1(title), field->text());
    if (file && !file->isEmpty()) {
        field->setText(*file);
        showFingerprint();
    }
}

QWidget* CAdvancedDlg::fieldOf(AdvancedField field) const
{
    switch (field) {
    case AdvancedField::BindAddress:
        return bindAddress_;
    case AdvancedField::TlsCertificate:
        return certificate_;
    case AdvancedField::TlsKey:
        return key_;
    case AdvancedField::VoiceDevice:
        return voiceDevice_;
    case AdvancedField::VoicePort:
        return voicePort_;
    }
    return bindAddress_;
}

void CAdvancedDlg::accept()
{
    if (const std::optional<AdvancedProblem> problem = CheckAdvancedSettings(settings(), tcpPort_, voiceOn_)) {
        platform::ShowMessageBox(problem->message, "Advanced", platform::MessageBoxIcon::Exclamation);
        fieldOf(problem->field)->setFocus();
        return;
    }
    QDialog::accept();
}

// F1 anywhere in the dialog asks for its help, as the Help button does.
void CAdvancedDlg::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F1 && event->modifiers() == Qt::NoModifier) {
        if (help_) {
            help_(host::kHelpAdvanced);
        }
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace dialogs
