// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/ServiceController.h"

#include "linkcore/Linkcore.h"
#include "linkcore/ServiceTls.h"
#include "platform/ComPorts.h"
#include "platform/MessageBox.h"
#include "platform/Profile.h"
#include "platform/Text.h"
#include "protocol/RadioTexts.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace host {
namespace {

constexpr std::string_view kSettingSection = "Setting";
constexpr int kDefaultComPort = 1;
constexpr int kDefaultBaud = 9600;
constexpr int kDefaultTcpPort = 50000;
constexpr int kLowestTcpPort = 1024;
constexpr int kHighestTcpPort = 65535;
// Title of the message boxes of a refused start.
constexpr std::string_view kStartErrorTitle = "Error!";

// The radio is given this model until it has told its own.
constexpr unsigned kProvisionalModel = linkcore::kModelTarsel;
// Model IDs as the radio reports them.
constexpr unsigned kCorvex = linkcore::kModelCorvex;
constexpr unsigned kTarsel = linkcore::kModelTarsel;
// ID reads after the first one while waiting for the radio's answer, and the pause before each.
constexpr int kIdRetries = 10;
constexpr std::chrono::milliseconds kIdPause{100};
constexpr std::chrono::milliseconds kWakeUpPause{300};
constexpr std::chrono::milliseconds kPowerPause{200};

// Buffer sizes handed to the library's readers, zero-filled before each call.
constexpr std::size_t kStatusTextSize = 20;
constexpr std::size_t kModelNameSize = 25;
constexpr std::size_t kAddressSize = 48; // an IPv6 address in text
constexpr std::size_t kUserIdSize = 35;
constexpr std::size_t kDescriptionSize = 131;

// Position of the transmit/receive digit among the status reader's numeric outputs.
constexpr std::size_t kStatusTransmitField = 6;

int ReadSetting(std::string_view key, int fallback)
{
    return platform::ApplicationProfile().GetProfileInt(kSettingSection, key, fallback);
}

void Log(const std::string& text) { CLinkcore::MirelLogAdd(text.c_str()); }

using platform::Format;

template <std::size_t Size>
std::string TextOf(const std::array<char, Size>& buffer)
{
    std::size_t length = 0;
    while (length < Size && buffer[length] != '\0') {
        ++length;
    }
    return std::string(buffer.data(), length);
}

const unsigned char* Bytes(const char* text) { return reinterpret_cast<const unsigned char*>(text); }

} // namespace

ServiceController::ServiceController(ServiceHost& host, platform::WindowHandle window, bool corvexEnabled,
                                     bool loadMessageEnabled)
    : host_(host), link_(std::make_unique<CLinkcore>()), corvexEnabled_(corvexEnabled)
{
    link_->WinMsgSendReg(window);
    if (loadMessageEnabled) {
        link_->SetLoadMessageEnable(1);
    }
}

ServiceController::~ServiceController()
{
    stopVoice();
    if (state_.serviceRunning) {
        stopSequence(StopCause::Command);
    }
    // The window goes with this object: the library must not keep posting to it.
    link_->WinMsgSendReg(nullptr);
}

template <typename Value>
void ServiceController::setField(DisplayField field, Value HostDisplay::*member, Value value)
{
    if (display_.*member == value) {
        return;
    }
    display_.*member = std::move(value);
    host_.displayChanged(field, display_);
}

// ---- Service control ----

void ServiceController::start()
{
    startFailure_.clear();
    const int comPort = ReadSetting("COM Port", kDefaultComPort);
    const int baud = ReadSetting("COM Baud", kDefaultBaud);
    setField(DisplayField::Focus, &HostDisplay::focus, Focus::PowerSwitch);
    setField(DisplayField::ControlEnabled, &HostDisplay::controlEnabled, false);
    const bool entered = enterWait();

    const int tcpPort = ReadSetting("MIREL IP Port No", kDefaultTcpPort);
    if (tcpPort >= kLowestTcpPort && tcpPort <= kHighestTcpPort && !state_.serviceRunning) {
        startService(comPort, baud, tcpPort);
    }

    leaveWait(entered);
    setField(DisplayField::ControlEnabled, &HostDisplay::controlEnabled, true);
    if (!state_.serviceRunning) {
        setField(DisplayField::Focus, &HostDisplay::focus, Focus::Control);
    }
}

void ServiceController::startService(int comPort, int baud, int tcpPort)
{
    const platform::Profile& profile = platform::ApplicationProfile();
    if (!settingsReadable(profile) || !prepareTls(profile) || !openRadio(comPort, baud)) {
        return;
    }
    wakeRadio();
    identifyRadio();
    if (!radioAccepted(comPort) || !openServer(tcpPort)) {
        clearDisplay();
        return;
    }
    showRunning(comPort, tcpPort);
}

bool ServiceController::settingsReadable(const platform::Profile& profile)
{
    // Settings that cannot be read are not replaced by defaults: the service would run
    // on another port and device than the user chose, without the users and the log.
    const int error = profile.LastReadError();
    if (error == 0) {
        return true;
    }
    const std::string line = "- START - Failed. Can not read the settings.";
    Log(line);
    startFailure_ = line + "\n" + Format("%s: %s", profile.path().c_str(), std::strerror(error));
    platform::ShowMessageBox(Format("The settings file %s can not be read (%s).\n", profile.path().c_str(),
                                    std::strerror(error)),
                             kStartErrorTitle, platform::MessageBoxIcon::Exclamation);
    return false;
}

bool ServiceController::openRadio(int comPort, int baud)
{
    if (link_->RadioConnectionOpen(kProvisionalModel, static_cast<unsigned>(comPort), static_cast<unsigned>(baud), 1) !=
        0) {
        state_.serviceRunning = true;
        return true;
    }
    // The port number is read again: the log names what the settings hold now.
    const int port = ReadSetting("COM Port", kDefaultComPort);
    const std::string line = Format("- START - Failed. Can not open COM%d.", port);
    Log(line);
    const int error = link_->GetRadioOpenError();
    startFailure_ = line + "\n" +
                    Format("COM%d (%s): %s", port, platform::ComPortDevicePath(static_cast<unsigned>(port)).c_str(),
                           error == EBUSY ? "in use by another program" : std::strerror(error));
    return false;
}

void ServiceController::wakeRadio()
{
    // Flush a half-typed command and bring a radio in pass-through mode back to commands.
    link_->ConnDirect(Bytes(";;"));
    host_.sleepFor(kWakeUpPause);
    // The view is of a string literal, so its data ends with the terminating zero.
    link_->ConnDirect(Bytes(protocol::kPassThroughExit.data()));
    link_->ConnDirect(Bytes(";"));
}

void ServiceController::identifyRadio()
{
    link_->ConnID();
    int identified = link_->RcvDataID(&state_.modelId);
    for (int retry = 0; identified == 0 && retry < kIdRetries; ++retry) {
        host_.sleepFor(kIdPause);
        host_.pumpMessages();
        identified = link_->RcvDataID(&state_.modelId);
    }
}

bool ServiceController::radioAccepted(int comPort)
{
    if (state_.modelId == 0) {
        refuseStart("- START - Failed. Can not detect Radio Model ID.");
        platform::ShowMessageBox(Format(" An unknown device is connected to COM%d, or the Baud rate in this software "
                                        "does not mutch in the Transceiver.\n Check the status of COM%d.\n",
                                        comPort, comPort),
                                 kStartErrorTitle, platform::MessageBoxIcon::Exclamation);
        return false;
    }
    const bool supported = state_.modelId == kTarsel || (state_.modelId == kCorvex && corvexEnabled_);
    if (!supported) {
        refuseStart("- START - Failed. Radio is Unsupported.");
        std::array<char, kModelNameSize> name{};
        link_->GetRadioName(state_.modelId, reinterpret_cast<unsigned char*>(name.data()));
        platform::ShowMessageBox(Format("The transceiver connected to COM%d is %s.\n Be sure to connect the Radio "
                                        "to the COM%d.\n",
                                        comPort, TextOf(name).c_str(), comPort),
                                 kStartErrorTitle, platform::MessageBoxIcon::Exclamation);
        return false;
    }
    return true;
}

bool ServiceController::openServer(int tcpPort)
{
    if (link_->SocketServerOpen(static_cast<unsigned>(tcpPort)) == 0) {
        refuseStart(Format("- START - Failed. Can not open socket:%d.", tcpPort));
        return false;
    }
    state_.serverOpen = true;
    return true;
}

void ServiceController::showRunning(int comPort, int tcpPort)
{
    link_->ConnPS("R", 0);
    link_->ConnAI("R", 0);
    setField(DisplayField::Service, &HostDisplay::service, true);
    host_.setTimer(kWatchdogTimer, kWatchdogPeriod);
    setField(DisplayField::OnEnabled, &HostDisplay::onEnabled, false);
    setField(DisplayField::OffEnabled, &HostDisplay::offEnabled, true);
    Log(Format("- START - Successful COM%d, Socket:%d.", comPort, tcpPort));
}

bool ServiceController::prepareTls(const platform::Profile& profile)
{
    const linkcore::ServiceTls tls = linkcore::ReadServiceTls(profile);
    if (!tls.on) {
        return true;
    }
    std::string fingerprint;
    std::string error = tls.error;
    bool made = false;
    if (error.empty() && netport::PrepareTlsIdentity(tls.files, made, fingerprint, error)) {
        if (made) {
            Log("- START - TLS certificate made: " + tls.files.certificate);
        }
        // Read out to remote users, who compare it with what their client shows.
        Log("- START - TLS certificate " + fingerprint);
        return true;
    }
    const std::string line = "- START - Failed. TLS: " + error;
    Log(line);
    startFailure_ = line;
    platform::ShowMessageBox("The service cannot speak TLS: " + error + "\n", kStartErrorTitle,
                             platform::MessageBoxIcon::Exclamation);
    return false;
}

void ServiceController::refuseStart(const std::string& logLine)
{
    link_->RadioConnectionClose();
    state_.serviceRunning = false;
    Log(logLine);
    startFailure_ = logLine;
}

void ServiceController::stop() { stopSequence(StopCause::Command); }

void ServiceController::control()
{
    if (state_.serviceRunning) {
        stop();
    } else {
        start();
    }
}

void ServiceController::stopSequence(StopCause cause)
{
    const bool entered = enterWait();
    if (state_.serviceRunning) {
        host_.killTimer(kWatchdogTimer);
        if (state_.modelId == kTarsel) {
            link_->ConnKY("W", Bytes(""));
        }
        link_->ConnAI("W", 0);
        stopVoice();
        link_->SocketServerClose();
        link_->RadioConnectionClose();
        host_.pumpMessages();
        // A session that closed just before (the radio was lost) re-armed it in the pump.
        host_.killTimer(kWatchdogTimer);
        powerTransition(0);
        setField(DisplayField::Service, &HostDisplay::service, false);
        clearDisplay();
        state_.serviceRunning = false;
        state_.serverOpen = false;
        // Closing the server ends a session without its closing event; without this the
        // next start would find a client still logged in and never poll the radio.
        state_.userLoggedOn = false;
        setField(DisplayField::OnEnabled, &HostDisplay::onEnabled, true);
        setField(DisplayField::OffEnabled, &HostDisplay::offEnabled, false);
        Log("- END - End MIREL.");
        lastStop_ = cause;
    }
    leaveWait(entered);
}

void ServiceController::stopVoice()
{
    if (voice_ != nullptr && voice_->active()) {
        voice_->stop();
    }
}

bool ServiceController::enterWait()
{
    if (state_.busy) {
        return false;
    }
    state_.busy = true;
    setField(DisplayField::Busy, &HostDisplay::busy, true);
    return true;
}

void ServiceController::leaveWait(bool entered)
{
    if (!entered || !state_.busy) {
        return;
    }
    state_.busy = false;
    setField(DisplayField::Busy, &HostDisplay::busy, false);
}

void ServiceController::powerSwitch()
{
    if (!state_.serviceRunning) {
        return;
    }
    unsigned value = 1;
    if (state_.radioPowerOn) {
        value = state_.modelId == kTarsel ? 9 : 0;
    }
    link_->ConnPS("W", value);
    host_.sleepFor(kPowerPause);
    link_->ConnPS("R", value);
}

void ServiceController::onTimer(unsigned id)
{
    host_.killTimer(id);
    if (id != kWatchdogTimer) {
        return;
    }
    link_->ConnPS("R", 0);
    if (state_.radioPowerOn) {
        link_->ConnAI("R", 0);
    }
    ++state_.idleTicks;
    if (state_.idleTicks > kWatchdogTickLimit) {
        // The library has been silent too long: the radio is gone. The watchdog only
        // ever stops the service; it never starts it.
        if (state_.serviceRunning) {
            stopSequence(StopCause::Watchdog);
        }
        return;
    }
    if (state_.serverOpen && !state_.userLoggedOn) {
        host_.setTimer(kWatchdogTimer, kWatchdogPeriod);
    }
}

// ---- Notifications and display ----

void ServiceController::onLinkcoreNotify(platform::WParam code, platform::LParam value)
{
    state_.idleTicks = 0;
    switch (code) {
    case linkcore::kNotifyAutoInformation:
        // The client relies on the radio's automatic reports: keep them in mode 2.
        if (value != 2) {
            link_->ConnAI("W", 2);
        }
        break;
    case linkcore::kNotifyModel:
        setField(DisplayField::Model, &HostDisplay::model, std::string(ModelDisplayName(value)));
        state_.modelId = static_cast<unsigned>(value);
        break;
    case linkcore::kNotifyStatus: onStatusReply(); break;
    case linkcore::kNotifyPower: powerTransition(value); break;
    case linkcore::kNotifyReceive: setOnAir(false); break;
    case linkcore::kNotifyTransmit: setOnAir(true); break;
    case linkcore::kNotifyElapsed: refreshSessionTime(); break;
    case linkcore::kNotifySession: sessionEvent(value); break;
    case linkcore::kNotifyRadioLost:
        // The radio's line is gone: stop as the watchdog would, without waiting for it.
        if (state_.serviceRunning) {
            stopSequence(StopCause::RadioLost);
        }
        break;
    default: break;
    }
}

void ServiceController::onStatusReply()
{
    std::array<unsigned char, kStatusTextSize> text{};
    std::array<unsigned, 14> numbers{};
    const int available = link_->RcvDataIF(text.data(), &numbers[0], &numbers[1], &numbers[2], &numbers[3],
                                           &numbers[4], &numbers[5], &numbers[6], &numbers[7], &numbers[8],
                                           &numbers[9], &numbers[10], &numbers[11], &numbers[12], &numbers[13]);
    if (available == 0) {
        return;
    }
    const unsigned transmit = numbers[kStatusTransmitField];
    if (transmit == 0) {
        setOnAir(false);
    } else if (transmit == 1) {
        setOnAir(true);
    }
}

void ServiceController::powerTransition(platform::LParam powerState)
{
    if (powerState == 1 && !state_.radioPowerOn) {
        setField(DisplayField::Power, &HostDisplay::power, true);
        state_.radioPowerOn = true;
        link_->ConnDC("R", 0, 0);
        link_->ConnIF();
    } else if (powerState == 0 && state_.radioPowerOn) {
        setField(DisplayField::Power, &HostDisplay::power, false);
        state_.radioPowerOn = false;
        setOnAir(false);
    }
}

void ServiceController::setOnAir(bool on)
{
    state_.onAir = on;
    setField(DisplayField::OnAir, &HostDisplay::onAir, on);
}

void ServiceController::sessionEvent(platform::LParam event)
{
    std::array<char, kAddressSize> address{};
    std::array<char, kUserIdSize> user{};
    std::array<char, kDescriptionSize> description{};
    switch (event) {
    case linkcore::kSessionAccepted: CLinkcore::GetClientIP(address.data()); break;
    case linkcore::kSessionClosing:
        stopVoice();
        state_.userLoggedOn = false;
        host_.setTimer(kWatchdogTimer, kWatchdogPeriod);
        break;
    case linkcore::kSessionLoggedIn:
        host_.killTimer(kWatchdogTimer);
        CLinkcore::GetClientIP(address.data());
        if (voice_ != nullptr && voice_->startForLogin(TextOf(address))) {
            // Tells the client that it can also be reached by telephone.
            link_->SonnMIREL_VE(1);
        }
        link_->GetLoginUserID(user.data());
        link_->GetUserDescription(user.data(), description.data());
        state_.userLoggedOn = true;
        break;
    default: break;
    }
    setField(DisplayField::Address, &HostDisplay::address, TextOf(address));
    setField(DisplayField::User, &HostDisplay::user, TextOf(user));
    setField(DisplayField::Description, &HostDisplay::description, TextOf(description));
    refreshSessionTime();
}

void ServiceController::refreshSessionTime()
{
    SessionTimes times;
    const int valid = link_->RcvDataMIREL_ST(&times.elapsedHours, &times.elapsedMinutes, &times.elapsedSeconds,
                                             &times.limitHours, &times.limitMinutes, &times.limitSeconds);
    const bool active = valid != 0 && state_.userLoggedOn && CLinkcore::GetClientExest() != 0;
    setField(DisplayField::SessionTime, &HostDisplay::sessionTime, SessionTimeText(active, times));
}

void ServiceController::clearDisplay()
{
    setField(DisplayField::Description, &HostDisplay::description, std::string());
    setField(DisplayField::User, &HostDisplay::user, std::string());
    setField(DisplayField::Address, &HostDisplay::address, std::string());
    setField(DisplayField::SessionTime, &HostDisplay::sessionTime, std::string());
    setField(DisplayField::Model, &HostDisplay::model, std::string());
    // The indicator loses its text; the transmit state itself is kept until the radio reports.
    setField(DisplayField::OnAir, &HostDisplay::onAir, false);
}

} // namespace host
