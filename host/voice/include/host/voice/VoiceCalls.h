// SPDX-License-Identifier: GPL-3.0-or-later
// VoiceCalls: the main window's voice-call handling. While it runs (from a client's
// login to the end of that client's session) it owns the call-handling object, counts
// the calls it owns, answers an offered call while it owns exactly one and drops any
// further one, and handles the telephony events posted to the main window.
// Everything runs on the main window's thread; the plug-in's threads reach it only
// through posted WM_TAPI_EVENT messages.
#pragma once

#include "host/voice/VoiceHook.h"
#include "host/voice/IncomingTapi.h"
#include "host/voice/TapiEvents.h"
#include "host/voice/VoicePlugin.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace host::voice {

// The message boxes of the event handler.
inline constexpr std::string_view kNoInterfaceText = "Incoming call, but failed to get the interface";
inline constexpr std::string_view kStreamFailedText = "Call media event: stream failed";
inline constexpr std::string_view kTerminalFailedText = "Call media event: terminal failed";

// Where a video window goes: render streams (the far end's picture) to the right of
// capture streams (our own), both below the status fields.
inline constexpr long kVideoMargin = 20;
inline constexpr long kVideoTop = 100;
inline constexpr long kVideoWindowStyle = WS_CHILD | WS_BORDER;

// Where the handler's three notices go: a message box with a window, a log line without.
using VoiceNotice = std::function<void(std::string_view text)>;

class VoiceCalls final : public VoiceHook {
public:
    // `mainWindow` receives the telephony events and owns the video windows.
    // `factory` makes the call-handling object; empty when the plug-in was not
    // loaded. `voiceEnableOS` tells whether the operating system allows voice.
    // `notice` shows the handler's notices; empty: message boxes.
    VoiceCalls(platform::WindowHandle mainWindow, IncomingTapiFactory factory, std::function<int()> voiceEnableOS,
               VoiceNotice notice = {});
    // Stops handling that still runs.
    ~VoiceCalls() override;
    VoiceCalls(const VoiceCalls&) = delete;
    VoiceCalls& operator=(const VoiceCalls&) = delete;

    // Starts handling when "MIREL Voice" (section "Setting") is set, the operating
    // system allows voice and the plug-in was loaded; calls are taken from
    // `clientAddress` only.
    bool startForLogin(const std::string& clientAddress) override;
    // Drops the current call, shuts the telephony down and deletes the object.
    void stop() override;
    bool active() const override { return voiceActive_; }

    // A WM_TAPI_EVENT message: adopts the event and releases it when done.
    void onTapiEvent(platform::WParam type, platform::LParam event);
    void handleEvent(platform::WParam type, std::unique_ptr<TapiEvent> event);

    // Calls owned now.
    int callCount() const { return callCount_; }
    bool hasCallObject() const { return tapi_ != nullptr; }

private:
    bool start(const std::string& clientAddress);
    void callNotification(TapiEvent& event);
    void callState(TapiEvent& event);
    void callMedia(TapiEvent& event);
    void placeVideoWindow(CallMediaEvent& media);

    platform::WindowHandle mainWindow_;
    IncomingTapiFactory factory_;
    std::function<int()> voiceEnableOS_;
    VoiceNotice notice_;
    std::unique_ptr<CIncomingTapi> tapi_;
    bool voiceActive_ = false;
    int callCount_ = 0;
};

// The main window's start-up step: loads the plug-in `file` when `voiceEnableOS`
// answers non-zero, and makes the handler for `mainWindow`, which never starts
// handling when the plug-in was not loaded.
std::unique_ptr<VoiceCalls> MakeVoiceCalls(platform::WindowHandle mainWindow, std::function<int()> voiceEnableOS,
                                           const std::string& file = kVoxlineLibrary, VoiceNotice notice = {});

} // namespace host::voice
