// SPDX-License-Identifier: GPL-3.0-or-later
// Fakes of the telephony side: a call-handling object that writes what it is asked
// into a journal, and events with every query and read switchable to fail. Each
// event counts itself in an EventCount when it is made and when it is released.
#pragma once

#include "host/voice/IncomingTapi.h"
#include "host/voice/TapiEvents.h"
#include "host/voice/VoicePlugin.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace voicetest {

using namespace host::voice;

struct Journal {
    std::vector<std::string> entries;
    void add(std::string entry) { entries.push_back(std::move(entry)); }
    // The entries since the last take.
    std::vector<std::string> take() { return std::exchange(entries, {}); }
};

// A call, named so that the journal can say which one is current.
struct FakeCallControl final : TapiCallControl {
    explicit FakeCallControl(std::string name) : name(std::move(name)) {}
    std::string name;
};

class FakeIncomingTapi final : public CIncomingTapi {
public:
    FakeIncomingTapi(std::shared_ptr<Journal> journal, platform::WindowHandle window)
        : window(window), journal_(std::move(journal))
    {
        journal_->add("new");
    }
    ~FakeIncomingTapi() override { journal_->add("delete"); }

    long InitializeTapi() override
    {
        record("InitializeTapi");
        return initializeResult;
    }
    long AnswerTheCall() override { return record("AnswerTheCall"); }
    long DisconnectTheCall() override { return record("DisconnectTheCall"); }
    void ReleaseTheCall() override { record("ReleaseTheCall"); }
    void ShutdownTapi() override
    {
        record("ShutdownTapi");
        if (onShutdown) {
            onShutdown();
        }
    }
    void SetCurrentCall(std::shared_ptr<TapiCallControl> call) override
    {
        const auto* named = dynamic_cast<FakeCallControl*>(call.get());
        record("SetCurrentCall " + (named != nullptr ? named->name : std::string("?")));
        current = std::move(call);
    }
    // Kept, not journalled: the journal is about the calls' order.
    void SetCallerAddress(const std::string& address) override { callerAddress = address; }

    platform::WindowHandle window;
    long initializeResult = 0;
    std::string callerAddress;
    std::shared_ptr<TapiCallControl> current;
    std::function<void()> onShutdown;

private:
    long record(const std::string& entry)
    {
        journal_->add(entry);
        return 0;
    }
    std::shared_ptr<Journal> journal_;
};

// A factory of FakeIncomingTapi objects that keeps hold of the last one it made.
struct FakeFactory {
    std::shared_ptr<Journal> journal = std::make_shared<Journal>();
    FakeIncomingTapi* last = nullptr;
    bool refuse = false;          // makes no object, as a plug-in without telephony would
    bool engineFails = false;     // its objects' InitializeTapi fails (-1)

    IncomingTapiFactory factory()
    {
        return [this](platform::WindowHandle window) -> std::unique_ptr<CIncomingTapi> {
            if (refuse) {
                return nullptr;
            }
            auto object = std::make_unique<FakeIncomingTapi>(journal, window);
            object->initializeResult = engineFails ? -1 : 0;
            last = object.get();
            return object;
        };
    }
};

class FakeVideoWindow final : public VideoWindow {
public:
    bool SetOwner(platform::WindowHandle window) override
    {
        owner = window;
        return true;
    }
    bool SetWindowStyle(long value) override
    {
        style = value;
        return true;
    }
    std::optional<long> Width() override { return width; }
    std::optional<long> Height() override { return height; }
    bool SetWindowPosition(long left, long top, long w, long h) override
    {
        placed = {left, top, w, h};
        return true;
    }
    bool SetVisible(bool value) override
    {
        visible = value;
        return true;
    }

    std::optional<long> width = 176;
    std::optional<long> height = 144;
    platform::WindowHandle owner = nullptr;
    std::optional<long> style;
    std::optional<std::vector<long>> placed;
    bool visible = false;
};

struct FakeTerminal final : TapiTerminal {
    FakeTerminal(std::optional<TERMINAL_DIRECTION> direction, std::shared_ptr<FakeVideoWindow> window)
        : direction(direction), window(std::move(window))
    {
    }
    std::optional<TERMINAL_DIRECTION> Direction() override { return direction; }
    std::shared_ptr<VideoWindow> QueryVideoWindow() override { return window; }

    std::optional<TERMINAL_DIRECTION> direction;
    std::shared_ptr<FakeVideoWindow> window;
};

struct FakeStream final : TapiStream {
    std::optional<long> MediaType() override { return mediaType; }
    std::optional<TERMINAL_DIRECTION> Direction() override { return direction; }
    std::vector<std::shared_ptr<TapiTerminal>> Terminals() override { return {terminals.begin(), terminals.end()}; }

    std::optional<long> mediaType = TAPIMEDIATYPE_VIDEO;
    std::optional<TERMINAL_DIRECTION> direction = TD_RENDER;
    std::vector<std::shared_ptr<FakeTerminal>> terminals;
};

struct FakeCall final : TapiCallInfo {
    explicit FakeCall(const std::string& name) : control(std::make_shared<FakeCallControl>(name)) {}
    std::optional<CALL_PRIVILEGE> Privilege() override { return privilege; }
    std::shared_ptr<TapiCallControl> QueryCallControl() override { return control; }

    std::optional<CALL_PRIVILEGE> privilege = CP_OWNER;
    std::shared_ptr<FakeCallControl> control;
};

struct EventCount {
    int made = 0;
    int released = 0;
};

// One event of any kind: which views it answers and what they read are its fields.
class FakeEvent final : public TapiEvent, CallNotificationEvent, CallStateEvent, CallMediaEvent {
public:
    explicit FakeEvent(EventCount& count) : count_(count) { ++count_.made; }
    ~FakeEvent() override { ++count_.released; }
    FakeEvent(const FakeEvent&) = delete;
    FakeEvent& operator=(const FakeEvent&) = delete;

    CallNotificationEvent* QueryCallNotification() override { return notification ? this : nullptr; }
    CallStateEvent* QueryCallState() override { return callState ? this : nullptr; }
    CallMediaEvent* QueryCallMedia() override { return media ? this : nullptr; }
    std::shared_ptr<TapiCallInfo> Call() override { return call; }
    std::optional<CALL_STATE> State() override { return state; }
    std::optional<CALL_MEDIA_EVENT> Event() override { return mediaEvent; }
    std::shared_ptr<TapiStream> Stream() override { return stream; }

    bool notification = false;
    bool callState = false;
    bool media = false;
    std::shared_ptr<FakeCall> call;
    std::optional<CALL_STATE> state;
    std::optional<CALL_MEDIA_EVENT> mediaEvent;
    std::shared_ptr<FakeStream> stream;

private:
    EventCount& count_;
};

// Builders of the usual events.
inline std::unique_ptr<FakeEvent> NotificationOf(EventCount& count, std::shared_ptr<FakeCall> call)
{
    auto event = std::make_unique<FakeEvent>(count);
    event->notification = true;
    event->call = std::move(call);
    return event;
}

inline std::unique_ptr<FakeEvent> StateOf(EventCount& count, CALL_STATE state)
{
    auto event = std::make_unique<FakeEvent>(count);
    event->callState = true;
    event->state = state;
    return event;
}

inline std::unique_ptr<FakeEvent> MediaOf(EventCount& count, CALL_MEDIA_EVENT code,
                                          std::shared_ptr<FakeStream> stream = nullptr)
{
    auto event = std::make_unique<FakeEvent>(count);
    event->media = true;
    event->mediaEvent = code;
    event->stream = std::move(stream);
    return event;
}

// A video stream of `direction` with the given terminals.
inline std::shared_ptr<FakeStream> VideoStream(TERMINAL_DIRECTION direction,
                                               std::vector<std::shared_ptr<FakeTerminal>> terminals)
{
    auto stream = std::make_shared<FakeStream>();
    stream->direction = direction;
    stream->terminals = std::move(terminals);
    return stream;
}

} // namespace voicetest
