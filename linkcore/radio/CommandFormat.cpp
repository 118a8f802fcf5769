// SPDX-License-Identifier: GPL-3.0-or-later
#include "linkcore/radio/CommandFormat.h"

#include <limits>

namespace linkcore::commands {
namespace {

class Writer {
public:
    explicit Writer(CommandText& out) : out_(out) { out_.length = 0; }

    bool put(unsigned char c)
    {
        if (out_.length >= out_.bytes.size()) {
            return false;
        }
        out_.bytes[out_.length++] = c;
        return true;
    }
    bool repeat(unsigned char c, std::size_t count)
    {
        for (std::size_t i = 0; i < count; ++i) {
            if (!put(c)) {
                return false;
            }
        }
        return true;
    }
    bool text(const unsigned char* text, std::size_t length)
    {
        for (std::size_t i = 0; i < length; ++i) {
            if (!put(text[i])) {
                return false;
            }
        }
        return true;
    }
    // `value` in exactly `width` digits, zero-padded; width 0 writes it unpadded.
    bool digits(std::uint64_t value, std::size_t width)
    {
        std::array<unsigned char, 20> reversed{};
        std::size_t count = 0;
        do {
            reversed[count++] = static_cast<unsigned char>('0' + value % 10);
            value /= 10;
        } while (value != 0);
        if (width != 0 && count > width) {
            return false;
        }
        if (width > count && !repeat('0', width - count)) {
            return false;
        }
        while (count > 0) {
            if (!put(reversed[--count])) {
                return false;
            }
        }
        return true;
    }

private:
    CommandText& out_;
};

// Length of `text` if it is at most `limit` characters and holds no ";".
bool MeasureText(const unsigned char* text, std::size_t limit, std::size_t& length)
{
    if (text == nullptr) {
        return false;
    }
    length = 0;
    while (text[length] != 0) {
        if (text[length] == ';' || length == limit) {
            return false;
        }
        ++length;
    }
    return true;
}

bool Convert(const Conversion& conversion, const Arg& arg, Writer& writer)
{
    using Kind = Conversion::Kind;
    if (conversion.takesText() != arg.isText) {
        return false;
    }
    std::size_t length = 0;
    switch (conversion.kind) {
    case Kind::Fixed:
        return writer.digits(arg.number, conversion.width);
    case Kind::Plain:
        return writer.digits(arg.number, 0);
    case Kind::ElevenDigits: {
        if (arg.text == nullptr) {
            return false;
        }
        const std::int64_t value = DecimalTextValue(arg.text);
        if (value < 0 || value > kMaxElevenDigits) {
            return false;
        }
        return writer.digits(static_cast<std::uint64_t>(value), conversion.width);
    }
    case Kind::Text:
        return MeasureText(arg.text, kMaxCommandLength, length) && writer.text(arg.text, length);
    case Kind::Character:
        return MeasureText(arg.text, kMaxCommandLength, length) && length > 0 && writer.put(arg.text[0]);
    case Kind::PadRight:
        return MeasureText(arg.text, conversion.width, length) && writer.text(arg.text, length) &&
               writer.repeat(' ', conversion.width - length);
    case Kind::PadLeft:
        return MeasureText(arg.text, conversion.width, length) &&
               writer.repeat(' ', conversion.width - length) && writer.text(arg.text, length);
    case Kind::Literal:
    case Kind::Invalid:
        break;
    }
    return false;
}

bool IsBlank(unsigned char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

} // namespace

std::int64_t DecimalTextValue(const unsigned char* text) noexcept
{
    if (text == nullptr) {
        return 0;
    }
    while (IsBlank(*text)) {
        ++text;
    }
    const bool negative = *text == '-';
    if (*text == '-' || *text == '+') {
        ++text;
    }
    // Accumulate towards the sign's side so that the most negative value is reachable.
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    std::int64_t value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        const int digit = *text - '0';
        if (negative) {
            if (value < (kMin + digit) / 10) {
                return kMin;
            }
            value = value * 10 - digit;
        } else {
            if (value > (kMax - digit) / 10) {
                return kMax;
            }
            value = value * 10 + digit;
        }
    }
    return value;
}

bool FormatCommand(std::string_view format, std::span<const Arg> args, CommandText& out) noexcept
{
    Writer writer(out);
    std::size_t next = 0;
    for (std::size_t position = 0; position < format.size();) {
        const Conversion conversion = ParseConversion(format, position);
        if (conversion.kind == Conversion::Kind::Invalid) {
            return false;
        }
        position += conversion.length;
        if (conversion.kind == Conversion::Kind::Literal) {
            if (!writer.put(static_cast<unsigned char>(conversion.literal))) {
                return false;
            }
            continue;
        }
        if (next >= args.size() || !Convert(conversion, args[next++], writer)) {
            return false;
        }
    }
    return true;
}

} // namespace linkcore::commands
