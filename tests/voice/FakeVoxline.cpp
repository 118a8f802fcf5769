// SPDX-License-Identifier: GPL-3.0-or-later
// A stand-in for the telephony plug-in, loaded by the tests through dlopen. Its
// call-handling object rings one call as soon as it listens: from a thread of its
// own it posts the call's arrival and its offer to the main window, as a real
// plug-in does. What the host asks of it, and every event released, goes into a
// journal that the tests take with VoxlineFakeJournal.
#include "host/voice/IncomingTapi.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

namespace {

using namespace host::voice;

std::mutex journalMutex;
std::string journal;

void Record(const std::string& entry)
{
    std::lock_guard lock(journalMutex);
    journal += entry;
    journal += ';';
}

class RingingCall final : public TapiCallInfo, public TapiCallControl {
public:
    std::optional<CALL_PRIVILEGE> Privilege() override { return CP_OWNER; }
    std::shared_ptr<TapiCallControl> QueryCallControl() override { return self.lock(); }
    std::weak_ptr<RingingCall> self;
};

class Event final : public TapiEvent, CallNotificationEvent, CallStateEvent {
public:
    Event(const char* name, std::shared_ptr<RingingCall> call, std::optional<CALL_STATE> state)
        : name_(name), call_(std::move(call)), state_(state)
    {
    }
    ~Event() override { Record(std::string("released ") + name_); }
    CallNotificationEvent* QueryCallNotification() override { return state_ ? nullptr : this; }
    CallStateEvent* QueryCallState() override { return state_ ? this : nullptr; }
    std::shared_ptr<TapiCallInfo> Call() override { return call_; }
    std::optional<CALL_STATE> State() override { return state_; }

private:
    const char* name_;
    std::shared_ptr<RingingCall> call_;
    std::optional<CALL_STATE> state_;
};

class IncomingTapi final : public CIncomingTapi {
public:
    explicit IncomingTapi(platform::WindowHandle window) : window_(window) { Record("new"); }
    ~IncomingTapi() override
    {
        stopRinging();
        Record("delete");
    }
    IncomingTapi(const IncomingTapi&) = delete;
    IncomingTapi& operator=(const IncomingTapi&) = delete;

    long InitializeTapi() override
    {
        Record("InitializeTapi");
        ringer_ = std::thread([this] {
            auto call = std::make_shared<RingingCall>();
            call->self = call;
            PostTapiEvent(window_, TE_CALLNOTIFICATION, std::make_unique<Event>("notification", call, std::nullopt));
            PostTapiEvent(window_, TE_CALLSTATE, std::make_unique<Event>("offer", call, CS_OFFERING));
        });
        return 0;
    }
    long AnswerTheCall() override { return answer("AnswerTheCall"); }
    long DisconnectTheCall() override { return answer("DisconnectTheCall"); }
    void ReleaseTheCall() override
    {
        answer("ReleaseTheCall");
        current_.reset();
    }
    void ShutdownTapi() override
    {
        stopRinging();
        Record("ShutdownTapi");
    }
    void SetCurrentCall(std::shared_ptr<TapiCallControl> call) override
    {
        Record(dynamic_cast<RingingCall*>(call.get()) != nullptr ? "SetCurrentCall ringing" : "SetCurrentCall ?");
        current_ = std::move(call);
    }
    void SetCallerAddress(const std::string& /*address*/) override {}

private:
    long answer(const char* what)
    {
        Record(current_ != nullptr ? what : std::string(what) + " without a call");
        return current_ != nullptr ? 0 : -1;
    }
    void stopRinging()
    {
        if (ringer_.joinable()) {
            ringer_.join();
        }
    }

    platform::WindowHandle window_;
    std::thread ringer_;
    std::shared_ptr<TapiCallControl> current_;
};

} // namespace

extern "C" __attribute__((visibility("default"))) CIncomingTapi* VoxlineCreateIncomingTapi(
    unsigned version, platform::WindowHandle mainWindow)
{
    if (version != kIncomingTapiVersion) {
        return nullptr;
    }
    return new IncomingTapi(mainWindow);
}

// Copies the journal into `text` (cut to `size`) and empties it.
extern "C" __attribute__((visibility("default"))) void VoxlineFakeJournal(char* text, std::size_t size)
{
    std::lock_guard lock(journalMutex);
    if (size > 0) {
        const std::size_t length = std::min(journal.size(), size - 1);
        std::memcpy(text, journal.data(), length);
        text[length] = '\0';
    }
    journal.clear();
}
