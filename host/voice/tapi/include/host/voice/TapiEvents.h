// SPDX-License-Identifier: GPL-3.0-or-later
// Telephony events as the call-handling plug-in hands them to the main window, and
// the objects reached through them. Each event travels as one posted WM_TAPI_EVENT:
// wParam is the event type, lParam the TapiEvent object. Posting gives the object
// away; whoever takes the message adopts it at once (AdoptTapiEvent), so it is
// released exactly once on every path, also when the message is dropped unhandled.
//
// Everything reached through an event (the call, a stream, its terminals, a video
// window) is shared: the telephony service keeps those alive beyond one event.
// A query or read that fails gives null or an empty optional.
#pragma once

#include "platform/WindowMessage.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace host::voice {

// WM_USER + 101.
inline constexpr std::uint32_t WM_TAPI_EVENT = 0x0465;

// The event type, the message's wParam.
enum TAPI_EVENT : platform::WParam {
    TE_CALLNOTIFICATION = 4,
    TE_CALLSTATE = 8,
    TE_CALLMEDIA = 16,
};

enum CALL_PRIVILEGE : long {
    CP_OWNER = 0,
    CP_MONITOR = 1,
};

enum CALL_STATE : long {
    CS_IDLE = 0,
    CS_INPROGRESS = 1,
    CS_CONNECTED = 2,
    CS_DISCONNECTED = 3,
    CS_OFFERING = 4,
    CS_HOLD = 5,
    CS_QUEUED = 6,
};

enum CALL_MEDIA_EVENT : long {
    CME_NEW_STREAM = 0,
    CME_STREAM_FAIL = 1,
    CME_TERMINAL_FAIL = 2,
    CME_STREAM_NOT_USED = 3,
    CME_STREAM_ACTIVE = 4,
    CME_STREAM_INACTIVE = 5,
};

enum TERMINAL_DIRECTION : long {
    TD_CAPTURE = 0,
    TD_RENDER = 1,
    TD_BIDIRECTIONAL = 2,
};

inline constexpr long TAPIMEDIATYPE_AUDIO = 0x0008;
inline constexpr long TAPIMEDIATYPE_VIDEO = 0x8000;

// Window styles a video window takes.
inline constexpr long WS_CHILD = 0x40000000;
inline constexpr long WS_BORDER = 0x00800000;

// The window a video terminal draws into. Setters give false when the window refused.
class VideoWindow {
public:
    virtual ~VideoWindow() = default;
    // Makes the window a child of `owner`, the window that also receives the events.
    virtual bool SetOwner(platform::WindowHandle owner) = 0;
    virtual bool SetWindowStyle(long style) = 0;
    virtual std::optional<long> Width() = 0;
    virtual std::optional<long> Height() = 0;
    // Position in the owner's client coordinates, and size, in pixels.
    virtual bool SetWindowPosition(long left, long top, long width, long height) = 0;
    virtual bool SetVisible(bool visible) = 0;
};

// A source or sink of a stream's media (microphone, speaker, camera, video window).
class TapiTerminal {
public:
    virtual ~TapiTerminal() = default;
    virtual std::optional<TERMINAL_DIRECTION> Direction() = 0;
    // The terminal's video window; null when it has none.
    virtual std::shared_ptr<VideoWindow> QueryVideoWindow() = 0;
};

// One media stream of a call.
class TapiStream {
public:
    virtual ~TapiStream() = default;
    virtual std::optional<long> MediaType() = 0;
    virtual std::optional<TERMINAL_DIRECTION> Direction() = 0;
    // The terminals selected on the stream, in the service's order.
    virtual std::vector<std::shared_ptr<TapiTerminal>> Terminals() = 0;
};

// The control of a call (answer, drop), handed to the call-handling object as its
// current call. What it does is the plug-in's business; the host only passes it on.
class TapiCallControl {
public:
    virtual ~TapiCallControl() = default;
};

// A call as the notification of its arrival names it.
class TapiCallInfo {
public:
    virtual ~TapiCallInfo() = default;
    virtual std::optional<CALL_PRIVILEGE> Privilege() = 0;
    virtual std::shared_ptr<TapiCallControl> QueryCallControl() = 0;
};

class CallNotificationEvent {
public:
    virtual ~CallNotificationEvent() = default;
    virtual std::shared_ptr<TapiCallInfo> Call() = 0;
};

class CallStateEvent {
public:
    virtual ~CallStateEvent() = default;
    virtual std::optional<CALL_STATE> State() = 0;
};

class CallMediaEvent {
public:
    virtual ~CallMediaEvent() = default;
    virtual std::optional<CALL_MEDIA_EVENT> Event() = 0;
    virtual std::shared_ptr<TapiStream> Stream() = 0;
};

// One telephony event. The views are the event itself seen as one kind of event,
// valid while it lives; null when it is not of that kind.
class TapiEvent {
public:
    virtual ~TapiEvent() = default;
    virtual CallNotificationEvent* QueryCallNotification() { return nullptr; }
    virtual CallStateEvent* QueryCallState() { return nullptr; }
    virtual CallMediaEvent* QueryCallMedia() { return nullptr; }
};

// Posts `event` to `window` as WM_TAPI_EVENT. Without a window nobody would adopt
// it, so it is released here. Callable from any thread.
inline void PostTapiEvent(platform::WindowHandle window, platform::WParam type, std::unique_ptr<TapiEvent> event)
{
    if (window == nullptr || event == nullptr) {
        return;
    }
    window->post(WM_TAPI_EVENT, type, reinterpret_cast<platform::LParam>(event.release()));
}

// Takes ownership of the event carried by a WM_TAPI_EVENT's lParam.
inline std::unique_ptr<TapiEvent> AdoptTapiEvent(platform::LParam lParam)
{
    return std::unique_ptr<TapiEvent>(reinterpret_cast<TapiEvent*>(lParam));
}

// Releases the event of every WM_TAPI_EVENT in `messages`: for a message loop that
// ends with messages still waiting.
inline void ReleaseTapiEvents(const std::vector<platform::Message>& messages)
{
    for (const platform::Message& message : messages) {
        if (message.message == WM_TAPI_EVENT) {
            AdoptTapiEvent(message.lParam);
        }
    }
}

} // namespace host::voice
