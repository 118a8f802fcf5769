// SPDX-License-Identifier: GPL-3.0-or-later
// The session's fixed texts: those for the client come from the protocol's one list
// (protocol/HostTexts.h), which the client shares; what the session-close
// steps send the radio is the session's own.
#pragma once

#include "protocol/HostTexts.h"

#include <string_view>

namespace linkcore {

// ---- To the client: the protocol's texts ----
using protocol::kAccountCommandUnknown;
using protocol::kCommandRefused;
using protocol::kCommandTooLong;
using protocol::kGreeting;
using protocol::kIdleTimeout;
using protocol::kLoggedIn;
using protocol::kLoginFailed;
using protocol::kLoginTimeout;
using protocol::kPasswordWrong;
using protocol::kRadioLost;
using protocol::kUserDisabled;
using protocol::kUserIdAgain;
using protocol::kUserIdOk;

// ---- To the activity log, for connections that never were a session ----
// A client whose TLS handshake failed at the TLS port (a plain-text client, for one).
inline constexpr std::string_view kTlsHandshakeFailedText = "Connection Error:TLS handshake failed.";
// A client that opened with a TLS handshake at the plain port.
inline constexpr std::string_view kTlsOnPlainPortText = "Connection Error:TLS handshake on a plain port.";

// A TLS handshake record begins with content type 22 and major version 3.
inline constexpr bool IsTlsHandshake(std::string_view text)
{
    return text.size() >= 2 && text[0] == '\x16' && text[1] == '\x03';
}

// ---- To the radio, at the close of a session ----
// A Corvex is first taken out of pass-through mode (protocol::kPassThroughExit); a
// Tarsel is sent an empty keying text: "KY", a space, 24 spaces and ";".
inline constexpr std::string_view kTarselKeyingClear = "KY                         ;";
static_assert(kTarselKeyingClear.size() == 2 + 1 + 24 + 1);
// Then, for any model: model ID, receive, status.
inline constexpr std::string_view kRadioStatusRequest = "ID;RX;IF;";

} // namespace linkcore
