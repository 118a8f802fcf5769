// SPDX-License-Identifier: GPL-3.0-or-later
// VoiceLink: the operator's voice for --voice. After each login, once the host offers
// voice ("@@VE1;", Modes.h CallIfOffered), it calls the host's
// voice port through a SIP engine of its own (baresip, the engine driver the host's
// plug-in uses) on the local sound devices, and says on standard error how the call
// goes. The host hangs up when the session ends; the object hangs up when it goes.
// Its thread (an EngineWatch, owned and joined) only reads the engine's events.
#pragma once

#include "voxline/EngineProcess.h"
#include "voxline/EngineProtocol.h"
#include "voxline/EngineWatch.h"

#include <functional>
#include <memory>
#include <string>

namespace client {

class VoiceLink {
public:
    // `device`: the ALSA device for both directions; `say` prints one line. With
    // `tls` (the session is TLS) the call's signalling is too: the host's engine
    // takes SIP over TLS on the voice port + 1.
    VoiceLink(std::string device, unsigned voicePort, bool tls, std::function<void(const std::string&)> say);
    ~VoiceLink();
    VoiceLink(const VoiceLink&) = delete;
    VoiceLink& operator=(const VoiceLink&) = delete;

    // Calls the host at the other end of `sessionSocket`, from the local address
    // that socket uses, so that the host sees the call come from the client's
    // address. A call still up from an earlier session is hung up first.
    // False when the engine could not be started (said why).
    bool callFor(int sessionSocket);

private:
    void stop();
    // Reads what the engine says on its control connection and tells the operator
    // of the call's steps; false when the connection has ended.
    bool readControl();

    std::string device_;
    unsigned voicePort_;
    bool tls_;
    std::function<void(const std::string&)> say_;
    std::unique_ptr<voxline::EngineProcess> engine_;
    voxline::NetstringReader reader_; // the watch's thread alone, while it runs
    voxline::EngineWatch watch_;
};

} // namespace client
