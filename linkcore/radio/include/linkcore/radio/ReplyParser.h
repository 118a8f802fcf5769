// SPDX-License-Identifier: GPL-3.0-or-later
// The reply parser and the change notifier of the radio layer. Both run on the radio
// reader thread; the parser stores each reply in RadioShared::radioState and then has
// the notifier post the change to the registered window.
#pragma once

#include "linkcore/radio/RadioShared.h"

namespace linkcore {

// Parses every reply (ended by ";") of the NUL-terminated `text`.
void ParseReplies(const unsigned char* text, RadioShared& shared);
// Parses one reply, without its ";", whose first letter is `letter`, then notifies.
void ParseReply(char letter, const unsigned char* reply, RadioShared& shared);
// Posts at most one WM_LINKCORE_NOTIFY for the reply; 0 when no window is
// registered, non-zero otherwise.
long NotifyChange(char letter, const unsigned char* reply, RadioShared& shared);
// Upper-cases `hex` in place and writes four "0"/"1" characters per hexadecimal
// digit, most significant bit first; nullptr at the first other character.
char* HexToBits(char* hex, char* bits);

} // namespace linkcore
