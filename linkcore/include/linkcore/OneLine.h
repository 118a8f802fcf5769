// SPDX-License-Identifier: GPL-3.0-or-later
// The one-line form of a text for a log or a display line: line breaks and other
// control characters become "?", so that a client cannot forge records or lines
// through the text it gives (a user ID, say).
#pragma once

#include <string>
#include <string_view>

namespace linkcore {

inline std::string OneLine(std::string_view text)
{
    std::string line(text);
    for (char& c : line) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            c = '?';
        }
    }
    return line;
}

} // namespace linkcore
