// The command dispatcher of the session thread: it cuts a batch of client text into
// segments at ";" and routes each one to the login dialogue, the account commands
// ("@@") or the radio path, by whether the client has logged in.

#include "linkcore/SessionServer.h"

#include "platform/Clock.h"

#include <string>

using namespace linkcore;

namespace {

constexpr std::string_view kUserIdOk = "\r\nUID:OK;\r\n>";
constexpr std::string_view kUserIdAgain = "\r\nUID:NG;\r\n>";
constexpr std::string_view kPasswordWrong = "\r\nPWD:NG;\r\n>";
constexpr std::string_view kLoginFailed = "\r\nLogin failed. Good-Bye\r\n;";
constexpr std::string_view kUserDisabled = "\r\nPWD:OK;>@@UE0;";
constexpr std::string_view kLoggedIn = "PWD:OK;>@@UE1;";
constexpr std::string_view kCommandRefused = "\r\nCMD:NG;\r\n>";
constexpr std::string_view kAccountCommandUnknown = "@@?;";

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

char AsciiUpper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

void Log(const std::string& line)
{
    CLinkcore::MirelLogAdd(line.c_str());
}

// Account replies go out only to a logged-in client.
void ReplyLoggedIn(LinkcoreShared& shared, std::string_view text)
{
    if (shared.session.clientLoggedIn == 1) {
        SendToClient(shared, text);
    }
}

} // namespace

void CLinkcore::CmdSetCodeCheck(std::string_view batch, LinkcoreShared* shared)
{
    SessionRecord& session = shared->session;
    for (std::size_t end = batch.find(';'); end != std::string_view::npos; end = batch.find(';')) {
        const std::string_view segment = batch.substr(0, end);
        batch.remove_prefix(end + 1);
        // A session closed by an earlier segment (a failed login, a disabled user)
        // ends the batch: the rest must not reach the next client's session.
        if (shared->clientConnected == 0) {
            return;
        }
        if (session.clientLoggedIn == 0) {
            if (CmdSetCodeCheckMIREL_LOGIN(segment, shared) == 0) {
                SendToClient(*shared, kCommandRefused);
            }
        } else if (segment.starts_with(kAccountPrefix)) {
            if (segment.size() >= 4) {
                std::string command(segment);
                command[2] = AsciiUpper(command[2]);
                command[3] = AsciiUpper(command[3]);
                CmdSetCodeCheckMIREL(command, shared);
            }
        } else {
            CmdSetCodeCheckRadio(segment, shared);
        }
    }
}

int CLinkcore::CmdSetCodeCheckMIREL_LOGIN(std::string_view segment, LinkcoreShared* shared)
{
    SessionRecord& session = shared->session;
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
            SendToClient(*shared, kUserIdAgain);
        } else {
            session.setUserId(value);
            SendToClient(*shared, kUserIdOk);
        }
    } else if (prefix == kPasswordPrefix) {
        const std::string userId = session.userId();
        int disabled = 0;
        if (value.size() > kMaxLoginValueLength || userId.empty()) {
            result = 0;
        } else if (CheckMirelUserPassword(userId.c_str(), std::string(value).c_str(), &disabled) == 0) {
            const int failures = ++session.loginFailures;
            SendToClient(*shared, kPasswordWrong);
            Log(Format("%s LOGIN %s Password NG.(%d)", session.clientIp().c_str(), userId.c_str(), failures));
            // A failure that starts a back-off also ends the session: the address waits
            // before its next guess.
            bool backoffStarted = false;
            if (shared->loginBackoffOn == 1) {
                const auto delay = shared->loginBackoff.recordFailure(session.clientIp(), platform::MonotonicNow());
                backoffStarted = delay.count() > 0;
                if (backoffStarted) {
                    Log(Format("%s LOGIN %s Back-off %lld s.", session.clientIp().c_str(), userId.c_str(),
                               static_cast<long long>(std::chrono::ceil<std::chrono::seconds>(delay).count())));
                }
            }
            if (failures >= kMaxLoginFailures || backoffStarted) {
                SendToClient(*shared, kLoginFailed);
                OnSocketClose();
            }
        } else if (disabled == 1) {
            SendToClient(*shared, kUserDisabled);
            Log(session.clientIp() + " LOGIN " + userId + " Password OK.(User Disabled)");
            OnSocketClose();
        } else {
            // The session time counts from the login. The reply goes out before the
            // client counts as logged in, so that neither relayed radio text nor the
            // host's answer to the login notification can overtake it.
            session.sessionStartTime = platform::MonotonicNow().count();
            SendToClient(*shared, kLoggedIn);
            session.clientLoggedIn = 1;
            shared->loginBackoff.recordSuccess(session.clientIp());
            NotifyHost(*shared, kNotifySession, kSessionLoggedIn);
            Log(session.clientIp() + " LOGIN " + userId + " Password OK.");
        }
    }
    if (result == 0) {
        session.setUserId({});
    }
    return result;
}

void CLinkcore::CmdSetCodeCheckMIREL(std::string_view command, LinkcoreShared* shared)
{
    int result = 0;
    switch (command[2]) {
    case 'A':
        result = CmdSetCodeCheckMIREL_A(command, shared);
        break;
    case 'C':
        result = CmdSetCodeCheckMIREL_C(command, shared);
        break;
    case 'S':
        result = CmdSetCodeCheckMIREL_S(command, shared);
        break;
    default:
        break;
    }
    if (result == 0) {
        ReplyLoggedIn(*shared, kAccountCommandUnknown);
    }
}

int CLinkcore::CmdSetCodeCheckMIREL_A(std::string_view command, LinkcoreShared* shared)
{
    if (command[3] != 'I') {
        return 1;
    }
    SessionRecord& session = shared->session;
    if (command.size() == 4) {
        ReplyLoggedIn(*shared, Format("@@AI%d;", session.autoStatus.load()));
        return 1;
    }
    if (command.size() != 5 || command[4] < '0' || command[4] > '9') {
        return 0;
    }
    const int wanted = command[4] == '0' ? 0 : 1;
    if (session.autoStatus.exchange(wanted) != wanted && wanted == 1) {
        ReplyLoggedIn(*shared, Format("@@AI%d;", wanted));
    }
    return 1;
}

int CLinkcore::CmdSetCodeCheckMIREL_C(std::string_view command, LinkcoreShared* shared)
{
    if (command[3] != 'P') {
        return 1;
    }
    if (command.size() < kMinPasswordCommandLength || command.size() > kMaxPasswordCommandLength) {
        return 0;
    }
    SessionRecord& session = shared->session;
    const std::string userId = session.userId();
    const int changed = ChangeUserPassword(userId.c_str(), std::string(command.substr(4)).c_str());
    session.passwordChangeResult = changed;
    if (session.autoStatus == 1) {
        ReplyLoggedIn(*shared, Format("@@CP%d;", changed));
    }
    Log(session.clientIp() + " CHGPWD " + userId + " Change Passowrd " + (changed == 1 ? "OK." : "NG."));
    return 1;
}

int CLinkcore::CmdSetCodeCheckMIREL_S(std::string_view command, LinkcoreShared* shared)
{
    if (command[3] != 'T') {
        return 1;
    }
    if (command.size() != 4) {
        return 0;
    }
    const SessionRecord& session = shared->session;
    ReplyLoggedIn(*shared, Format("@@ST%02d%02d%02d%02d%02d%02d;", session.elapsedHours.load(),
                                  session.elapsedMinutes.load(), session.elapsedSeconds.load(),
                                  session.limitHours.load(), session.limitMinutes.load(),
                                  session.limitSeconds.load()));
    return 1;
}
