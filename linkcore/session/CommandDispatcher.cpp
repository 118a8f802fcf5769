// SPDX-License-Identifier: GPL-3.0-or-later
// The command dispatcher of the session: the login dialogue, the account commands
// and the routing of a logged-in client's radio commands to the filter. Each decider
// updates the session record and returns what is to be done; the session server
// carries it out (RunBatch).

#include "linkcore/session/CommandDispatcher.h"

#include "linkcore/LinkcoreCodes.h"
#include "linkcore/session/CommandFilter.h"
#include "linkcore/session/SessionFormat.h"
#include "linkcore/session/SessionTexts.h"
#include "linkcore/session/UserStore.h"
#include "platform/Clock.h"

#include <string>

namespace linkcore {
namespace {

constexpr std::string_view kUserIdPrefix = "UID:";
constexpr std::string_view kPasswordPrefix = "PWD:";
constexpr std::string_view kAccountPrefix = "@@";
// Login segments are a four-character prefix and a value of 1 to 32 characters.
constexpr std::size_t kLoginPrefixLength = 4;
constexpr std::size_t kMaxLoginValueLength = SessionRecord::kMaxUserIdLength;
constexpr int kMaxLoginFailures = 3;
// "@@CP" and a new password of 1 to 32 characters.
constexpr std::size_t kMinPasswordCommandLength = 5;
constexpr std::size_t kMaxPasswordCommandLength = 4 + 32;

// Account replies go out only to a logged-in client.
void ReplyLoggedIn(const SessionShared& shared, SessionActions& actions, std::string_view text)
{
    if (shared.session.clientLoggedIn == 1) {
        actions.push_back(SessionAction::reply(text));
    }
}

} // namespace

SessionActions DispatchSegment(std::string_view segment, SessionShared& shared)
{
    SessionActions actions;
    if (shared.session.clientLoggedIn == 0) {
        if (DecideLogin(segment, shared, actions) == 0) {
            actions.push_back(SessionAction::reply(kCommandRefused));
        }
    } else if (segment.starts_with(kAccountPrefix)) {
        if (segment.size() >= 4) {
            std::string command(segment);
            AsciiUpper(command, 2, 2);
            DecideAccountCommand(command, shared, actions);
        }
    } else {
        actions = FilterRadioCommand(segment, shared.radioState.model(), shared.loadMessageEnable.load());
    }
    return actions;
}

int DecideLogin(std::string_view segment, SessionShared& shared, SessionActions& actions)
{
    SessionRecord& session = shared.session;
    int result = 1;
    const std::string_view prefix = segment.substr(0, kLoginPrefixLength);
    const std::string_view value = segment.substr(std::min(segment.size(), kLoginPrefixLength));

    if (segment.size() <= kLoginPrefixLength) {
        result = 0;
    } else if (prefix == kUserIdPrefix) {
        if (value.size() > kMaxLoginValueLength) {
            result = 0;
        } else if (!session.userId().empty()) {
            session.setUserId({});
            actions.push_back(SessionAction::reply(kUserIdAgain));
        } else {
            session.setUserId(value);
            actions.push_back(SessionAction::reply(kUserIdOk));
        }
    } else if (prefix == kPasswordPrefix) {
        const std::string userId = session.userId();
        int disabled = 0;
        if (value.size() > kMaxLoginValueLength || userId.empty()) {
            result = 0;
        } else if (CheckMirelUserPassword(userId.c_str(), std::string(value).c_str(), &disabled) == 0) {
            const int failures = ++session.loginFailures;
            actions.push_back(SessionAction::reply(kPasswordWrong));
            actions.push_back(
                SessionAction::log(SessionLogLine(session.clientIp(), "LOGIN", userId, Format("Password NG.(%d)", failures))));
            // A failure that starts a back-off also ends the session: the address waits
            // before its next guess.
            bool backoffStarted = false;
            if (shared.loginBackoffOn == 1) {
                const auto delay = shared.loginBackoff.recordFailure(session.clientIp(), platform::MonotonicNow());
                backoffStarted = delay.count() > 0;
                if (backoffStarted) {
                    actions.push_back(SessionAction::log(
                        SessionLogLine(session.clientIp(), "LOGIN", userId,
                                       Format("Back-off %lld s.", static_cast<long long>(
                                                                      std::chrono::ceil<std::chrono::seconds>(delay).count())))));
                }
            }
            if (failures >= kMaxLoginFailures || backoffStarted) {
                actions.push_back(SessionAction::reply(kLoginFailed));
                actions.push_back(SessionAction::close());
            }
        } else if (disabled == 1) {
            actions.push_back(SessionAction::reply(kUserDisabled));
            actions.push_back(SessionAction::log(SessionLogLine(session.clientIp(), "LOGIN", userId, "Password OK.(User Disabled)")));
            actions.push_back(SessionAction::close());
        } else {
            // The session time counts from the login. The reply goes out before the
            // client counts as logged in, so that neither relayed radio text nor the
            // host's answer to the login notification can overtake it.
            session.sessionStartTime = platform::MonotonicNow().count();
            actions.push_back(SessionAction::reply(kLoggedIn));
            actions.push_back(SessionAction::logIn());
            shared.loginBackoff.recordSuccess(session.clientIp());
            actions.push_back(SessionAction::notify(kNotifySession, kSessionLoggedIn));
            actions.push_back(SessionAction::log(SessionLogLine(session.clientIp(), "LOGIN", userId, "Password OK.")));
        }
    }
    if (result == 0) {
        session.setUserId({});
    }
    return result;
}

void DecideAccountCommand(std::string_view command, SessionShared& shared, SessionActions& actions)
{
    int result = 0;
    switch (command[2]) {
    case 'A':
        result = DecideAccountCommandA(command, shared, actions);
        break;
    case 'C':
        result = DecideAccountCommandC(command, shared, actions);
        break;
    case 'S':
        result = DecideAccountCommandS(command, shared, actions);
        break;
    default:
        break;
    }
    if (result == 0) {
        ReplyLoggedIn(shared, actions, kAccountCommandUnknown);
    }
}

int DecideAccountCommandA(std::string_view command, SessionShared& shared, SessionActions& actions)
{
    if (command[3] != 'I') {
        return 1;
    }
    SessionRecord& session = shared.session;
    if (command.size() == 4) {
        ReplyLoggedIn(shared, actions, Format("@@AI%d;", session.autoStatus.load()));
        return 1;
    }
    if (command.size() != 5 || command[4] < '0' || command[4] > '9') {
        return 0;
    }
    const int wanted = command[4] == '0' ? 0 : 1;
    if (session.autoStatus.exchange(wanted) != wanted && wanted == 1) {
        ReplyLoggedIn(shared, actions, Format("@@AI%d;", wanted));
    }
    return 1;
}

int DecideAccountCommandC(std::string_view command, SessionShared& shared, SessionActions& actions)
{
    if (command[3] != 'P') {
        return 1;
    }
    if (command.size() < kMinPasswordCommandLength || command.size() > kMaxPasswordCommandLength) {
        return 0;
    }
    SessionRecord& session = shared.session;
    const std::string userId = session.userId();
    const int changed = ChangeUserPassword(userId.c_str(), std::string(command.substr(4)).c_str());
    session.passwordChangeResult = changed;
    if (session.autoStatus == 1) {
        ReplyLoggedIn(shared, actions, Format("@@CP%d;", changed));
    }
    actions.push_back(
        SessionAction::log(SessionLogLine(session.clientIp(), "CHGPWD", userId, changed == 1 ? "Change Passowrd OK." : "Change Passowrd NG.")));
    return 1;
}

int DecideAccountCommandS(std::string_view command, SessionShared& shared, SessionActions& actions)
{
    if (command[3] != 'T') {
        return 1;
    }
    if (command.size() != 4) {
        return 0;
    }
    ReplyLoggedIn(shared, actions, StatusText(shared.session));
    return 1;
}

} // namespace linkcore
