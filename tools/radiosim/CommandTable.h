// The simulated radio's command surface as data: one row per mnemonic with the
// models that take it, how it behaves and the layout of its parameters.
// Immutable; safe to read from any thread.
#pragma once

#include <cstdint>
#include <string_view>

namespace radiosim {

// How a command is handled; the shared procedures in Transceiver.cpp act on this.
enum class Kind : std::uint8_t {
    Value,    // read "XX;" answers "XX<value>;", set "XX<value>;" stores the value
    Indexed,  // the first field addresses one of several values: read "XX<i>;", set "XX<i><value>;"
    Power,    // PS: a value that also switches the radio off, on or to standby
    Status,   // IF: read-only, composed from frequency, mode, VFO and transmit state
    Identity, // ID: read-only model number
    Transmit, // TX: "TX;" or "TX<d>;" keys the transmitter, answered "TX<d>;"
    Receive,  // RX: back to receive, answered "RX0;"
    Keying,   // KY: "KY <text>;" sends CW text; read "KY;" answers the buffer state
    Menu,     // EX: a seven-digit menu address followed by a free text value
    Terminal, // TC: "TC 0;" enters pass-through, "TC 1;" confirms command mode
};

enum class Access : std::uint8_t { ReadWrite, ReadOnly };

enum ModelMask : std::uint8_t { Model19 = 1, Model20 = 2, BothModels = Model19 | Model20 };

constexpr std::uint8_t ModelBit(int model)
{
    return model == 19 ? Model19 : model == 20 ? Model20 : 0;
}

// Parameter formats: fields separated by one blank. A field is its width in
// characters, an optional "x" for hexadecimal digits (otherwise decimal), and an
// optional ":" followed by the accepted values, a comma-separated list of numbers
// and ranges ("1-7,9"). Without a list any value of the width is accepted.
struct CommandRow {
    std::string_view mnemonic;
    std::uint8_t models;
    Kind kind;
    Access access;
    std::string_view format19; // parameter format on model 19
    std::string_view format20; // parameter format on model 20
    std::string_view initial;  // value after start; for Indexed rows, the value of every index
};

struct Field {
    int width = 0;
    bool hex = false;
    std::string_view accepted;
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
        std::size_t i = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            field.width = field.width * 10 + (text[i] - '0');
            ++i;
        }
        if (i < text.size() && text[i] == 'x') {
            field.hex = true;
            ++i;
        }
        if (i < text.size()) {
            if (text[i] != ':' || i + 1 == text.size()) {
                valid_ = false;
                return false;
            }
            field.accepted = text.substr(i + 1);
        }
        if (field.width < 1 || field.width > 11) {
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

// True when the accepted-values list is well formed (numbers and ascending ranges).
constexpr bool ListIsWellFormed(std::string_view list)
{
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

// Sum of the field widths, or -1 when the format is malformed.
constexpr int FormatWidth(std::string_view format)
{
    FieldReader reader(format);
    Field field;
    int width = 0;
    while (reader.next(field)) {
        if (!ListIsWellFormed(field.accepted)) {
            return -1;
        }
        width += field.width;
    }
    return reader.valid() ? width : -1;
}

// True when `params` fills the format exactly: right digits, every value accepted.
constexpr bool Matches(std::string_view format, std::string_view params)
{
    FieldReader reader(format);
    Field field;
    while (reader.next(field)) {
        if (params.size() < static_cast<std::size_t>(field.width)) {
            return false;
        }
        std::int64_t value = 0;
        for (int i = 0; i < field.width; ++i) {
            const int digit = DigitValue(params[static_cast<std::size_t>(i)], field.hex);
            if (digit < 0) {
                return false;
            }
            value = value * (field.hex ? 16 : 10) + digit;
        }
        if (!Accepts(field.accepted, value)) {
            return false;
        }
        params.remove_prefix(static_cast<std::size_t>(field.width));
    }
    return reader.valid() && params.empty();
}

// The format without its first field (the address of an Indexed row).
constexpr std::string_view WithoutFirstField(std::string_view format)
{
    const auto blank = format.find(' ');
    return blank == std::string_view::npos ? std::string_view{} : format.substr(blank + 1);
}

// The first field of a format (the address of an Indexed row).
constexpr std::string_view FirstField(std::string_view format)
{
    return format.substr(0, format.find(' '));
}

inline constexpr CommandRow kCommands[] = {
    {"AC", BothModels, Kind::Value, Access::ReadWrite, "1:0-1 1:0-1 1:0-2", "1:0-1 1:0-2 1:0-1", "000"},
    {"AG", BothModels, Kind::Indexed, Access::ReadWrite, "1:0-1 3:0-999", "1:0 3:0-999", "100"},
    {"AI", BothModels, Kind::Value, Access::ReadWrite, "1:0,2", "1:0-3", "0"},
    {"AL", Model19, Kind::Value, Access::ReadWrite, "3:0-4", "", "000"},
    {"AM", Model19, Kind::Value, Access::ReadWrite, "1:0-1", "", "0"},
    {"AN", BothModels, Kind::Value, Access::ReadWrite, "1:1-2", "1:1-2", "1"},
    {"BC", BothModels, Kind::Value, Access::ReadWrite, "1:0-2", "1:0-2", "0"},
    {"BP", Model19, Kind::Value, Access::ReadWrite, "3:0-63", "", "000"},
    {"CA", BothModels, Kind::Value, Access::ReadWrite, "1:0-1", "1:0-1", "0"},
    {"CG", Model19, Kind::Value, Access::ReadWrite, "3:0-100", "", "050"},
    {"CM", Model19, Kind::Value, Access::ReadWrite, "1:0-1", "", "0"},
    {"CN", BothModels, Kind::Value, Access::ReadWrite, "2:1-99", "2:0-99", "01"},
    {"CR", Model20, Kind::Value, Access::ReadWrite, "", "1:0-1 1:0-2", "00"},
    {"CT", BothModels, Kind::Value, Access::ReadWrite, "1:0-1", "1:0-1", "0"},
    {"DC", Model19, Kind::Value, Access::ReadWrite, "1:0-1 1:0-1", "", "00"},
    {"DL", Model20, Kind::Value, Access::ReadWrite, "", "1:0-1 2:0-99", "000"},
    {"DQ", Model19, Kind::Value, Access::ReadWrite, "1:0-1", "", "0"},
    {"EX", BothModels, Kind::Menu, Access::ReadWrite, "3 2 1 1", "3 2:0 1:0 1:0", "0"},
    {"FA", BothModels, Kind::Value, Access::ReadWrite, "11", "11", "00014195000"},
    {"FB", BothModels, Kind::Value, Access::ReadWrite, "11", "11", "00007050000"},
    {"FC", Model19, Kind::Value, Access::ReadWrite, "11", "", "00021200000"},
    {"FR", BothModels, Kind::Value, Access::ReadWrite, "1:0-3", "1:0-2", "0"},
    {"FS", BothModels, Kind::Value, Access::ReadWrite, "1:0-1", "1:0-1", "0"},
    {"FT", BothModels, Kind::Value, Access::ReadWrite, "1:0-3", "1:0-1", "0"},
    {"FW", BothModels, Kind::Value, Access::ReadWrite, "4:0-9999", "4:0-9999", "2400"},
    {"GT", BothModels, Kind::Value, Access::ReadWrite, "3:0-999", "3:0-999", "002"},
    {"ID", BothModels, Kind::Identity, Access::ReadOnly, "3", "3", ""},
    {"IF", BothModels, Kind::Status, Access::ReadOnly, "", "", ""},
    {"KS", BothModels, Kind::Value, Access::ReadWrite, "3:0-999", "3:0-999", "020"},
    {"KY", BothModels, Kind::Keying, Access::ReadWrite, "1:0-1", "1:0-1", "0"},
    {"LK", BothModels, Kind::Value, Access::ReadWrite, "1:0-2 1:0-2", "1:0-1 1:0-1", "00"},
    {"LT", Model19, Kind::Value, Access::ReadWrite, "1:0-1", "", "0"},
    {"MC", BothModels, Kind::Value, Access::ReadWrite, "1:0-2 2:0-99", "1:0 2:0-99", "000"},
    {"MD", BothModels, Kind::Value, Access::ReadWrite, "1:1-7,9", "1:1-7,9", "2"},
    {"MF", BothModels, Kind::Value, Access::ReadWrite, "1:0-1", "1:0-1", "0"},
    {"MG", BothModels, Kind::Value, Access::ReadWrite, "3:0-999", "3:0-999", "050"},
    {"ML", BothModels, Kind::Value, Access::ReadWrite, "3:0-9", "3:0-9", "000"},
    {"MO", Model19, Kind::Value, Access::ReadWrite, "1:0-1", "", "0"},
    {"MU", Model19, Kind::Value, Access::ReadWrite,
     "1:0-1 1:0-1 1:0-1 1:0-1 1:0-1 1:0-1 1:0-1 1:0-1 1:0-1 1:0-1", "", "0000000000"},
    {"NB", BothModels, Kind::Value, Access::ReadWrite, "1:0-1", "1:0-1", "0"},
    {"NL", BothModels, Kind::Value, Access::ReadWrite, "3:0-999", "3:0-999", "005"},
    {"NR", BothModels, Kind::Value, Access::ReadWrite, "1:0-2", "1:0-2", "0"},
    {"NT", Model19, Kind::Value, Access::ReadWrite, "1:0-1", "", "0"},
    {"OF", Model19, Kind::Value, Access::ReadWrite, "9:0-59950000", "", "000000000"},
    {"OS", Model19, Kind::Value, Access::ReadWrite, "1:0-3", "", "0"},
    {"PC", BothModels, Kind::Value, Access::ReadWrite, "3:1-999", "3:1-999", "100"},
    {"PL", BothModels, Kind::Value, Access::ReadWrite, "3:0-999 3:0-999", "3:0-999 3:0-999", "000000"},
    {"PM", Model19, Kind::Value, Access::ReadWrite, "1:0-5", "", "0"},
    {"PR", BothModels, Kind::Value, Access::ReadWrite, "1:0-1", "1:0-1", "0"},
    {"PS", BothModels, Kind::Power, Access::ReadWrite, "1:0-3", "1:0,1,9", "1"},
    {"QC", Model19, Kind::Value, Access::ReadWrite, "3:0-103", "", "000"},
    {"QR", BothModels, Kind::Value, Access::ReadWrite, "1:0-1 1:0-9", "1:0-1 1:0-9", "00"},
    {"RG", BothModels, Kind::Value, Access::ReadWrite, "3:0-999", "3:0-999", "255"},
    {"RL", BothModels, Kind::Value, Access::ReadWrite, "2:0-9", "2:0-9", "00"},
    {"RT", BothModels, Kind::Value, Access::ReadWrite, "1:0-1", "1:0-1", "0"},
    {"RX", BothModels, Kind::Receive, Access::ReadWrite, "", "", ""},
    {"SD", BothModels, Kind::Value, Access::ReadWrite, "4:0-9999", "4:0-9999", "0050"},
    {"SH", BothModels, Kind::Value, Access::ReadWrite, "2:0-11", "2:0-13", "00"},
    {"SL", BothModels, Kind::Value, Access::ReadWrite, "2:0-11", "2:0-11", "00"},
    {"SM", BothModels, Kind::Indexed, Access::ReadOnly, "1:0-3 4", "1:0 4", "0000"},
    {"SQ", BothModels, Kind::Indexed, Access::ReadWrite, "1:0-1 3:0-999", "1:0 3:0-999", "000"},
    {"SS", Model19, Kind::Value, Access::ReadWrite, "1:0-2", "", "0"},
    {"ST", BothModels, Kind::Value, Access::ReadWrite, "2:0-9", "2:0-9", "00"},
    {"TC", Model19, Kind::Terminal, Access::ReadWrite, "1:0-1", "", "1"},
    {"TN", BothModels, Kind::Value, Access::ReadWrite, "2:1-99", "2:0-99", "01"},
    {"TO", BothModels, Kind::Value, Access::ReadWrite, "1:0-3", "1:0-1", "0"},
    {"TS", BothModels, Kind::Value, Access::ReadWrite, "1:0-1", "1:0-1", "0"},
    {"TX", BothModels, Kind::Transmit, Access::ReadWrite, "1:0", "1:0-2", "0"},
    {"TY", BothModels, Kind::Value, Access::ReadOnly, "2x 1", "2x 1", "000"},
    {"VD", BothModels, Kind::Value, Access::ReadWrite, "4:0-9999", "4:0-9999", "0100"},
    {"VG", BothModels, Kind::Value, Access::ReadWrite, "3:0-999", "3:0-999", "050"},
    {"VX", BothModels, Kind::Value, Access::ReadWrite, "1:0-1", "1:0-1", "0"},
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
