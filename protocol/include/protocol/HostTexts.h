// SPDX-License-Identifier: GPL-3.0-or-later
// The texts the host sends a remote client over TCP, byte for byte, and the ways a
// session ends as the client sees them. The one list that the session server sends
// from and that the client, the soak and the tests recognise; header only, with no
// dependency, so that the client takes it without linking any of the host's libraries.
// Installed as <ondrel/protocol/HostTexts.h> for clients of other authors.
#pragma once

#include <array>
#include <string_view>

namespace protocol {

// ---- Connecting ----
// The greeting of a connection the host has taken.
inline constexpr std::string_view kGreeting = "\r\n\r\nHello!! This is ORVANE MIREL.\r\n>";
// Another operator holds the session; the connection is closed at once.
inline constexpr std::string_view kBusy = "BUSY;";

// ---- The login dialogue and the account commands ----
inline constexpr std::string_view kUserIdOk = "\r\nUID:OK;\r\n>";
inline constexpr std::string_view kUserIdAgain = "\r\nUID:NG;\r\n>";
inline constexpr std::string_view kPasswordWrong = "\r\nPWD:NG;\r\n>";
inline constexpr std::string_view kLoginFailed = "\r\nLogin failed. Good-Bye\r\n;";
inline constexpr std::string_view kUserDisabled = "\r\nPWD:OK;>@@UE0;";
inline constexpr std::string_view kLoggedIn = "PWD:OK;>@@UE1;";
inline constexpr std::string_view kCommandRefused = "\r\nCMD:NG;\r\n>";
inline constexpr std::string_view kAccountCommandUnknown = "@@?;";

// ---- The end of a session ----
// 30 s after the greeting without a login.
inline constexpr std::string_view kLoginTimeout = "\r\nLogin timeout.";
// Logged in, 30 s without a command.
inline constexpr std::string_view kIdleTimeout = "\r\nConnection time out.\r\nGood-Bye\r\n;";
// 1024 characters of one command without its ";".
inline constexpr std::string_view kCommandTooLong = "\r\nConnection Error:Command length too long!!\r\nGood-Bye\r\n;";
// The radio's line was lost: sent before the close, whatever stops the service.
inline constexpr std::string_view kRadioLost = "\r\nConnection Error:Radio connection lost.\r\nGood-Bye\r\n;";

// Every way a session ends. The session limit and a stopped service close the
// connection without a word; the others have their text.
enum class SessionEnd {
    Busy,           // kBusy, instead of the greeting
    LoginFailed,    // kLoginFailed: the third wrong password
    LoginTimeout,   // kLoginTimeout
    IdleTimeout,    // kIdleTimeout
    CommandTooLong, // kCommandTooLong
    RadioLost,      // kRadioLost
    Closed,         // no text: the session limit, a stopped service, a client refused
};

struct SessionEndText {
    std::string_view text;
    SessionEnd end;
};

// The farewells that may follow radio text in a logged-in session, each at the start
// of a reply (after a ";" or at the start of the stream).
inline constexpr std::array kSessionFarewells{
    SessionEndText{kIdleTimeout, SessionEnd::IdleTimeout},
    SessionEndText{kCommandTooLong, SessionEnd::CommandTooLong},
    SessionEndText{kRadioLost, SessionEnd::RadioLost},
};

} // namespace protocol
