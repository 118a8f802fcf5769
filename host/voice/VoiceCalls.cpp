// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/voice/VoiceCalls.h"

#include "platform/MessageBox.h"
#include "platform/Profile.h"

#include <algorithm>
#include <cstdio>

namespace host::voice {

VoiceCalls::VoiceCalls(platform::WindowHandle mainWindow, IncomingTapiFactory factory,
                       std::function<int()> voiceEnableOS, VoiceNotice notice)
    : mainWindow_(mainWindow), factory_(std::move(factory)), voiceEnableOS_(std::move(voiceEnableOS)),
      notice_(notice ? std::move(notice) : VoiceNotice([](std::string_view text) { platform::ShowMessageBox(text); }))
{
}

VoiceCalls::~VoiceCalls()
{
    if (voiceActive_) {
        stop();
    }
}

bool VoiceCalls::startForLogin(const std::string& clientAddress)
{
    // Read at every login, so that a change in the setup applies to the next session.
    const int voiceSetting = platform::ApplicationProfile().GetProfileInt("Setting", "MIREL Voice", 0);
    if (voiceSetting == 0 || !voiceEnableOS_ || voiceEnableOS_() == 0 || !factory_) {
        return false;
    }
    return start(clientAddress);
}

bool VoiceCalls::start(const std::string& clientAddress)
{
    if (tapi_ == nullptr) {
        tapi_ = factory_(mainWindow_);
        // Without an object there is nothing to answer calls with: voice stays off
        // and the client is not told otherwise.
        if (tapi_ == nullptr) {
            return false;
        }
        tapi_->SetCallerAddress(clientAddress);
        // An object whose engine did not come up answers nothing: voice stays off and
        // the client is not told otherwise either.
        if (tapi_->InitializeTapi() != 0) {
            tapi_->ShutdownTapi();
            tapi_.reset();
            return false;
        }
    } else {
        tapi_->SetCallerAddress(clientAddress);
    }
    voiceActive_ = true;
    callCount_ = 0;
    return true;
}

void VoiceCalls::stop()
{
    if (tapi_ != nullptr) {
        tapi_->DisconnectTheCall();
        tapi_->ShutdownTapi();
        tapi_.reset();
    }
    voiceActive_ = false;
}

void VoiceCalls::onTapiEvent(platform::WParam type, platform::LParam event) { handleEvent(type, AdoptTapiEvent(event)); }

void VoiceCalls::handleEvent(platform::WParam type, std::unique_ptr<TapiEvent> event)
{
    // Events posted before the handling stopped may still arrive; with the object
    // gone there is no call to act on, and the event is only released.
    if (event == nullptr || tapi_ == nullptr) {
        return;
    }
    switch (type) {
    case TE_CALLNOTIFICATION: callNotification(*event); break;
    case TE_CALLSTATE: callState(*event); break;
    case TE_CALLMEDIA: callMedia(*event); break;
    default: break;
    }
}

void VoiceCalls::callNotification(TapiEvent& event)
{
    CallNotificationEvent* notification = event.QueryCallNotification();
    if (notification == nullptr) {
        notice_(kNoInterfaceText);
        return;
    }
    const std::shared_ptr<TapiCallInfo> call = notification->Call();
    if (call == nullptr || call->Privilege() != CP_OWNER) {
        return;
    }
    std::shared_ptr<TapiCallControl> control = call->QueryCallControl();
    if (control == nullptr) {
        return;
    }
    tapi_->SetCurrentCall(std::move(control));
    ++callCount_;
}

void VoiceCalls::callState(TapiEvent& event)
{
    CallStateEvent* stateEvent = event.QueryCallState();
    if (stateEvent == nullptr) {
        return;
    }
    const std::optional<CALL_STATE> state = stateEvent->State();
    if (!state) {
        return;
    }
    switch (*state) {
    case CS_OFFERING:
        // Only a call that arrives alone is answered; a second one is dropped.
        if (callCount_ == 1) {
            tapi_->AnswerTheCall();
        } else {
            tapi_->DisconnectTheCall();
        }
        break;
    case CS_DISCONNECTED:
        if (callCount_ == 1) {
            tapi_->ReleaseTheCall();
        }
        // A call that was never counted (not owned, or its control unavailable) also
        // ends with this state; the count must not go below zero, or the next call
        // that arrives alone would be dropped.
        callCount_ = std::max(callCount_ - 1, 0);
        break;
    default: break;
    }
}

void VoiceCalls::callMedia(TapiEvent& event)
{
    CallMediaEvent* media = event.QueryCallMedia();
    if (media == nullptr) {
        return;
    }
    const std::optional<CALL_MEDIA_EVENT> code = media->Event();
    if (!code) {
        return;
    }
    switch (*code) {
    case CME_STREAM_FAIL: notice_(kStreamFailedText); break;
    case CME_TERMINAL_FAIL: notice_(kTerminalFailedText); break;
    case CME_STREAM_ACTIVE: placeVideoWindow(*media); break;
    default: break;
    }
}

void VoiceCalls::placeVideoWindow(CallMediaEvent& media)
{
    const std::shared_ptr<TapiStream> stream = media.Stream();
    if (stream == nullptr || stream->MediaType() != TAPIMEDIATYPE_VIDEO) {
        return;
    }
    const std::optional<TERMINAL_DIRECTION> direction = stream->Direction();
    if (!direction) {
        return;
    }
    const long render = *direction == TD_RENDER ? 1 : 0;

    std::shared_ptr<TapiTerminal> terminal;
    for (const std::shared_ptr<TapiTerminal>& candidate : stream->Terminals()) {
        if (candidate != nullptr && candidate->Direction() == TD_RENDER) {
            terminal = candidate;
            break;
        }
    }
    if (terminal == nullptr) {
        return;
    }
    const std::shared_ptr<VideoWindow> window = terminal->QueryVideoWindow();
    if (window == nullptr) {
        return;
    }
    window->SetOwner(mainWindow_);
    window->SetWindowStyle(kVideoWindowStyle);
    const std::optional<long> width = window->Width();
    const std::optional<long> height = window->Height();
    // A window that cannot tell its size is not placed with a made-up one.
    if (!width || !height) {
        return;
    }
    window->SetWindowPosition((*width + kVideoMargin) * render + kVideoMargin, kVideoTop, *width, *height);
    window->SetVisible(true);
}

std::unique_ptr<VoiceCalls> MakeVoiceCalls(platform::WindowHandle mainWindow, std::function<int()> voiceEnableOS,
                                           const std::string& file, VoiceNotice notice)
{
    IncomingTapiFactory factory;
    if (voiceEnableOS) {
        std::string error;
        if (const std::optional<VoicePlugin> plugin = LoadVoicePlugin(voiceEnableOS(), file, &error)) {
            factory = plugin->factory();
        } else if (!error.empty()) {
            // The system allows voice but the plug-in is missing or broken: calls will
            // not be answered, and the operator learns why (the journal, for a service).
            std::fprintf(stderr, "ondrel: voice calls unavailable: %s\n", error.c_str());
        }
    }
    return std::make_unique<VoiceCalls>(mainWindow, std::move(factory), std::move(voiceEnableOS), std::move(notice));
}

} // namespace host::voice
