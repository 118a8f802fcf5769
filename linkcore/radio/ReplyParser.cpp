// SPDX-License-Identifier: GPL-3.0-or-later
// The reply parser: splits the radio's text into replies at ";", dispatches each on
// its first letter and stores its fields in RadioState when the connected model
// accepts the reply. The mnemonics are one table of rows; a row lists its fields
// (kind, position, width) and the few rules in which replies differ: exact length,
// an index that selects the entry, and the pass-through flag. Runs only on the radio
// reader thread.
#include "linkcore/radio/ReplyParser.h"

#include "platform/AsciiText.h"
#include "linkcore/radio/ReplyTable.h"
#include "linkcore/radio/ReplyText.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

namespace linkcore {
namespace {

#define AT(path) LINKCORE_AT(path)

enum class FieldKind : std::uint8_t {
    None,
    Digit,      // the character at `first` minus "0"
    Number,     // characters first..last as decimal text
    NumberFrom, // from `first` to the end as decimal text
    DigitWise,  // characters first..last, each minus "0", as digits of one number
    TextAt,     // characters first..last into a text field
    TextFrom,   // from `first` to the end into a text field
    HexBits,    // two hexadecimal characters at `first` into eight bit cells, least significant first
};

struct Field {
    FieldKind kind = FieldKind::None;
    std::uint8_t first = 0;
    std::uint8_t last = 0;
    Locator at = nullptr;
};

constexpr Field Digit(std::uint8_t position, Locator at) { return {FieldKind::Digit, position, position, at}; }
constexpr Field Number(std::uint8_t first, std::uint8_t last, Locator at) { return {FieldKind::Number, first, last, at}; }
constexpr Field NumberFrom(std::uint8_t first, Locator at) { return {FieldKind::NumberFrom, first, first, at}; }
constexpr Field DigitWise(std::uint8_t first, std::uint8_t last, Locator at)
{
    return {FieldKind::DigitWise, first, last, at};
}
constexpr Field TextAt(std::uint8_t first, std::uint8_t last, Locator at) { return {FieldKind::TextAt, first, last, at}; }
constexpr Field TextFrom(std::uint8_t first, Locator at) { return {FieldKind::TextFrom, first, first, at}; }
constexpr Field HexBits(std::uint8_t first, Locator at)
{
    return {FieldKind::HexBits, first, static_cast<std::uint8_t>(first + 1), at};
}

// How a reply picks the entry of an indexed group.
enum class Selector : std::uint8_t {
    None,
    Digit2,      // the digit at 2 is the entry
    Digits2And3, // 10 x digit at 2 + digit at 3, both real digits
};

enum class PassThroughRule : std::uint8_t {
    None,
    FromEX, // on model 19, set by menu 055 value 00001, cleared by every other EX reply
    FromTC, // set by "TC 0", cleared by "TC 1"
};

constexpr std::size_t kMaxFields = 15;

struct Row {
    char mnemonic[3] = {};
    Models models = kBothModels;
    std::uint8_t exactLength = 0; // 0: any length
    Selector selector = Selector::None;
    std::uint8_t entries = 0;         // with a selector: entries 0..entries-1 exist
    bool resetIndex = false;          // an index out of range sets the index cell to 0
    PassThroughRule passThrough = PassThroughRule::None;
    Locator received = nullptr;
    Locator index = nullptr;          // stores the selected entry, if the group keeps it
    std::array<Field, kMaxFields> fields{};
};

// The bit cells of TY, least significant first.
constexpr Locator kTYBits = [](RadioState& s, int) -> std::span<Cell> { return s.TY.bit; };

// One value stored from the digit at 2 or the number from 2.
constexpr Row OneDigit(const char (&mnemonic)[3], Models models, Locator received, Locator value)
{
    return {.mnemonic = {mnemonic[0], mnemonic[1], 0}, .models = models, .received = received,
            .fields = {Digit(2, value)}};
}
constexpr Row OneNumber(const char (&mnemonic)[3], Models models, Locator received, Locator value)
{
    return {.mnemonic = {mnemonic[0], mnemonic[1], 0}, .models = models, .received = received,
            .fields = {NumberFrom(2, value)}};
}

#define DIGIT_ROW(mn, models) OneDigit(#mn, models, AT(mn.received), AT(mn.value))
#define NUMBER_ROW(mn, models) OneNumber(#mn, models, AT(mn.received), AT(mn.value))

constexpr Row kRows[] = {
    {.mnemonic = "AC", .received = AT(AC.received),
     .fields = {Digit(2, AT(AC.digit2)), Digit(3, AT(AC.digit3)), Digit(4, AT(AC.digit4))}},
    {.mnemonic = "AG", .selector = Selector::Digit2, .entries = 2, .resetIndex = true,
     .received = AT(AG.received[i]), .index = AT(AG.index), .fields = {NumberFrom(3, AT(AG.value[i]))}},
    DIGIT_ROW(AI, kBothModels),
    NUMBER_ROW(AL, kCorvexOnly),
    DIGIT_ROW(AM, kCorvexOnly),
    DIGIT_ROW(AN, kBothModels),
    {.mnemonic = "AR", .models = kCorvexOnly, .selector = Selector::Digit2, .entries = 2, .resetIndex = true,
     .received = AT(AR.received[i]), .index = AT(AR.index),
     .fields = {Digit(3, AT(AR.digit3[i])), Digit(4, AT(AR.digit4[i]))}},
    {.mnemonic = "AS", .received = AT(AS.received),
     .fields = {Digit(2, AT(AS.digit2)), Number(3, 4, AT(AS.number3_4)), Digit(16, AT(AS.digit16)),
                TextAt(5, 15, AT(AS.text))}},
    DIGIT_ROW(BC, kBothModels),
    NUMBER_ROW(BP, kCorvexOnly),
    {.mnemonic = "BY", .received = AT(BY.received), .fields = {Digit(2, AT(BY.digit2)), Digit(3, AT(BY.digit3))}},
    DIGIT_ROW(CA, kBothModels),
    NUMBER_ROW(CG, kCorvexOnly),
    DIGIT_ROW(CM, kCorvexOnly),
    NUMBER_ROW(CN, kBothModels),
    {.mnemonic = "CR", .models = kTarselOnly, .received = AT(CR.received),
     .fields = {Digit(2, AT(CR.digit2)), Digit(3, AT(CR.digit3)), Digit(4, AT(CR.digit4))}},
    DIGIT_ROW(CT, kBothModels),
    {.mnemonic = "DC", .models = kCorvexOnly, .received = AT(DC.received),
     .fields = {Digit(2, AT(DC.digit2)), Digit(3, AT(DC.digit3))}},
    {.mnemonic = "DL", .models = kTarselOnly, .received = AT(DL.received),
     .fields = {Digit(2, AT(DL.digit2)), DigitWise(3, 4, AT(DL.number3_4))}},
    DIGIT_ROW(DQ, kCorvexOnly),
    {.mnemonic = "EX", .passThrough = PassThroughRule::FromEX, .received = AT(EX.received),
     .fields = {Number(2, 4, AT(EX.number2_4)), Number(5, 6, AT(EX.number5_6)), Digit(7, AT(EX.digit7)),
                Digit(8, AT(EX.digit8)), TextFrom(9, AT(EX.text))}},
    {.mnemonic = "FA", .exactLength = 13, .received = AT(FA.received), .fields = {TextAt(2, 12, AT(FA.text))}},
    {.mnemonic = "FB", .exactLength = 13, .received = AT(FB.received), .fields = {TextAt(2, 12, AT(FB.text))}},
    {.mnemonic = "FC", .models = kCorvexOnly, .exactLength = 13, .received = AT(FC.received),
     .fields = {TextAt(2, 12, AT(FC.text))}},
    {.mnemonic = "FD", .models = kCorvexOnly, .received = AT(FD.received), .fields = {TextFrom(2, AT(FD.text))}},
    DIGIT_ROW(FR, kBothModels),
    DIGIT_ROW(FS, kBothModels),
    DIGIT_ROW(FT, kBothModels),
    NUMBER_ROW(FW, kBothModels),
    NUMBER_ROW(GT, kBothModels),
    // The one reply accepted whatever the model: it sets the model.
    {.mnemonic = "ID", .models = kAnyModel, .received = AT(ID.received), .fields = {NumberFrom(2, AT(ID.model))}},
    {.mnemonic = "IF", .exactLength = 37, .received = AT(IF.received),
     .fields = {TextAt(2, 12, AT(IF.text)), Number(13, 16, AT(IF.number13_16)), Number(17, 22, AT(IF.number17_22)),
                Digit(23, AT(IF.digit23)), Digit(24, AT(IF.digit24)), Digit(25, AT(IF.digit25)),
                Number(26, 27, AT(IF.number26_27)), Digit(28, AT(IF.digit28)), Digit(29, AT(IF.digit29)),
                Digit(30, AT(IF.digit30)), Digit(31, AT(IF.digit31)), Digit(32, AT(IF.digit32)),
                Digit(33, AT(IF.digit33)), Number(34, 35, AT(IF.number34_35)), Digit(36, AT(IF.digit36))}},
    {.mnemonic = "IS", .received = AT(IS.received),
     .fields = {TextAt(2, 2, AT(IS.sign)), NumberFrom(3, AT(IS.number))}},
    NUMBER_ROW(KS, kBothModels),
    DIGIT_ROW(KY, kBothModels),
    {.mnemonic = "LK", .received = AT(LK.received), .fields = {Digit(2, AT(LK.digit2)), Digit(3, AT(LK.digit3))}},
    {.mnemonic = "LM", .models = kCorvexOnly, .received = AT(LM.received), .fields = {Digit(2, AT(LM.digit2))}},
    {.mnemonic = "LM", .models = kTarselOnly, .received = AT(LM.received),
     .fields = {Digit(2, AT(LM.digit2)), Digit(3, AT(LM.digit3)), DigitWise(4, 6, AT(LM.number4_6))}},
    DIGIT_ROW(LT, kCorvexOnly),
    {.mnemonic = "MC", .received = AT(MC.received), .fields = {Digit(2, AT(MC.digit2)), NumberFrom(3, AT(MC.number))}},
    DIGIT_ROW(MD, kBothModels),
    {.mnemonic = "ME", .models = kTarselOnly, .received = AT(ME.received),
     .fields = {Digit(2, AT(ME.digit2)), Digit(3, AT(ME.digit3)), Digit(4, AT(ME.digit4))}},
    DIGIT_ROW(MF, kBothModels),
    NUMBER_ROW(MG, kBothModels),
    NUMBER_ROW(ML, kBothModels),
    DIGIT_ROW(MO, kCorvexOnly),
    {.mnemonic = "MR", .selector = Selector::Digit2, .entries = 2, .received = AT(MR.slot[i].received),
     .fields = {Digit(3, AT(MR.slot[i].digit3)), Number(4, 5, AT(MR.slot[i].number4_5)),
                Digit(17, AT(MR.slot[i].digit17)), Digit(18, AT(MR.slot[i].digit18)),
                Digit(19, AT(MR.slot[i].digit19)), Number(20, 21, AT(MR.slot[i].number20_21)),
                Number(22, 23, AT(MR.slot[i].number22_23)), Number(24, 26, AT(MR.slot[i].number24_26)),
                Digit(27, AT(MR.slot[i].digit27)), Digit(28, AT(MR.slot[i].digit28)),
                Number(38, 39, AT(MR.slot[i].number38_39)), Number(29, 37, AT(MR.slot[i].number29_37)),
                Digit(40, AT(MR.slot[i].digit40)), TextAt(6, 16, AT(MR.slot[i].text6_16)),
                TextAt(41, 48, AT(MR.slot[i].text41_48))}},
    {.mnemonic = "MU", .models = kCorvexOnly, .received = AT(MU.received),
     .fields = {Digit(2, AT(MU.digit[0])), Digit(3, AT(MU.digit[1])), Digit(4, AT(MU.digit[2])),
                Digit(5, AT(MU.digit[3])), Digit(6, AT(MU.digit[4])), Digit(7, AT(MU.digit[5])),
                Digit(8, AT(MU.digit[6])), Digit(9, AT(MU.digit[7])), Digit(10, AT(MU.digit[8])),
                Digit(11, AT(MU.digit[9]))}},
    DIGIT_ROW(NB, kBothModels),
    NUMBER_ROW(NL, kBothModels),
    DIGIT_ROW(NR, kBothModels),
    DIGIT_ROW(NT, kCorvexOnly),
    NUMBER_ROW(OF, kCorvexOnly),
    {.mnemonic = "OI", .models = kCorvexOnly, .exactLength = 37, .received = AT(OI.received),
     .fields = {TextAt(2, 12, AT(OI.text)), Number(13, 16, AT(OI.number13_16)), Number(17, 22, AT(OI.number17_22)),
                Digit(23, AT(OI.digit23)), Digit(24, AT(OI.digit24)), Digit(25, AT(OI.digit25)),
                Number(26, 27, AT(OI.number26_27)), Digit(28, AT(OI.digit28)), Digit(29, AT(OI.digit29)),
                Digit(30, AT(OI.digit30)), Digit(31, AT(OI.digit31)), Digit(32, AT(OI.digit32)),
                Digit(33, AT(OI.digit33)), Number(34, 35, AT(OI.number34_35)), Digit(36, AT(OI.digit36))}},
    {.mnemonic = "OP", .models = kTarselOnly, .received = AT(OP.received),
     .fields = {Digit(2, AT(OP.digit2)), Digit(3, AT(OP.digit3)), Digit(4, AT(OP.digit4))}},
    DIGIT_ROW(OS, kCorvexOnly),
    {.mnemonic = "PA", .received = AT(PA.received), .fields = {Digit(2, AT(PA.digit2)), Digit(3, AT(PA.digit3))}},
    {.mnemonic = "PB", .models = kCorvexOnly, .received = AT(PB.received), .fields = {Digit(2, AT(PB.digit2))}},
    {.mnemonic = "PB", .models = kTarselOnly, .received = AT(PB.received),
     .fields = {Digit(2, AT(PB.digit2)), Digit(3, AT(PB.digit3)), Digit(4, AT(PB.digit4))}},
    NUMBER_ROW(PC, kBothModels),
    {.mnemonic = "PK", .models = kCorvexOnly, .received = AT(PK.received),
     .fields = {TextAt(2, 12, AT(PK.text2_12)), TextAt(13, 24, AT(PK.text13_24)), TextAt(25, 44, AT(PK.text25_44)),
                TextAt(45, 49, AT(PK.text45_49))}},
    {.mnemonic = "PL", .received = AT(PL.received),
     .fields = {Number(2, 4, AT(PL.number2_4)), NumberFrom(5, AT(PL.number))}},
    DIGIT_ROW(PM, kCorvexOnly),
    DIGIT_ROW(PR, kBothModels),
    DIGIT_ROW(PS, kBothModels),
    NUMBER_ROW(QC, kCorvexOnly),
    {.mnemonic = "QR", .received = AT(QR.received), .fields = {Digit(2, AT(QR.digit2)), Digit(3, AT(QR.digit3))}},
    {.mnemonic = "RA", .received = AT(RA.received),
     .fields = {DigitWise(2, 3, AT(RA.number2_3)), DigitWise(4, 5, AT(RA.number4_5))}},
    NUMBER_ROW(RD, kBothModels),
    NUMBER_ROW(RG, kBothModels),
    NUMBER_ROW(RL, kBothModels),
    {.mnemonic = "RM", .selector = Selector::Digit2, .entries = 10, .received = AT(RM.received),
     .index = AT(RM.index), .fields = {NumberFrom(3, AT(RM.value[i]))}},
    DIGIT_ROW(RS, kTarselOnly),
    DIGIT_ROW(RT, kBothModels),
    NUMBER_ROW(RU, kBothModels),
    NUMBER_ROW(RX, kBothModels),
    {.mnemonic = "SA", .models = kCorvexOnly, .received = AT(SA.received),
     .fields = {Digit(2, AT(SA.digit[0])), Digit(3, AT(SA.digit[1])), Digit(4, AT(SA.digit[2])),
                Digit(5, AT(SA.digit[3])), Digit(6, AT(SA.digit[4])), Digit(7, AT(SA.digit[5])),
                Digit(8, AT(SA.digit[6])), TextFrom(9, AT(SA.text))}},
    DIGIT_ROW(SB, kCorvexOnly),
    {.mnemonic = "SC", .models = kCorvexOnly, .received = AT(SC.received), .fields = {Digit(2, AT(SC.digit2))}},
    {.mnemonic = "SC", .models = kTarselOnly, .received = AT(SC.received),
     .fields = {Digit(2, AT(SC.digit2)), Digit(3, AT(SC.digit3))}},
    NUMBER_ROW(SD, kBothModels),
    NUMBER_ROW(SH, kBothModels),
    NUMBER_ROW(SL, kBothModels),
    {.mnemonic = "SM", .selector = Selector::Digit2, .entries = 4, .resetIndex = true,
     .received = AT(SM.received[i]), .index = AT(SM.index), .fields = {NumberFrom(3, AT(SM.value[i]))}},
    {.mnemonic = "SQ", .selector = Selector::Digit2, .entries = 2, .resetIndex = true,
     .received = AT(SQ.received[i]), .index = AT(SQ.index), .fields = {NumberFrom(3, AT(SQ.value[i]))}},
    DIGIT_ROW(SS, kCorvexOnly),
    // On model 20 an SS reply fills one entry of the SS table; the SS group stays as it is.
    {.mnemonic = "SS", .models = kTarselOnly, .selector = Selector::Digits2And3, .entries = 100,
     .received = AT(SSTable.entry[i / 10][i % 10].received),
     .fields = {TextFrom(4, AT(SSTable.entry[i / 10][i % 10].text))}},
    NUMBER_ROW(ST, kBothModels),
    {.mnemonic = "SU", .received = AT(SU.received),
     .fields = {Digit(2, AT(SU.digit[0])), Digit(3, AT(SU.digit[1])), Digit(4, AT(SU.digit[2])),
                Digit(5, AT(SU.digit[3])), Digit(6, AT(SU.digit[4])), Digit(7, AT(SU.digit[5])),
                Digit(8, AT(SU.digit[6])), Digit(9, AT(SU.digit[7])), Digit(10, AT(SU.digit[8])),
                Digit(11, AT(SU.digit[9])), Digit(12, AT(SU.digit[10]))}},
    {.mnemonic = "TC", .models = kCorvexOnly, .passThrough = PassThroughRule::FromTC, .received = AT(TC.received),
     .fields = {Digit(2, AT(TC.digit2)), Digit(3, AT(TC.digit3))}},
    {.mnemonic = "TI", .models = kCorvexOnly, .received = AT(TI.received),
     .fields = {Digit(2, AT(TI.digit2)), Digit(3, AT(TI.digit3)), Digit(4, AT(TI.digit4))}},
    NUMBER_ROW(TN, kBothModels),
    DIGIT_ROW(TO, kBothModels),
    DIGIT_ROW(TS, kBothModels),
    NUMBER_ROW(TX, kBothModels),
    {.mnemonic = "TY", .received = AT(TY.received), .fields = {HexBits(2, kTYBits), Digit(4, AT(TY.digit4))}},
    DIGIT_ROW(UL, kBothModels),
    NUMBER_ROW(VD, kBothModels),
    NUMBER_ROW(VG, kBothModels),
    DIGIT_ROW(VX, kBothModels),
    {.mnemonic = "XI", .models = kTarselOnly, .exactLength = 16, .received = AT(XI.received),
     .fields = {Digit(13, AT(XI.digit13)), DigitWise(14, 15, AT(XI.number14_15)), TextAt(2, 12, AT(XI.text))}},
    {.mnemonic = "XO", .models = kTarselOnly, .exactLength = 14, .received = AT(XO.received),
     .fields = {Digit(2, AT(XO.digit2)), TextAt(3, 13, AT(XO.text))}},
    DIGIT_ROW(XT, kBothModels),
};

#undef DIGIT_ROW
#undef NUMBER_ROW
#undef AT

constexpr std::uint16_t RowMnemonic(const Row& row) { return Mnemonic(row.mnemonic[0], row.mnemonic[1]); }

// Rows are sorted by mnemonic; rows of one mnemonic serve disjoint models; every
// row names its `received` cell, and an indexed row names how many entries it has.
consteval bool RowsAreWellFormed()
{
    constexpr std::size_t count = std::size(kRows);
    for (std::size_t r = 0; r < count; ++r) {
        const Row& row = kRows[r];
        if (row.received == nullptr || (row.selector != Selector::None) != (row.entries != 0)) {
            return false;
        }
        if (row.resetIndex && row.index == nullptr) {
            return false;
        }
        if (r > 0) {
            const Row& previous = kRows[r - 1];
            if (RowMnemonic(previous) > RowMnemonic(row)) {
                return false;
            }
            if (RowMnemonic(previous) == RowMnemonic(row) && (previous.models & row.models) != 0) {
                return false;
            }
        }
    }
    return true;
}
static_assert(RowsAreWellFormed());
static_assert(std::size(kRows) == 103, "one row per parsed mnemonic, two for LM, PB, SC and SS");

const Row* FindRow(std::uint16_t mnemonic, std::int32_t model)
{
    const auto* first = std::lower_bound(std::begin(kRows), std::end(kRows), mnemonic,
                                         [](const Row& row, std::uint16_t wanted) { return RowMnemonic(row) < wanted; });
    for (const auto* row = first; row != std::end(kRows) && RowMnemonic(*row) == mnemonic; ++row) {
        if (ModelAccepts(row->models, model)) {
            return row;
        }
    }
    return nullptr;
}

} // namespace

char* HexToBits(char* hex, char* bits)
{
    for (char* c = hex; *c != '\0'; ++c) {
        *c = platform::AsciiUpper(*c);
    }
    char* out = bits;
    for (const char* c = hex; *c != '\0'; ++c) {
        int value = 0;
        if (*c >= '0' && *c <= '9') {
            value = *c - '0';
        } else if (*c >= 'A' && *c <= 'F') {
            value = *c - 'A' + 10;
        } else {
            return nullptr;
        }
        for (int bit = 3; bit >= 0; --bit) {
            *out++ = ((value >> bit) & 1) != 0 ? '1' : '0';
        }
    }
    return bits;
}

namespace {

void StoreCell(const Field& field, RadioState& state, int index, std::int32_t value)
{
    field.at(state, index).front().store(value);
}

// Stores the row's fields for entry `index`, or nothing when a field cannot be
// converted (TY with characters that are not hexadecimal). True when stored.
bool StoreFields(const Row& row, const ReplyText& reply, RadioState& state, int index)
{
    // The one field that can refuse its reply is converted before anything is stored.
    char bits[10] = {};
    for (const Field& field : row.fields) {
        if (field.kind == FieldKind::HexBits) {
            char hex[3] = {static_cast<char>(reply.at(field.first)), static_cast<char>(reply.at(field.last)), '\0'};
            if (HexToBits(hex, bits) == nullptr || std::strlen(bits) != 8) {
                return false;
            }
        }
    }
    for (const Field& field : row.fields) {
        switch (field.kind) {
        case FieldKind::None:
            return true;
        case FieldKind::Digit:
            StoreCell(field, state, index, reply.digit(field.first));
            break;
        case FieldKind::Number:
            StoreCell(field, state, index, reply.number(field.first, field.last));
            break;
        case FieldKind::NumberFrom:
            StoreCell(field, state, index, reply.numberFrom(field.first));
            break;
        case FieldKind::DigitWise:
            StoreCell(field, state, index, reply.digitWise(field.first, field.last));
            break;
        case FieldKind::TextAt:
            StoreText(field.at(state, index), reply.slice(field.first, field.last));
            break;
        case FieldKind::TextFrom:
            StoreText(field.at(state, index), reply.from(field.first));
            break;
        case FieldKind::HexBits: {
            // bits[] holds the most significant bit first.
            const std::span<Cell> cells = field.at(state, index);
            for (std::size_t bit = 0; bit < cells.size(); ++bit) {
                cells[bit].store(bits[7 - bit] == '1' ? 1 : 0);
            }
            break;
        }
        }
    }
    return true;
}

int SelectEntry(const Row& row, const ReplyText& reply)
{
    switch (row.selector) {
    case Selector::None:
        return 0;
    case Selector::Digit2:
        return reply.digit(2);
    case Selector::Digits2And3:
        return reply.isDigitAt(2) && reply.isDigitAt(3) ? reply.digit(2) * 10 + reply.digit(3) : -1;
    }
    return -1;
}

void UpdatePassThrough(const Row& row, const ReplyText& reply, std::int32_t model, std::atomic<int>& passThrough)
{
    switch (row.passThrough) {
    case PassThroughRule::None:
        break;
    case PassThroughRule::FromEX:
        if (model == kModelCorvex) {
            passThrough = reply.view().substr(0, 10) == "EX05500001" ? 1 : 0;
        }
        break;
    case PassThroughRule::FromTC:
        passThrough = reply.digit(3) == 0 ? 1 : 0;
        break;
    }
}

// Stores one reply whose first letter is `letter`. Values go in before the entry's
// `received` cell, so that a thread that sees `received` set finds them.
void StoreReply(char letter, const ReplyText& reply, RadioShared& shared)
{
    RadioState& state = shared.radioState;
    const std::int32_t model = state.model();
    const Row* row = FindRow(Mnemonic(letter, static_cast<char>(reply.at(1))), model);
    if (row == nullptr || (row->exactLength != 0 && reply.length() != row->exactLength)) {
        return;
    }
    const int entry = SelectEntry(*row, reply);
    if (row->selector != Selector::None && (entry < 0 || entry >= row->entries)) {
        if (row->resetIndex) {
            row->index(state, 0).front().store(0);
        }
        return;
    }
    if (!StoreFields(*row, reply, state, entry)) {
        return;
    }
    if (row->index != nullptr) {
        row->index(state, entry).front().store(entry);
    }
    row->received(state, entry).front().store(1);
    UpdatePassThrough(*row, reply, model, shared.passThrough);
}

} // namespace

void ParseReply(char letter, const unsigned char* reply, RadioShared& shared)
{
    StoreReply(letter, ReplyText(reply), shared);
    if (shared.notifyWindow.load() != nullptr) {
        NotifyChange(letter, reply, shared);
    }
}

void ParseReplies(const unsigned char* text, RadioShared& shared)
{
    // The first letters that have a handler; the others are skipped.
    static constexpr std::string_view kLetters = "ABCDEFGIKLMNOPQRSTUVX";
    const char* cursor = reinterpret_cast<const char*>(text);
    // Only text up to the last ";" holds replies.
    while (const char* end = std::strchr(cursor, ';')) {
        const std::size_t length = std::min<std::size_t>(end - cursor, ReplyText::kMaxLength);
        unsigned char reply[ReplyText::kMaxLength + 1] = {};
        std::memcpy(reply, cursor, length);
        cursor = end + 1;
        if (length < 2 || reply[0] < 'A' || reply[0] > 'Z') {
            continue;
        }
        if (kLetters.find(static_cast<char>(reply[0])) != std::string_view::npos) {
            ParseReply(static_cast<char>(reply[0]), reply, shared);
        }
    }
}

} // namespace linkcore
