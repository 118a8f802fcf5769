// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated radio's command surface as data: one row per mnemonic with the
// models that take it, how it behaves and the layout of its parameters.
// Immutable; safe to read from any thread.
#pragma once

#include <cstdint>
#include <iterator>
#include <string_view>

namespace radiosim {

// How a command is handled; the shared procedures in Transceiver.cpp act on this.
enum class Kind : std::uint8_t {
    Value,        // read "XX<address>;" answers "XX<address><value>;", set "XX<address><value>;" stores it
    Power,        // PS: a value that also switches the radio off, on or to standby
    Status,       // IF: read-only, composed from frequency, mode, VFO and transmit state
    SubStatus,    // OI: read-only, the sub receiver's status in the layout of IF
    TransmitInfo, // XI: read-only, the transmitting VFO's frequency and the mode
    MemoryWrite,  // MW: writes a memory channel in the layout in which MR reads it
    Identity,     // ID: read-only model number
    Transmit,     // TX: "TX;" or "TX<d>;" keys the transmitter, answered "TX<d>;"
    Receive,      // RX: back to receive, answered "RX0;"
    Keying,       // KY: "KY <text>;" sends CW text; read "KY;" answers the buffer state
    Menu,         // EX: a seven-digit menu address followed by a free text value
    Terminal,     // TC: "TC 0;" enters pass-through, "TC 1;" confirms command mode
};

// ReadOnly: sets from the line are refused; the front panel may still change the value.
enum class Access : std::uint8_t { ReadWrite, ReadOnly };

enum ModelMask : std::uint8_t { Model19 = 1, Model20 = 2, BothModels = Model19 | Model20 };

constexpr std::uint8_t ModelBit(int model)
{
    return model == 19 ? Model19 : model == 20 ? Model20 : 0;
}

// Parameter formats: fields separated by one blank, in the order in which they
// appear in the command. A field is an optional role, its width in characters, an
// optional type and an optional ":" followed by the accepted values.
//   role  "@"  an address: part of the read request; selects which value is meant
//         "+"  answered only: the radio reports it, a set from the line leaves it
//              as it is (the front panel sets it along with the others)
//         none a value that the set command carries
//   type  none decimal digits, "x" hexadecimal digits; the accepted values are a
//              comma-separated list of numbers and ranges ("1-7,9"), without one
//              any value of the width is accepted
//         "t"  text: printable characters but ";"; as the last field of a command
//              it may be shorter and is kept padded with blanks
//         "c"  characters from the accepted list, in which "_" stands for a blank
// Addresses come first, answered-only fields after the values, a text field last.
struct CommandRow {
    std::string_view mnemonic;
    std::uint8_t models;
    Kind kind;
    Access access;
    std::string_view format19; // parameter format on model 19
    std::string_view format20; // parameter format on model 20
    // Value after start, of every address, without the address; empty: the lowest
    // accepted value of every field (blanks for text).
    std::string_view initial;
};

enum class FieldType : std::uint8_t { Decimal, Hex, Text, Character };

enum FieldRole : std::uint8_t { Address = 1, Carried = 2, AnsweredOnly = 4 };

// The fields a procedure looks at, as a mask of roles.
enum FieldSelection : std::uint8_t {
    kAddressFields = Address,
    kSetFields = Address | Carried,         // a set command from the line
    kStoredFields = Carried | AnsweredOnly, // what is kept per address
    kReplyFields = Address | Carried | AnsweredOnly,
};

struct Field {
    int width = 0;
    FieldType type = FieldType::Decimal;
    FieldRole role = Carried;
    std::string_view accepted;

    constexpr bool digits() const { return type == FieldType::Decimal || type == FieldType::Hex; }
    constexpr int base() const { return type == FieldType::Hex ? 16 : 10; }
};

// Walks the fields of a format; `valid()` turns false at the first malformed field.
class FieldReader {
public:
    constexpr explicit FieldReader(std::string_view format) : rest_(format) {}

    constexpr bool next(Field& field)
    {
        if (rest_.empty() || !valid_) {
            return false;
        }
        const auto end = rest_.find(' ');
        std::string_view text = rest_.substr(0, end);
        rest_ = end == std::string_view::npos ? std::string_view{} : rest_.substr(end + 1);
        field = Field{};
        if (!text.empty() && (text.front() == '@' || text.front() == '+')) {
            field.role = text.front() == '@' ? Address : AnsweredOnly;
            text.remove_prefix(1);
        }
        std::size_t i = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            field.width = field.width * 10 + (text[i] - '0');
            ++i;
        }
        if (i < text.size() && (text[i] == 'x' || text[i] == 't' || text[i] == 'c')) {
            field.type = text[i] == 'x' ? FieldType::Hex : text[i] == 't' ? FieldType::Text : FieldType::Character;
            ++i;
        }
        if (i < text.size()) {
            if (text[i] != ':' || i + 1 == text.size()) {
                valid_ = false;
                return false;
            }
            field.accepted = text.substr(i + 1);
        }
        const bool listFits = field.type == FieldType::Text ? field.accepted.empty()
                              : field.type == FieldType::Character ? !field.accepted.empty()
                                                                   : true;
        if (field.width < 1 || field.width > 11 || !listFits) {
            valid_ = false;
            return false;
        }
        return true;
    }

    constexpr bool valid() const { return valid_; }

private:
    std::string_view rest_;
    bool valid_ = true;
};

// Reads a decimal number from the front of `text`, advancing it; false without digits.
constexpr bool TakeNumber(std::string_view& text, std::int64_t& value)
{
    std::size_t i = 0;
    value = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && i < 12) {
        value = value * 10 + (text[i] - '0');
        ++i;
    }
    text.remove_prefix(i);
    return i > 0;
}

// True when `value` is in the accepted-values list (an empty list accepts all).
constexpr bool Accepts(std::string_view list, std::int64_t value)
{
    if (list.empty()) {
        return true;
    }
    while (!list.empty()) {
        std::int64_t low = 0;
        if (!TakeNumber(list, low)) {
            return false;
        }
        std::int64_t high = low;
        if (!list.empty() && list.front() == '-') {
            list.remove_prefix(1);
            if (!TakeNumber(list, high)) {
                return false;
            }
        }
        if (value >= low && value <= high) {
            return true;
        }
        if (!list.empty()) {
            if (list.front() != ',') {
                return false;
            }
            list.remove_prefix(1);
        }
    }
    return false;
}

// The lowest value of an accepted-values list (0 for an empty one).
constexpr std::int64_t LowestAccepted(std::string_view list)
{
    std::int64_t lowest = 0;
    bool first = true;
    while (!list.empty()) {
        std::int64_t value = 0;
        if (!TakeNumber(list, value)) {
            list.remove_prefix(1);
            continue;
        }
        lowest = first || value < lowest ? value : lowest;
        first = false;
    }
    return lowest;
}

// True when the accepted-values list is well formed (numbers and ascending ranges)
// and every number in it can be written in `width` digits of `base`.
constexpr bool ListIsWellFormed(std::string_view list, int width, int base)
{
    std::int64_t limit = 1;
    for (int i = 0; i < width; ++i) {
        limit *= base;
    }
    while (!list.empty()) {
        std::int64_t low = 0;
        std::int64_t high = 0;
        if (!TakeNumber(list, low)) {
            return false;
        }
        high = low;
        if (!list.empty() && list.front() == '-') {
            list.remove_prefix(1);
            if (!TakeNumber(list, high) || high < low) {
                return false;
            }
        }
        if (high >= limit) {
            return false;
        }
        if (!list.empty()) {
            if (list.front() != ',' || list.size() == 1) {
                return false;
            }
            list.remove_prefix(1);
        }
    }
    return true;
}

constexpr int DigitValue(char c, bool hex)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (hex && c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (hex && c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

constexpr bool IsTextCharacter(char c)
{
    return c >= 0x20 && c <= 0x7e && c != ';';
}

// A character of a "c" field's list; "_" stands for a blank.
constexpr bool InCharacterList(std::string_view list, char c)
{
    for (char listed : list) {
        if ((listed == '_' ? ' ' : listed) == c) {
            return true;
        }
    }
    return false;
}

// Sum of the widths of the selected fields, or -1 when the format is malformed:
// a bad field or list, roles out of order, a field after a text field.
constexpr int Width(std::string_view format, unsigned selection = kReplyFields)
{
    FieldReader reader(format);
    Field field;
    int width = 0;
    unsigned lastRole = Address;
    bool textSeen = false;
    while (reader.next(field)) {
        if (field.digits() && !ListIsWellFormed(field.accepted, field.width, field.base())) {
            return -1;
        }
        if (field.role < lastRole || textSeen) {
            return -1;
        }
        lastRole = field.role;
        textSeen = field.type == FieldType::Text;
        if ((field.role & selection) != 0) {
            width += field.width;
        }
    }
    return reader.valid() ? width : -1;
}

// True when `params` fills the selected fields of the format exactly: right
// characters, every value accepted. A text field (always the last) may be shorter
// than its width.
constexpr bool Matches(std::string_view format, std::string_view params, unsigned selection = kReplyFields)
{
    FieldReader reader(format);
    Field field;
    while (reader.next(field)) {
        if ((field.role & selection) == 0) {
            continue;
        }
        const std::size_t width = static_cast<std::size_t>(field.width);
        if (field.type == FieldType::Text) {
            const std::size_t length = params.size() < width ? params.size() : width;
            for (std::size_t i = 0; i < length; ++i) {
                if (!IsTextCharacter(params[i])) {
                    return false;
                }
            }
            params.remove_prefix(length);
            continue;
        }
        if (params.size() < width) {
            return false;
        }
        std::int64_t value = 0;
        for (std::size_t i = 0; i < width; ++i) {
            if (field.type == FieldType::Character) {
                if (!InCharacterList(field.accepted, params[i])) {
                    return false;
                }
                continue;
            }
            const int digit = DigitValue(params[i], field.type == FieldType::Hex);
            if (digit < 0) {
                return false;
            }
            value = value * field.base() + digit;
        }
        if (field.digits() && !Accepts(field.accepted, value)) {
            return false;
        }
        params.remove_prefix(width);
    }
    return reader.valid() && params.empty();
}

// A memory channel as MW writes it and MR reads it: which of the channel's two
// frequencies (receive, transmit) and the channel number, then the frequency, the
// channel's settings and its name.
inline constexpr std::string_view kMemory19 =
    "@1:0-1 @1:0-2 @2:0-99 11 1:0-9 1:0-1 1:0-3 2:0-39 2:0-38 3:0-103 1 1:0-9 9 2 1:0-9 8t";
inline constexpr std::string_view kMemory20 = "@1:0-1 @1:0 @2:0-99 11 1:0-9 1:0-1 1:0-2 2 2 3:0 1 1:0 9:0 2 1:0-9 8t";

inline constexpr CommandRow kCommands[] = {
    {"AC", BothModels, Kind::Value, Access::ReadWrite, "1:0-1 1:0-1 1:0-2", "1:0-1 1:0-2 1:0-1", "000"},
    {"AG", BothModels, Kind::Value, Access::ReadWrite, "@1:0-1 3:0-999", "@1:0 3:0-999", "100"},
    {"AI", BothModels, Kind::Value, Access::ReadWrite, "1:0,2", "1:0-3", "0"},
    {"AL", Model19, Kind::Value, Access::ReadWrite, "3:0-4", "", "000"},
    {"AM", Model19, Kind::Value, Access::ReadWrite, "1:0-1", "", "0"},
    {"AN", BothModels, Kind::Value, Access::ReadWrite, "1:1-2", "1:1-2", "1"},
    {"AR", Model19, Kind::Value, Access::ReadWrite, "@1:0-1 1:0-1 1", "", "00"},
    {"AS", BothModels, Kind::Value, Access::ReadWrite, "@1:0-3 @2:0-99 11 1:0-9", "@1:0 @2:0-99 11 1:0-9", ""},
    {"BC", BothModels, Kind::Value, Access::ReadWrite, "1:0-2", "1:0-2", "0"},
    {"BP", Model19, Kind::Value, Access::ReadWrite, "3:0-63", "", "000"},
    {"BY", BothModels, Kind::Value, Access::ReadOnly, "1:0-1 1:0-1", "1:0-1 1:0-1", "00"},
    {"CA", BothModels, Kind::Value, Access::ReadWrite, "1:0-1", "1:0-1", "0"},
    {"CG", Model19, Kind::Value, Access::ReadWrite, "3:0-100", "", "050"},
    {"CM", Model19, Kind::Value, Access::ReadWrite, "1:0-1", "", "0"},
    {"CN", BothModels, Kind::Value, Access::ReadWrite, "2:1-99", "2:0-99", "01"},
    {"CR", Model20, Kind::Value, Access::ReadWrite, "", "1:0-1 1:0-2 +1", "000"},
    {"CT", BothModels, Kind::Value, Access::ReadWrite, "1:0-1", "1:0-1", "0"},
    {"DC", Model19, Kind::Value, Access::ReadWrite, "1:0-1 1:0-1", "", "00"},
    {"DL", Model20, Kind::Value, Access::ReadWrite, "", "1:0-1 2:0-99", "000"},
    {"DQ", Model19, Kind::Value, Access::ReadWrite, "1:0-1", "", "0"},
    {"EX", BothModels, Kind::Menu, Access::ReadWrite, "3 2 1 1", "3 2:0 1:0 1:0", "0"},
    {"FA", BothModels, Kind::Value, Access::ReadWrite, "11", "11", "00014195000"},
    {"FB", BothModels, Kind::Value, Access::ReadWrite, "11", "11", "00007050000"},
    {"FC", Model19, Kind::Value, Access::ReadWrite, "11", "", "00021200000"},
    {"FD", Model19, Kind::Value, Access::ReadOnly, "8x", "", "00000000"},
    {"FR", BothModels, Kind::Value, Access::ReadWrite, "1:0-3", "1:0-2", "0"},
    {"FS", BothModels, Kind::Value, Access::ReadWrite, "1:0-1", "1:0-1", "0"},
    {"FT", BothModels, Kind::Value, Access::ReadWrite, "1:0-3", "1:0-1", "0"},
    {"FW", BothModels, Kind::Value, Access::ReadWrite, "4:0-9999", "4:0-9999", "2400"},
    {"GT", BothModels, Kind::Value, Access::ReadWrite, "3:0-999", "3:0-999", "002"},
    {"ID", BothModels, Kind::Identity, Access::ReadOnly, "3", "3", ""},
    {"IF", BothModels, Kind::Status, Access::ReadOnly, "", "", ""},
    {"IS", BothModels, Kind::Value, Access::ReadWrite, "1c:_ 4:0-9999", "1c:_- 4:0-9999", " 0000"},
    {"KS", BothModels, Kind::Value, Access::ReadWrite, "3:0-999", "3:0-999", "020"},
    {"KY", BothModels, Kind::Keying, Access::ReadWrite, "1:0-1", "1:0-1", "0"},
    {"LK", BothModels, Kind::Value, Access::ReadWrite, "1:0-2 1:0-2", "1:0-1 1:0-1", "00"},
    {"LM", BothModels, Kind::Value, Access::ReadWrite, "1:0-3", "1:0-3 1:0-2 +3", ""},
    {"LT", Model19, Kind::Value, Access::ReadWrite, "1:0-1", "", "0"},
    {"MC", BothModels, Kind::Value, Access::ReadWrite, "1:0-2 2:0-99", "1:0 2:0-99", "000"},
    {"MD", BothModels, Kind::Value, Access::ReadWrite, "1:1-7,9", "1:1-7,9", "2"},
    {"ME", Model20, Kind::Value, Access::ReadOnly, "", "1 1 1", "000"},
    {"MF", BothModels, Kind::Value, Access::ReadWrite, "1:0-1", "1:0-1", "0"},
    {"MG", BothModels, Kind::Value, Access::ReadWrite, "3:0-999", "3:0-999", "050"},
    {"ML", BothModels, Kind::Value, Access::ReadWrite, "3:0-9", "3:0-9", "000"},
    {"MO", Model19, Kind::Value, Access::ReadWrite, "1:0-1", "", "0"},
    {"MR", BothModels, Kind::Value, Access::ReadOnly, kMemory19, kMemory20, ""},
    {"MU", Model19, Kind::Value, Access::ReadWrite,
     "1:0-1 1:0-1 1:0-1 1:0-1 1:0-1 1:0-1 1:0-1 1:0-1 1:0-1 1:0-1", "", "0000000000"},
    {"MW", BothModels, Kind::MemoryWrite, Access::ReadWrite, "", "", ""},
    {"NB", BothModels, Kind::Value, Access::ReadWrite, "1:0-1", "1:0-1", "0"},
    {"NL", BothModels, Kind::Value, Access::ReadWrite, "3:0-999", "3:0-999", "005"},
    {"NR", BothModels, Kind::Value, Access::ReadWrite, "1:0-2", "1:0-2", "0"},
    {"NT", Model19, Kind::Value, Access::ReadWrite, "1:0-1", "", "0"},
    {"OF", Model19, Kind::Value, Access::ReadWrite, "9:0-59950000", "", "000000000"},
    {"OI", Model19, Kind::SubStatus, Access::ReadOnly, "", "", ""},
    {"OP", Model20, Kind::Value, Access::ReadOnly, "", "1 1 1", "000"},
    {"OS", Model19, Kind::Value, Access::ReadWrite, "1:0-3", "", "0"},
    {"PA", BothModels, Kind::Value, Access::ReadWrite, "1:0-1 +1:0-1", "1:0-1 +1:0", "00"},
    {"PB", BothModels, Kind::Value, Access::ReadWrite, "1:0-3", "1:0-3 +1 +1", ""},
    {"PC", BothModels, Kind::Value, Access::ReadWrite, "3:1-999", "3:1-999", "100"},
    {"PL", BothModels, Kind::Value, Access::ReadWrite, "3:0-999 3:0-999", "3:0-999 3:0-999", "000000"},
    {"PM", Model19, Kind::Value, Access::ReadWrite, "1:0-5", "", "0"},
    {"PR", BothModels, Kind::Value, Access::ReadWrite, "1:0-1", "1:0-1", "0"},
    {"PS", BothModels, Kind::Power, Access::ReadWrite, "1:0-3", "1:0,1,9", "1"},
    {"QC", Model19, Kind::Value, Access::ReadWrite, "3:0-103", "", "000"},
    {"QR", BothModels, Kind::Value, Access::ReadWrite, "1:0-1 1:0-9", "1:0-1 1:0-9", "00"},
    {"RA", BothModels, Kind::Value, Access::ReadWrite, "2:0-99 +2", "2:0-99 +2", "0000"},
    {"RD", BothModels, Kind::Value, Access::ReadWrite, "5:0-99999", "5:0-99999", "00000"},
    {"RG", BothModels, Kind::Value, Access::ReadWrite, "3:0-999", "3:0-999", "255"},
    {"RL", BothModels, Kind::Value, Access::ReadWrite, "2:0-9", "2:0-9", "00"},
    {"RM", BothModels, Kind::Value, Access::ReadWrite, "1:0-4 +4", "1:0-4 +4", "00000"},
    {"RS", Model20, Kind::Value, Access::ReadOnly, "", "1", "0"},
    {"RT", BothModels, Kind::Value, Access::ReadWrite, "1:0-1", "1:0-1", "0"},
    {"RU", BothModels, Kind::Value, Access::ReadWrite, "5:0-99999", "5:0-99999", "00000"},
    {"RX", BothModels, Kind::Receive, Access::ReadWrite, "", "", ""},
    {"SA", Model19, Kind::Value, Access::ReadWrite, "1:0-1 1:0-9 1:0-1 1:0-1 1:0-1 1:0-1 1:0-1 +8t", "", ""},
    {"SB", Model19, Kind::Value, Access::ReadWrite, "1:0-1", "", "0"},
    {"SC", BothModels, Kind::Value, Access::ReadWrite, "1:0-6", "1:0-1,4-5 +1", ""},
    {"SD", BothModels, Kind::Value, Access::ReadWrite, "4:0-9999", "4:0-9999", "0050"},
    {"SH", BothModels, Kind::Value, Access::ReadWrite, "2:0-11", "2:0-13", "00"},
    {"SL", BothModels, Kind::Value, Access::ReadWrite, "2:0-11", "2:0-11", "00"},
    {"SM", BothModels, Kind::Value, Access::ReadOnly, "@1:0-3 4", "@1:0 4", "0000"},
    {"SQ", BothModels, Kind::Value, Access::ReadWrite, "@1:0-1 3:0-999", "@1:0 3:0-999", "000"},
    // Model 20 keeps a table of slow-scan frequencies, addressed by two digits.
    {"SS", BothModels, Kind::Value, Access::ReadWrite, "1:0-2", "@1:0-9 @1:0-4 11", ""},
    {"ST", BothModels, Kind::Value, Access::ReadWrite, "2:0-9", "2:0-9", "00"},
    {"SU", BothModels, Kind::Value, Access::ReadWrite,
     "@1:0-1 1:0-9 1:0-9 1:0-9 1:0-9 1:0-9 1:0-9 1:0-9 1:0-9 1:0-9 1:0-9",
     "@1:0-1 1:0-9 1:0-9 1:0-9 1:0-9 1:0-9 1:0-9 1:0-9 1:0-9 1:0-9 1:0-9", ""},
    {"TC", Model19, Kind::Terminal, Access::ReadWrite, "1:0-1", "", "1"},
    {"TN", BothModels, Kind::Value, Access::ReadWrite, "2:1-99", "2:0-99", "01"},
    {"TO", BothModels, Kind::Value, Access::ReadWrite, "1:0-3", "1:0-1", "0"},
    {"TS", BothModels, Kind::Value, Access::ReadWrite, "1:0-1", "1:0-1", "0"},
    {"TX", BothModels, Kind::Transmit, Access::ReadWrite, "1:0", "1:0-2", "0"},
    {"TY", BothModels, Kind::Value, Access::ReadOnly, "2x 1", "2x 1", "000"},
    {"VD", BothModels, Kind::Value, Access::ReadWrite, "4:0-9999", "4:0-9999", "0100"},
    {"VG", BothModels, Kind::Value, Access::ReadWrite, "3:0-999", "3:0-999", "050"},
    {"VX", BothModels, Kind::Value, Access::ReadWrite, "1:0-1", "1:0-1", "0"},
    {"XI", Model20, Kind::TransmitInfo, Access::ReadOnly, "", "", ""},
    {"XO", Model20, Kind::Value, Access::ReadWrite, "", "1:0-1 11", "000000000000"},
    {"XT", BothModels, Kind::Value, Access::ReadWrite, "1:0-1", "1:0-1", "0"},
};

inline constexpr std::size_t kCommandCount = std::size(kCommands);

// The row of a mnemonic (binary search over the sorted table), or null.
constexpr const CommandRow* FindCommand(std::string_view mnemonic)
{
    std::size_t low = 0;
    std::size_t high = kCommandCount;
    while (low < high) {
        const std::size_t mid = (low + high) / 2;
        if (kCommands[mid].mnemonic == mnemonic) {
            return &kCommands[mid];
        }
        if (kCommands[mid].mnemonic < mnemonic) {
            low = mid + 1;
        } else {
            high = mid;
        }
    }
    return nullptr;
}

constexpr std::string_view FormatFor(const CommandRow& row, int model)
{
    return model == 19 ? row.format19 : row.format20;
}

} // namespace radiosim
