// SPDX-License-Identifier: GPL-3.0-or-later
// The session server's members, the user store's and the activity log's, each handing
// on to the session layer. The protected members carry out what the session's deciders
// return through the server's own ends (ServerIo).
#include "linkcore/Linkcore.h"

#include "linkcore/facade/LinkcoreShared.h"
#include "linkcore/session/ActivityLog.h"
#include "linkcore/session/CommandDispatcher.h"
#include "linkcore/session/CommandFilter.h"
#include "linkcore/session/SessionServer.h"
#include "linkcore/session/SessionFormat.h"
#include "linkcore/session/UserStore.h"

#include <cstring>

static_assert(CLinkcore::kUserDescriptionSize == linkcore::kUserDescriptionSize);

// ---- Server ----

int CLinkcore::SocketServerOpen(unsigned port)
{
    return linkcore::OpenSessionServer(LinkcoreShared::instance(), port);
}

void CLinkcore::SocketServerClose()
{
    linkcore::CloseSessionServer(LinkcoreShared::instance());
}

int CLinkcore::GetClientExest()
{
    return LinkcoreShared::instance().socket.GetClientExist();
}

int CLinkcore::GetClientIP(char* dst)
{
    return LinkcoreShared::instance().socket.GetClientIP(dst);
}

int CLinkcore::GetLocalIP(char* dst)
{
    return LinkcoreShared::instance().socket.GetLocalIP(dst);
}

int CLinkcore::GetLoginUserID(char* dst)
{
    const linkcore::SessionRecord& session = LinkcoreShared::instance().session;
    if (session.clientLoggedIn == 1) {
        const std::string userId = session.userId();
        std::memcpy(dst, userId.c_str(), userId.size() + 1);
    }
    return 0;
}

int CLinkcore::RcvDataMIREL_ST(unsigned* elapsedHours, unsigned* elapsedMinutes, unsigned* elapsedSeconds,
                               unsigned* limitHours, unsigned* limitMinutes, unsigned* limitSeconds)
{
    const linkcore::SessionRecord& session = LinkcoreShared::instance().session;
    *elapsedHours = static_cast<unsigned>(session.elapsedHours.load());
    *elapsedMinutes = static_cast<unsigned>(session.elapsedMinutes.load());
    *elapsedSeconds = static_cast<unsigned>(session.elapsedSeconds.load());
    *limitHours = static_cast<unsigned>(session.limitHours.load());
    *limitMinutes = static_cast<unsigned>(session.limitMinutes.load());
    *limitSeconds = static_cast<unsigned>(session.limitSeconds.load());
    return 1;
}

int CLinkcore::SonnMIREL_VE(unsigned value)
{
    LinkcoreShared& shared = LinkcoreShared::instance();
    if (shared.clientConnected != 1 || shared.session.clientLoggedIn != 1) {
        return 0;
    }
    return linkcore::ServerIo(shared).sendToClient(linkcore::Format("@@VE%u;", value));
}

// ---- Session thread, acceptance and close ----

unsigned CLinkcore::ThreadSock(std::stop_token stop, LinkcoreShared* shared)
{
    return linkcore::RunSessionThread(std::move(stop), *shared);
}

void CLinkcore::OnSocketAccept()
{
    LinkcoreShared& shared = LinkcoreShared::instance();
    linkcore::ServerIo io(shared);
    linkcore::AcceptSession(shared, io);
}

void CLinkcore::OnSocketClose()
{
    LinkcoreShared& shared = LinkcoreShared::instance();
    linkcore::ServerIo io(shared);
    linkcore::CloseSession(shared, io);
}

// ---- Dispatcher, login and account commands, radio command filter ----

namespace {

// Carries out `actions` through the server's ends; gives `result`.
int CarriedOut(int result, const linkcore::SessionActions& actions, LinkcoreShared* shared)
{
    linkcore::ServerIo io(*shared);
    linkcore::CarryOut(actions, *shared, io);
    return result;
}

} // namespace

void CLinkcore::CmdSetCodeCheck(std::string_view batch, LinkcoreShared* shared)
{
    linkcore::ServerIo io(*shared);
    linkcore::RunBatch(batch, *shared, io);
}

int CLinkcore::CmdSetCodeCheckMIREL_LOGIN(std::string_view segment, LinkcoreShared* shared)
{
    linkcore::SessionActions actions;
    return CarriedOut(linkcore::DecideLogin(segment, *shared, actions), actions, shared);
}

void CLinkcore::CmdSetCodeCheckMIREL(std::string_view command, LinkcoreShared* shared)
{
    linkcore::SessionActions actions;
    linkcore::DecideAccountCommand(command, *shared, actions);
    CarriedOut(0, actions, shared);
}

int CLinkcore::CmdSetCodeCheckMIREL_A(std::string_view command, LinkcoreShared* shared)
{
    linkcore::SessionActions actions;
    return CarriedOut(linkcore::DecideAccountCommandA(command, *shared, actions), actions, shared);
}

int CLinkcore::CmdSetCodeCheckMIREL_C(std::string_view command, LinkcoreShared* shared)
{
    linkcore::SessionActions actions;
    return CarriedOut(linkcore::DecideAccountCommandC(command, *shared, actions), actions, shared);
}

int CLinkcore::CmdSetCodeCheckMIREL_S(std::string_view command, LinkcoreShared* shared)
{
    linkcore::SessionActions actions;
    return CarriedOut(linkcore::DecideAccountCommandS(command, *shared, actions), actions, shared);
}

int CLinkcore::CmdSetCodeCheckGeneric(std::string_view command, LinkcoreShared* shared)
{
    return linkcore::GenericCommandAllowed(command, shared->loadMessageEnable.load());
}

int CLinkcore::CmdSetCodeCheckCorvex(std::string_view command, LinkcoreShared* shared)
{
    linkcore::SessionActions actions;
    return CarriedOut(linkcore::CorvexCommandAllowed(command, actions), actions, shared);
}

int CLinkcore::CmdSetCodeCheckTarsel(std::string_view command, LinkcoreShared*)
{
    return linkcore::TarselCommandAllowed(command);
}

void CLinkcore::CmdSetCodeCheckRadio(std::string_view segment, LinkcoreShared* shared)
{
    CarriedOut(0, linkcore::FilterRadioCommand(segment, shared->radioState.model(), shared->loadMessageEnable.load()),
               shared);
}

// ---- User store ----

int CLinkcore::CheckMirelUserPassword(const char* userId, const char* password)
{
    return linkcore::CheckMirelUserPassword(userId, password, nullptr);
}

int CLinkcore::CheckMirelUserPassword(const char* userId, const char* password, int* disabled)
{
    return linkcore::CheckMirelUserPassword(userId, password, disabled);
}

int CLinkcore::ChangeUserPassword(const char* userId, const char* newPassword)
{
    return linkcore::ChangeUserPassword(userId, newPassword);
}

int CLinkcore::GetUserDisabled(const char* userId)
{
    return linkcore::GetUserDisabled(userId);
}

int CLinkcore::GetUserDescription(const char* userId, char* dst)
{
    return linkcore::GetUserDescription(userId, dst);
}

int CLinkcore::GetVoiceEnable()
{
    return linkcore::GetVoiceEnable();
}

// ---- Activity log ----

void CLinkcore::MirelLogAdd(const char* text)
{
    linkcore::MirelLogAdd(text);
}

void CLinkcore::GetDate(unsigned* year, unsigned* month, unsigned* day)
{
    linkcore::GetDate(year, month, day);
}

void CLinkcore::GetTime(unsigned* hour, unsigned* minute, unsigned* second)
{
    linkcore::GetTime(hour, minute, second);
}

int CLinkcore::FileExist(const char* path)
{
    return linkcore::FileExist(path);
}
