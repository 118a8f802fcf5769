// SPDX-License-Identifier: GPL-3.0-or-later
// CommandTable: every command builder of CLinkcore as one row of data — its set and
// read formats, the models it serves, the values it accepts per model, what its read
// request clears in RadioState and how a set is read back. The table is constant and
// may be read on any thread; the builders' one shared procedure runs it (CommandBuilders.cpp).
#pragma once

#include "linkcore/radio/CommandFormat.h"
#include "linkcore/radio/Models.h"
#include "linkcore/radio/RadioState.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string_view>

namespace linkcore::commands {

// A builder or a reader serves a model its row accepts (Models.h); unlike the
// reply tables', no command row serves every model ID.
constexpr bool Serves(Models models, std::int32_t model)
{
    return ModelAccepts(models, model);
}

// The values one parameter accepts on one model.
struct Accept {
    enum class Kind : std::uint8_t {
        Unchecked,    // sent as long as it fits its field
        Ignored,      // taken by the builder but not sent
        Range,        // low..high; for a text, its 64-bit decimal value
        OneOf,        // the values whose bits are set in `set` (values 0..31)
        MaxLength,    // a text of at most `high` characters
        Blank,        // the text " "
        BlankOrMinus, // a text that begins with " " or "-"
    };
    Kind kind = Kind::Unchecked;
    std::int64_t low = 0;
    std::int64_t high = 0;
    std::uint32_t set = 0;

    // Whether the argument is accepted (texts must not be null unless ignored).
    bool accepts(const Arg& arg) const noexcept;
};

struct Param {
    enum class Type : std::uint8_t { None, Number, Text };
    Type type = Type::None;
    Accept corvex;
    Accept tarsel;

    constexpr const Accept& on(std::int32_t model) const { return model == kModelCorvex ? corvex : tarsel; }
};

// Selector: the first argument is "R" for a read request, anything else for a set.
// Action: no selector; writes the set format. Request: no selector; writes the read format.
enum class Form : std::uint8_t { Selector, Action, Request };

// What follows a set request that was written.
enum class ReadBack : std::uint8_t {
    None,
    AfterPause,         // pause 10 ms, then the read request with the same arguments
    AtOnce,             // the read request at once
    AtOnceAfterW,       // the read request at once, only when the selector is exactly "W"
    AfterPauseScanning, // pause 10 ms, then the read request only while the SC value is non-zero
};

// The 10 ms pause before a read-back. Tests replace it to see when it happens; nullptr
// restores the real pause. Returns the pause replaced.
using PauseFunction = void (*)();
void PauseBeforeReadBack();
PauseFunction SetReadBackPause(PauseFunction pause);

// When a request clears its group: after the model test, or before it ("clears
// first": a refused request still leaves the group cleared).
enum class ClearTime : std::uint8_t { AfterModelTest, BeforeModelTest };

// Clears the cells a read request's answer will fill; false (nothing cleared) when the
// request's address lies outside the group's stored entries.
using ClearFunction = bool (*)(RadioState& state, std::span<const Arg> args);

// A row's clearing, if it has one. Its presence is a flag of its own, so that the
// table checks never compare function addresses (not constant under sanitizers).
struct Clearing {
    constexpr Clearing() = default;
    constexpr Clearing(std::nullptr_t) {}
    constexpr Clearing(ClearFunction clear) : function(clear), present(true) {}

    constexpr explicit operator bool() const { return present; }

    ClearFunction function = nullptr;
    bool present = false;
};

inline constexpr std::size_t kMaxParams = 16;

struct Row {
    std::string_view name; // the builder is "Conn" + name
    Form form = Form::Selector;
    Models models = kBothModels;
    std::string_view setFormat;
    std::string_view readFormat;
    std::array<Param, kMaxParams> params{};
    Clearing clear = {};
    ReadBack readBack = ReadBack::None;
    ClearTime clearTime = ClearTime::AfterModelTest;
    std::string_view zeroFormat{};    // the set command when the first parameter is 0
    bool checksReadArguments = false; // read requests check the arguments like a set
    bool transferControl = false;     // TC: its own set texts; works in pass-through mode

    constexpr std::size_t paramCount() const
    {
        std::size_t count = 0;
        while (count < params.size() && params[count].type != Param::Type::None) {
            ++count;
        }
        return count;
    }
    constexpr std::string_view mnemonic() const { return name.substr(0, 2); }
};

// ---- Clearing the group a read request asks for ----
namespace clear {

// The whole group, text fields included.
template <auto Group>
bool Whole(RadioState& state, std::span<const Arg>)
{
    state.*Group = {};
    return true;
}

// FA, FB, FC: `received` and the text; the pending notification stays as it is.
template <auto Group>
bool Frequency(RadioState& state, std::span<const Arg>)
{
    auto& group = state.*Group;
    group.received = 0;
    group.text = {};
    return true;
}

// Entry P1 of an indexed group (AG, SM, SQ): its `received` cell and its value.
template <auto Group>
bool Entry(RadioState& state, std::span<const Arg> args)
{
    auto& group = state.*Group;
    const std::uint32_t index = args[0].number;
    if (index >= group.received.size()) {
        return false;
    }
    group.received[index] = 0;
    group.value[index] = 0;
    return true;
}

bool AREntry(RadioState& state, std::span<const Arg> args);
bool MRSlot(RadioState& state, std::span<const Arg> args);
bool SSTableEntry(RadioState& state, std::span<const Arg> args);
// RM: `received`, the index and the values; the pending notifications stay.
bool RMValues(RadioState& state, std::span<const Arg> args);

} // namespace clear

// ---- Shorthands for the table ----
namespace table {

constexpr Accept R(std::int64_t low, std::int64_t high) { return {Accept::Kind::Range, low, high, 0}; }
constexpr Accept OneOf(std::initializer_list<unsigned> values)
{
    std::uint32_t set = 0;
    for (const unsigned value : values) {
        set |= 1u << value;
    }
    return {Accept::Kind::OneOf, 0, 0, set};
}
constexpr Accept UpTo(std::int64_t characters) { return {Accept::Kind::MaxLength, 0, characters, 0}; }
inline constexpr Accept kAny{Accept::Kind::Unchecked};
inline constexpr Accept kIgnored{Accept::Kind::Ignored};
inline constexpr Accept kBlank{Accept::Kind::Blank};
inline constexpr Accept kBlankOrMinus{Accept::Kind::BlankOrMinus};
inline constexpr Accept kFrequency = R(0, kMaxElevenDigits);

constexpr Param N(Accept both) { return {Param::Type::Number, both, both}; }
constexpr Param N(Accept corvex, Accept tarsel) { return {Param::Type::Number, corvex, tarsel}; }
constexpr Param T(Accept both) { return {Param::Type::Text, both, both}; }
constexpr Param T(Accept corvex, Accept tarsel) { return {Param::Type::Text, corvex, tarsel}; }

inline constexpr Form kSel = Form::Selector;
inline constexpr Form kAction = Form::Action;
inline constexpr Form kRequest = Form::Request;
inline constexpr ReadBack kPause = ReadBack::AfterPause;
inline constexpr ReadBack kAtOnce = ReadBack::AtOnce;
inline constexpr ReadBack kAtOnceAfterW = ReadBack::AtOnceAfterW;
inline constexpr ReadBack kPauseScanning = ReadBack::AfterPauseScanning;
inline constexpr ClearTime kFirst = ClearTime::BeforeModelTest;
inline constexpr ReadBack kNoReadBack = ReadBack::None;
inline constexpr ClearTime kAfter = ClearTime::AfterModelTest;

inline constexpr Param kBit = N(R(0, 1));
inline constexpr Param kDigit = N(R(0, 9));

using S = RadioState;

} // namespace table

// Rows sorted by name; the builder of row "AC" is CLinkcore::ConnAC.
// Columns: name, form, models, set format, read format, parameters (accepted values on
// model 19 and model 20, or on both), clearing of a read, read-back, clear time,
// set format for a first parameter of 0, read checks arguments, TC.
// clang-format off
inline constexpr std::array kCommandTable = [] {
using namespace table;
return std::array<Row, 117>{{
{"AC", kSel, kBoth, "AC%01d%01d%01d;", "AC;", {kBit, N(R(0, 1), R(0, 2)), N(R(0, 2), R(0, 1))}, clear::Whole<&S::AC>},
{"AG", kSel, kBoth, "AG%01d%03d;", "AG%01d;", {N(R(0, 1), R(0, 0)), N(R(0, 999))}, clear::Entry<&S::AG>, kPause},
{"AI", kSel, kBoth, "AI%01d;", "AI;", {N(OneOf({0, 2}), R(0, 3))}, clear::Whole<&S::AI>},
{"AL", kSel, k19, "AL%03d;", "AL;", {N(R(0, 4))}, clear::Whole<&S::AL>, kPause},
{"AM", kSel, k19, "AM%01d;", "AM;", {kBit}, clear::Whole<&S::AM>},
{"AN", kSel, kBoth, "AN%01d;", "AN;", {N(R(1, 2))}, clear::Whole<&S::AN>},
{"AR", kSel, k19, "AR%01d%01d%01d;", "AR%01d;", {kBit, kBit, N(kAny)}, clear::AREntry},
{"AS", kSel, kBoth, "AS%01d%02d%011I64d%01d;", "AS%01d%02d;",
    {N(R(0, 3), R(0, 0)), N(R(0, 99)), T(kFrequency), kDigit}, clear::Whole<&S::AS>},
{"BC", kSel, kBoth, "BC%01d;", "BC;", {N(R(0, 2))}, clear::Whole<&S::BC>},
{"BD", kAction, kBoth, "BD;", ""},
{"BP", kSel, k19, "BP%03d;", "BP;", {N(R(0, 63))}, clear::Whole<&S::BP>, kPause},
{"BU", kAction, kBoth, "BU;", ""},
{"BY", kRequest, kBoth, "", "BY;", {}, clear::Whole<&S::BY>, kNoReadBack, kFirst},
{"CA", kSel, kBoth, "CA%01d;", "CA;", {kBit}, clear::Whole<&S::CA>},
{"CG", kSel, k19, "CG%03d;", "CG;", {N(R(0, 100))}, clear::Whole<&S::CG>, kPause},
{"CH", kAction, kBoth, "CH%d;", "", {kBit}},
{"CI", kAction, k19, "CI;", ""},
{"CM", kSel, k19, "CM%01d;", "CM;", {kBit}, clear::Whole<&S::CM>},
{"CN", kSel, kBoth, "CN%02d;", "CN;", {N(R(1, 99), R(0, 99))}, clear::Whole<&S::CN>, kPause},
{"CR", kSel, k20, "CR%01d%01d;", "CR;", {kBit, N(R(0, 2))}, clear::Whole<&S::CR>},
{"CT", kSel, kBoth, "CT%01d;", "CT;", {kBit}, clear::Whole<&S::CT>},
{"DC", kSel, k19, "DC%01d%01d;", "DC;", {kBit, kBit}, clear::Whole<&S::DC>},
{"DL", kSel, k20, "DL%d%02d;", "DL;", {kBit, N(R(0, 99))}, clear::Whole<&S::DL>, kAtOnceAfterW, kAfter, "", true},
{"DN", kAction, kBoth, "DN%02d;", "", {N(R(0, 99))}, nullptr, kNoReadBack, kAfter, "DN;"},
{"DQ", kSel, k19, "DQ%01d;", "DQ;", {kBit}, clear::Whole<&S::DQ>},
{"EX", kSel, kBoth, "EX%03d%02d%01d%01d%s;", "EX%03d%02d%01d%01d;",
    {N(R(0, 999)), N(R(0, 99), R(0, 0)), N(R(0, 9), R(0, 0)), N(R(0, 9), R(0, 0)), T(UpTo(16))},
    clear::Whole<&S::EX>, kPause},
{"FA", kSel, kBoth, "FA%011I64d;", "FA;", {T(kFrequency)}, clear::Frequency<&S::FA>},
{"FB", kSel, kBoth, "FB%011I64d;", "FB;", {T(kFrequency)}, clear::Frequency<&S::FB>},
{"FC", kSel, k19, "FC%011I64d;", "FC;", {T(kFrequency)}, clear::Frequency<&S::FC>},
{"FD", kRequest, k19, "", "FD;", {}, clear::Whole<&S::FD>, kNoReadBack, kFirst},
{"FR", kSel, kBoth, "FR%01d;", "FR;", {N(R(0, 3), R(0, 2))}, clear::Whole<&S::FR>},
{"FS", kSel, kBoth, "FS%01d;", "FS;", {kBit}, clear::Whole<&S::FS>},
{"FT", kSel, kBoth, "FT%01d;", "FT;", {N(R(0, 3), R(0, 1))}, clear::Whole<&S::FT>},
{"FW", kSel, kBoth, "FW%04d;", "FW;", {N(R(0, 9999))}, clear::Whole<&S::FW>},
{"GT", kSel, kBoth, "GT%03d;", "GT;", {N(R(0, 999))}, clear::Whole<&S::GT>, kPause},
{"IF", kRequest, kBoth, "", "IF;", {}, clear::Whole<&S::IF>, kNoReadBack, kFirst},
{"IS", kSel, kBoth, "IS%c%04d;", "IS;", {T(kBlank, kBlankOrMinus), N(R(0, 9999))}, clear::Whole<&S::IS>},
{"KS", kSel, kBoth, "KS%03d;", "KS;", {N(R(0, 999))}, clear::Whole<&S::KS>, kPause},
{"KY", kSel, kBoth, "KY %-24s;", "KY;", {T(kAny)}, clear::Whole<&S::KY>},
{"LK", kSel, kBoth, "LK%01d%01d;", "LK;", {N(R(0, 2), R(0, 1)), N(R(0, 2), R(0, 1))}, clear::Whole<&S::LK>},
{"LM", kSel, k19, "LM%01d;", "LM;", {N(R(0, 3))}, clear::Whole<&S::LM>},
{"LM2", kSel, k20, "LM%01d%01d;", "LM;", {N(R(0, 3)), N(R(0, 2))}, clear::Whole<&S::LM>},
{"LT", kSel, k19, "LT%01d;", "LT;", {kBit}, clear::Whole<&S::LT>},
{"MC", kSel, kBoth, "MC%01d%02d;", "MC;", {N(R(0, 2), R(0, 0)), N(R(0, 99))}, clear::Whole<&S::MC>},
{"MD", kSel, kBoth, "MD%01d;", "MD;", {N(OneOf({1, 2, 3, 4, 5, 6, 7, 9}))}, clear::Whole<&S::MD>},
{"ME", kRequest, k20, "", "ME;", {}, clear::Whole<&S::ME>, kNoReadBack, kFirst},
{"MF", kSel, kBoth, "MF%01d;", "MF;", {kBit}, clear::Whole<&S::MF>},
{"MG", kSel, kBoth, "MG%03d;", "MG;", {N(R(0, 999))}, clear::Whole<&S::MG>, kPause},
{"ML", kSel, kBoth, "ML%03d;", "ML;", {kDigit}, clear::Whole<&S::ML>, kPause},
{"MO", kSel, k19, "MO%01d;", "MO;", {kBit}, clear::Whole<&S::MO>},
{"MR", kRequest, kBoth, "", "MR%01d%01d%02d;", {kBit, N(R(0, 2), R(0, 0)), N(R(0, 99))},
    clear::MRSlot, kNoReadBack, kFirst},
{"MU", kSel, k19, "MU%01d%01d%01d%01d%01d%01d%01d%01d%01d%01d;", "MU;",
    {kBit, kBit, kBit, kBit, kBit, kBit, kBit, kBit, kBit, kBit}, clear::Whole<&S::MU>, kPause},
{"MW", kAction, kBoth, "MW%01d%01d%02d%011I64d%01d%01d%01d%02d%02d%03d%01d%01d%09d%02d%01d%s;", "",
    {kBit, N(R(0, 9), R(0, 0)), N(R(0, 99)), T(kFrequency), kDigit, kBit, N(R(0, 3), R(0, 2)),
     N(R(0, 39), R(0, 99)), N(R(0, 38), R(0, 99)), N(R(0, 103), R(0, 0)), N(kAny), N(R(0, 9), R(0, 0)),
     N(R(0, 999'999'999), R(0, 0)), N(R(0, 99)), kDigit, T(UpTo(7), UpTo(8))}},
{"NB", kSel, kBoth, "NB%01d;", "NB;", {kBit}, clear::Whole<&S::NB>},
{"NL", kSel, kBoth, "NL%03d;", "NL;", {N(R(0, 999))}, clear::Whole<&S::NL>, kPause},
{"NR", kSel, kBoth, "NR%01d;", "NR;", {N(R(0, 2))}, clear::Whole<&S::NR>},
{"NT", kSel, k19, "NT%01d;", "NT;", {kBit}, clear::Whole<&S::NT>},
{"OF", kSel, k19, "OF%09d;", "OF;", {N(R(0, 59'950'000))}, clear::Whole<&S::OF>},
{"OI", kRequest, k19, "", "OI;", {}, clear::Whole<&S::OI>, kNoReadBack, kFirst},
{"OP", kRequest, k20, "", "OP;", {}, clear::Whole<&S::OP>, kNoReadBack, kFirst},
{"OS", kSel, k19, "OS%01d;", "OS;", {N(R(0, 3))}, clear::Whole<&S::OS>},
{"PA", kSel, kBoth, "PA%01d;", "PA;", {kBit}, clear::Whole<&S::PA>},
{"PB", kSel, kBoth, "PB%01d;", "PB;", {N(R(0, 3))}, clear::Whole<&S::PB>},
{"PC", kSel, kBoth, "PC%03d;", "PC;", {N(R(1, 999))}, clear::Whole<&S::PC>, kPause},
{"PI", kAction, k19, "PI%01d;", "", {N(R(0, 5))}},
{"PL", kSel, kBoth, "PL%03d%03d;", "PL;", {N(R(0, 999)), N(R(0, 999))}, clear::Whole<&S::PL>, kPause},
{"PM", kSel, k19, "PM%01d;", "PM;", {N(R(0, 5))}, clear::Whole<&S::PM>},
{"PR", kSel, kBoth, "PR%01d;", "PR;", {kBit}, clear::Whole<&S::PR>},
{"PS", kSel, kBoth, "PS%01d;", "PS;", {N(R(0, 3), OneOf({0, 1, 9}))}, clear::Whole<&S::PS>},
{"QC", kSel, k19, "QC%03d;", "QC;", {N(R(0, 103))}, clear::Whole<&S::QC>, kPause},
{"QI", kAction, kBoth, "QI;", ""},
{"QR", kSel, kBoth, "QR%01d%01d;", "QR;", {kBit, kDigit}, clear::Whole<&S::QR>},
{"RA", kSel, kBoth, "RA%02d;", "RA;", {N(R(0, 99))}, clear::Whole<&S::RA>},
{"RC", kAction, kBoth, "RC;", ""},
{"RD", kSel, kBoth, "RD%05d;", "RD;", {N(R(0, 99'999))}, clear::Whole<&S::RD>, kPauseScanning, kAfter, "RD;"},
{"RG", kSel, kBoth, "RG%03d;", "RG;", {N(R(0, 999))}, clear::Whole<&S::RG>, kPause},
{"RL", kSel, kBoth, "RL%02d;", "RL;", {kDigit}, clear::Whole<&S::RL>, kPause},
{"RM", kSel, kBoth, "RM%01d;", "RM;", {N(R(0, 4))}, clear::RMValues},
{"RS", kRequest, k20, "", "RS;", {}, clear::Whole<&S::RS>, kNoReadBack, kFirst},
{"RT", kSel, kBoth, "RT%01d;", "RT;", {kBit}, clear::Whole<&S::RT>},
{"RU", kSel, kBoth, "RU%05d;", "RU;", {N(R(0, 99'999))}, clear::Whole<&S::RU>, kPauseScanning, kAfter, "RU;"},
{"RX", kRequest, kBoth, "", "RX;", {}, clear::Whole<&S::RX>, kNoReadBack, kFirst},
{"SA", kSel, k19, "SA%01d%01d%01d%01d%01d%01d%01d;", "SA;",
    {kBit, kDigit, kBit, kBit, kBit, kBit, kBit, T(kIgnored)}, clear::Whole<&S::SA>},
{"SB", kSel, k19, "SB%01d;", "SB;", {kBit}, clear::Whole<&S::SB>},
{"SC", kSel, kBoth, "SC%01d;", "SC;", {N(R(0, 6), OneOf({0, 1, 4, 5}))}, clear::Whole<&S::SC>},
{"SD", kSel, kBoth, "SD%04d;", "SD;", {N(R(0, 9999))}, clear::Whole<&S::SD>, kPause},
{"SH", kSel, kBoth, "SH%02d;", "SH;", {N(R(0, 11), R(0, 13))}, clear::Whole<&S::SH>},
{"SI", kAction, k19, "SI%01d%s;", "", {kDigit, T(UpTo(8))}},
{"SL", kSel, kBoth, "SL%02d;", "SL;", {N(R(0, 11))}, clear::Whole<&S::SL>},
{"SM", kRequest, kBoth, "", "SM%01d;", {N(R(0, 3), R(0, 0))}, clear::Entry<&S::SM>},
{"SQ", kSel, kBoth, "SQ%01d%03d;", "SQ%01d;", {N(R(0, 1), R(0, 0)), N(R(0, 999))}, clear::Entry<&S::SQ>, kPause},
{"SR", kAction, kBoth, "SR%01d;", "", {N(R(1, 2))}},
{"SS", kSel, k19, "SS%01d;", "SS;", {N(R(0, 2))}, clear::Whole<&S::SS>},
{"SS2", kSel, k20, "SS%01d%01d%011I64d;", "SS%01d%01d;", {kDigit, N(R(0, 4)), T(kFrequency)},
    clear::SSTableEntry, kAtOnce},
{"ST", kSel, kBoth, "ST%02d;", "ST;", {kDigit}, clear::Whole<&S::ST>},
{"SU", kSel, kBoth, "SU%01d%01d%01d%01d%01d%01d%01d%01d%01d%01d%01d;", "SU%01d;",
    {kBit, kDigit, kDigit, kDigit, kDigit, kDigit, kDigit, kDigit, kDigit, kDigit, kDigit},
    clear::Whole<&S::SU>, kPause},
{"SV", kAction, kBoth, "SV;", ""},
{"TC", kSel, k19, "", "TC;", {N(kIgnored), kBit}, clear::Whole<&S::TC>, kNoReadBack, kAfter, "", false, true},
{"TD", kAction, k19, "TD%02d;", "", {kDigit}},
{"TI", kAction, k19, "TI;", ""},
{"TN", kSel, kBoth, "TN%02d;", "TN;", {N(R(1, 99), R(0, 99))}, clear::Whole<&S::TN>, kPause},
{"TO", kSel, kBoth, "TO%01d;", "TO;", {N(R(0, 3), R(0, 1))}, clear::Whole<&S::TO>},
{"TS", kSel, kBoth, "TS%01d;", "TS;", {kBit}, clear::Whole<&S::TS>},
{"TX", kAction, k19, "TX;", "", {}, clear::Whole<&S::TX>, kNoReadBack, kFirst},
{"TX2", kAction, k20, "TX%d;", "", {N(kAny)}, clear::Whole<&S::TX>, kNoReadBack, kFirst},
{"TY", kRequest, kBoth, "", "TY;", {}, clear::Whole<&S::TY>, kNoReadBack, kFirst},
{"UP", kAction, kBoth, "UP%02d;", "", {N(R(0, 99))}, nullptr, kNoReadBack, kAfter, "UP;"},
{"UR", kAction, kBoth, "UR%128s;", "", {T(kAny)}},
{"UT", kAction, kBoth, "UT%128s;", "", {T(kAny)}},
{"VD", kSel, kBoth, "VD%04d;", "VD;", {N(R(0, 9999))}, clear::Whole<&S::VD>, kPause},
{"VG", kSel, kBoth, "VG%03d;", "VG;", {N(R(0, 999))}, clear::Whole<&S::VG>, kPause},
{"VR", kAction, kBoth, "VR%01d;", "", {N(R(1, 2), R(0, 3))}},
{"VV", kAction, k20, "VV;", ""},
{"VX", kSel, kBoth, "VX%01d;", "VX;", {kBit}, clear::Whole<&S::VX>},
{"XI", kRequest, k20, "", "XI;", {}, clear::Whole<&S::XI>},
{"XO", kSel, k20, "XO%01d%011I64d;", "XO;", {kBit, T(kFrequency)}, clear::Whole<&S::XO>, kAtOnceAfterW},
{"XT", kSel, kBoth, "XT%01d;", "XT;", {kBit}, clear::Whole<&S::XT>},
}};
}();
// clang-format on

// ---- Invariants of the table, checked when compiled ----
namespace check {

using Kind = Conversion::Kind;

constexpr std::int64_t PowerOfTen(std::size_t exponent)
{
    std::int64_t value = 1;
    for (std::size_t i = 0; i < exponent; ++i) {
        value *= 10;
    }
    return value;
}

// The most characters a parameter's text may have on the models the row serves.
constexpr std::int64_t LongestText(const Row& row, const Param& param)
{
    std::int64_t longest = 0;
    for (const std::int32_t model : {kModelCorvex, kModelTarsel}) {
        if (Serves(row.models, model)) {
            const Accept& accept = param.on(model);
            if (accept.kind != Accept::Kind::MaxLength) {
                return -1;
            }
            longest = accept.high > longest ? accept.high : longest;
        }
    }
    return longest;
}

// Whether every accepted value fits the field that writes it.
constexpr bool FitsField(const Row& row, const Param& param, const Conversion& conversion)
{
    for (const std::int32_t model : {kModelCorvex, kModelTarsel}) {
        if (!Serves(row.models, model)) {
            continue;
        }
        const Accept& accept = param.on(model);
        if (conversion.kind == Kind::Fixed || conversion.kind == Kind::ElevenDigits) {
            const std::int64_t limit = PowerOfTen(conversion.width) - 1;
            if (accept.kind == Accept::Kind::Range && (accept.low < 0 || accept.high > limit)) {
                return false;
            }
            if (accept.kind == Accept::Kind::OneOf && conversion.width == 1 && accept.set >= (1u << 10)) {
                return false;
            }
        }
        if (conversion.kind == Kind::ElevenDigits && accept.kind != Accept::Kind::Range) {
            return false;
        }
    }
    return true;
}

// The format's conversions take the row's parameters in order, with matching types
// and fields wide enough; the longest command it can make is at most kMaxCommandLength;
// `all` demands that every parameter not taken is ignored.
constexpr bool FormatFits(const Row& row, std::string_view format, bool all)
{
    if (!format.starts_with(row.mnemonic())) {
        return false;
    }
    std::size_t next = 0;
    std::int64_t longest = 0;
    for (std::size_t position = 0; position < format.size();) {
        const Conversion conversion = ParseConversion(format, position);
        if (conversion.kind == Kind::Invalid) {
            return false;
        }
        position += conversion.length;
        if (!conversion.takesArgument()) {
            ++longest;
            continue;
        }
        if (next >= row.paramCount()) {
            return false;
        }
        const Param& param = row.params[next++];
        if (conversion.takesText() != (param.type == Param::Type::Text) || !FitsField(row, param, conversion)) {
            return false;
        }
        switch (conversion.kind) {
        case Kind::Fixed:
        case Kind::ElevenDigits:
        case Kind::PadRight:
        case Kind::PadLeft:
            longest += static_cast<std::int64_t>(conversion.width);
            break;
        case Kind::Plain:
            longest += 10;
            break;
        case Kind::Character:
            longest += 1;
            break;
        case Kind::Text:
            if (LongestText(row, param) < 0) {
                return false;
            }
            longest += LongestText(row, param);
            break;
        default:
            return false;
        }
    }
    for (std::size_t i = next; all && i < row.paramCount(); ++i) {
        if (row.params[i].corvex.kind != Accept::Kind::Ignored || row.params[i].tarsel.kind != Accept::Kind::Ignored) {
            return false;
        }
    }
    return longest <= static_cast<std::int64_t>(kMaxCommandLength);
}

constexpr bool RowIsSound(const Row& row)
{
    for (std::size_t i = row.paramCount(); i < row.params.size(); ++i) {
        if (row.params[i].type != Param::Type::None) {
            return false;
        }
    }
    const bool hasSet = !row.setFormat.empty();
    const bool hasRead = !row.readFormat.empty();
    switch (row.form) {
    case Form::Selector:
        if (!hasRead || hasSet == row.transferControl || !row.clear) {
            return false;
        }
        break;
    case Form::Action:
        if (!hasSet || hasRead || row.readBack != ReadBack::None) {
            return false;
        }
        break;
    case Form::Request:
        if (hasSet || !hasRead || !row.clear || row.readBack != ReadBack::None) {
            return false;
        }
        break;
    }
    if (row.form == Form::Selector && row.clearTime == ClearTime::BeforeModelTest) {
        return false;
    }
    if (!row.zeroFormat.empty() && (row.zeroFormat.find('%') != std::string_view::npos ||
                                    !row.zeroFormat.starts_with(row.mnemonic()) || row.paramCount() == 0)) {
        return false;
    }
    return (!hasSet || FormatFits(row, row.setFormat, true)) && (!hasRead || FormatFits(row, row.readFormat, false));
}

constexpr bool TableIsSound()
{
    for (std::size_t i = 0; i < kCommandTable.size(); ++i) {
        if (!RowIsSound(kCommandTable[i])) {
            return false;
        }
        if (i > 0 && !(kCommandTable[i - 1].name < kCommandTable[i].name)) {
            return false;
        }
    }
    return true;
}

} // namespace check

static_assert(kCommandTable.size() == 117, "one row per command builder");
static_assert(check::TableIsSound(), "rows sorted by unique name; formats, parameters and fields agree");

// The row of builder `name`; kCommandTable.size() when there is none.
consteval std::size_t RowIndex(std::string_view name)
{
    for (std::size_t i = 0; i < kCommandTable.size(); ++i) {
        if (kCommandTable[i].name == name) {
            return i;
        }
    }
    return kCommandTable.size();
}

} // namespace linkcore::commands
