// CLinkcore: the radio link and the network session server. Every instance works
// on the one process-wide LinkcoreShared record, so all instances see the same
// radio link, radio state and session.
#pragma once

#include "platform/WindowMessage.h"

#include <cstddef>
#include <cstdint>
#include <stop_token>
#include <string_view>

struct LinkcoreShared;

// Posted to the window registered with WinMsgSendReg: wParam 0x1000..0x107A names the
// radio item that changed, 0x3000 and 0x2003 report session events.
inline constexpr std::uint32_t WM_LINKCORE_NOTIFY = 0x3200;

class CLinkcore {
public:
    CLinkcore();
    virtual ~CLinkcore();

    // ---- Library object, radio connection, parser, notifications ----
    // Called on the host's thread unless stated. Results: 1 success, 0 failure or refusal.

    // Registers the window that receives WM_LINKCORE_NOTIFY; nullptr stops notifications.
    void WinMsgSendReg(platform::WindowHandle window);
    // Lets clients send "LM" with parameters (read by the client command filter).
    void SetLoadMessageEnable(int enable);

    // Opens COM `port` at `baud` (2 stop bits at 4800, else 1), optionally clears the
    // radio state and stores `model` as the connected model, and starts the radio reader.
    int RadioConnectionOpen(unsigned model, unsigned port, unsigned baud, int clear);
    // Stops and joins the radio reader and closes the port; nothing when no reader runs.
    void RadioConnectionClose();
    // Sends the NUL-terminated text to the radio unchanged (also in pass-through mode).
    int ConnDirect(const unsigned char* text);
    // Forgets the model and sends "ID;"; refused in pass-through mode.
    int ConnID();
    // The connected model (19 or 20) once the radio has answered "ID"; *model = 0 otherwise.
    int RcvDataID(unsigned* model);
    // Writes the display name of model ID 1..20 (room for kRadioNameSize); other IDs
    // zero the first 4 bytes and give 0.
    int GetRadioName(unsigned model, unsigned char* name);
    static constexpr unsigned kRadioNameSize = 16;

    // Reply parser, run on the radio reader thread: `text` holds one or more replies,
    // each ended by ";". The letter handlers take one reply without its ";".
    static void ConstituteData(const unsigned char* text, LinkcoreShared* shared);
    static void ConstituteDataA(const unsigned char* reply, LinkcoreShared* shared);
    static void ConstituteDataB(const unsigned char* reply, LinkcoreShared* shared);
    static void ConstituteDataC(const unsigned char* reply, LinkcoreShared* shared);
    static void ConstituteDataD(const unsigned char* reply, LinkcoreShared* shared);
    static void ConstituteDataE(const unsigned char* reply, LinkcoreShared* shared);
    static void ConstituteDataF(const unsigned char* reply, LinkcoreShared* shared);
    static void ConstituteDataG(const unsigned char* reply, LinkcoreShared* shared);
    static void ConstituteDataI(const unsigned char* reply, LinkcoreShared* shared);
    static void ConstituteDataK(const unsigned char* reply, LinkcoreShared* shared);
    static void ConstituteDataL(const unsigned char* reply, LinkcoreShared* shared);
    static void ConstituteDataM(const unsigned char* reply, LinkcoreShared* shared);
    static void ConstituteDataN(const unsigned char* reply, LinkcoreShared* shared);
    static void ConstituteDataO(const unsigned char* reply, LinkcoreShared* shared);
    static void ConstituteDataP(const unsigned char* reply, LinkcoreShared* shared);
    static void ConstituteDataQ(const unsigned char* reply, LinkcoreShared* shared);
    static void ConstituteDataR(const unsigned char* reply, LinkcoreShared* shared);
    static void ConstituteDataS(const unsigned char* reply, LinkcoreShared* shared);
    static void ConstituteDataT(const unsigned char* reply, LinkcoreShared* shared);
    static void ConstituteDataU(const unsigned char* reply, LinkcoreShared* shared);
    static void ConstituteDataV(const unsigned char* reply, LinkcoreShared* shared);
    static void ConstituteDataX(const unsigned char* reply, LinkcoreShared* shared);

    // ---- Session server ----
    // One remote client at a time over TCP: greeting, login, account commands, radio
    // commands through the model filter, timeouts and the daily activity log.
    // SocketServerOpen and SocketServerClose belong to the host's thread; the other
    // operations may be called from any thread.

    // Listens on `port` and starts the session thread; 0 while the server runs or
    // when the port cannot be listened on.
    int SocketServerOpen(unsigned port);
    // Stops and joins the session thread and disconnects the endpoint; nothing when
    // the server does not run. The session-close steps are not run.
    void SocketServerClose();
    // Whether a client was accepted since the last listen.
    static int GetClientExest();
    // The connected client's dotted-quad address (room for CNetport::kAddressTextSize).
    static int GetClientIP(char* dst);
    // This computer's first IPv4 address (room for CNetport::kAddressTextSize).
    int GetLocalIP(char* dst);
    // Writes the logged-in user's ID to `dst` (room for linkcore::SessionRecord::kUserIdSize)
    // while a client is logged in; leaves it untouched otherwise. Always 0.
    int GetLoginUserID(char* dst);
    // Elapsed session time since login and the session limit, each split into
    // hours, minutes and seconds; always 1.
    int RcvDataMIREL_ST(unsigned* elapsedHours, unsigned* elapsedMinutes, unsigned* elapsedSeconds,
                        unsigned* limitHours, unsigned* limitMinutes, unsigned* limitSeconds);
    // Sends "@@VE<value>;" to a logged-in client; 0 when none is logged in.
    int SonnMIREL_VE(unsigned value);

    // WM_LINKCORE_NOTIFY codes of the session server.
    static constexpr platform::WParam kNotifySession = 0x3000; // lParam: one of the three below
    static constexpr platform::LParam kSessionAccepted = 1;    // a client was accepted and greeted
    static constexpr platform::LParam kSessionClosing = 2;     // the session-close steps begin
    static constexpr platform::LParam kSessionLoggedIn = 3;    // the client logged in
    static constexpr platform::WParam kNotifyElapsed = 0x2003; // a new elapsed session second, lParam 0

    // User store: ten user slots in the application profile, read anew by every call.
    static int CheckMirelUserPassword(const char* userId, const char* password);
    // Writes the password of the first slot holding `userId`; 0 when no slot holds it
    // or the profile could not store it.
    static int ChangeUserPassword(const char* userId, const char* newPassword);
    static int GetUserDisabled(const char* userId);
    // Copies the user's description to `dst`, at most kUserDescriptionSize - 1
    // characters and a terminator; 0, with the first 4 bytes zeroed, for an unknown user.
    int GetUserDescription(const char* userId, char* dst);
    static constexpr std::size_t kUserDescriptionSize = 131;
    // Whether voice calls may be answered: the "MIREL Voice" setting and the
    // operating system's telephony service.
    static int GetVoiceEnable();

    // Activity log: appends "hh:mm:ss <text>" to the day's file when logging is on.
    static void MirelLogAdd(const char* text);
    static void GetDate(unsigned* year, unsigned* month, unsigned* day);
    static void GetTime(unsigned* hour, unsigned* minute, unsigned* second);
    // 1 when a file or folder exists at `path`.
    static int FileExist(const char* path);

    // The session thread's framing, timers and buffers (SessionServer.h).
    class SessionLoop;

    // ---- Status readers ----

    // ---- Command builders ----

protected:
    // ---- Radio link internals ----
    // 1 when the serial port took every byte.
    int WriteCom(const unsigned char* bytes, unsigned long count);
    // The radio reader thread's body: frames the radio's text at the last ";",
    // parses it and forwards it to a logged-in client.
    static void ThreadCom(LinkcoreShared* shared);
    // Upper-cases `hex` in place and writes four "0"/"1" characters per hexadecimal
    // digit, most significant bit first, to `bits`; at the first character that is not
    // a hexadecimal digit it stops and returns nullptr, otherwise it returns `bits`.
    static char* Hex2BinayChar(char* hex, char* bits);
    // Change notifiers, one per first letter; each posts at most one WM_LINKCORE_NOTIFY
    // for the reply. 0 when no window is registered, non-zero otherwise.
    static long WinMsgSendExA(const unsigned char* reply, LinkcoreShared* shared);
    static long WinMsgSendExB(const unsigned char* reply, LinkcoreShared* shared);
    static long WinMsgSendExC(const unsigned char* reply, LinkcoreShared* shared);
    static long WinMsgSendExD(const unsigned char* reply, LinkcoreShared* shared);
    static long WinMsgSendExE(const unsigned char* reply, LinkcoreShared* shared);
    static long WinMsgSendExF(const unsigned char* reply, LinkcoreShared* shared);
    static long WinMsgSendExG(const unsigned char* reply, LinkcoreShared* shared);
    static long WinMsgSendExI(const unsigned char* reply, LinkcoreShared* shared);
    static long WinMsgSendExK(const unsigned char* reply, LinkcoreShared* shared);
    static long WinMsgSendExL(const unsigned char* reply, LinkcoreShared* shared);
    static long WinMsgSendExM(const unsigned char* reply, LinkcoreShared* shared);
    static long WinMsgSendExN(const unsigned char* reply, LinkcoreShared* shared);
    static long WinMsgSendExO(const unsigned char* reply, LinkcoreShared* shared);
    static long WinMsgSendExP(const unsigned char* reply, LinkcoreShared* shared);
    static long WinMsgSendExQ(const unsigned char* reply, LinkcoreShared* shared);
    static long WinMsgSendExR(const unsigned char* reply, LinkcoreShared* shared);
    static long WinMsgSendExS(const unsigned char* reply, LinkcoreShared* shared);
    static long WinMsgSendExT(const unsigned char* reply, LinkcoreShared* shared);
    static long WinMsgSendExU(const unsigned char* reply, LinkcoreShared* shared);
    static long WinMsgSendExV(const unsigned char* reply, LinkcoreShared* shared);
    static long WinMsgSendExX(const unsigned char* reply, LinkcoreShared* shared);

    // ---- Session server internals ----
    // All run on the session thread. Segments and commands are client text without
    // their ";".
    static void OnSocketAccept();
    // The session-close steps; does nothing when no client is connected.
    static void OnSocketClose();
    // The session thread's body; ends when serverRun falls or `stop` is requested.
    static unsigned ThreadSock(std::stop_token stop, LinkcoreShared* shared);
    // Cuts a batch ending in ";" into segments and routes each one; stops when the
    // session closes within the batch.
    static void CmdSetCodeCheck(std::string_view batch, LinkcoreShared* shared);
    // The login dialogue before login: 1 handled or ignored, 0 refused.
    static int CmdSetCodeCheckMIREL_LOGIN(std::string_view segment, LinkcoreShared* shared);
    // Account commands "@@" plus at least two letters, the two letters upper-cased.
    static void CmdSetCodeCheckMIREL(std::string_view command, LinkcoreShared* shared);
    static int CmdSetCodeCheckMIREL_A(std::string_view command, LinkcoreShared* shared);
    static int CmdSetCodeCheckMIREL_C(std::string_view command, LinkcoreShared* shared);
    static int CmdSetCodeCheckMIREL_S(std::string_view command, LinkcoreShared* shared);
    // The client command filter: 1 allowed, 0 refused.
    static int CmdSetCodeCheckGeneric(std::string_view command, LinkcoreShared* shared);
    static int CmdSetCodeCheckCorvex(std::string_view command, LinkcoreShared* shared);
    static int CmdSetCodeCheckTarsel(std::string_view command, LinkcoreShared* shared);
    // The radio path of a logged-in client's command: normalise, filter, write with ";".
    static void CmdSetCodeCheckRadio(std::string_view command, LinkcoreShared* shared);
};
