// SPDX-License-Identifier: GPL-3.0-or-later
// CLinkcore: the radio link and the network session server. Every instance works
// on the one process-wide LinkcoreShared record, so all instances see the same
// radio link, radio state and session.
#pragma once

#include "linkcore/LinkcoreCodes.h"
#include "linkcore/LinkcoreExport.h"
#include "platform/WindowMessage.h"

#include <cstddef>
#include <cstdint>
#include <stop_token>
#include <string_view>

struct LinkcoreShared;

class LINKCORE_EXPORT CLinkcore {
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
    // Why the last RadioConnectionOpen could not open the port, as an errno value
    // (EBUSY: another program holds it); 0 after a successful one.
    int GetRadioOpenError();
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

    // The WM_LINKCORE_NOTIFY codes it posts are in LinkcoreCodes.h.

    // User store: ten user slots in the application profile, read anew by every call.
    static int CheckMirelUserPassword(const char* userId, const char* password);
    // The same from one reading of the profile; on success `*disabled` (when not
    // null) tells whether the user is disabled, as GetUserDisabled would.
    static int CheckMirelUserPassword(const char* userId, const char* password, int* disabled);
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

    // ---- Status readers ----
    // The last values the radio reported; any thread may call them. Result 1: the group
    // was received for the connected model and the outputs hold its values. Result 0:
    // not available; every numeric output is 0 and text outputs keep their contents
    // unless noted. Numbers are digits or numbers of the reply at the positions named
    // (the mnemonic at 0 and 1). Text outputs need room for 20 characters unless noted.
    // An index outside its range gives 0 and writes nothing; null outputs are skipped.
    // Single values (models 19 and 20 unless noted), each the group's one value cell:
    int RcvDataAI(unsigned* value);
    int RcvDataAL(unsigned* value); // model 19
    int RcvDataAM(unsigned* value); // model 19
    int RcvDataAN(unsigned* value);
    int RcvDataBC(unsigned* value);
    int RcvDataBP(unsigned* value); // model 19
    int RcvDataCA(unsigned* value);
    int RcvDataCG(unsigned* value); // model 19
    int RcvDataCM(unsigned* value); // model 19
    int RcvDataCN(unsigned* value);
    int RcvDataCT(unsigned* value);
    int RcvDataDQ(unsigned* value); // model 19
    int RcvDataFR(unsigned* value);
    int RcvDataFS(unsigned* value);
    int RcvDataFT(unsigned* value);
    int RcvDataFW(unsigned* value);
    int RcvDataGT(unsigned* value);
    int RcvDataKS(unsigned* value);
    int RcvDataKY(unsigned* value);
    int RcvDataLM(unsigned* digit2); // model 19
    int RcvDataLT(unsigned* value);  // model 19
    int RcvDataMD(unsigned* value);
    int RcvDataMF(unsigned* value);
    int RcvDataMG(unsigned* value);
    int RcvDataML(unsigned* value);
    int RcvDataMO(unsigned* value); // model 19
    int RcvDataNB(unsigned* value);
    int RcvDataNL(unsigned* value);
    int RcvDataNR(unsigned* value);
    int RcvDataNT(unsigned* value);  // model 19
    int RcvDataOF(unsigned* value);  // model 19
    int RcvDataOS(unsigned* value);  // model 19
    int RcvDataPB(unsigned* digit2); // model 19
    int RcvDataPC(unsigned* value);
    int RcvDataPM(unsigned* value); // model 19
    int RcvDataPR(unsigned* value);
    int RcvDataPS(unsigned* value);
    int RcvDataQC(unsigned* value); // model 19
    int RcvDataRD(unsigned* value);
    int RcvDataRG(unsigned* value);
    int RcvDataRL(unsigned* value);
    int RcvDataRS(unsigned* value); // model 20
    int RcvDataRT(unsigned* value);
    int RcvDataRU(unsigned* value);
    int RcvDataRX(unsigned* value);
    int RcvDataSB(unsigned* value); // model 19
    int RcvDataSC(unsigned* digit2);
    int RcvDataSD(unsigned* value);
    int RcvDataSH(unsigned* value);
    int RcvDataSL(unsigned* value);
    int RcvDataSS(unsigned* value); // model 19
    int RcvDataST(unsigned* value);
    int RcvDataTN(unsigned* value);
    int RcvDataTO(unsigned* value);
    int RcvDataTS(unsigned* value);
    int RcvDataTX(unsigned* value);
    int RcvDataUL(unsigned* value);
    int RcvDataVD(unsigned* value);
    int RcvDataVG(unsigned* value);
    int RcvDataVX(unsigned* value);
    int RcvDataXT(unsigned* value);
    // Several values (models 19 and 20 unless noted):
    int RcvDataAC(unsigned* digit2, unsigned* digit3, unsigned* digit4);
    int RcvDataAG(unsigned index, unsigned* value); // index 0..1
    int RcvDataAR(unsigned index, unsigned* digit3, unsigned* digit4); // model 19, index 0..1
    // `text` is emptied first.
    int RcvDataAS(unsigned* digit2, unsigned* number3_4, unsigned char* text, unsigned* digit16);
    int RcvDataBY(unsigned* digit2, unsigned* digit3);
    int RcvDataCR(unsigned* digit2, unsigned* digit3, unsigned* digit4); // model 20
    int RcvDataDC(unsigned* digit2, unsigned* digit3);                   // model 19
    int RcvDataDL(unsigned* digit2, unsigned* number3_4);                // model 20
    int RcvDataEX(unsigned* menu, unsigned* number5_6, unsigned* digit7, unsigned* digit8, unsigned char* text);
    // The 11 digits of the frequency; emptied when the model is served but nothing was
    // received. Each call re-arms the change notification (FC: model 19).
    int RcvDataFA(unsigned char* frequency);
    int RcvDataFB(unsigned char* frequency);
    int RcvDataFC(unsigned char* frequency);
    int RcvDataFD(unsigned char* text); // model 19; room for 12
    int RcvDataIF(unsigned char* text, unsigned* number13_16, unsigned* number17_22, unsigned* digit23,
                  unsigned* digit24, unsigned* digit25, unsigned* number26_27, unsigned* digit28, unsigned* digit29,
                  unsigned* digit30, unsigned* digit31, unsigned* digit32, unsigned* digit33, unsigned* number34_35,
                  unsigned* digit36);
    int RcvDataIS(unsigned char* sign, unsigned* number); // `sign`: room for 4
    int RcvDataLK(unsigned* digit2, unsigned* digit3);
    int RcvDataLM2(unsigned* digit2, unsigned* digit3, unsigned* number4_6); // model 20
    int RcvDataMC(unsigned* digit2, unsigned* number);
    int RcvDataME(unsigned* digit2, unsigned* digit3, unsigned* digit4); // model 20
    int RcvDataMR(unsigned slot, unsigned* digit3, unsigned* number4_5, unsigned char* text6_16, unsigned* digit17,
                  unsigned* digit18, unsigned* digit19, unsigned* number20_21, unsigned* number22_23,
                  unsigned* number24_26, unsigned* digit27, unsigned* digit28, unsigned* number29_37,
                  unsigned* number38_39, unsigned* digit40, unsigned char* text41_48); // slot 0..1
    int RcvDataMU(unsigned* digit2, unsigned* digit3, unsigned* digit4, unsigned* digit5, unsigned* digit6,
                  unsigned* digit7, unsigned* digit8, unsigned* digit9, unsigned* digit10, unsigned* digit11); // model 19
    int RcvDataOI(unsigned char* text, unsigned* number13_16, unsigned* number17_22, unsigned* digit23,
                  unsigned* digit24, unsigned* digit25, unsigned* number26_27, unsigned* digit28, unsigned* digit29,
                  unsigned* digit30, unsigned* digit31, unsigned* digit32, unsigned* digit33, unsigned* number34_35,
                  unsigned* digit36); // model 19
    int RcvDataOP(unsigned* digit2, unsigned* digit3, unsigned* digit4); // model 20
    int RcvDataPA(unsigned* digit2, unsigned* digit3);
    int RcvDataPB2(unsigned* digit2, unsigned* digit3, unsigned* digit4); // model 20
    // Model 19; rooms for 20, 20, 40 and 12.
    int RcvDataPK(unsigned char* text2_12, unsigned char* text13_24, unsigned char* text25_44,
                  unsigned char* text45_49);
    int RcvDataPL(unsigned* number2_4, unsigned* number);
    int RcvDataQR(unsigned* digit2, unsigned* digit3);
    int RcvDataRA(unsigned* number2_3, unsigned* number4_5);
    // The index of the last RM reply and its value; re-arms that index's notification.
    int RcvDataRM(unsigned* index, unsigned* value);
    // 1 only while a change notified for `index` (0..9) has not been read; re-arms it.
    int RcvDataRM2(unsigned index, unsigned* value);
    int RcvDataSA(unsigned* digit2, unsigned* digit3, unsigned* digit4, unsigned* digit5, unsigned* digit6,
                  unsigned* digit7, unsigned* digit8, unsigned char* text); // model 19; room for 12
    int RcvDataSC2(unsigned* digit2, unsigned* digit3); // model 20
    int RcvDataSM(unsigned index, unsigned* value);     // index 0..3; re-arms its notification
    int RcvDataSQ(unsigned index, unsigned* value);     // index 0..1
    // Model 20: entry (index2, index3) of the SS table, each 0..9; the first 4 bytes of
    // `text` are zeroed first.
    int RcvDataSS2(unsigned index2, unsigned index3, unsigned char* text);
    int RcvDataSU(unsigned* digit2, unsigned* digit3, unsigned* digit4, unsigned* digit5, unsigned* digit6,
                  unsigned* digit7, unsigned* digit8, unsigned* digit9, unsigned* digit10, unsigned* digit11,
                  unsigned* digit12);
    int RcvDataTC(unsigned* digit2, unsigned* digit3);                   // model 19
    int RcvDataTI(unsigned* digit2, unsigned* digit3, unsigned* digit4); // model 19
    // The eight bits of the byte at 2..3, least significant first, and the digit at 4.
    int RcvDataTY(unsigned* bit0, unsigned* bit1, unsigned* bit2, unsigned* bit3, unsigned* bit4, unsigned* bit5,
                  unsigned* bit6, unsigned* bit7, unsigned* digit4);
    // Model 20; the first 4 bytes of `text` are zeroed first.
    int RcvDataXI(unsigned char* text, unsigned* digit13, unsigned* number14_15);
    int RcvDataXO(unsigned* digit2, unsigned char* text);

    // ---- Command builders ----
    // One per radio command; any thread may call them. Each writes at most one command
    // (plus its read-back) to the radio and returns 1 when it was written, 0 when it was
    // refused or the write failed: no radio link, pass-through mode (all but ConnTC), a
    // model the command does not serve, or a set value outside what the connected model
    // accepts. `selector` "R" (exactly) makes a read request, which first clears the
    // answer's group in the radio state; any other text (callers pass "W") a set request.
    // Texts are NUL-terminated; decimal texts (ConnFA's frequency, ...) give 11 digits.
    // Parameters that are not range-checked are refused when they do not fit their
    // field; texts holding ";" are refused. The formats and ranges: CommandTable.h.
    int ConnAC(const char* selector, unsigned p1, unsigned p2, unsigned p3);
    int ConnAG(const char* selector, unsigned p1, unsigned p2);
    int ConnAI(const char* selector, unsigned p1);
    int ConnAL(const char* selector, unsigned p1);
    int ConnAM(const char* selector, unsigned p1);
    int ConnAN(const char* selector, unsigned p1);
    int ConnAR(const char* selector, unsigned p1, unsigned p2, unsigned p3);
    int ConnAS(const char* selector, unsigned p1, unsigned p2, const unsigned char* p3, unsigned p4);
    int ConnBC(const char* selector, unsigned p1);
    int ConnBD();
    int ConnBP(const char* selector, unsigned p1);
    int ConnBU();
    int ConnBY();
    int ConnCA(const char* selector, unsigned p1);
    int ConnCG(const char* selector, unsigned p1);
    int ConnCH(unsigned p1);
    int ConnCI();
    int ConnCM(const char* selector, unsigned p1);
    int ConnCN(const char* selector, unsigned p1);
    int ConnCR(const char* selector, unsigned p1, unsigned p2);
    int ConnCT(const char* selector, unsigned p1);
    int ConnDC(const char* selector, unsigned p1, unsigned p2);
    int ConnDL(const char* selector, unsigned p1, unsigned p2);
    int ConnDN(unsigned p1);
    int ConnDQ(const char* selector, unsigned p1);
    int ConnEX(const char* selector, unsigned p1, unsigned p2, unsigned p3, unsigned p4,
             const unsigned char* p5);
    int ConnFA(const char* selector, const unsigned char* p1);
    int ConnFB(const char* selector, const unsigned char* p1);
    int ConnFC(const char* selector, const unsigned char* p1);
    int ConnFD();
    int ConnFR(const char* selector, unsigned p1);
    int ConnFS(const char* selector, unsigned p1);
    int ConnFT(const char* selector, unsigned p1);
    int ConnFW(const char* selector, unsigned p1);
    int ConnGT(const char* selector, unsigned p1);
    int ConnIF();
    int ConnIS(const char* selector, const unsigned char* p1, unsigned p2);
    int ConnKS(const char* selector, unsigned p1);
    int ConnKY(const char* selector, const unsigned char* p1);
    int ConnLK(const char* selector, unsigned p1, unsigned p2);
    int ConnLM(const char* selector, unsigned p1);
    int ConnLM2(const char* selector, unsigned p1, unsigned p2);
    int ConnLT(const char* selector, unsigned p1);
    int ConnMC(const char* selector, unsigned p1, unsigned p2);
    int ConnMD(const char* selector, unsigned p1);
    int ConnME();
    int ConnMF(const char* selector, unsigned p1);
    int ConnMG(const char* selector, unsigned p1);
    int ConnML(const char* selector, unsigned p1);
    int ConnMO(const char* selector, unsigned p1);
    int ConnMR(unsigned p1, unsigned p2, unsigned p3);
    int ConnMU(const char* selector, unsigned p1, unsigned p2, unsigned p3, unsigned p4, unsigned p5,
             unsigned p6, unsigned p7, unsigned p8, unsigned p9, unsigned p10);
    int ConnMW(unsigned p1, unsigned p2, unsigned p3, const unsigned char* p4, unsigned p5, unsigned p6,
             unsigned p7, unsigned p8, unsigned p9, unsigned p10, unsigned p11, unsigned p12, unsigned p13,
             unsigned p14, unsigned p15, const unsigned char* p16);
    int ConnNB(const char* selector, unsigned p1);
    int ConnNL(const char* selector, unsigned p1);
    int ConnNR(const char* selector, unsigned p1);
    int ConnNT(const char* selector, unsigned p1);
    int ConnOF(const char* selector, unsigned p1);
    int ConnOI();
    int ConnOP();
    int ConnOS(const char* selector, unsigned p1);
    int ConnPA(const char* selector, unsigned p1);
    int ConnPB(const char* selector, unsigned p1);
    int ConnPC(const char* selector, unsigned p1);
    int ConnPI(unsigned p1);
    int ConnPL(const char* selector, unsigned p1, unsigned p2);
    int ConnPM(const char* selector, unsigned p1);
    int ConnPR(const char* selector, unsigned p1);
    int ConnPS(const char* selector, unsigned p1);
    int ConnQC(const char* selector, unsigned p1);
    int ConnQI();
    int ConnQR(const char* selector, unsigned p1, unsigned p2);
    int ConnRA(const char* selector, unsigned p1);
    int ConnRC();
    int ConnRD(const char* selector, unsigned p1);
    int ConnRG(const char* selector, unsigned p1);
    int ConnRL(const char* selector, unsigned p1);
    int ConnRM(const char* selector, unsigned p1);
    int ConnRS();
    int ConnRT(const char* selector, unsigned p1);
    int ConnRU(const char* selector, unsigned p1);
    int ConnRX();
    int ConnSA(const char* selector, unsigned p1, unsigned p2, unsigned p3, unsigned p4, unsigned p5,
             unsigned p6, unsigned p7, const unsigned char* p8);
    int ConnSB(const char* selector, unsigned p1);
    int ConnSC(const char* selector, unsigned p1);
    int ConnSD(const char* selector, unsigned p1);
    int ConnSH(const char* selector, unsigned p1);
    int ConnSI(unsigned p1, const unsigned char* p2);
    int ConnSL(const char* selector, unsigned p1);
    int ConnSM(unsigned p1);
    int ConnSQ(const char* selector, unsigned p1, unsigned p2);
    int ConnSR(unsigned p1);
    int ConnSS(const char* selector, unsigned p1);
    int ConnSS2(const char* selector, unsigned p1, unsigned p2, const unsigned char* p3);
    int ConnST(const char* selector, unsigned p1);
    int ConnSU(const char* selector, unsigned p1, unsigned p2, unsigned p3, unsigned p4, unsigned p5,
             unsigned p6, unsigned p7, unsigned p8, unsigned p9, unsigned p10, unsigned p11);
    int ConnSV();
    int ConnTC(const char* selector, unsigned p1, unsigned p2);
    int ConnTD(unsigned p1);
    int ConnTI();
    int ConnTN(const char* selector, unsigned p1);
    int ConnTO(const char* selector, unsigned p1);
    int ConnTS(const char* selector, unsigned p1);
    int ConnTX();
    int ConnTX2(unsigned p1);
    int ConnTY();
    int ConnUP(unsigned p1);
    int ConnUR(const unsigned char* p1);
    int ConnUT(const unsigned char* p1);
    int ConnVD(const char* selector, unsigned p1);
    int ConnVG(const char* selector, unsigned p1);
    int ConnVR(unsigned p1);
    int ConnVV();
    int ConnVX(const char* selector, unsigned p1);
    int ConnXI();
    int ConnXO(const char* selector, unsigned p1, const unsigned char* p2);
    int ConnXT(const char* selector, unsigned p1);

private:
    // The builders' shared procedure, run for row `Index` of the command table; defined
    // and used in CommandBuilders.cpp only.
    template <unsigned Index, typename Selector, typename... Values>
    int RunBuilder(Selector selector, Values... values);

protected:
    // ---- Internals ----
    // Each hands on to the layer that does the work (linkcore/radio, linkcore/link,
    // linkcore/session); callers and tests use those layers, not these members.

    // ---- Radio link internals ----
    // 1 when the serial port took every byte.
    int WriteCom(const unsigned char* bytes, unsigned long count);
    // The radio reader's work, run on the serial port's reader thread whenever text
    // arrives: takes the text, frames it at the last ";", parses it and forwards it to a
    // logged-in client (raw in pass-through mode).
    static void ReceiveRadioText(LinkcoreShared* shared);
    // Run on the serial port's reader thread when the line is lost: logs it, tells the
    // host and wakes the session thread, which sends a logged-in client away.
    static void RadioLineLost(LinkcoreShared* shared);
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
    // The session thread's body; sleeps until an event or a deadline, and ends when
    // serverRun falls or `stop` is requested.
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
