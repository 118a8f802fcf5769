// The session protocol's fixed texts, as the client and the radio see them, in one
// place: the server's greeting and farewells, the login dialogue's and the account
// commands' replies, and what the session-close steps send the radio.
#pragma once

#include <string_view>

namespace linkcore {

// ---- To the client ----
inline constexpr std::string_view kGreeting = "\r\n\r\nHello!! This is ORVANE MIREL.\r\n>";
inline constexpr std::string_view kLoginTimeoutText = "\r\nLogin timeout.";
inline constexpr std::string_view kIdleTimeoutText = "\r\nConnection time out.\r\nGood-Bye\r\n;";
inline constexpr std::string_view kCommandTooLongText = "\r\nConnection Error:Command length too long!!\r\nGood-Bye\r\n;";
inline constexpr std::string_view kRadioLostText = "\r\nConnection Error:Radio connection lost.\r\nGood-Bye\r\n;";

// The login dialogue and the account commands.
inline constexpr std::string_view kUserIdOk = "\r\nUID:OK;\r\n>";
inline constexpr std::string_view kUserIdAgain = "\r\nUID:NG;\r\n>";
inline constexpr std::string_view kPasswordWrong = "\r\nPWD:NG;\r\n>";
inline constexpr std::string_view kLoginFailed = "\r\nLogin failed. Good-Bye\r\n;";
inline constexpr std::string_view kUserDisabled = "\r\nPWD:OK;>@@UE0;";
inline constexpr std::string_view kLoggedIn = "PWD:OK;>@@UE1;";
inline constexpr std::string_view kCommandRefused = "\r\nCMD:NG;\r\n>";
inline constexpr std::string_view kAccountCommandUnknown = "@@?;";

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
// What takes a Corvex out of pass-through mode: ETX, then "TC 1".
inline constexpr std::string_view kCorvexResetText = "\x03;\rTC 1;\rID;RX;IF;";
// An empty keying text for a Tarsel: "KY", a space, 24 spaces and ";".
inline constexpr std::string_view kTarselResetText = "KY                         ;ID;RX;IF;";
// Model ID, receive, status: for a radio of any other model.
inline constexpr std::string_view kRadioStatusRequest = "ID;RX;IF;";
static_assert(kTarselResetText.substr(0, kTarselResetText.find(';')).size() == 2 + 1 + 24);
static_assert(kCorvexResetText.ends_with(kRadioStatusRequest) && kTarselResetText.ends_with(kRadioStatusRequest));

} // namespace linkcore
