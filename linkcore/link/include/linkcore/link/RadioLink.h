// SPDX-License-Identifier: GPL-3.0-or-later
// The radio link's operations: opening the serial link, the radio reader's work
// and the writes on which every command rests.
#pragma once

#include "linkcore/link/LinkShared.h"

namespace linkcore {

// Opens COM `port` at `baud` (2 stop bits at 4800, else 1), optionally clears the
// radio state and stores `model`, and starts the radio reader; opening an open link
// only changes its settings. 1 success, 0 failure.
int OpenRadioLink(LinkShared& shared, unsigned model, unsigned port, unsigned baud, int clear);
// The radio reader's work whenever text arrives: frames it at the last ";", parses
// it and hands it on to the listener (raw in pass-through mode).
void ReceiveRadioText(LinkShared& shared);
// The loss of the line: the listener first, then radioLost and the host's notification.
void RadioLineLost(LinkShared& shared);
// 1 when the serial port took every byte.
int WriteCom(LinkShared& shared, const unsigned char* bytes, unsigned long count);

} // namespace linkcore
