// SPDX-License-Identifier: GPL-3.0-or-later
// The login dialogue and the session stream as state machines over received bytes.

#include "client/HostProtocol.h"

#include "platform/AsciiText.h"

#include <algorithm>
#include <array>

namespace client {
namespace {

// An "@@" text longer than this without ";" is not one of the host's.
constexpr std::size_t kLongestAccountReply = 32;

SessionItem::Kind FarewellKind(protocol::SessionEnd end)
{
    switch (end) {
    case protocol::SessionEnd::IdleTimeout: return SessionItem::Kind::IdleTimeout;
    case protocol::SessionEnd::CommandTooLong: return SessionItem::Kind::CommandTooLong;
    case protocol::SessionEnd::RadioLost: return SessionItem::Kind::RadioLost;
    default: break;
    }
    return SessionItem::Kind::RadioText;
}

} // namespace

bool EndsSession(SessionItem::Kind kind)
{
    return kind == SessionItem::Kind::IdleTimeout || kind == SessionItem::Kind::CommandTooLong ||
           kind == SessionItem::Kind::RadioLost;
}

std::string CredentialProblem(std::string_view what, std::string_view value)
{
    const std::string name(what);
    if (value.empty()) {
        return "the " + name + " is empty";
    }
    if (value.size() > kMaxCredentialLength) {
        return "the " + name + " is longer than " + std::to_string(kMaxCredentialLength) + " characters";
    }
    if (value.find(';') != std::string_view::npos) {
        return "the " + name + " contains \";\", which ends a command for the host";
    }
    if (std::any_of(value.begin(), value.end(), [](char c) { return c == '\r' || c == '\n' || c == '\0'; })) {
        return "the " + name + " contains a line break";
    }
    return {};
}

LoginDialogue::LoginDialogue(std::string userId, std::string password)
    : userId_(std::move(userId)), password_(std::move(password))
{
}

void LoginDialogue::receive(std::string_view bytes)
{
    // Once logged in, what follows belongs to the session.
    if (stage_ == Stage::Done && result_ != LoginResult::LoggedIn) {
        return;
    }
    pending_.append(bytes);
    process();
}

void LoginDialogue::closed()
{
    if (stage_ != Stage::Done) {
        finish(LoginResult::ConnectionClosed);
    }
}

void LoginDialogue::retry(std::string password)
{
    if (result_ != LoginResult::PasswordWrong) {
        return;
    }
    password_ = std::move(password);
    result_ = LoginResult::InProgress;
    outgoing_ += "PWD:" + password_ + ";";
    process();
}

std::string LoginDialogue::takeOutgoing()
{
    std::string text;
    text.swap(outgoing_);
    return text;
}

std::string LoginDialogue::takeSessionBytes()
{
    if (result_ != LoginResult::LoggedIn) {
        return {};
    }
    std::string text;
    text.swap(pending_);
    return text;
}

void LoginDialogue::finish(LoginResult result)
{
    result_ = result;
    stage_ = Stage::Done;
}

void LoginDialogue::process()
{
    using namespace protocol;
    struct Expected {
        std::string_view text;
        Stage stage;
    };
    // What the host may send at each stage. The login timeout can end any of them.
    static constexpr std::array kExpected{
        Expected{kGreeting, Stage::Greeting},         Expected{kBusy, Stage::Greeting},
        Expected{kUserIdOk, Stage::UserReply},        Expected{kUserIdAgain, Stage::UserReply},
        Expected{kCommandRefused, Stage::UserReply},  Expected{kLoggedIn, Stage::PasswordReply},
        Expected{kPasswordWrong, Stage::PasswordReply}, Expected{kLoginFailed, Stage::PasswordReply},
        Expected{kUserDisabled, Stage::PasswordReply}, Expected{kCommandRefused, Stage::PasswordReply},
        Expected{kLoginTimeout, Stage::Greeting},     Expected{kLoginTimeout, Stage::UserReply},
        Expected{kLoginTimeout, Stage::PasswordReply},
    };
    while (stage_ != Stage::Done && !pending_.empty()) {
        const Expected* match = nullptr;
        bool partial = false;
        for (const Expected& expected : kExpected) {
            if (expected.stage != stage_) {
                continue;
            }
            if (pending_.starts_with(expected.text)) {
                match = &expected;
                break;
            }
            if (expected.text.starts_with(pending_)) {
                partial = true;
            }
        }
        if (match == nullptr) {
            if (!partial) {
                unexpected_ = pending_;
                finish(LoginResult::UnexpectedText);
            }
            return;
        }
        pending_.erase(0, match->text.size());
        const std::string_view text = match->text;
        if (text == kGreeting) {
            outgoing_ += "UID:" + userId_ + ";";
            stage_ = Stage::UserReply;
        } else if (text == kUserIdOk) {
            outgoing_ += "PWD:" + password_ + ";";
            stage_ = Stage::PasswordReply;
        } else if (text == kLoggedIn) {
            finish(LoginResult::LoggedIn);
        } else if (text == kPasswordWrong) {
            ++wrongPasswords_;
            // The third wrong password is followed by the host's farewell.
            result_ = wrongPasswords_ >= kHostPasswordAttempts ? LoginResult::InProgress : LoginResult::PasswordWrong;
        } else if (text == kBusy) {
            finish(LoginResult::Busy);
        } else if (text == kLoginFailed) {
            finish(LoginResult::LoginFailed);
        } else if (text == kUserDisabled) {
            finish(LoginResult::UserDisabled);
        } else if (text == kLoginTimeout) {
            finish(LoginResult::LoginTimeout);
        } else {
            finish(LoginResult::CommandRefused);
        }
    }
}

std::vector<SessionItem> SessionStream::feed(std::string_view bytes)
{
    using Kind = SessionItem::Kind;
    std::vector<SessionItem> items;
    pending_.append(bytes);
    while (!pending_.empty()) {
        if (atReplyStart_) {
            bool hold = false;
            bool matched = false;
            for (const auto& [text, end] : protocol::kSessionFarewells) {
                if (pending_.starts_with(text)) {
                    items.push_back({FarewellKind(end), std::string(text)});
                    pending_.erase(0, text.size());
                    matched = true;
                    break;
                }
                hold = hold || text.starts_with(pending_);
            }
            if (matched) {
                continue;
            }
            if (pending_ == "@") {
                hold = true;
            } else if (pending_.starts_with("@@")) {
                const std::size_t end = pending_.find(';');
                if (end != std::string::npos && end < kLongestAccountReply) {
                    std::string text = pending_.substr(0, end + 1);
                    const bool voice = text.size() == 6 && text.starts_with("@@VE") && text[4] >= '0' && text[4] <= '9';
                    items.push_back({voice ? Kind::Voice : Kind::AccountReply, std::move(text)});
                    pending_.erase(0, end + 1);
                    continue;
                }
                hold = hold || (end == std::string::npos && pending_.size() < kLongestAccountReply);
            }
            if (hold) {
                break;
            }
        }
        const std::size_t end = pending_.find(';');
        emitRadio(items, end == std::string::npos ? pending_.size() : end + 1);
    }
    return items;
}

std::vector<SessionItem> SessionStream::flush()
{
    std::vector<SessionItem> items;
    if (!pending_.empty()) {
        emitRadio(items, pending_.size());
    }
    return items;
}

void SessionStream::emitRadio(std::vector<SessionItem>& items, std::size_t length)
{
    items.push_back({SessionItem::Kind::RadioText, pending_.substr(0, length)});
    atReplyStart_ = pending_[length - 1] == ';';
    pending_.erase(0, length);
}

std::string CommandFromLine(std::string_view line)
{
    std::string command = WithoutLineEnds(line);
    const std::size_t first = command.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return {};
    }
    command.erase(0, first);
    if (command.back() != ';') {
        command += ';';
    }
    return command;
}

std::string WithoutLineEnds(std::string_view bytes)
{
    std::string text;
    text.reserve(bytes.size());
    for (const char c : bytes) {
        if (c != '\r' && c != '\n') {
            text += c;
        }
    }
    return text;
}

std::string ReplyMnemonic(std::string_view command)
{
    const std::size_t length = command.starts_with("@@") ? 4 : 2;
    std::string mnemonic(command.substr(0, std::min(length, command.find(';'))));
    std::transform(mnemonic.begin(), mnemonic.end(), mnemonic.begin(), platform::AsciiUpper);
    return mnemonic;
}

} // namespace client
