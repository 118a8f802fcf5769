// CLinkcore: the radio link and the network session server. Every instance works
// on the one process-wide LinkcoreShared record, so all instances see the same
// radio link, radio state and session.
#pragma once

#include "platform/WindowMessage.h"

#include <cstdint>

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
};
