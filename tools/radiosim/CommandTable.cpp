// SPDX-License-Identifier: GPL-3.0-or-later
// Compile-time checks of the command table: the procedures in Transceiver.cpp
// rely on these invariants instead of testing them at run time.
#include "radiosim/CommandTable.h"

namespace radiosim {
namespace {

constexpr bool IsMnemonic(std::string_view text)
{
    return text.size() == 2 && text[0] >= 'A' && text[0] <= 'Z' && text[1] >= 'A' && text[1] <= 'Z';
}

constexpr bool SortedAndUnique()
{
    for (std::size_t i = 0; i < kCommandCount; ++i) {
        if (!IsMnemonic(kCommands[i].mnemonic)) {
            return false;
        }
        if (i > 0 && !(kCommands[i - 1].mnemonic < kCommands[i].mnemonic)) {
            return false;
        }
    }
    return true;
}

// A model missing from a row has no format; a model present has a well-formed one.
constexpr bool FormatsFollowModels()
{
    for (const CommandRow& row : kCommands) {
        if (row.models == 0) {
            return false;
        }
        for (int model : {19, 20}) {
            const std::string_view format = FormatFor(row, model);
            const bool present = (row.models & ModelBit(model)) != 0;
            if (!present && !format.empty()) {
                return false;
            }
            if (present && Width(format) < 0) {
                return false;
            }
        }
    }
    return true;
}

// Addresses, answered-only fields and text belong to stored values only; the
// procedures of the other kinds read their formats as plain digit fields.
constexpr bool PlainFormat(std::string_view format)
{
    FieldReader reader(format);
    Field field;
    while (reader.next(field)) {
        if (field.role != Carried || !field.digits()) {
            return false;
        }
    }
    return reader.valid();
}

// The start value of every stored row is one the front panel could store; rows
// that keep nothing have none.
constexpr bool InitialValuesFitFormats()
{
    for (const CommandRow& row : kCommands) {
        for (int model : {19, 20}) {
            if ((row.models & ModelBit(model)) == 0) {
                continue;
            }
            const std::string_view format = FormatFor(row, model);
            switch (row.kind) {
            case Kind::Value:
                if (!row.initial.empty() && (static_cast<int>(row.initial.size()) != Width(format, kStoredFields) ||
                                             !Matches(format, row.initial, kStoredFields))) {
                    return false;
                }
                if (Width(format, kStoredFields) == 0) {
                    return false;
                }
                break;
            case Kind::Power:
            case Kind::Keying:
            case Kind::Terminal:
                if (!PlainFormat(format) || !Matches(format, row.initial)) {
                    return false;
                }
                break;
            case Kind::Menu:
                if (!PlainFormat(format) || Width(format) != 7 || row.initial.empty()) {
                    return false;
                }
                break;
            case Kind::Transmit:
            case Kind::Identity:
                if (!PlainFormat(format)) {
                    return false;
                }
                break;
            case Kind::Status:
            case Kind::SubStatus:
            case Kind::TransmitInfo:
            case Kind::MemoryWrite:
            case Kind::Receive:
                if (!format.empty() || !row.initial.empty()) {
                    return false;
                }
                break;
            }
        }
    }
    return true;
}

// The row of a mnemonic by position, kCommandCount when there is none: unlike
// addresses of rows, positions stay constant expressions under the sanitizers.
constexpr std::size_t IndexOf(std::string_view mnemonic)
{
    std::size_t i = 0;
    while (i < kCommandCount && kCommands[i].mnemonic != mnemonic) {
        ++i;
    }
    return i;
}

// The composed replies and MW take their parts from these rows.
constexpr bool ComposedRepliesFindTheirParts()
{
    const std::size_t memory = IndexOf("MR");
    const std::size_t write = IndexOf("MW");
    if (memory == kCommandCount || write == kCommandCount || kCommands[memory].models != kCommands[write].models ||
        kCommands[memory].access != Access::ReadOnly) {
        return false;
    }
    for (int model : {19, 20}) {
        const std::string_view format = FormatFor(kCommands[memory], model);
        if (Width(format, kAddressFields) == 0 || Width(format, AnsweredOnly) != 0) {
            return false;
        }
    }
    for (std::string_view part : {"FA", "FB", "FC", "FR", "FT", "MC", "MD", "SC"}) {
        const std::size_t row = IndexOf(part);
        if (row == kCommandCount || kCommands[row].kind != Kind::Value ||
            Width(kCommands[row].format19, kAddressFields) != 0 || Width(kCommands[row].format20, kAddressFields) != 0) {
            return false;
        }
    }
    return IndexOf("OI") != kCommandCount && kCommands[IndexOf("FC")].models == kCommands[IndexOf("OI")].models;
}

static_assert(SortedAndUnique(), "command rows must be sorted by mnemonic, each once");
static_assert(FormatsFollowModels(), "formats must be present exactly for the row's models");
static_assert(InitialValuesFitFormats(), "start values must fit the row's formats");
static_assert(ComposedRepliesFindTheirParts(), "composed replies and memory writes need their rows");
static_assert(FindCommand("FA")->mnemonic == "FA" && FindCommand("ZZ") == nullptr);
static_assert(Matches("1:1-7,9", "9") && !Matches("1:1-7,9", "8") && !Matches("1:1-7,9", "0"));
static_assert(Matches("2x 1", "3F1") && !Matches("2x 1", "3G1") && !Matches("11", "123"));
static_assert(Matches("1c:_- 4", " 0100") && Matches("1c:_- 4", "-0100") && !Matches("1c:_- 4", "+0100"));
static_assert(Matches("@1 2 +1", "123", kSetFields) && Matches("@1 2 +1", "231", kStoredFields) &&
              !Matches("@1 2 +1", "1234", kSetFields) && Width("@1 2 +1", kAddressFields) == 1);
static_assert(Matches("1 8t", "1ABC") && Matches("1 8t", "1ABCDEFGH") && !Matches("1 8t", "1ABCDEFGHI") &&
              !Matches("1 8t", "1A\x01"));
static_assert(Width("1 +1 2") < 0 && Width("8t 1") < 0 && Width("2:0-100") < 0 && Width("1t:1") < 0,
              "answered-only fields come last, text last of all; lists fit their fields");

} // namespace
} // namespace radiosim
