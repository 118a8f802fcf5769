// SPDX-License-Identifier: GPL-3.0-or-later
// Pseudo-terminals and raw terminal lines. A pseudo-terminal pair stands in for a
// serial line: its device end has a path that a program opens like a serial port, and
// whoever holds the controller end plays the other side of the line. The radio
// simulator, the client's --pty relay, the benchmark and the tests all make theirs here.
#pragma once

#include "platform/Descriptor.h"

#include <optional>
#include <string>

#include <termios.h>

namespace platform {

// Raw mode: no echo, no line editing, no CR/LF or other translation, receiver on,
// modem lines ignored; set in `settings`, the speed left as it is.
void MakeRaw(termios& settings);
// The same, on the terminal `terminal`. False when it refuses it.
bool MakeRaw(int terminal);

struct PseudoTerminal {
    Descriptor controller; // non-blocking, close-on-exec
    Descriptor device;     // close-on-exec; raw unless asked otherwise
    std::string devicePath;
};

struct PseudoTerminalOptions {
    // Raw device end; false leaves the line discipline's defaults (for a program's
    // controlling terminal, with echo and line editing).
    bool raw = true;
    // Window size of the terminal; 0 leaves it unset.
    unsigned short rows = 0;
    unsigned short columns = 0;
};

// Opens a pseudo-terminal pair; nothing, with `error` saying why, when the system gave none.
std::optional<PseudoTerminal> OpenPseudoTerminal(std::string& error, const PseudoTerminalOptions& options = {});

// Opens the terminal at `path` for reading and writing, in raw mode, close-on-exec and
// not as the caller's controlling terminal; `nonBlocking` as asked. Invalid on failure.
Descriptor OpenRawTerminal(const std::string& path, bool nonBlocking);

} // namespace platform
