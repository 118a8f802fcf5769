// SPDX-License-Identifier: GPL-3.0-or-later
#include "VoxlineTapi.h"

#include "linkcore/Linkcore.h"
#include "linkcore/ServiceTls.h"
#include "platform/Profile.h"
#include "voxline/HostSetup.h"

#include <array>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>

#include <arpa/inet.h>
#include <unistd.h>

namespace voxline {
namespace {

using namespace host::voice;

// How long a login may wait for the engine to come up (it makes its DTLS key then).
constexpr std::chrono::seconds kEngineStartLimit{15};

// The events the plug-in posts. Each holds what the host may ask of it.
class CallInfo final : public TapiCallInfo {
public:
    explicit CallInfo(std::string id) : id_(std::move(id)) {}
    std::optional<CALL_PRIVILEGE> Privilege() override { return CP_OWNER; }
    std::shared_ptr<TapiCallControl> QueryCallControl() override { return std::make_shared<VoxlineCall>(id_); }

private:
    std::string id_;
};

class NotificationEvent final : public TapiEvent, public CallNotificationEvent {
public:
    explicit NotificationEvent(std::string id) : call_(std::make_shared<CallInfo>(std::move(id))) {}
    CallNotificationEvent* QueryCallNotification() override { return this; }
    std::shared_ptr<TapiCallInfo> Call() override { return call_; }

private:
    std::shared_ptr<CallInfo> call_;
};

class StateEvent final : public TapiEvent, public CallStateEvent {
public:
    explicit StateEvent(CALL_STATE state) : state_(state) {}
    CallStateEvent* QueryCallState() override { return this; }
    std::optional<CALL_STATE> State() override { return state_; }

private:
    CALL_STATE state_;
};

// A call's audio: both directions in one stream, no terminals the host could place.
class AudioStream final : public TapiStream {
public:
    std::optional<long> MediaType() override { return TAPIMEDIATYPE_AUDIO; }
    std::optional<TERMINAL_DIRECTION> Direction() override { return TD_BIDIRECTIONAL; }
    std::vector<std::shared_ptr<TapiTerminal>> Terminals() override { return {}; }
};

class MediaEvent final : public TapiEvent, public CallMediaEvent {
public:
    explicit MediaEvent(CALL_MEDIA_EVENT code) : code_(code) {}
    CallMediaEvent* QueryCallMedia() override { return this; }
    std::optional<CALL_MEDIA_EVENT> Event() override { return code_; }
    std::shared_ptr<TapiStream> Stream() override { return std::make_shared<AudioStream>(); }

private:
    CALL_MEDIA_EVENT code_;
};

bool Contains(const std::string& text, std::string_view word)
{
    std::string lower = text;
    for (char& c : lower) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return lower.find(word) != std::string::npos;
}

} // namespace

VoxlineTapi::VoxlineTapi(platform::WindowHandle mainWindow) : window_(mainWindow) {}

VoxlineTapi::~VoxlineTapi() { ShutdownTapi(); }

long VoxlineTapi::InitializeTapi()
{
    // A second start begins afresh, whatever was left of the first.
    ShutdownTapi();
    const platform::Profile& profile = platform::ApplicationProfile();
    const int port = profile.GetProfileInt("Setting", kVoicePortKey, kVoicePortDefault);
    const std::string device = profile.GetProfileString("Setting", kVoiceDeviceKey, kVoiceDeviceDefault);
    const bool plain = profile.GetProfileInt("Setting", kVoicePlainKey, 0) != 0;
    const std::string bind = profile.GetProfileString("Setting", kBindAddressKey, "");
    if (port < 1 || port > 65535) {
        std::fprintf(stderr, "voxline: \"%s\" %d is not a port\n", kVoicePortKey, port);
        return -1;
    }
    EngineSetup setup = HostEngineSetup(port, device.empty() ? kVoiceDeviceDefault : device, plain, bind);
    // The service's identity, which it readied at its start (TlsIdentity.h).
    const linkcore::ServiceTls tls = linkcore::ReadServiceTls(profile);
    if (tls.on && !tls.error.empty()) {
        std::fprintf(stderr, "voxline: %s\n", tls.error.c_str());
        return -1;
    }
    if (tls.on) {
        setup.tlsCertificate = tls.files.certificate;
        setup.tlsKey = tls.files.key;
    }
    tlsOnly_ = tls.on;
    std::string error;
    engine_ = EngineProcess::Start(setup, &error, kEngineStartLimit);
    if (engine_ == nullptr) {
        std::fprintf(stderr, "voxline: %s\n", error.c_str());
        return -1;
    }
    control_ = NetstringReader();
    trace_ = SipTraceReader();
    {
        std::lock_guard<std::mutex> guard(lock_);
        hostCalls_.clear();
        mediaUp_.clear();
        sources_.clear();
        currentCall_.clear();
    }
    const bool watching = watch_.start(*engine_, {.outputReadable = [this] { readOutput(); },
                                                  .controlReadable = [this] {
                                                      if (readControl()) {
                                                          return true;
                                                      }
                                                      engineLost();
                                                      return false;
                                                  }});
    if (!watching) {
        std::fprintf(stderr, "voxline: cannot watch the SIP engine\n");
        engine_.reset();
        return -1;
    }
    return 0;
}

void VoxlineTapi::ShutdownTapi()
{
    watch_.stop();
    // Stopping the engine hangs up what is left (it ends its calls on SIGTERM).
    if (engine_ != nullptr) {
        engine_->stop();
        engine_.reset();
    }
    std::lock_guard<std::mutex> guard(lock_);
    hostCalls_.clear();
    mediaUp_.clear();
    currentCall_.clear();
}

void VoxlineTapi::SetCurrentCall(std::shared_ptr<TapiCallControl> call)
{
    const auto* voxline = dynamic_cast<const VoxlineCall*>(call.get());
    std::lock_guard<std::mutex> guard(lock_);
    currentCall_ = voxline != nullptr ? voxline->id() : std::string();
}

void VoxlineTapi::SetCallerAddress(const std::string& address)
{
    std::lock_guard<std::mutex> guard(lock_);
    callerAddress_ = CanonicalAddress(address);
}

long VoxlineTapi::AnswerTheCall()
{
    std::string call;
    {
        std::lock_guard<std::mutex> guard(lock_);
        // A call that has ended meanwhile is not answered: the engine would take
        // the answer for whatever call it holds as its current one.
        if (hostCalls_.count(currentCall_) != 0) {
            call = currentCall_;
        }
    }
    return !call.empty() && act(call, "accept") ? 0 : -1;
}

long VoxlineTapi::DisconnectTheCall()
{
    std::string call;
    {
        std::lock_guard<std::mutex> guard(lock_);
        call = currentCall_;
    }
    return !call.empty() && act(call, "hangup") ? 0 : -1;
}

void VoxlineTapi::ReleaseTheCall()
{
    std::lock_guard<std::mutex> guard(lock_);
    currentCall_.clear();
}

bool VoxlineTapi::act(const std::string& id, const std::string& verb)
{
    if (engine_ == nullptr) {
        return false;
    }
    // The engine acts on its current call: the selection and the act must not be
    // split by another pair.
    std::lock_guard<std::mutex> guard(actLock_);
    return engine_->send("callfind", id) && engine_->send(verb);
}

void VoxlineTapi::post(platform::WParam type, std::unique_ptr<TapiEvent> event)
{
    PostTapiEvent(window_, type, std::move(event));
}

void VoxlineTapi::readOutput()
{
    std::array<char, 16384> chunk{};
    for (;;) {
        const ssize_t got = read(engine_->outputFd(), chunk.data(), chunk.size());
        if (got <= 0) {
            break;
        }
        trace_.append(std::string_view(chunk.data(), static_cast<std::size_t>(got)));
    }
    std::lock_guard<std::mutex> guard(lock_);
    while (std::optional<TracedInvite> invite = trace_.next()) {
        invite->source = CanonicalAddress(invite->source);
        const auto known = sources_.find(invite->callId);
        if (known == sources_.end()) {
            sources_[invite->callId] = *invite;
        } else if (known->second.source != invite->source || known->second.transport != invite->transport) {
            // Two ways claim one call: the trace was forged in part; trust neither.
            known->second.source.clear();
        }
    }
}

bool VoxlineTapi::readControl()
{
    std::array<char, 16384> chunk{};
    const ssize_t got = recv(engine_->controlFd(), chunk.data(), chunk.size(), MSG_DONTWAIT);
    if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) {
        return false;
    }
    if (got < 0) {
        return true;
    }
    control_.append(std::string_view(chunk.data(), static_cast<std::size_t>(got)));
    while (const std::optional<std::string> payload = control_.next()) {
        if (const std::optional<EngineMessage> message = ParseEngineMessage(*payload)) {
            onMessage(*message);
        }
    }
    // A stream that cannot be framed any more is as good as a closed one.
    return !control_.failed();
}

void VoxlineTapi::onMessage(const EngineMessage& message)
{
    if (!message.event || message.callId.empty()) {
        return;
    }
    if (message.type == "CALL_INCOMING") {
        onIncoming(message);
        return;
    }
    bool hostCall = false;
    bool firstMedia = false;
    {
        std::lock_guard<std::mutex> guard(lock_);
        hostCall = hostCalls_.count(message.callId) != 0;
        if (hostCall && message.type == "CALL_RTPESTAB") {
            firstMedia = mediaUp_.insert(message.callId).second;
        }
    }
    if (!hostCall) {
        // The engine acts on its current call; should an answer meant for a call
        // that has just gone reach a refused one, that call is ended here at once.
        if (message.type == "CALL_ESTABLISHED" && message.direction == "incoming") {
            std::fprintf(stderr, "voxline: call %s (%s) was not to be answered; hung up\n", message.callId.c_str(),
                         message.peerUri.c_str());
            act(message.callId, "hangup");
        }
        return;
    }
    if (firstMedia) {
        post(TE_CALLMEDIA, std::make_unique<MediaEvent>(CME_STREAM_ACTIVE));
    } else if (message.type == "AUDIO_ERROR") {
        post(TE_CALLMEDIA, std::make_unique<MediaEvent>(CME_TERMINAL_FAIL));
    } else if (message.type == "CALL_CLOSED") {
        endHostCall(message.callId, Contains(message.param, "timeout"));
    }
}

std::string VoxlineTapi::refusal(const std::string& callId, std::string* source)
{
    std::lock_guard<std::mutex> guard(lock_);
    const auto traced = sources_.find(callId);
    if (traced != sources_.end()) {
        *source = traced->second.source;
    }
    if (trace_.unreliable()) {
        return "the engine's trace can no longer be trusted";
    }
    if (traced == sources_.end()) {
        return "its source is unknown";
    }
    if (traced->second.source.empty()) {
        return "its source is disputed";
    }
    if (callerAddress_.empty()) {
        return "no client is logged in";
    }
    if (traced->second.source != callerAddress_) {
        return "not from the logged-in client's address";
    }
    if (tlsOnly_ && traced->second.transport != "TLS") {
        return "not over TLS";
    }
    hostCalls_.insert(callId);
    return {};
}

void VoxlineTapi::onIncoming(const EngineMessage& message)
{
    std::string source;
    const std::string reason = refusal(message.callId, &source);
    if (!reason.empty()) {
        // In the activity log as the session's records name a client, by its address;
        // on standard error too, for a service's journal.
        const std::string line =
            (source.empty() ? "-" : source) + " VOICE - Call refused: " + reason + " (" + message.peerUri + ").";
        CLinkcore::MirelLogAdd(line.c_str());
        std::fprintf(stderr, "voxline: %s\n", line.c_str());
        act(message.callId, "hangup");
        return;
    }
    post(TE_CALLNOTIFICATION, std::make_unique<NotificationEvent>(message.callId));
    post(TE_CALLSTATE, std::make_unique<StateEvent>(CS_OFFERING));
}

void VoxlineTapi::endHostCall(const std::string& callId, bool streamFailed)
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        hostCalls_.erase(callId);
        mediaUp_.erase(callId);
        sources_.erase(callId);
    }
    if (streamFailed) {
        post(TE_CALLMEDIA, std::make_unique<MediaEvent>(CME_STREAM_FAIL));
    }
    post(TE_CALLSTATE, std::make_unique<StateEvent>(CS_DISCONNECTED));
}

void VoxlineTapi::engineLost()
{
    std::set<std::string> calls;
    {
        std::lock_guard<std::mutex> guard(lock_);
        calls.swap(hostCalls_);
    }
    std::fprintf(stderr, "voxline: the SIP engine ended\n");
    for (const std::string& call : calls) {
        endHostCall(call, false);
    }
    // Reap it now (it closes its sockets just before it ends); the next
    // InitializeTapi starts a new one.
    for (int tries = 0; tries < 100 && !engine_->exited(); ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

} // namespace voxline

extern "C" __attribute__((visibility("default"))) host::voice::CIncomingTapi*
VoxlineCreateIncomingTapi(unsigned version, platform::WindowHandle mainWindow)
{
    if (version != host::voice::kIncomingTapiVersion || voxline::FindEngine().empty()) {
        return nullptr;
    }
    return new voxline::VoxlineTapi(mainWindow);
}
