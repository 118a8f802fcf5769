// SPDX-License-Identifier: GPL-3.0-or-later
// CommandFormat: turns a command's format text ("AC%01d%01d%01d;") and a builder's
// arguments into the bytes written to the radio. Pure functions, safe on any thread;
// the format grammar is constexpr so that the command table can be checked when compiled.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace linkcore::commands {

// The longest command any builder writes: "UR" or "UT", a 128-character text and ";".
inline constexpr std::size_t kMaxCommandLength = 131;

// Values of the 11-digit fields (frequencies and memory values) lie in 0 .. this.
inline constexpr std::int64_t kMaxElevenDigits = 99'999'999'999;

// One argument of a command builder: a number or a NUL-terminated text.
struct Arg {
    constexpr Arg() noexcept = default;
    constexpr Arg(unsigned value) noexcept : number(value) {}
    constexpr Arg(const unsigned char* value) noexcept : text(value), isText(true) {}

    std::uint32_t number = 0;
    const unsigned char* text = nullptr;
    bool isText = false;
};

// The bytes of one formatted command, without a terminator.
struct CommandText {
    std::array<unsigned char, kMaxCommandLength> bytes{};
    std::size_t length = 0;

    std::string_view view() const { return {reinterpret_cast<const char*>(bytes.data()), length}; }
};

// One piece of a format text.
struct Conversion {
    enum class Kind : std::uint8_t {
        Literal,      // one character copied as it is
        Fixed,        // "%0Nd": N digits, zero-padded; a wider value is refused
        Plain,        // "%d": the decimal value, unpadded (at most 10 digits)
        ElevenDigits, // "%011I64d": the 64-bit value of a decimal text, 11 digits
        Text,         // "%s": the text as it is
        Character,    // "%c": the text's first character
        PadRight,     // "%-Ns": the text followed by blanks up to N characters
        PadLeft,      // "%Ns": blanks up to N characters, then the text
        Invalid,
    };
    Kind kind = Kind::Invalid;
    std::size_t width = 0; // digits or characters of Fixed, PadRight, PadLeft
    std::size_t length = 0; // characters of the format text taken
    char literal = 0;

    // Whether the conversion takes a text argument (rather than a number).
    constexpr bool takesText() const
    {
        return kind == Kind::ElevenDigits || kind == Kind::Text || kind == Kind::Character ||
               kind == Kind::PadRight || kind == Kind::PadLeft;
    }
    constexpr bool takesArgument() const { return kind != Kind::Literal && kind != Kind::Invalid; }
};

namespace detail {
constexpr bool IsDigit(char c) { return c >= '0' && c <= '9'; }

constexpr std::size_t ReadWidth(std::string_view text, std::size_t& position)
{
    std::size_t width = 0;
    while (position < text.size() && IsDigit(text[position])) {
        width = width * 10 + static_cast<std::size_t>(text[position] - '0');
        ++position;
    }
    return width;
}
} // namespace detail

// The conversion that starts at `position` of `format`.
constexpr Conversion ParseConversion(std::string_view format, std::size_t position)
{
    using Kind = Conversion::Kind;
    if (position >= format.size()) {
        return {};
    }
    if (format[position] != '%') {
        return {Kind::Literal, 0, 1, format[position]};
    }
    const std::string_view rest = format.substr(position);
    if (rest.starts_with("%011I64d")) {
        return {Kind::ElevenDigits, 11, 8, 0};
    }
    if (rest.starts_with("%d")) {
        return {Kind::Plain, 0, 2, 0};
    }
    if (rest.starts_with("%s")) {
        return {Kind::Text, 0, 2, 0};
    }
    if (rest.starts_with("%c")) {
        return {Kind::Character, 0, 2, 0};
    }
    std::size_t at = 1;
    if (rest.starts_with("%0")) {
        ++at;
        const std::size_t width = detail::ReadWidth(rest, at);
        if (width >= 1 && width <= 9 && at < rest.size() && rest[at] == 'd') {
            return {Kind::Fixed, width, at + 1, 0};
        }
        return {};
    }
    const bool left = rest.size() > 1 && rest[1] == '-';
    if (left) {
        ++at;
    }
    const std::size_t width = detail::ReadWidth(rest, at);
    if (width >= 1 && at < rest.size() && rest[at] == 's') {
        return {left ? Kind::PadRight : Kind::PadLeft, width, at + 1, 0};
    }
    return {};
}

// The 64-bit value of a decimal text: leading blanks skipped, an optional sign,
// then digits up to the first non-digit; no digits give 0. Values beyond the 64-bit
// range saturate. A null text gives 0.
std::int64_t DecimalTextValue(const unsigned char* text) noexcept;

// Formats `format` with `args` (taken in order, one per conversion) into `out`.
// False, with `out` unusable, when an argument does not fit its field: a number wider
// than its fixed field, an 11-digit value outside 0..kMaxElevenDigits, a text longer
// than its padded field, a text containing ";" (it would end the command early), a
// missing or null argument, or more than kMaxCommandLength bytes in all.
bool FormatCommand(std::string_view format, std::span<const Arg> args, CommandText& out) noexcept;

} // namespace linkcore::commands
