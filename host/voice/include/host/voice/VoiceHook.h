// SPDX-License-Identifier: GPL-3.0-or-later
// VoiceHook: the service controller's view of voice-call handling. The controller
// calls it on its own thread at a client's login, when the session closes, in the
// stop sequence and when it goes; it decides nothing about voice itself.
#pragma once

#include <string>

namespace host {

class VoiceHook {
public:
    virtual ~VoiceHook() = default;

    // A client has logged in from `clientAddress`: starts call handling when voice
    // is enabled and possible, for calls from that address only. True when it runs
    // now; the controller then tells the client.
    virtual bool startForLogin(const std::string& clientAddress) = 0;
    // Stops call handling; nothing when it does not run.
    virtual void stop() = 0;
    virtual bool active() const = 0;
};

} // namespace host
