// SPDX-License-Identifier: GPL-3.0-or-later
// The host's side of a session as the client sees it (the host's texts are the
// protocol's, protocol/HostTexts.h): the login dialogue as a state machine over
// received bytes, the stream of a logged-in session cut into radio text and the
// host's own messages, and the shaping of typed lines into commands. Pure functions and plain objects; no I/O.
#pragma once

#include "protocol/HostTexts.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace client {


// The longest user ID and password the host takes.
inline constexpr std::size_t kMaxCredentialLength = 32;
// The host counts wrong passwords per connection and closes it at the third.
inline constexpr int kHostPasswordAttempts = 3;

// Why a user ID or password cannot be sent; empty when it can.
std::string CredentialProblem(std::string_view what, std::string_view value);

enum class LoginResult {
    InProgress,       // waiting for the host
    LoggedIn,         // "PWD:OK;>@@UE1;"
    PasswordWrong,    // "PWD:NG;" and the host still listens: another password may be tried
    Busy,             // "BUSY;": another operator holds the host
    LoginFailed,      // "Login failed. Good-Bye": the third wrong password
    UserDisabled,     // "PWD:OK;>@@UE0;"
    LoginTimeout,     // "Login timeout."
    CommandRefused,   // "CMD:NG;" or "UID:NG;": the host refused the login text
    UnexpectedText,   // something that is not this host's login dialogue
    ConnectionClosed, // the host closed the connection without saying why
};

// The login dialogue: waits for the greeting, sends the user ID, then the password.
// Feed it what the host sends; take what it wants sent. After LoggedIn, the bytes
// that followed the login reply are the start of the session (sessionBytes()).
class LoginDialogue {
public:
    LoginDialogue(std::string userId, std::string password);

    void receive(std::string_view bytes);
    // The host closed the connection.
    void closed();
    // After PasswordWrong: sends `password` next and waits again.
    void retry(std::string password);

    LoginResult result() const { return result_; }
    // Text to send to the host now (emptied by the call).
    std::string takeOutgoing();
    // Bytes received after the login reply.
    std::string takeSessionBytes();
    // The text that did not belong to the dialogue (UnexpectedText).
    const std::string& unexpected() const { return unexpected_; }
    int wrongPasswords() const { return wrongPasswords_; }
    // The host's greeting has arrived.
    bool greeted() const { return stage_ != Stage::Greeting; }

private:
    enum class Stage { Greeting, UserReply, PasswordReply, Done };
    void process();
    void finish(LoginResult result);

    std::string userId_;
    std::string password_;
    Stage stage_ = Stage::Greeting;
    LoginResult result_ = LoginResult::InProgress;
    std::string pending_;
    std::string outgoing_;
    std::string unexpected_;
    int wrongPasswords_ = 0;
};

// One piece of a logged-in session's stream from the host.
struct SessionItem {
    enum class Kind {
        RadioText,      // the radio's text; a whole reply ends with ";", a piece may not
        AccountReply,   // the host's answer to an "@@" command ("@@ST...;", "@@AI1;", "@@?;")
        Voice,          // "@@VE1;": the host answers telephone calls during the session
        IdleTimeout,    // "Connection time out.": 30 s without commands
        CommandTooLong, // "Command length too long!!": 1024 characters without ";"
        RadioLost,      // "Radio connection lost.": the host lost its radio and stops
    };
    Kind kind;
    std::string text;

    bool operator==(const SessionItem&) const = default;
};

// True for the items after which the host closes the session.
bool EndsSession(SessionItem::Kind kind);

// Cuts a logged-in session's stream into items. Radio text is handed out as soon as
// it cannot be the start of one of the host's own texts, so raw text without ";"
// is not held back; text that could still become a host text waits for more bytes
// or for flush().
class SessionStream {
public:
    std::vector<SessionItem> feed(std::string_view bytes);
    // Hands out whatever is held as radio text (nothing more came for a while).
    std::vector<SessionItem> flush();
    bool holding() const { return !pending_.empty(); }

private:
    void emitRadio(std::vector<SessionItem>& items, std::size_t length);

    std::string pending_;
    bool atReplyStart_ = true;
};

// A typed line as a command: line ends removed, leading blanks dropped, ";" added
// when missing. Empty when the line holds no command.
std::string CommandFromLine(std::string_view line);
// The bytes without CR and LF, which the host would take as part of the next command.
std::string WithoutLineEnds(std::string_view bytes);
// The mnemonic a reply to `command` begins with: "@@" and two letters for account
// commands, else the first two characters, upper-cased.
std::string ReplyMnemonic(std::string_view command);

} // namespace client
