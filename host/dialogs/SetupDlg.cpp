// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/dialogs/SetupDlg.h"

#include "host/dialogs/DialogControls.h"
#include "host/dialogs/UserIcons.h"
#include "host/HelpContexts.h"
#include "linkcore/Linkcore.h"
#include "platform/MessageBox.h"
#include "platform/Profile.h"
#include "skinwork/VoiceEnable.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QEvent>
#include <QFileDialog>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTreeWidget>

namespace dialogs {
namespace {

constexpr int kUserNameColumnWidth = 100;
constexpr int kDescriptionColumnWidth = 260;

QComboBox* AddDropDown(QWidget* parent, const char* name, const std::vector<std::string>& texts, const QRect& where)
{
    auto* list = new QComboBox(parent);
    list->setObjectName(QString::fromLatin1(name));
    for (const std::string& text : texts) {
        list->addItem(QString::fromStdString(text));
    }
    list->setMaxVisibleItems(static_cast<int>(texts.size()));
    list->setGeometry(where);
    return list;
}

std::optional<QString> BrowseWithQt(QWidget* parent, const QString& title, const QString& startFolder)
{
    const QString folder = QFileDialog::getExistingDirectory(parent, title, startFolder, QFileDialog::ShowDirsOnly);
    if (folder.isEmpty()) {
        return std::nullopt;
    }
    return folder;
}

// This computer's address, as the session server's clients would reach it.
QString LocalAddress()
{
    char address[25] = {};
    CLinkcore linkcore;
    linkcore.GetLocalIP(address);
    address[sizeof address - 1] = '\0';
    return QString::fromLatin1(address);
}

} // namespace

CSetupDlg::CSetupDlg(QWidget* parent, HelpHandler help, platform::Profile* profile)
    : QDialog(parent),
      help_(std::move(help)),
      profile_(profile != nullptr ? *profile : platform::ApplicationProfile()),
      browseFolder_(BrowseWithQt)
{
    setObjectName(QStringLiteral("setupDialog"));
    setWindowTitle(QStringLiteral("Setup"));
    setFont(DialogFont());
    setFixedSize(kSetupDlgWidth, kSetupDlgHeight);

    // Built in this order, which is also the order of the Tab key.
    buildComPortGroup();
    buildTcpIpGroup();
    buildOptionGroup();
    buildUsersGroup();
    buildButtons();

    showThisComputer();
    loadSettings();
    connectControls();
}

void CSetupDlg::buildComPortGroup()
{
    AddFrame(this, "Com Port", {11, 12, 179, 74});
    AddLabel(this, "Port No.", {26, 35, 57, 16});
    comPort_ = AddDropDown(this, "comPortList", ComPortTexts(), {86, 30, 95, 22});
    comPort_->setCurrentIndex(-1);
    AddLabel(this, "Baud.", {26, 60, 59, 16});
    baud_ = AddDropDown(this, "baudList", BaudTexts(), {86, 56, 95, 22});
    baud_->setCurrentIndex(BaudIndexOf(9600));
}

void CSetupDlg::buildTcpIpGroup()
{
    AddFrame(this, "TCP/IP", {195, 12, 179, 75});
    AddLabel(this, "IP Address", {210, 32, 56, 16});
    ipAddress_ = AddLabel(this, "", {269, 32, 95, 16});
    ipAddress_->setObjectName(QStringLiteral("ipAddressText"));
    AddLabel(this, "Port No.", {210, 58, 56, 16});
    tcpPort_ = AddEdit(this, "tcpPortEdit", {267, 54, 96, 23});
    tcpPort_->setMaxLength(static_cast<int>(kTcpPortBoxLimit));
    tcpPort_->installEventFilter(this);
}

void CSetupDlg::buildOptionGroup()
{
    AddFrame(this, "Option", {11, 89, 363, 72});
    voice_ = AddCheckBox(this, "voiceCheck", "&Voice", {24, 109, 60, 16});
    AddLabel(this, "Session Time", {114, 109, 71, 16});
    sessionTime_ = AddDropDown(this, "sessionTimeList", SessionTimeTexts(), {188, 105, 95, 22});
    sessionTime_->setCurrentIndex(0);
    AddLabel(this, "min", {288, 109, 30, 16});
    log_ = AddCheckBox(this, "logCheck", "&Log", {24, 135, 60, 16});
    logFolder_ = new QLineEdit(this);
    logFolder_->setObjectName(QStringLiteral("logFolderEdit"));
    logFolder_->setGeometry(87, 133, 251, 21);
    logFolder_->setReadOnly(true);
    logFolder_->setFont(GuiFont());
    browse_ = AddButton(this, "browseButton", "...", {344, 133, 20, 19});
}

void CSetupDlg::buildUsersGroup()
{
    AddFrame(this, "Users", {11, 163, 363, 172});
    userList_ = new QTreeWidget(this);
    userList_->setObjectName(QStringLiteral("userList"));
    userList_->setGeometry(23, 184, 339, 116);
    userList_->setFont(GuiFont());
    userList_->setColumnCount(2);
    userList_->setHeaderLabels({QStringLiteral("User Name"), QStringLiteral("Description")});
    userList_->header()->setStretchLastSection(false);
    userList_->header()->setSectionsMovable(false);
    userList_->setColumnWidth(0, kUserNameColumnWidth);
    userList_->setColumnWidth(1, kDescriptionColumnWidth);
    userList_->setRootIsDecorated(false);
    userList_->setUniformRowHeights(true);
    userList_->setItemsExpandable(false);
    userList_->setIconSize(QSize(16, 16));
    userList_->setSelectionMode(QAbstractItemView::SingleSelection);
    userList_->setSelectionBehavior(QAbstractItemView::SelectRows);
    userList_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    userList_->setContextMenuPolicy(Qt::CustomContextMenu);
    add_ = AddButton(this, "addButton", "Add...", {207, 306, 48, 21});
    delete_ = AddButton(this, "deleteButton", "Del", {261, 306, 48, 21});
    edit_ = AddButton(this, "editButton", "Edit...", {315, 306, 48, 21});
}

void CSetupDlg::buildButtons()
{
    // In the free corner left of OK, so that every other control keeps its place.
    advancedButton_ = AddButton(this, "advancedButton", "Advanced...", {11, 343, 75, 23});
    ok_ = AddButton(this, "okButton", "OK", {218, 343, 75, 23});
    ok_->setDefault(true);
    cancel_ = AddButton(this, "cancelButton", "Cancel", {299, 343, 75, 23});
}

void CSetupDlg::showThisComputer()
{
    ipAddress_->setText(LocalAddress());
    voice_->setEnabled(GetVoiceEnableOS() != 0);
    if (!voice_->isEnabled()) {
        voice_->setToolTip(QStringLiteral("Voice calls need the telephony engine %1: install the package %2.")
                               .arg(QString::fromLatin1(skinwork::kTelephonyEngineProgram),
                                    QString::fromLatin1(skinwork::kTelephonyEnginePackage)));
    }
}

void CSetupDlg::connectControls()
{
    connect(tcpPort_, &QLineEdit::textChanged, this, &CSetupDlg::checkTcpPort);
    connect(log_, &QCheckBox::clicked, this, [this] {
        if (logFolder_->text().isEmpty()) {
            log_->setChecked(false);
        }
    });
    connect(browse_, &QPushButton::clicked, this, &CSetupDlg::browseLogFolder);
    connect(add_, &QPushButton::clicked, this, &CSetupDlg::addUser);
    connect(edit_, &QPushButton::clicked, this, &CSetupDlg::editUser);
    connect(delete_, &QPushButton::clicked, this, &CSetupDlg::deleteUser);
    connect(userList_, &QTreeWidget::itemDoubleClicked, this, &CSetupDlg::editUser);
    connect(userList_, &QTreeWidget::customContextMenuRequested, this, &CSetupDlg::showUserMenu);
    connect(advancedButton_, &QPushButton::clicked, this, &CSetupDlg::editAdvanced);
    connect(ok_, &QPushButton::clicked, this, &CSetupDlg::accept);
    connect(cancel_, &QPushButton::clicked, this, &CSetupDlg::reject);
}

CSetupDlg::~CSetupDlg() = default;

void CSetupDlg::setFolderBrowser(FolderBrowser browser)
{
    browseFolder_ = browser ? std::move(browser) : FolderBrowser(BrowseWithQt);
}

void CSetupDlg::setFingerprintProvider(FingerprintProvider provider) { fingerprint_ = std::move(provider); }

void CSetupDlg::setFileBrowser(FileBrowser browser) { browseFile_ = std::move(browser); }

void CSetupDlg::loadSettings()
{
    const SetupSettings loaded = LoadSetupSettings(profile_);
    comPort_->setCurrentIndex(loaded.comPortIndex);
    baud_->setCurrentIndex(loaded.baudIndex);
    tcpPort_->setText(QString::fromStdString(loaded.tcpPortText));
    voice_->setChecked(loaded.voice);
    sessionTime_->setCurrentIndex(loaded.sessionTimeIndex);
    log_->setChecked(loaded.log);
    logFolder_->setText(FromUtf8(loaded.logFolder));
    users_ = loaded.users;
    advanced_ = loaded.advanced;
    showUsers(std::nullopt);
    checkTcpPort();
}

SetupSettings CSetupDlg::settings() const
{
    SetupSettings current;
    current.comPortIndex = comPort_->currentIndex();
    current.baudIndex = baud_->currentIndex();
    current.tcpPortText = Utf8(tcpPort_->text());
    current.voice = voice_->isChecked();
    current.sessionTimeIndex = sessionTime_->currentIndex();
    current.log = log_->isChecked();
    current.logFolder = Utf8(logFolder_->text());
    current.users = users_;
    current.advanced = advanced_;
    return current;
}

void CSetupDlg::showUsers(std::optional<std::size_t> selected)
{
    userList_->clear();
    for (const UserRecord& user : users_.records()) {
        auto* row = new QTreeWidgetItem(userList_);
        row->setText(0, FromUtf8(user.entry.userId));
        row->setIcon(0, UserStateIcon(user.entry.disabled != 0));
        row->setText(1, FromUtf8(user.entry.description));
        row->setData(0, Qt::UserRole, user.entry.disabled);
    }
    if (selected && *selected < users_.size()) {
        QTreeWidgetItem* row = userList_->topLevelItem(static_cast<int>(*selected));
        userList_->setCurrentItem(row);
        row->setSelected(true);
    }
}

std::optional<std::size_t> CSetupDlg::selectedUser() const
{
    const QList<QTreeWidgetItem*> rows = userList_->selectedItems();
    if (rows.isEmpty()) {
        return std::nullopt;
    }
    const int index = userList_->indexOfTopLevelItem(rows.front());
    if (index < 0 || static_cast<std::size_t>(index) >= users_.size()) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(index);
}

void CSetupDlg::checkTcpPort()
{
    ok_->setEnabled(TcpPortTextValid(Utf8(tcpPort_->text())));
}

void CSetupDlg::repairTcpPort()
{
    const QString repaired = QString::fromStdString(RepairTcpPortText(Utf8(tcpPort_->text())));
    if (repaired != tcpPort_->text()) {
        tcpPort_->setText(repaired);
    }
}

bool CSetupDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == tcpPort_ && event->type() == QEvent::FocusOut) {
        repairTcpPort();
    }
    return QDialog::eventFilter(watched, event);
}

void CSetupDlg::browseLogFolder()
{
    const std::optional<QString> folder =
        browseFolder_(this, QStringLiteral("Select log file folder."), logFolder_->text());
    if (folder && !folder->isEmpty()) {
        logFolder_->setText(*folder);
    }
}

void CSetupDlg::addUser()
{
    if (users_.full()) {
        return;
    }
    CUserDlg editor(CUserDlg::kAddMode, UserEntry{}, this, help_);
    if (editor.exec() != QDialog::Accepted) {
        return;
    }
    const UserEntry& entry = editor.entry();
    if (users_.find(entry.userId)) {
        platform::ShowMessageBox("There are same User ID.", "", platform::MessageBoxIcon::Exclamation);
        return;
    }
    users_.add(UserRecord{entry, true, -1});
    showUsers(users_.find(entry.userId));
}

void CSetupDlg::editUser()
{
    const std::optional<std::size_t> index = selectedUser();
    if (!index) {
        return;
    }
    CUserDlg editor(CUserDlg::kEditMode, users_[*index].entry, this, help_);
    if (editor.exec() != QDialog::Accepted) {
        return;
    }
    users_.update(*index, editor.entry(), editor.passwordEdited());
    showUsers(index);
}

void CSetupDlg::deleteUser()
{
    if (const std::optional<std::size_t> index = selectedUser()) {
        users_.remove(*index);
        showUsers(std::nullopt);
    }
}

void CSetupDlg::toggleUser()
{
    if (const std::optional<std::size_t> index = selectedUser()) {
        users_.toggleDisabled(*index);
        showUsers(index);
    }
}

void CSetupDlg::showUserMenu(const QPoint&)
{
    QMenu menu(QStringLiteral("UserList"), this);
    menu.setObjectName(QStringLiteral("userMenu"));
    QAction* add = menu.addAction(QStringLiteral("Add (&A)..."));
    QAction* edit = menu.addAction(QStringLiteral("Edit (&E)..."));
    QAction* remove = menu.addAction(QStringLiteral("Delete (&D)"));
    menu.addSeparator();
    QAction* toggle = menu.addAction(QStringLiteral("Enable/Disable (&B)"));
    if (users_.empty()) {
        edit->setEnabled(false);
        remove->setEnabled(false);
        toggle->setEnabled(false);
    }
    // The commands run once the menu has closed, as a menu's commands reach a dialog.
    QAction* chosen = menu.exec(QCursor::pos());
    if (chosen == add) {
        addUser();
    } else if (chosen == edit) {
        editUser();
    } else if (chosen == remove) {
        deleteUser();
    } else if (chosen == toggle) {
        toggleUser();
    }
}

void CSetupDlg::editAdvanced()
{
    CAdvancedDlg advanced(advanced_, TcpPortOfText(Utf8(tcpPort_->text())), voice_->isChecked(), this, help_);
    advanced.setFingerprintProvider(fingerprint_);
    if (browseFile_) {
        advanced.setFileBrowser(browseFile_);
    }
    if (advanced.exec() == QDialog::Accepted) {
        advanced_ = advanced.settings();
    }
}

void CSetupDlg::accept()
{
    // The TCP port or voice may have changed since Advanced was closed, and a value
    // written into the file by hand may be wrong: nothing is saved that the service
    // could not use.
    const SetupSettings current = settings();
    if (const std::optional<AdvancedProblem> problem =
            CheckAdvancedSettings(current.advanced, TcpPortOfText(current.tcpPortText), current.voice)) {
        platform::ShowMessageBox(problem->message + "\n\nCorrect it under Advanced...", "Setup",
                                 platform::MessageBoxIcon::Exclamation);
        return;
    }
    if (!SaveSetupSettings(current, profile_)) {
        const std::string text = "The settings could not be written to " + profile_.path().string() + ".";
        platform::ShowMessageBox(text, "Setup", platform::MessageBoxIcon::Error);
        return;
    }
    QDialog::accept();
}

// F1 anywhere in the dialog asks for its help: the controls leave the key to the dialog.
void CSetupDlg::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F1 && event->modifiers() == Qt::NoModifier) {
        if (help_) {
            help_(host::kHelpSetup);
        }
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace dialogs
