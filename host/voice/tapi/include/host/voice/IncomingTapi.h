// SPDX-License-Identifier: GPL-3.0-or-later
// CIncomingTapi: what the host needs of the call-handling object that the telephony
// plug-in provides. The object listens for incoming calls and posts every telephony
// event to the main window it was made for (WM_TAPI_EVENT, see TapiEvents.h), from
// threads of its own. The host calls it only on the main window's thread, and owns
// it: it is deleted through the virtual destructor, whose code lives in the plug-in.
//
// The plug-in is a shared library exporting one C function, kIncomingTapiFactory, of
// type IncomingTapiFactoryFunction: given the interface version and the main window,
// it returns a new object, or null when it cannot make one (another interface version,
// no telephony service).
#pragma once

#include "host/voice/TapiEvents.h"
#include "platform/WindowMessage.h"

#include <memory>
#include <string>

namespace host::voice {

class CIncomingTapi {
public:
    virtual ~CIncomingTapi() = default;

    // Starts listening for incoming calls.
    virtual long InitializeTapi() = 0;
    // Act on the current call (below); nothing when there is none.
    virtual long AnswerTheCall() = 0;
    virtual long DisconnectTheCall() = 0;
    virtual void ReleaseTheCall() = 0;
    // Stops listening and lets go of every telephony object.
    virtual void ShutdownTapi() = 0;
    // Makes `call`, one the host owns, the call the three operations above act on.
    virtual void SetCurrentCall(std::shared_ptr<TapiCallControl> call) = 0;
    // Calls are answered only when they come from `address` (an IP address in text,
    // the logged-in client's); empty: from nowhere. Other calls never reach the host.
    virtual void SetCallerAddress(const std::string& address) = 0;
};

// Raised whenever this interface, or the event types it uses, change incompatibly.
inline constexpr unsigned kIncomingTapiVersion = 2;

using IncomingTapiFactoryFunction = CIncomingTapi* (*)(unsigned version, platform::WindowHandle mainWindow);
inline constexpr const char* kIncomingTapiFactory = "VoxlineCreateIncomingTapi";

} // namespace host::voice
