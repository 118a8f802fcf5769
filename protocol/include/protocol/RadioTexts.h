// SPDX-License-Identifier: GPL-3.0-or-later
// Sequences of the radio's own command language that more than one part of the
// system sends or recognises: the host at its start, Linkcore's transfer-control
// command and the session's close, and the radio simulator, which must take exactly
// what they send. Header only, like HostTexts.h.
#pragma once

#include <string_view>

namespace protocol {

// What takes a Corvex (model 19) out of pass-through mode, where it reads everything
// as data: ETX, then "TC 1", each ended by ";" and a carriage return.
inline constexpr std::string_view kPassThroughExit = "\x03;\rTC 1;\r";

} // namespace protocol
