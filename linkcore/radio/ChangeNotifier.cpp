// SPDX-License-Identifier: GPL-3.0-or-later
// Change notifications: after a reply has been parsed, one WM_LINKCORE_NOTIFY names
// the radio item that changed. One table row per mnemonic (two where the models
// differ) gives the models, the code, where lParam comes from and the condition under
// which the row posts. The frequency, RM and SM rows post only while their pending
// cell is 0, and set it; the status readers clear it. Runs on the radio reader thread.
#include "linkcore/radio/ReplyParser.h"

#include "linkcore/LinkcoreCodes.h"
#include "linkcore/radio/ReplyTable.h"
#include "linkcore/radio/ReplyText.h"

#include <algorithm>
#include <iterator>

namespace linkcore {
namespace {

#define AT(path) LINKCORE_AT(path)

enum class Value : std::uint8_t {
    Zero,
    Cell,          // the cell `first` after the parse
    HiLo,          // (cell `first` << 16) + cell `second`
    ReplyDigit2,   // the digit at 2 of the reply
    ReplyDigits23, // hi/lo of the reply's digits at 2 and 3
    TYDigits,      // hi/lo of (10 x digit at 2 + digit at 3) and the digit at 4 of the reply
    EXNumber,      // the reply's seven characters at 2..8 as one decimal number
    ISSigned,      // the IS number, negated when the stored sign is "-"
};

struct Row {
    char mnemonic[3] = {};
    Models models = kBothModels;
    std::uint16_t code = 0;
    Value value = Value::Zero;
    Locator first = nullptr;
    Locator second = nullptr;
    // A row about one entry of an indexed group posts only for entries 0..entries-1.
    // The entry is the digit at 2 of the reply, or the cell `entryCell` when given.
    std::uint8_t entries = 0;
    Locator entryCell = nullptr;
    Locator pending = nullptr; // posts only while this cell is 0, and sets it
};

constexpr Row Post(const char (&mnemonic)[3], Models models, std::uint16_t code)
{
    return {.mnemonic = {mnemonic[0], mnemonic[1], 0}, .models = models, .code = code};
}
constexpr Row PostCell(const char (&mnemonic)[3], Models models, std::uint16_t code, Locator cell)
{
    return {.mnemonic = {mnemonic[0], mnemonic[1], 0}, .models = models, .code = code, .value = Value::Cell,
            .first = cell};
}
constexpr Row PostHiLo(const char (&mnemonic)[3], Models models, std::uint16_t code, Locator high, Locator low)
{
    return {.mnemonic = {mnemonic[0], mnemonic[1], 0}, .models = models, .code = code, .value = Value::HiLo,
            .first = high, .second = low};
}
constexpr Row PostPending(const char (&mnemonic)[3], Models models, std::uint16_t code, Locator pending)
{
    return {.mnemonic = {mnemonic[0], mnemonic[1], 0}, .models = models, .code = code, .pending = pending};
}

constexpr Row kRows[] = {
    Post("AC", kBoth, 0x1000),
    {.mnemonic = "AG", .code = 0x1001, .value = Value::HiLo, .first = AT(AG.index), .second = AT(AG.value[i]),
     .entries = 2},
    PostCell("AI", kBoth, kNotifyAutoInformation, AT(AI.value)),
    PostCell("AL", k19, 0x1003, AT(AL.value)),
    PostCell("AN", kBoth, 0x1004, AT(AN.value)),
    PostCell("BC", kBoth, 0x1005, AT(BC.value)),
    Post("BD", kBoth, 0x1006),
    PostCell("BP", k19, 0x1007, AT(BP.value)),
    Post("BU", kBoth, 0x1008),
    PostHiLo("BY", kBoth, 0x1009, AT(BY.digit2), AT(BY.digit3)),
    PostCell("CA", kBoth, 0x100A, AT(CA.value)),
    PostCell("CG", k19, 0x100B, AT(CG.value)),
    Post("CI", k19, 0x100C),
    PostCell("CM", k19, 0x100D, AT(CM.value)),
    PostCell("CN", kBoth, 0x100E, AT(CN.value)),
    PostCell("CT", kBoth, 0x100F, AT(CT.value)),
    PostHiLo("DC", k19, 0x1010, AT(DC.digit2), AT(DC.digit3)),
    Post("DN", kBoth, 0x1011),
    PostCell("DQ", k19, 0x1012, AT(DQ.value)),
    {.mnemonic = "EX", .code = 0x1013, .value = Value::EXNumber},
    PostPending("FA", kBoth, 0x1014, AT(FA.pending)),
    PostPending("FB", kBoth, 0x1015, AT(FB.pending)),
    PostPending("FC", k19, 0x1016, AT(FC.pending)),
    Post("FD", k19, 0x1017),
    PostCell("FR", kBoth, 0x1018, AT(FR.value)),
    PostCell("FS", kBoth, 0x1019, AT(FS.value)),
    PostCell("FT", kBoth, 0x101A, AT(FT.value)),
    PostCell("FW", kBoth, 0x101B, AT(FW.value)),
    PostCell("GT", kBoth, 0x101C, AT(GT.value)),
    PostCell("ID", kAnyModel, kNotifyModel, AT(ID.model)),
    Post("IF", kBoth, kNotifyStatus),
    {.mnemonic = "IS", .code = 0x101F, .value = Value::ISSigned},
    PostCell("KS", kBoth, 0x1020, AT(KS.value)),
    PostCell("KY", kBoth, 0x1021, AT(KY.value)),
    PostHiLo("LK", kBoth, 0x1022, AT(LK.digit2), AT(LK.digit3)),
    PostCell("LM", kBoth, 0x1023, AT(LM.digit2)),
    PostCell("LT", k19, 0x1024, AT(LT.value)),
    PostHiLo("MC", kBoth, 0x1025, AT(MC.digit2), AT(MC.number)),
    PostCell("MD", kBoth, 0x1026, AT(MD.value)),
    PostCell("MG", kBoth, 0x1027, AT(MG.value)),
    PostCell("ML", kBoth, 0x1028, AT(ML.value)),
    PostCell("MO", k19, 0x1029, AT(MO.value)),
    {.mnemonic = "MR", .code = 0x102A, .value = Value::ReplyDigit2},
    Post("MW", kBoth, 0x102B),
    PostCell("NB", kBoth, 0x102C, AT(NB.value)),
    PostCell("NL", kBoth, 0x102D, AT(NL.value)),
    PostCell("NR", kBoth, 0x102E, AT(NR.value)),
    PostCell("NT", k19, 0x102F, AT(NT.value)),
    PostCell("OF", k19, 0x1030, AT(OF.value)),
    PostCell("OS", k19, 0x1031, AT(OS.value)),
    PostCell("QC", k19, 0x1032, AT(QC.value)),
    PostHiLo("PA", kBoth, 0x1033, AT(PA.digit2), AT(PA.digit3)),
    PostCell("PB", kBoth, 0x1034, AT(PB.digit2)),
    PostCell("PC", kBoth, 0x1035, AT(PC.value)),
    PostHiLo("PL", kBoth, 0x1036, AT(PL.number2_4), AT(PL.number)),
    PostCell("PR", kBoth, 0x1037, AT(PR.value)),
    PostCell("PS", kBoth, kNotifyPower, AT(PS.value)),
    PostHiLo("RA", kBoth, 0x1039, AT(RA.number2_3), AT(RA.number4_5)),
    Post("RC", kBoth, 0x103A),
    PostCell("RD", kBoth, 0x103B, AT(RD.value)),
    PostCell("RU", kBoth, 0x103C, AT(RU.value)),
    PostCell("RT", kBoth, 0x103D, AT(RT.value)),
    PostCell("XT", kBoth, 0x103E, AT(XT.value)),
    PostCell("RG", kBoth, 0x103F, AT(RG.value)),
    PostCell("RL", kBoth, 0x1040, AT(RL.value)),
    {.mnemonic = "RM", .code = 0x1041, .value = Value::HiLo, .first = AT(RM.index), .second = AT(RM.value[i]),
     .entries = 10, .entryCell = AT(RM.index), .pending = AT(RM.pending[i])},
    PostCell("RX", kBoth, kNotifyReceive, AT(RX.value)),
    PostCell("TX", kBoth, kNotifyTransmit, AT(TX.value)),
    PostCell("SA", k19, 0x1044, AT(SA.digit[0])),
    PostCell("SB", k19, 0x1045, AT(SB.value)),
    PostCell("SC", k19, 0x1046, AT(SC.digit2)),
    PostHiLo("SC", k20, 0x1046, AT(SC.digit2), AT(SC.digit3)),
    PostCell("SD", kBoth, 0x1047, AT(SD.value)),
    PostCell("SH", kBoth, 0x1048, AT(SH.value)),
    PostCell("SL", kBoth, 0x1049, AT(SL.value)),
    {.mnemonic = "SM", .code = 0x104A, .value = Value::Cell, .first = AT(SM.index), .entries = 4,
     .pending = AT(SM.pending[i])},
    {.mnemonic = "SQ", .code = 0x104B, .value = Value::HiLo, .first = AT(SQ.index), .second = AT(SQ.value[i]),
     .entries = 2},
    Post("SR", kBoth, 0x104C),
    PostCell("ST", kBoth, 0x104D, AT(ST.value)),
    Post("TC", k19, kNotifyTC),
    Post("TD", k19, 0x104F),
    PostCell("TN", kBoth, 0x1050, AT(TN.value)),
    PostCell("TO", kBoth, 0x1051, AT(TO.value)),
    Post("UP", kBoth, 0x1052),
    Post("UR", kBoth, 0x1053),
    Post("UT", kBoth, 0x1054),
    PostCell("VD", kBoth, 0x1055, AT(VD.value)),
    PostCell("VG", kBoth, 0x1056, AT(VG.value)),
    Post("VR", kBoth, 0x1057),
    PostCell("VX", kBoth, 0x1058, AT(VX.value)),
    {.mnemonic = "AR", .models = k19, .code = 0x1059, .value = Value::ReplyDigit2, .entries = 2},
    Post("AS", kBoth, 0x105A),
    PostCell("MF", kBoth, 0x105C, AT(MF.value)),
    Post("MU", k19, 0x105D),
    PostHiLo("QR", kBoth, 0x105E, AT(QR.digit2), AT(QR.digit3)),
    PostCell("SS", k19, 0x105F, AT(SS.value)),
    {.mnemonic = "SS", .models = k20, .code = 0x105F, .value = Value::ReplyDigits23},
    PostCell("SU", kBoth, 0x1060, AT(SU.digit[0])),
    PostCell("UL", kBoth, 0x1061, AT(UL.value)),
    PostCell("PM", k19, 0x1062, AT(PM.value)),
    PostCell("AM", k19, 0x1063, AT(AM.value)),
    PostCell("TS", kBoth, 0x1064, AT(TS.value)),
    Post("TI", k19, 0x1065),
    Post("PK", k19, 0x1066),
    {.mnemonic = "TY", .code = 0x1067, .value = Value::TYDigits},
    Post("OI", k19, 0x1068),
    PostHiLo("DL", k20, 0x1069, AT(DL.digit2), AT(DL.number3_4)),
    Post("OP", k20, 0x106A),
    PostCell("RS", k20, 0x106B, AT(RS.value)),
    Post("SV", kBoth, 0x106C),
    Post("VV", k20, 0x106D),
    Post("XI", k20, 0x106E),
    Post("XO", k20, 0x106F),
    Post("ME", k20, 0x1070),
    PostCell("CR", k20, 0x107A, AT(CR.digit2)),
};

#undef AT

constexpr std::uint16_t RowMnemonic(const Row& row) { return Mnemonic(row.mnemonic[0], row.mnemonic[1]); }

// Codes lie in 0x1000..0x107A; rows of one mnemonic share their code and serve
// disjoint models; only SC and SS have two rows; a row reads the cells it names.
consteval bool RowsAreWellFormed()
{
    for (const Row& row : kRows) {
        if (row.code < 0x1000 || row.code > 0x107A) {
            return false;
        }
        if ((row.value == Value::Cell || row.value == Value::HiLo) && row.first == nullptr) {
            return false;
        }
        if (row.value == Value::HiLo && row.second == nullptr) {
            return false;
        }
        if (row.entryCell != nullptr && row.entries == 0) {
            return false;
        }
        int sameMnemonic = 0;
        for (const Row& other : kRows) {
            if (RowMnemonic(other) == RowMnemonic(row)) {
                ++sameMnemonic;
                if (&other != &row && ((other.models & row.models) != 0 || other.code != row.code)) {
                    return false;
                }
            } else if (other.code == row.code) {
                return false;
            }
        }
        if (sameMnemonic > 1 && RowMnemonic(row) != Mnemonic('S', 'C') && RowMnemonic(row) != Mnemonic('S', 'S')) {
            return false;
        }
    }
    return true;
}
static_assert(RowsAreWellFormed());
static_assert(std::size(kRows) == 115, "one row per notified mnemonic, two for SC and SS");

std::int32_t HiLo(std::int32_t high, std::int32_t low)
{
    return static_cast<std::int32_t>((static_cast<std::uint32_t>(high) << 16) + static_cast<std::uint32_t>(low));
}

std::int32_t ComputeValue(const Row& row, const ReplyText& reply, RadioState& state, int entry)
{
    switch (row.value) {
    case Value::Zero:
        return 0;
    case Value::Cell:
        return row.first(state, entry).front();
    case Value::HiLo:
        return HiLo(row.first(state, entry).front(), row.second(state, entry).front());
    case Value::ReplyDigit2:
        return reply.digit(2);
    case Value::ReplyDigits23:
        return HiLo(reply.digit(2), reply.digit(3));
    case Value::TYDigits:
        return HiLo(10 * reply.digit(2) + reply.digit(3), reply.digit(4));
    case Value::EXNumber:
        return reply.number(2, 8);
    case Value::ISSigned: {
        const auto number = static_cast<std::uint32_t>(state.IS.number.load());
        return static_cast<std::int32_t>(state.IS.sign.str() == "-" ? 0U - number : number);
    }
    }
    return 0;
}

} // namespace

long NotifyChange(char letter, const unsigned char* text, RadioShared& shared)
{
    const platform::WindowHandle window = shared.notifyWindow.load();
    if (window == nullptr) {
        return 0;
    }
    const ReplyText reply(text);
    RadioState& state = shared.radioState;
    const std::uint16_t mnemonic = Mnemonic(letter, static_cast<char>(reply.at(1)));
    const auto* row = std::find_if(std::begin(kRows), std::end(kRows), [&](const Row& candidate) {
        return RowMnemonic(candidate) == mnemonic && ModelAccepts(candidate.models, state.model());
    });
    if (row == std::end(kRows)) {
        return 1;
    }
    int entry = 0;
    if (row->entries != 0) {
        entry = row->entryCell != nullptr ? row->entryCell(state, 0).front().load() : reply.digit(2);
        if (entry < 0 || entry >= row->entries) {
            return 1;
        }
    }
    if (row->pending != nullptr && row->pending(state, entry).front().exchange(1) != 0) {
        return 1;
    }
    platform::PostMessage(window, WM_LINKCORE_NOTIFY, row->code, ComputeValue(*row, reply, state, entry));
    return 1;
}

} // namespace linkcore
