// SPDX-License-Identifier: GPL-3.0-or-later
// Read requests and the radio state: each clears exactly the cells its answer will
// fill, before or after the model test as its row says, and never outside its group.
#include "ApiFixture.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

namespace apitest {
namespace {

using linkcore::kModelCorvex;
using linkcore::kModelTarsel;
using radiotest::CellRange;
using radiotest::CellsOf;
using radiotest::ChangedCells;
using radiotest::StateCells;

using Call = int (*)(CLinkcore&);

// The cells of any member of RadioState, down to one array element.
template <typename Member>
CellRange Cells(Member member)
{
    const linkcore::RadioState& state = LinkcoreShared::instance().radioState;
    const auto& cells = member(state);
    const auto offset = reinterpret_cast<const char*>(&cells) - reinterpret_cast<const char*>(&state);
    return {static_cast<std::size_t>(offset) / sizeof(linkcore::Cell), sizeof cells / sizeof(linkcore::Cell)};
}
#define CELLS(member) Cells([](const ::linkcore::RadioState& s) -> const auto& { return s.member; })

// One reply of every group each model stores, all values non-zero, so that a cleared
// cell shows as a change.
const std::string kIF = "IF" "00014195000" "1234" "+00100" "1" "1" "1" "12" "111111" "12" "1" ";";
const std::string kOI = "OI" "00007050000" "4321" "-00200" "2" "2" "2" "21" "222222" "21" "2" ";";
const std::string kMR0 = "MR0" "1" "12" "00014195000" "1" "1" "1" "12" "12" "123" "1" "1" "123456789" "12" "1" "ABCDEFGH;";
const std::string kMR1 = "MR1" "2" "21" "00007050000" "2" "2" "2" "21" "21" "321" "2" "2" "987654321" "21" "2" "HGFEDCBA;";
const std::string kCorvexReplies =
    "AC111;AG0100;AG1200;AI2;AL004;AM1;AN2;AR011;AR111;AS312000141950005;BC2;BP063;BY11;CA1;CG100;CM1;CN05;CT1;"
    "DC11;DQ1;EX1234567ABC;FA00014195000;FB00007050000;FC00021200000;FD12345;FR3;FS1;FT3;FW2400;GT005;"
    "IS-0500;KS020;KY1;LK22;LM3;LT1;MC299;MD9;MF1;MG050;ML009;MO1;MU1111111111;NB1;NL005;NR2;NT1;OF059950000;"
    "OS3;PA11;PB3;PC100;PL012345;PM5;PR1;PS1;QC103;QR19;RA1234;RD00150;RG255;RL09;RM3050;RT1;RU00150;RX1;"
    "SA1911111ABC;SB1;SC2;SD0050;SH11;SL11;SM30015;SM00016;SQ0100;SQ1200;SS2;ST09;SU12345678901;TC11;TN01;TO3;"
    "TS1;TX1;TY3F1;VD0100;VG050;VX1;XT1;" +
    kIF + kOI + kMR0 + kMR1;
const std::string kTarselReplies =
    "AC121;AG0100;CR121;SM00015;DL105;FA00014195000;LM32123;ME123;OP123;PB312;RS1;SC11;SQ0300;SS94ABC;SS00DEF;TX2;"
    "XI00014195000123;XO100014195000;IF00014195000" "1234" "+00100" "1" "1" "1" "12" "111111" "12" "1" ";";

struct ReadClear {
    std::string_view name;
    std::int32_t model;
    std::string command;
    std::vector<CellRange> cleared;
};

const std::vector<ReadClear>& ReadClears()
{
    static const std::vector<ReadClear> cases{
        {"AC", 19, "AC;", {CELLS(AC)}},
        {"AC", 20, "AC;", {CELLS(AC)}},
        {"AG", 19, "AG1;", {CELLS(AG.received[1]), CELLS(AG.value[1])}},
        {"AI", 19, "AI;", {CELLS(AI)}},
        {"AL", 19, "AL;", {CELLS(AL)}},
        {"AM", 19, "AM;", {CELLS(AM)}},
        {"AN", 19, "AN;", {CELLS(AN)}},
        {"AR", 19, "AR1;", {CELLS(AR.received[1]), CELLS(AR.digit3[1]), CELLS(AR.digit4[1])}},
        {"AS", 19, "AS399;", {CELLS(AS)}},
        {"BC", 19, "BC;", {CELLS(BC)}},
        {"BP", 19, "BP;", {CELLS(BP)}},
        {"BY", 19, "BY;", {CELLS(BY)}},
        {"CA", 19, "CA;", {CELLS(CA)}},
        {"CG", 19, "CG;", {CELLS(CG)}},
        {"CM", 19, "CM;", {CELLS(CM)}},
        {"CN", 19, "CN;", {CELLS(CN)}},
        {"CR", 20, "CR;", {CELLS(CR)}},
        {"CT", 19, "CT;", {CELLS(CT)}},
        {"DC", 19, "DC;", {CELLS(DC)}},
        {"DL", 20, "DL;", {CELLS(DL)}},
        {"DQ", 19, "DQ;", {CELLS(DQ)}},
        {"EX", 19, "EX9999999;", {CELLS(EX)}},
        {"FA", 19, "FA;", {CELLS(FA.received), CELLS(FA.text)}},
        {"FA", 20, "FA;", {CELLS(FA.received), CELLS(FA.text)}},
        {"FB", 19, "FB;", {CELLS(FB.received), CELLS(FB.text)}},
        {"FC", 19, "FC;", {CELLS(FC.received), CELLS(FC.text)}},
        {"FD", 19, "FD;", {CELLS(FD)}},
        {"FR", 19, "FR;", {CELLS(FR)}},
        {"FS", 19, "FS;", {CELLS(FS)}},
        {"FT", 19, "FT;", {CELLS(FT)}},
        {"FW", 19, "FW;", {CELLS(FW)}},
        {"GT", 19, "GT;", {CELLS(GT)}},
        {"IF", 19, "IF;", {CELLS(IF)}},
        {"IF", 20, "IF;", {CELLS(IF)}},
        {"IS", 19, "IS;", {CELLS(IS)}},
        {"KS", 19, "KS;", {CELLS(KS)}},
        {"KY", 19, "KY;", {CELLS(KY)}},
        {"LK", 19, "LK;", {CELLS(LK)}},
        {"LM", 19, "LM;", {CELLS(LM)}},
        {"LM2", 20, "LM;", {CELLS(LM)}},
        {"LT", 19, "LT;", {CELLS(LT)}},
        {"MC", 19, "MC;", {CELLS(MC)}},
        {"MD", 19, "MD;", {CELLS(MD)}},
        {"ME", 20, "ME;", {CELLS(ME)}},
        {"MF", 19, "MF;", {CELLS(MF)}},
        {"MG", 19, "MG;", {CELLS(MG)}},
        {"ML", 19, "ML;", {CELLS(ML)}},
        {"MO", 19, "MO;", {CELLS(MO)}},
        {"MR", 19, "MR1299;", {CELLS(MR.slot[1])}},
        {"MU", 19, "MU;", {CELLS(MU)}},
        {"NB", 19, "NB;", {CELLS(NB)}},
        {"NL", 19, "NL;", {CELLS(NL)}},
        {"NR", 19, "NR;", {CELLS(NR)}},
        {"NT", 19, "NT;", {CELLS(NT)}},
        {"OF", 19, "OF;", {CELLS(OF)}},
        {"OI", 19, "OI;", {CELLS(OI)}},
        {"OP", 20, "OP;", {CELLS(OP)}},
        {"OS", 19, "OS;", {CELLS(OS)}},
        {"PA", 19, "PA;", {CELLS(PA)}},
        {"PB", 19, "PB;", {CELLS(PB)}},
        {"PB", 20, "PB;", {CELLS(PB)}},
        {"PC", 19, "PC;", {CELLS(PC)}},
        {"PL", 19, "PL;", {CELLS(PL)}},
        {"PM", 19, "PM;", {CELLS(PM)}},
        {"PR", 19, "PR;", {CELLS(PR)}},
        {"PS", 19, "PS;", {CELLS(PS)}},
        {"QC", 19, "QC;", {CELLS(QC)}},
        {"QR", 19, "QR;", {CELLS(QR)}},
        {"RA", 19, "RA;", {CELLS(RA)}},
        {"RD", 19, "RD;", {CELLS(RD)}},
        {"RG", 19, "RG;", {CELLS(RG)}},
        {"RL", 19, "RL;", {CELLS(RL)}},
        {"RM", 19, "RM;", {CELLS(RM.received), CELLS(RM.index), CELLS(RM.value)}},
        {"RS", 20, "RS;", {CELLS(RS)}},
        {"RT", 19, "RT;", {CELLS(RT)}},
        {"RU", 19, "RU;", {CELLS(RU)}},
        {"RX", 19, "RX;", {CELLS(RX)}},
        {"SA", 19, "SA;", {CELLS(SA)}},
        {"SB", 19, "SB;", {CELLS(SB)}},
        {"SC", 19, "SC;", {CELLS(SC)}},
        {"SC", 20, "SC;", {CELLS(SC)}},
        {"SD", 19, "SD;", {CELLS(SD)}},
        {"SH", 19, "SH;", {CELLS(SH)}},
        {"SL", 19, "SL;", {CELLS(SL)}},
        {"SM", 19, "SM3;", {CELLS(SM.received[3]), CELLS(SM.value[3])}},
        {"SM", 20, "SM0;", {CELLS(SM.received[0]), CELLS(SM.value[0])}},
        {"SQ", 19, "SQ1;", {CELLS(SQ.received[1]), CELLS(SQ.value[1])}},
        {"SQ", 20, "SQ0;", {CELLS(SQ.received[0]), CELLS(SQ.value[0])}},
        {"SS", 19, "SS;", {CELLS(SS)}},
        {"SS2", 20, "SS94;", {CELLS(SSTable.entry[9][4])}},
        {"ST", 19, "ST;", {CELLS(ST)}},
        {"SU", 19, "SU1;", {CELLS(SU)}},
        {"TC", 19, "TC;", {CELLS(TC)}},
        {"TN", 19, "TN;", {CELLS(TN)}},
        {"TO", 19, "TO;", {CELLS(TO)}},
        {"TS", 19, "TS;", {CELLS(TS)}},
        {"TX", 19, "TX;", {CELLS(TX)}},
        {"TX2", 20, "TX1;", {CELLS(TX)}},
        {"TY", 19, "TY;", {CELLS(TY)}},
        {"VD", 19, "VD;", {CELLS(VD)}},
        {"VG", 19, "VG;", {CELLS(VG)}},
        {"VX", 19, "VX;", {CELLS(VX)}},
        {"XI", 20, "XI;", {CELLS(XI)}},
        {"XO", 20, "XO;", {CELLS(XO)}},
        {"XT", 19, "XT;", {CELLS(XT)}},
    };
    return cases;
}

bool Within(std::size_t cell, const std::vector<CellRange>& ranges)
{
    for (const CellRange& range : ranges) {
        if (cell >= range.first && cell < range.first + range.count) {
            return true;
        }
    }
    return false;
}

class ReadRequest : public LineFixture {
protected:
    void fill(std::int32_t model)
    {
        state_ = {};
        setModel(model);
        reply(model == kModelCorvex ? kCorvexReplies : kTarselReplies);
        shared_.passThrough = 0;
    }
    std::pair<int, std::string> read(std::string_view name, std::int32_t model)
    {
        const std::vector<Arg> args = ValidArgs(RowNamed(name), model);
        return capture([&] { return Builder(name).call(linkcore_, "R", args); });
    }
};

TEST_F(ReadRequest, ClearsExactlyTheCellsItsAnswerFills)
{
    for (const ReadClear& c : ReadClears()) {
        fill(c.model);
        const StateCells before = CellsOf(state_);
        const auto [result, line] = read(c.name, c.model);
        const StateCells after = CellsOf(state_);
        EXPECT_EQ(result, 1) << "Conn" << c.name << " on model " << c.model;
        EXPECT_EQ(line, c.command) << "Conn" << c.name << " on model " << c.model;
        const std::vector<std::size_t> changed = ChangedCells(before, after);
        EXPECT_FALSE(changed.empty()) << "Conn" << c.name << " cleared nothing";
        for (const std::size_t cell : changed) {
            EXPECT_TRUE(Within(cell, c.cleared)) << "Conn" << c.name << " changed cell " << cell;
        }
        for (const CellRange& range : c.cleared) {
            for (std::size_t cell = range.first; cell < range.first + range.count; ++cell) {
                EXPECT_EQ(after[cell], 0) << "Conn" << c.name << " left cell " << cell;
            }
        }
    }
}

TEST_F(ReadRequest, EveryRequestRowIsCovered)
{
    std::vector<std::string> missing;
    for (const linkcore::commands::Row& row : linkcore::commands::kCommandTable) {
        const bool requests = static_cast<bool>(row.clear);
        const bool covered = std::any_of(ReadClears().begin(), ReadClears().end(),
                                         [&](const ReadClear& c) { return c.name == row.name; });
        if (requests && !covered) {
            missing.emplace_back(row.name);
        }
    }
    EXPECT_EQ(missing, std::vector<std::string>{});
}

TEST_F(ReadRequest, KeepsPendingNotifications)
{
    fill(kModelCorvex);
    ASSERT_EQ(state_.FA.pending.load(), 1);
    ASSERT_EQ(state_.RM.pending[3].load(), 1);
    EXPECT_EQ(linkcore_.ConnFA("R", nullptr), 1);
    EXPECT_EQ(linkcore_.ConnRM("R", 0), 1);
    EXPECT_EQ(state_.FA.pending.load(), 1);
    EXPECT_EQ(state_.RM.pending[3].load(), 1);
    EXPECT_EQ(state_.FA.received.load(), 0);
    EXPECT_EQ(state_.RM.received.load(), 0);
}

TEST_F(ReadRequest, AddressOutsideTheStoredEntriesIsRefusedAndClearsNothing)
{
    const std::vector<std::pair<std::int32_t, Call>> outside{
        {19, [](CLinkcore& l) { return l.ConnAG("R", 2, 0); }},
        {19, [](CLinkcore& l) { return l.ConnAG("R", 9, 0); }},
        {19, [](CLinkcore& l) { return l.ConnAR("R", 2, 0, 0); }},
        {19, [](CLinkcore& l) { return l.ConnSQ("R", 5, 0); }},
        {20, [](CLinkcore& l) { return l.ConnSQ("R", 2, 0); }},
        {20, [](CLinkcore& l) { return l.ConnSS2("R", 10, 0, nullptr); }},
        {20, [](CLinkcore& l) { return l.ConnSS2("R", 0, 10, nullptr); }},
        {19, [](CLinkcore& l) { return l.ConnMR(2, 0, 0); }},
        {20, [](CLinkcore& l) { return l.ConnSM(1); }},
        {19, [](CLinkcore& l) { return l.ConnSM(4); }},
        {20, [](CLinkcore& l) { return l.ConnDL("R", 2, 0); }},
    };
    for (const auto& [model, call] : outside) {
        fill(model);
        const StateCells before = CellsOf(state_);
        EXPECT_EQ(capture([&] { return call(linkcore_); }), std::make_pair(0, std::string()));
        EXPECT_EQ(ChangedCells(before, CellsOf(state_)), std::vector<std::size_t>{});
    }
}

TEST_F(ReadRequest, ClearsFirstEvenWhenTheModelTestRefuses)
{
    // Rows marked "clears first" clear their group before the model test.
    struct Case {
        std::string_view name;
        std::int32_t filledOn;
        std::int32_t calledOn;
        CellRange group;
    };
    const std::vector<Case> cases{
        {"BY", 19, 0, CELLS(BY)},   {"FD", 19, 20, CELLS(FD)}, {"IF", 19, 18, CELLS(IF)},
        {"ME", 20, 19, CELLS(ME)},  {"OI", 19, 20, CELLS(OI)}, {"OP", 20, 19, CELLS(OP)},
        {"RS", 20, 19, CELLS(RS)},  {"RX", 19, 0, CELLS(RX)},  {"TY", 19, 21, CELLS(TY)},
        {"TX", 20, 20, CELLS(TX)},  {"TX2", 19, 19, CELLS(TX)},
    };
    for (const Case& c : cases) {
        fill(c.filledOn);
        setModel(c.calledOn);
        const StateCells before = CellsOf(state_);
        const std::vector<Arg> args = ValidArgs(RowNamed(c.name), kModelTarsel);
        EXPECT_EQ(capture([&] { return Builder(c.name).call(linkcore_, nullptr, args); }),
                  std::make_pair(0, std::string()))
            << "Conn" << c.name;
        const StateCells after = CellsOf(state_);
        const std::vector<std::size_t> changed = ChangedCells(before, after);
        EXPECT_FALSE(changed.empty()) << "Conn" << c.name;
        for (const std::size_t cell : changed) {
            EXPECT_TRUE(Within(cell, {c.group})) << "Conn" << c.name << " changed cell " << cell;
            EXPECT_EQ(after[cell], 0);
        }
    }
}

TEST_F(ReadRequest, OtherRequestsClearOnlyAfterTheModelTest)
{
    struct Case {
        std::int32_t filledOn;
        std::int32_t calledOn;
        Call call;
    };
    const std::vector<Case> cases{
        {20, 19, [](CLinkcore& l) { return l.ConnXI(); }},
        {19, 18, [](CLinkcore& l) { return l.ConnSM(0); }},
        {20, 19, [](CLinkcore& l) { return l.ConnXO("R", 0, nullptr); }},
        {19, 20, [](CLinkcore& l) { return l.ConnFC("R", nullptr); }},
        {19, 20, [](CLinkcore& l) { return l.ConnMU("R", 0, 0, 0, 0, 0, 0, 0, 0, 0, 0); }},
        {20, 19, [](CLinkcore& l) { return l.ConnLM2("R", 0, 0); }},
        {19, 0, [](CLinkcore& l) { return l.ConnAC("R", 0, 0, 0); }},
        {19, 0, [](CLinkcore& l) { return l.ConnMR(0, 0, 0); }},
    };
    for (const Case& c : cases) {
        fill(c.filledOn);
        setModel(c.calledOn);
        const StateCells before = CellsOf(state_);
        EXPECT_EQ(capture([&] { return c.call(linkcore_); }), std::make_pair(0, std::string()));
        EXPECT_EQ(ChangedCells(before, CellsOf(state_)), std::vector<std::size_t>{});
    }
}

TEST_F(ReadRequest, FailedWriteStillLeavesTheGroupCleared)
{
    fill(kModelCorvex);
    pty_.closeController();
    EXPECT_EQ(linkcore_.ConnFA("R", nullptr), 0);
    EXPECT_EQ(state_.FA.received.load(), 0);
    EXPECT_EQ(linkcore_.ConnGT("W", 5), 0);
    unsigned value = 0;
    EXPECT_EQ(linkcore_.RcvDataGT(&value), 1) << "a set that was not written is not read back";
    EXPECT_EQ(value, 5u);
}

} // namespace
} // namespace apitest
