// SPDX-License-Identifier: GPL-3.0-or-later
// The numbers a caller of libLinkcore needs: the radio models it serves and the
// codes of the notifications it posts. Pure constants, for every layer of the
// library and for the host alike.
#pragma once

#include "platform/WindowMessage.h"

#include <cstdint>

// Posted to the window registered with CLinkcore::WinMsgSendReg: wParam 0x1000..0x107A
// names the radio item that changed, the codes below report the link and the session.
inline constexpr std::uint32_t WM_LINKCORE_NOTIFY = 0x3200;

namespace linkcore {

// The model IDs the library serves: the number in the radio's "ID" reply.
inline constexpr std::int32_t kModelCorvex = 19;
inline constexpr std::int32_t kModelTarsel = 20;

// WM_LINKCORE_NOTIFY codes (wParam) of radio items a host commonly follows; lParam
// is the item's new value (the status report's carries none).
inline constexpr platform::WParam kNotifyAutoInformation = 0x1002; // "AI"
inline constexpr platform::WParam kNotifyModel = 0x101D;           // "ID": the model ID
inline constexpr platform::WParam kNotifyStatus = 0x101E;          // "IF"
inline constexpr platform::WParam kNotifyPower = 0x1038;           // "PS"
inline constexpr platform::WParam kNotifyReceive = 0x1042;         // "RX"
inline constexpr platform::WParam kNotifyTransmit = 0x1043;        // "TX"

// WM_LINKCORE_NOTIFY codes (wParam) of the session server and the radio link.
inline constexpr platform::WParam kNotifySession = 0x3000; // lParam: one of the session events below
inline constexpr platform::WParam kNotifyElapsed = 0x2003; // a new elapsed session second, lParam 0
// The radio's line was lost (hung up, failed or gone), lParam 0; the link stays open
// but dead until RadioConnectionClose, and a logged-in client has been sent away.
inline constexpr platform::WParam kNotifyRadioLost = 0x2004;
// The argument of a "TC" command a client sent to a Corvex (lParam).
inline constexpr platform::WParam kNotifyTC = 0x104E;

// Session events: the lParam of kNotifySession.
inline constexpr platform::LParam kSessionAccepted = 1; // a client was accepted and greeted
inline constexpr platform::LParam kSessionClosing = 2;  // the session-close steps begin
inline constexpr platform::LParam kSessionLoggedIn = 3; // the client logged in

} // namespace linkcore
