// SPDX-License-Identifier: GPL-3.0-or-later
// ASCII letter case, independent of the locale (the radio's mnemonics, the settings'
// names and the user IDs are ASCII). Header only, so that the programs that link none
// of the host's libraries (the remote client, the simulator) use it too.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string_view>

namespace platform {

constexpr char AsciiUpper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

constexpr char AsciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// <0, 0 or >0 as `a` sorts before, with or after `b`, ignoring the ASCII letter case.
constexpr int CompareIgnoringCase(std::string_view a, std::string_view b)
{
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        const auto x = static_cast<unsigned char>(AsciiLower(a[i]));
        const auto y = static_cast<unsigned char>(AsciiLower(b[i]));
        if (x != y) {
            return x < y ? -1 : 1;
        }
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

constexpr bool EqualsIgnoringCase(std::string_view a, std::string_view b)
{
    return CompareIgnoringCase(a, b) == 0;
}

} // namespace platform
