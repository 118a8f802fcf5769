// SPDX-License-Identifier: GPL-3.0-or-later
// VoxlineTapi: the host's call-handling object on the SIP engine. InitializeTapi
// starts the engine (EngineProcess) with the settings of the moment and a thread of
// the object's own that turns the engine's events into telephony events posted to
// the main window; ShutdownTapi hangs up, stops that thread and ends the engine.
//
// Who may call: only the address set with SetCallerAddress, the logged-in client's,
// as the engine's transport saw the INVITE come from (its SIP trace); the From header
// is not looked at. With the service's TLS on ("MIREL TLS"), the engine also takes SIP
// over TLS with the service's certificate, and a call whose INVITE came any other way
// is refused. Any call refused is refused by the thread itself and never reaches the
// host; the refusal goes into the activity log with the caller's address.
//
// Threads: the public operations run on the main window's thread; the event thread
// (an EngineWatch) is owned and joined by ShutdownTapi and the destructor.
// What both touch (the allowed address, the calls) is guarded by one mutex.
#pragma once

#include "host/voice/IncomingTapi.h"
#include "voxline/EngineProcess.h"
#include "voxline/EngineProtocol.h"
#include "voxline/EngineWatch.h"

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

namespace voxline {

// Settings, section "Setting", and their defaults.
inline constexpr const char* kVoiceDeviceKey = "MIREL Voice Device";
inline constexpr const char* kVoiceDeviceDefault = "default";
inline constexpr const char* kVoicePortKey = "MIREL Voice Port";
inline constexpr int kVoicePortDefault = 5060;
inline constexpr const char* kVoicePlainKey = "MIREL Voice Plain";
inline constexpr const char* kBindAddressKey = "MIREL Bind Address";

// The call the host owns and hands back as its current call: the engine's call id.
class VoxlineCall final : public host::voice::TapiCallControl {
public:
    explicit VoxlineCall(std::string id) : id_(std::move(id)) {}
    const std::string& id() const { return id_; }

private:
    std::string id_;
};

class VoxlineTapi final : public host::voice::CIncomingTapi {
public:
    explicit VoxlineTapi(platform::WindowHandle mainWindow);
    ~VoxlineTapi() override;
    VoxlineTapi(const VoxlineTapi&) = delete;
    VoxlineTapi& operator=(const VoxlineTapi&) = delete;

    // 0 on success, -1 when the engine could not be started (reason on stderr).
    long InitializeTapi() override;
    long AnswerTheCall() override;
    long DisconnectTheCall() override;
    void ReleaseTheCall() override;
    void ShutdownTapi() override;
    void SetCurrentCall(std::shared_ptr<host::voice::TapiCallControl> call) override;
    void SetCallerAddress(const std::string& address) override;

private:
    void readOutput();
    // False when the control connection is closed or broken.
    bool readControl();
    void onMessage(const EngineMessage& message);
    void onIncoming(const EngineMessage& message);
    // Refusal reason for a call from the trace's records; empty when allowed.
    std::string refusal(const std::string& callId, std::string* source);
    void endHostCall(const std::string& callId, bool streamFailed);
    void engineLost();
    // Selects call `id` in the engine and sends `verb` for it, both in one piece.
    bool act(const std::string& id, const std::string& verb);
    void post(platform::WParam type, std::unique_ptr<host::voice::TapiEvent> event);

    platform::WindowHandle window_;
    std::unique_ptr<EngineProcess> engine_;
    EngineWatch watch_;
    // Set by InitializeTapi before the event thread starts, which alone reads it.
    bool tlsOnly_ = false;

    std::mutex lock_;
    std::string callerAddress_;        // normalised; empty: nobody
    std::string currentCall_;          // the host's current call
    std::set<std::string> hostCalls_;  // calls handed to the host, not yet closed
    std::set<std::string> mediaUp_;    // of those, the ones whose media flows
    // Call-ID -> how its INVITE came: the source address (canonical; "" after a
    // conflict) and the transport.
    std::map<std::string, TracedInvite> sources_;
    std::mutex actLock_;

    // Only the event thread touches these.
    NetstringReader control_;
    SipTraceReader trace_;
};

} // namespace voxline
