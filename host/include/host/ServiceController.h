// SPDX-License-Identifier: GPL-3.0-or-later
// ServiceController: the host's service logic without a window. It owns the one
// CLinkcore object, starts and stops the service (radio connection plus session
// server), switches the radio's power, runs the one-second watchdog and turns the
// library's notifications into the display. Everything runs on one thread, the
// thread that owns the registered message target and its ServiceHost; the library's
// threads reach it only through messages posted to that target.
//
// Service states: stopped -> (start) identifying: running, server closed -> running:
// running and server open -> (stop, the watchdog after more than three ticks
// without a notification, or the library's notice that the radio was lost) -> stopped. While running, the watchdog polls the radio
// once a second as long as no client is logged in.
#pragma once

#include "host/HostDisplay.h"
#include "host/ServiceHost.h"
#include "host/voice/VoiceHook.h"
#include "linkcore/LinkcoreCodes.h"
#include "platform/WindowMessage.h"

#include <cstdint>
#include <memory>
#include <string>

class CLinkcore;
namespace platform {
class Profile;
}

namespace host {

// The watchdog's timer id and period.
inline constexpr unsigned kWatchdogTimer = 1000;
inline constexpr std::chrono::milliseconds kWatchdogPeriod{1000};
// The watchdog stops the service after more ticks than this without a notification.
inline constexpr int kWatchdogTickLimit = 3;

// The controller's members that are not display.
struct ServiceState {
    int idleTicks = 0;       // watchdog ticks since the last notification
    unsigned modelId = 0;    // model of the connected radio; 0 = none
    bool radioPowerOn = false;
    bool onAir = false;
    bool serviceRunning = false; // the radio connection is open
    bool serverOpen = false;     // the session server is open
    bool userLoggedOn = false;   // a network client has logged in
    bool busy = false;           // wait state during start and stop
};

// RadioLost: the radio's line hung up, failed or vanished (the library's notice).
enum class StopCause : std::uint8_t { None, Command, Watchdog, RadioLost };

class ServiceController {
public:
    // Creates the library object and registers `window` for its notifications, whose
    // messages the owner hands to onLinkcoreNotify. `corvexEnabled` accepts model 19;
    // `loadMessageEnabled` lets clients send "LM" with parameters.
    ServiceController(ServiceHost& host, platform::WindowHandle window, bool corvexEnabled,
                      bool loadMessageEnabled);
    // Stops voice-call handling and a running service, unregisters the window and
    // deletes the library object.
    ~ServiceController();
    ServiceController(const ServiceController&) = delete;
    ServiceController& operator=(const ServiceController&) = delete;

    // Menu "ON": the start sequence. The settings are read now.
    void start();
    // Menu "OFF": the stop sequence.
    void stop();
    // The CONTROL button: stop while running, else start.
    void control();
    // The power switch: on when the radio reported off, else off (standby on model 20).
    void powerSwitch();
    // A timer armed through ServiceHost::setTimer fired.
    void onTimer(unsigned id);
    // A WM_LINKCORE_NOTIFY message.
    void onLinkcoreNotify(platform::WParam code, platform::LParam value);
    // Voice-call handling, started at a client's login and stopped when its session
    // closes, the service stops or the controller goes. None by default.
    void setVoiceHook(std::unique_ptr<VoiceHook> voice) { voice_ = std::move(voice); }

    const HostDisplay& display() const { return display_; }
    const ServiceState& state() const { return state_; }
    bool corvexEnabled() const { return corvexEnabled_; }
    // The log line of the last refused start, for a port that could not be opened or
    // settings that could not be read followed by a line with the reason; empty after
    // a successful start.
    const std::string& startFailure() const { return startFailure_; }
    // Why the service stopped last; None until it has stopped once.
    StopCause lastStop() const { return lastStop_; }

private:
    // The start sequence: settings, TLS, the radio (opened, woken, identified and
    // accepted), then the session server. Each refusal logs and records its reason.
    void startService(int comPort, int baud, int tcpPort);
    void stopSequence(StopCause cause);
    // False, the start refused with the reason shown, when the settings file cannot be read.
    bool settingsReadable(const platform::Profile& profile);
    // With "MIREL TLS" on: readies the certificate (made at the first start) and logs
    // its fingerprint; false, the start refused with the reason shown, when it cannot.
    bool prepareTls(const platform::Profile& profile);
    // Opens the radio's serial port; false, the reason recorded, when it cannot.
    bool openRadio(int comPort, int baud);
    // Flushes a half-typed command and brings the radio back from pass-through.
    void wakeRadio();
    // Asks for the radio's model, waiting a bounded time for its answer.
    void identifyRadio();
    // False, the radio closed and the reason shown, for an unknown or unsupported model.
    bool radioAccepted(int comPort);
    // Opens the session server on `tcpPort`; false, the radio closed, when it cannot.
    bool openServer(int tcpPort);
    // Reads the radio's power (PS) and auto-information (AI) settings, starts the
    // watchdog, shows the service running and logs the start.
    void showRunning(int comPort, int tcpPort);
    void refuseStart(const std::string& logLine);
    void stopVoice();
    bool enterWait();
    void leaveWait(bool entered);

    void powerTransition(platform::LParam state);
    void setOnAir(bool on);
    void sessionEvent(platform::LParam event);
    void refreshSessionTime();
    void onStatusReply();
    void clearDisplay();

    template <typename Value>
    void setField(DisplayField field, Value HostDisplay::*member, Value value);

    ServiceHost& host_;
    std::unique_ptr<CLinkcore> link_;
    std::unique_ptr<VoiceHook> voice_;
    bool corvexEnabled_;
    ServiceState state_;
    HostDisplay display_;
    std::string startFailure_;
    StopCause lastStop_ = StopCause::None;
};

} // namespace host
