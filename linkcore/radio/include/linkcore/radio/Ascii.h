// ASCII case conversion for protocol text: only "a".."z" change, whatever the locale.
#pragma once

namespace linkcore {

constexpr char AsciiUpper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

} // namespace linkcore
