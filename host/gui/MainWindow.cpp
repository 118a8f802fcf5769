// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/gui/MainWindow.h"

#include "host/ServiceController.h"
#include "host/gui/AboutBox.h"
#include "host/gui/Help.h"
#include "host/gui/Resources.h"
#include "host/gui/WindowPosition.h"
#include "host/dialogs/SetupDlg.h"
#include "host/voice/VoiceCalls.h"
#include "platform/Profile.h"
#include "skinwork/Application.h"
#include "skinwork/CStaticEx.h"
#include "skinwork/VoiceEnable.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <thread>

namespace host::gui {
namespace {

// Setup runs modally over the window; its F1 opens help context 30, its user
// editor's 32.
void OpenSetup(QWidget* parent)
{
    dialogs::CSetupDlg setup(parent, [](int context) { ShowHelp(context); });
    setup.setFingerprintProvider([](const dialogs::AdvancedSettings& settings) {
        return dialogs::CertificateFingerprintText(settings, platform::ApplicationProfile().path());
    });
    setup.exec();
}

// The dialog font of the window's controls.
QFont DialogFont()
{
    QFont font("Times New Roman");
    font.setPointSize(8);
    return font;
}

struct Placement {
    int left;
    int top;
    int width;
    int height;
};

// Positions in client pixels.
constexpr Placement kPowerSwitch{23, 23, 81, 25};
constexpr Placement kControl{113, 23, 50, 25};
constexpr Placement kRadioFrame{11, 4, 363, 56};
constexpr Placement kModelLabel{210, 19, 56, 16};
constexpr Placement kModelName{269, 19, 95, 16};
constexpr Placement kOnAir{269, 35, 45, 16};
constexpr Placement kConnectionFrame{11, 60, 363, 98};
constexpr Placement kUserLabel{26, 79, 56, 16};
constexpr Placement kUserName{86, 79, 95, 16};
constexpr Placement kAddressLabel{209, 79, 56, 16};
constexpr Placement kAddress{269, 79, 95, 16};
constexpr Placement kDescription{86, 96, 279, 39};
constexpr Placement kSessionLabel{26, 137, 69, 16};
constexpr Placement kSessionTime{101, 137, 93, 16};

const QSize kControlPicture(44, 21);
const QSize kPowerPicture(77, 23);

void Place(QWidget* widget, const Placement& at) { widget->setGeometry(at.left, at.top, at.width, at.height); }

CStaticEx* Label(QWidget* parent, const char* name, const QString& text, const Placement& at)
{
    auto* label = new CStaticEx(text, parent);
    label->setObjectName(name);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    Place(label, at);
    return label;
}

// A group frame: the title on its top line, the fields inside below it.
CStaticEx* GroupFrame(QWidget* parent, const char* name, const QString& title, const Placement& at)
{
    CStaticEx* frame = Label(parent, name, title, at);
    frame->setGroupFrame(true);
    return frame;
}

// A status value, empty until the service fills it.
CStaticEx* Field(QWidget* parent, const char* name, const Placement& at)
{
    return Label(parent, name, QString(), at);
}

QPushButton* PictureButton(QWidget* parent, const char* name, const char* text, const Placement& at, QSize picture)
{
    auto* button = new QPushButton(parent);
    button->setObjectName(name);
    button->setAccessibleName(text);
    button->setToolTip(text);
    button->setIconSize(picture);
    button->setAutoDefault(false);
    Place(button, at);
    return button;
}

QIcon Picture(int id) { return QIcon(QString(":/ondrel/bitmap%1.png").arg(id)); }

} // namespace

VoiceBinding DefaultVoiceBinding() { return {[] { return GetVoiceEnableOS(); }, voice::VoxlineLibraryFile()}; }

MainWindow::MainWindow(const HostOptions& options, bool splash, VoiceBinding voiceBinding)
    : host_([this](DisplayField field, const HostDisplay& display) { onDisplay(field, display); })
{
    InitResources();
    setObjectName("mainWindow");
    // The controls take the window's font, the dialog font; the menu keeps the desktop's.
    setFont(DialogFont());
    skinwork::SetMainWindow(this);
    setWindowIcon(QIcon(":/ondrel/icon128.png"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    std::unique_ptr<AboutBox> splashBox;
    if (splash) {
        splashBox = std::make_unique<AboutBox>();
        splashBox->setObjectName("splash");
        splashBox->show();
        host_.pumpMessages();
    }

    controller_ = std::make_unique<ServiceController>(host_, &host_.target(), options.corvexEnabled,
                                                      options.loadMessageEnabled);
    host_.attach(controller_.get());
    host_.setOtherMessages([this](const platform::Message& message) {
        if (message.message == kCloseMessage) {
            close();
        } else if (message.message == voice::WM_TAPI_EVENT) {
            if (voice_ != nullptr) {
                voice_->onTapiEvent(message.wParam, message.lParam);
            } else {
                voice::AdoptTapiEvent(message.lParam);
            }
        }
    });

    buildMenu();
    buildControls();
    setWindowTitle(QString::fromStdString(WindowTitle(options)));
    // The telephony plug-in is loaded now when the system allows voice, and kept.
    std::unique_ptr<voice::VoiceCalls> calls =
        voice::MakeVoiceCalls(&host_.target(), std::move(voiceBinding.voiceEnableOS), voiceBinding.pluginFile);
    voice_ = calls.get();
    controller_->setVoiceHook(std::move(calls));
    placeWindow();

    if (splashBox) {
        // About a second for the splash, painting meanwhile.
        for (int step = 0; step < 10; ++step) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            host_.pumpMessages();
        }
    }
}

MainWindow::~MainWindow() { tearDown(); }

void MainWindow::buildMenu()
{
    menuBar()->setFont(QApplication::font());
    QMenu* control = menuBar()->addMenu("Control (&C)");
    onAction_ = control->addAction("ON (&N)", [this] { controller_->start(); });
    onAction_->setObjectName("actionOn");
    offAction_ = control->addAction("OFF (&F)", [this] { controller_->stop(); });
    offAction_->setObjectName("actionOff");
    offAction_->setEnabled(false);
    control->addSeparator();
    QAction* setup = control->addAction("Setup (&S)...", [this] { OpenSetup(this); });
    setup->setObjectName("actionSetup");

    QMenu* radio = menuBar()->addMenu("Radio (&R)");
    radio->addAction("Power Switch (&W)", [this] { controller_->powerSwitch(); })->setObjectName("actionPower");

    QMenu* help = menuBar()->addMenu("Help (&H)");
    help->addAction("Help Topics (&H)", [] { ShowHelp(kHelpRunningPowerOn); })->setObjectName("actionHelp");
    help->addSeparator();
    help->addAction("About Ondrel (&A)...", [this] {
            AboutBox about(this);
            about.exec();
        })->setObjectName("actionAbout");
}

void MainWindow::buildControls()
{
    auto* client = new QWidget(this);
    client->setObjectName("client");
    client->setFixedSize(kClientWidth, kClientHeight);
    setCentralWidget(client);

    // Frames first, so that the controls inside lie above them.
    GroupFrame(client, "radioStatus", "Radio Status", kRadioFrame);
    GroupFrame(client, "connectionStatus", "Connection Status", kConnectionFrame);

    powerButton_ = PictureButton(client, "powerSwitch", "Power Switch", kPowerSwitch, kPowerPicture);
    powerButton_->setIcon(Picture(131));
    connect(powerButton_, &QPushButton::clicked, this, [this] { controller_->powerSwitch(); });
    controlButton_ = PictureButton(client, "control", "CONTROL", kControl, kControlPicture);
    controlButton_->setIcon(Picture(129));
    connect(controlButton_, &QPushButton::clicked, this, [this] { controller_->control(); });

    Label(client, "modelLabel", "Model", kModelLabel);
    modelName_ = Field(client, "modelName", kModelName);
    onAirLabel_ = Label(client, "onAir", QString(), kOnAir);
    onAirLabel_->setAlignment(Qt::AlignCenter);
    onAirLabel_->SetTextBold(1);
    setOnAirLook(false);

    Label(client, "userLabel", "User Name", kUserLabel);
    userName_ = Field(client, "userName", kUserName);
    Label(client, "addressLabel", "IP Address", kAddressLabel);
    address_ = Field(client, "address", kAddress);
    Label(client, "sessionLabel", "Session Time", kSessionLabel);
    sessionTime_ = Field(client, "sessionTime", kSessionTime);

    // Shows the description only: no focus, caret, selection or menu.
    description_ = new QPlainTextEdit(client);
    description_->setObjectName("description");
    description_->setReadOnly(true);
    description_->setFocusPolicy(Qt::NoFocus);
    description_->setTextInteractionFlags(Qt::NoTextInteraction);
    description_->setContextMenuPolicy(Qt::NoContextMenu);
    QFont guiFont("Liberation Sans");
    guiFont.setPointSize(8);
    description_->setFont(guiFont);
    description_->viewport()->setCursor(Qt::ArrowCursor);
    description_->viewport()->installEventFilter(this);
    Place(description_, kDescription);

    const int menuHeight = menuBar()->sizeHint().height();
    setFixedSize(kClientWidth, kClientHeight + menuHeight);
}

void MainWindow::placeWindow()
{
    const std::string stored =
        platform::ApplicationProfile().GetProfileString(kWindowPosSection, kWindowPosKey, "");
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return;
    }
    const QRect desktop = screen->geometry();
    if (const auto corner =
            StoredWindowCorner(stored, desktop.y() + desktop.height(), desktop.x() + desktop.width())) {
        move(corner->left, corner->top);
    }
}

int MainWindow::helpContext() const
{
    const ServiceState& state = controller_->state();
    if (!state.serverOpen) {
        return kHelpStopped;
    }
    return state.radioPowerOn ? kHelpRunningPowerOn : kHelpRunningPowerOff;
}

void MainWindow::setOnAirLook(bool on)
{
    onAirLabel_->setText(on ? "ONAIR" : "");
    if (on) {
        onAirLabel_->SetForeColor(skinwork::RGB(255, 255, 255));
        onAirLabel_->SetBackColor(skinwork::RGB(255, 0, 0));
    } else {
        onAirLabel_->SetForeColor(skinwork::GetSysColor(skinwork::COLOR_WINDOWTEXT));
        onAirLabel_->SetBackColor(skinwork::GetSysColor(skinwork::COLOR_BTNFACE));
    }
}

void MainWindow::onDisplay(DisplayField field, const HostDisplay& display)
{
    const auto text = [](const std::string& value) { return QString::fromStdString(value); };
    switch (field) {
    case DisplayField::Model: modelName_->setText(text(display.model)); break;
    case DisplayField::OnAir: setOnAirLook(display.onAir); break;
    case DisplayField::Power: powerButton_->setIcon(Picture(display.power ? 132 : 131)); break;
    case DisplayField::Service: controlButton_->setIcon(Picture(display.service ? 130 : 129)); break;
    case DisplayField::User: userName_->setText(text(display.user)); break;
    case DisplayField::Address: address_->setText(text(display.address)); break;
    case DisplayField::Description: description_->setPlainText(text(display.description)); break;
    case DisplayField::SessionTime: sessionTime_->setText(text(display.sessionTime)); break;
    case DisplayField::ControlEnabled: controlButton_->setEnabled(display.controlEnabled); break;
    case DisplayField::OnEnabled: onAction_->setEnabled(display.onEnabled); break;
    case DisplayField::OffEnabled: offAction_->setEnabled(display.offEnabled); break;
    case DisplayField::Busy:
        if (display.busy && !waitCursor_) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
            waitCursor_ = true;
        } else if (!display.busy && waitCursor_) {
            QApplication::restoreOverrideCursor();
            waitCursor_ = false;
        }
        setEnabled(!display.busy);
        if (!display.busy) {
            // Disabling took the focus away; give it to the control it belongs to.
            onDisplay(DisplayField::Focus, display);
        }
        break;
    case DisplayField::Focus:
        if (display.focus == Focus::PowerSwitch) {
            powerButton_->setFocus(Qt::OtherFocusReason);
        } else if (display.focus == Focus::Control) {
            controlButton_->setFocus(Qt::OtherFocusReason);
        }
        break;
    }
}

void MainWindow::keyPressEvent(QKeyEvent* event)
{
    // F1 opens the help topic that fits the service's state; Enter and Escape do
    // nothing in this window.
    switch (event->key()) {
    case Qt::Key_F1:
        event->accept();
        ShowHelp(helpContext());
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape: event->accept(); return;
    default: QMainWindow::keyPressEvent(event);
    }
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == description_->viewport()) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove: return true;
        default: break;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // A close that arrives while a start or stop sequence waits (it pumps messages)
    // must not pull the controller away under it: try again once the sequence is done.
    if (controller_ && controller_->state().busy) {
        event->ignore();
        QTimer::singleShot(100, this, &QWidget::close);
        return;
    }
    tearDown();
    event->accept();
}

void MainWindow::tearDown()
{
    if (tornDown_) {
        return;
    }
    tornDown_ = true;
    const QPoint corner = pos();
    platform::ApplicationProfile().WriteProfileString(kWindowPosSection, kWindowPosKey,
                                                       WindowCornerText({corner.y(), corner.x()}));
    // Stops voice-call handling and a running service, unregisters the window and
    // deletes the library object.
    host_.attach(nullptr);
    controller_.reset();
    voice_ = nullptr;
    // Telephony events still waiting go with the window.
    voice::ReleaseTapiEvents(host_.target().takePending());
    if (waitCursor_) {
        QApplication::restoreOverrideCursor();
        waitCursor_ = false;
    }
    if (skinwork::MainWindow() == this) {
        skinwork::SetMainWindow(nullptr);
    }
}

} // namespace host::gui
