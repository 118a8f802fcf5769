// SPDX-License-Identifier: GPL-3.0-or-later
// ReplyText: read-only view of one radio reply (mnemonic and parameters, without its
// ";"), with the field readers that the parser and the notifiers share. Positions
// count from 0; a position past the end of the reply reads as a NUL character, so
// every field of a short reply has a defined value. Pure functions, any thread.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string_view>

namespace linkcore {

class ReplyText {
public:
    // The longest reply the parser looks at; longer replies are cut.
    static constexpr std::size_t kMaxLength = 255;

    explicit ReplyText(std::string_view text) : text_(text.substr(0, std::min(text.size(), kMaxLength))) {}
    // A NUL-terminated reply.
    explicit ReplyText(const unsigned char* text)
        : ReplyText(std::string_view(reinterpret_cast<const char*>(text),
                                     ::strnlen(reinterpret_cast<const char*>(text), kMaxLength)))
    {
    }

    std::size_t length() const { return text_.size(); }
    std::string_view view() const { return text_; }
    unsigned char at(std::size_t position) const
    {
        return position < text_.size() ? static_cast<unsigned char>(text_[position]) : 0;
    }
    bool isDigitAt(std::size_t position) const { return at(position) >= '0' && at(position) <= '9'; }

    // The character at `position` minus "0", whatever the character is.
    std::int32_t digit(std::size_t position) const { return static_cast<std::int32_t>(at(position)) - '0'; }
    // Characters first..last read as one decimal number (blanks and a sign may lead).
    std::int32_t number(std::size_t first, std::size_t last) const { return Decimal(slice(first, last)); }
    // From `first` to the end, read as one decimal number.
    std::int32_t numberFrom(std::size_t first) const { return Decimal(from(first)); }
    // Characters first..last taken digit by digit: 10 x first + second, and so on.
    std::int32_t digitWise(std::size_t first, std::size_t last) const
    {
        std::int32_t value = 0;
        for (std::size_t position = first; position <= last; ++position) {
            value = value * 10 + digit(position);
        }
        return value;
    }
    // Characters first..last, as far as the reply reaches.
    std::string_view slice(std::size_t first, std::size_t last) const
    {
        if (first >= text_.size() || last < first) {
            return {};
        }
        return text_.substr(first, last - first + 1);
    }
    std::string_view from(std::size_t first) const
    {
        return first < text_.size() ? text_.substr(first) : std::string_view();
    }

    // Decimal text as the radio writes it: leading blanks, an optional sign, digits up
    // to the first non-digit. No digits give 0; values beyond 32 bits saturate.
    static std::int32_t Decimal(std::string_view text)
    {
        std::size_t position = 0;
        while (position < text.size() && (text[position] == ' ' || (text[position] >= '\t' && text[position] <= '\r'))) {
            ++position;
        }
        bool negative = false;
        if (position < text.size() && (text[position] == '+' || text[position] == '-')) {
            negative = text[position] == '-';
            ++position;
        }
        constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
        std::int64_t magnitude = 0;
        for (; position < text.size() && text[position] >= '0' && text[position] <= '9'; ++position) {
            magnitude = std::min(kLimit, magnitude * 10 + (text[position] - '0'));
        }
        const std::int64_t value = negative ? -magnitude : std::min(magnitude, kLimit - 1);
        return static_cast<std::int32_t>(value);
    }

private:
    std::string_view text_;
};

} // namespace linkcore
