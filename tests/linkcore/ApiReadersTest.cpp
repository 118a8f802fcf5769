// SPDX-License-Identifier: GPL-3.0-or-later
// The status readers over replies parsed as the radio reader parses them: their
// results and outputs before and after replies, per model and per index, and the
// pending notifications they re-arm.
#include "ApiFixture.h"

#include "testsupport/Wait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace apitest {
namespace {

using linkcore::kModelCorvex;
using linkcore::kModelTarsel;
using Outputs = std::vector<std::string>;

const std::string kN = kUntouchedNumber;
const std::string kT = kUntouchedText;

struct ReadCase {
    std::string_view reader;
    std::int32_t model;
    std::string replies;
    std::vector<unsigned> indexes;
    int result;
    Outputs outputs;
};

const std::string kIF = "IF" "00014195000" "1234" "-00100" "1" "2" "3" "45" "601010" "67" "8" ";";
const std::string kMR1 = "MR1" "2" "21" "00007050000" "3" "4" "5" "21" "22" "321" "6" "7" "987654321" "23" "8" "HGFEDCBA;";
const std::string kPK = "PK" "00014195000" "ABCDEFGHIJKL" "THE QUICK BROWN FOX " "12345" ";";

const std::vector<ReadCase>& ReadCases()
{
    static const std::vector<ReadCase> cases{
        // Single values on the models that store them.
        {"AI", 20, "AI3;", {}, 1, {"3"}},
        {"AL", 19, "AL004;", {}, 1, {"4"}},
        {"AM", 19, "AM1;", {}, 1, {"1"}},
        {"AN", 20, "AN2;", {}, 1, {"2"}},
        {"BC", 19, "BC2;", {}, 1, {"2"}},
        {"BP", 19, "BP063;", {}, 1, {"63"}},
        {"CA", 20, "CA1;", {}, 1, {"1"}},
        {"CG", 19, "CG100;", {}, 1, {"100"}},
        {"CM", 19, "CM1;", {}, 1, {"1"}},
        {"CN", 20, "CN42;", {}, 1, {"42"}},
        {"CT", 19, "CT1;", {}, 1, {"1"}},
        {"DQ", 19, "DQ1;", {}, 1, {"1"}},
        {"FR", 20, "FR2;", {}, 1, {"2"}},
        {"FS", 19, "FS1;", {}, 1, {"1"}},
        {"FT", 19, "FT3;", {}, 1, {"3"}},
        {"FW", 20, "FW2400;", {}, 1, {"2400"}},
        {"GT", 19, "GT005;", {}, 1, {"5"}},
        {"KS", 20, "KS020;", {}, 1, {"20"}},
        {"KY", 19, "KY1;", {}, 1, {"1"}},
        {"LM", 19, "LM3;", {}, 1, {"3"}},
        {"LT", 19, "LT1;", {}, 1, {"1"}},
        {"MD", 20, "MD9;", {}, 1, {"9"}},
        {"MF", 19, "MF1;", {}, 1, {"1"}},
        {"MG", 20, "MG050;", {}, 1, {"50"}},
        {"ML", 19, "ML009;", {}, 1, {"9"}},
        {"MO", 19, "MO1;", {}, 1, {"1"}},
        {"NB", 20, "NB1;", {}, 1, {"1"}},
        {"NL", 19, "NL005;", {}, 1, {"5"}},
        {"NR", 20, "NR2;", {}, 1, {"2"}},
        {"NT", 19, "NT1;", {}, 1, {"1"}},
        {"OF", 19, "OF059950000;", {}, 1, {"59950000"}},
        {"OS", 19, "OS3;", {}, 1, {"3"}},
        {"PB", 19, "PB3;", {}, 1, {"3"}},
        {"PC", 20, "PC100;", {}, 1, {"100"}},
        {"PM", 19, "PM5;", {}, 1, {"5"}},
        {"PR", 19, "PR1;", {}, 1, {"1"}},
        {"PS", 20, "PS9;", {}, 1, {"9"}},
        {"QC", 19, "QC103;", {}, 1, {"103"}},
        {"RD", 20, "RD00150;", {}, 1, {"150"}},
        {"RG", 19, "RG255;", {}, 1, {"255"}},
        {"RL", 20, "RL09;", {}, 1, {"9"}},
        {"RS", 20, "RS1;", {}, 1, {"1"}},
        {"RT", 19, "RT1;", {}, 1, {"1"}},
        {"RU", 20, "RU-00150;", {}, 1, {std::to_string(static_cast<unsigned>(-150))}},
        {"RX", 19, "RX0;", {}, 1, {"0"}},
        {"SB", 19, "SB1;", {}, 1, {"1"}},
        {"SC", 20, "SC14;", {}, 1, {"1"}},
        {"SD", 19, "SD0050;", {}, 1, {"50"}},
        {"SH", 20, "SH13;", {}, 1, {"13"}},
        {"SL", 19, "SL11;", {}, 1, {"11"}},
        {"SS", 19, "SS2;", {}, 1, {"2"}},
        {"ST", 20, "ST09;", {}, 1, {"9"}},
        {"TN", 19, "TN01;", {}, 1, {"1"}},
        {"TO", 20, "TO1;", {}, 1, {"1"}},
        {"TS", 19, "TS1;", {}, 1, {"1"}},
        {"TX", 20, "TX2;", {}, 1, {"2"}},
        {"UL", 19, "UL1;", {}, 1, {"1"}},
        {"VD", 20, "VD0100;", {}, 1, {"100"}},
        {"VG", 19, "VG050;", {}, 1, {"50"}},
        {"VX", 20, "VX1;", {}, 1, {"1"}},
        {"XT", 19, "XT1;", {}, 1, {"1"}},
        // A reply the connected model does not store leaves the reader at 0.
        {"AL", 20, "AL004;", {}, 0, {"0"}},
        {"RS", 19, "RS1;", {}, 0, {"0"}},
        {"LM", 20, "LM32123;", {}, 0, {"0"}},
        {"PB", 20, "PB312;", {}, 0, {"0"}},
        // Several values.
        {"AC", 20, "AC101;", {}, 1, {"1", "0", "1"}},
        {"BY", 19, "BY10;", {}, 1, {"1", "0"}},
        {"CR", 20, "CR121;", {}, 1, {"1", "2", "1"}},
        {"CR", 19, "CR121;", {}, 0, {"0", "0", "0"}},
        {"DC", 19, "DC01;", {}, 1, {"0", "1"}},
        {"DL", 20, "DL142;", {}, 1, {"1", "42"}},
        {"EX", 20, "EX02400001;", {}, 1, {"24", "0", "0", "0", "1"}},
        {"EX", 19, "EX1234567ABC DEF;", {}, 1, {"123", "45", "6", "7", "ABC DEF"}},
        {"FA", 19, "FA00014195000;", {}, 1, {"00014195000"}},
        {"FA", 20, "FA000141950000;", {}, 0, {""}},
        {"FB", 20, "FB00007050000;", {}, 1, {"00007050000"}},
        {"FC", 19, "FC00021200000;", {}, 1, {"00021200000"}},
        {"FC", 20, "FC00021200000;", {}, 0, {kT}},
        {"FD", 19, "FD12345;", {}, 1, {"12345"}},
        {"IF", 20, kIF, {}, 1,
         {"00014195000", "1234", std::to_string(static_cast<unsigned>(-100)), "1", "2", "3", "45", "6", "0", "1", "0",
          "1", "0", "67", "8"}},
        {"IS", 20, "IS-0500;", {}, 1, {"-", "500"}},
        {"IS", 19, "IS 0500;", {}, 1, {" ", "500"}},
        {"LK", 19, "LK21;", {}, 1, {"2", "1"}},
        {"LM2", 20, "LM32123;", {}, 1, {"3", "2", "123"}},
        {"LM2", 19, "LM3;", {}, 0, {"0", "0", "0"}},
        {"MC", 19, "MC299;", {}, 1, {"2", "99"}},
        {"ME", 20, "ME123;", {}, 1, {"1", "2", "3"}},
        {"ME", 19, "ME123;", {}, 0, {"0", "0", "0"}},
        {"MR", 20, kMR1, {1}, 1,
         {"2", "21", "00007050000", "3", "4", "5", "21", "22", "321", "6", "7", "987654321", "23", "8", "HGFEDCBA"}},
        {"MR", 20, kMR1, {0}, 0,
         {"0", "0", kT, "0", "0", "0", "0", "0", "0", "0", "0", "0", "0", "0", kT}},
        {"MU", 19, "MU1010011010;", {}, 1, {"1", "0", "1", "0", "0", "1", "1", "0", "1", "0"}},
        {"OI", 19, "OI" + kIF.substr(2), {}, 1,
         {"00014195000", "1234", std::to_string(static_cast<unsigned>(-100)), "1", "2", "3", "45", "6", "0", "1", "0",
          "1", "0", "67", "8"}},
        {"OP", 20, "OP101;", {}, 1, {"1", "0", "1"}},
        {"PA", 19, "PA10;", {}, 1, {"1", "0"}},
        {"PB2", 20, "PB312;", {}, 1, {"3", "1", "2"}},
        {"PK", 19, kPK, {}, 1, {"00014195000", "ABCDEFGHIJKL", "THE QUICK BROWN FOX ", "12345"}},
        {"PL", 20, "PL012345;", {}, 1, {"12", "345"}},
        {"QR", 19, "QR19;", {}, 1, {"1", "9"}},
        {"RA", 20, "RA1234;", {}, 1, {"12", "34"}},
        {"SA", 19, "SA1911111ABC;", {}, 1, {"1", "9", "1", "1", "1", "1", "1", "ABC"}},
        {"SC2", 20, "SC14;", {}, 1, {"1", "4"}},
        {"SC2", 19, "SC1;", {}, 0, {"0", "0"}},
        {"SU", 20, "SU12345678901;", {}, 1, {"1", "2", "3", "4", "5", "6", "7", "8", "9", "0", "1"}},
        {"TC", 19, "TC11;", {}, 1, {"1", "1"}},
        {"TI", 19, "TI101;", {}, 1, {"1", "0", "1"}},
        {"TY", 20, "TY3F1;", {}, 1, {"1", "1", "1", "1", "1", "1", "0", "0", "1"}},
        {"XI", 20, "XI00014195000123;", {}, 1, {"00014195000", "1", "23"}},
        {"XO", 20, "XO100014195000;", {}, 1, {"1", "00014195000"}},
        {"AS", 19, "AS312000141950005;", {}, 1, {"3", "12", "00014195000", "5"}},
        // Indexed groups: each index has its own `received`.
        {"AG", 20, "AG0123;", {0}, 1, {"123"}},
        {"AG", 20, "AG0123;", {1}, 0, {"0"}},
        {"AR", 19, "AR110;", {1}, 1, {"1", "0"}},
        {"AR", 19, "AR110;", {0}, 0, {"0", "0"}},
        {"AR", 20, "AR110;", {1}, 0, {"0", "0"}},
        {"SM", 19, "SM20015;", {2}, 1, {"15"}},
        {"SM", 19, "SM20015;", {3}, 0, {"0"}},
        {"SQ", 19, "SQ1020;", {1}, 1, {"20"}},
        {"SS2", 20, "SS12ABC;", {1, 2}, 1, {"ABC"}},
        {"SS2", 20, "SS12ABC;", {2, 1}, 0, {""}},
        {"SS2", 19, "SS12ABC;", {1, 2}, 0, {""}},
        {"RM", 20, "RM7123;", {}, 1, {"7", "123"}},
        // Indexes outside their range: 0, and nothing written.
        {"AG", 20, "AG0123;", {2}, 0, {kN}},
        {"AR", 19, "AR110;", {2}, 0, {kN, kN}},
        {"MR", 20, kMR1, {2}, 0, {kN, kN, kT, kN, kN, kN, kN, kN, kN, kN, kN, kN, kN, kN, kT}},
        {"RM2", 20, "RM7123;", {10}, 0, {kN}},
        {"SM", 19, "SM20015;", {4}, 0, {kN}},
        {"SQ", 19, "SQ1020;", {2}, 0, {kN}},
        {"SS2", 20, "SS12ABC;", {10, 0}, 0, {kT}},
        {"SS2", 20, "SS12ABC;", {0, 10}, 0, {kT}},
    };
    return cases;
}

class Readers : public radiotest::RadioStateFixture {
protected:
    ReaderResult read(std::string_view name, std::vector<unsigned> indexes = {})
    {
        return Reader(name).call(linkcore_, indexes);
    }
};

TEST_F(Readers, ReportTheRepliesOfTheirModels)
{
    for (const ReadCase& c : ReadCases()) {
        state_ = {};
        setModel(c.model);
        parse(c.replies);
        const ReaderResult got = read(c.reader, c.indexes);
        EXPECT_EQ(got.result, c.result) << "RcvData" << c.reader << " after \"" << c.replies << "\" on " << c.model;
        EXPECT_EQ(got.outputs, c.outputs) << "RcvData" << c.reader << " after \"" << c.replies << "\" on " << c.model;
    }
}

TEST_F(Readers, EveryReaderHasACase)
{
    std::vector<std::string> missing;
    for (const ReaderEntry& reader : apitest::Readers()) {
        const bool covered = std::any_of(ReadCases().begin(), ReadCases().end(), [&](const ReadCase& c) {
            return c.reader == reader.name && c.result == 1;
        });
        if (!covered && reader.name != "RM2") {
            missing.emplace_back(reader.name);
        }
    }
    EXPECT_EQ(missing, std::vector<std::string>{});
}

TEST_F(Readers, BeforeAnyReplyEveryReaderReportsNothing)
{
    for (const std::int32_t model : {0, kModelCorvex, kModelTarsel}) {
        state_ = {};
        setModel(model);
        for (const ReaderEntry& reader : apitest::Readers()) {
            const ReaderResult got = read(reader.name, std::vector<unsigned>(reader.indexCount, 0));
            EXPECT_EQ(got.result, 0) << "RcvData" << reader.name << " on " << model;
            for (const std::string& output : got.outputs) {
                if (output != kT) {
                    // Numbers are zeroed; the texts that are emptied first read "".
                    EXPECT_TRUE(output == "0" || output.empty()) << "RcvData" << reader.name << ": " << output;
                }
            }
        }
    }
}

TEST_F(Readers, TextOutputsTouchedOnlyWhereStated)
{
    setModel(kModelTarsel);
    EXPECT_EQ(read("AS").outputs, (Outputs{"0", "0", "", "0"}));
    EXPECT_EQ(read("FA").outputs, (Outputs{""}));
    EXPECT_EQ(read("FC").outputs, (Outputs{kT}));
    EXPECT_EQ(read("XI").outputs, (Outputs{"", "0", "0"}));
    EXPECT_EQ(read("XO").outputs, (Outputs{"0", ""}));
    EXPECT_EQ(read("SS2", {0, 0}).outputs, (Outputs{""}));
    EXPECT_EQ(read("EX").outputs, (Outputs{"0", "0", "0", "0", kT}));
    EXPECT_EQ(read("IS").outputs, (Outputs{kT, "0"}));
    setModel(kModelCorvex);
    EXPECT_EQ(read("FC").outputs, (Outputs{""}));
    EXPECT_EQ(read("XO").outputs, (Outputs{"0", ""}));
    EXPECT_EQ(read("PK").outputs, (Outputs{kT, kT, kT, kT}));
    EXPECT_EQ(read("SA").outputs, (Outputs{"0", "0", "0", "0", "0", "0", "0", kT}));
}

TEST_F(Readers, AModelChangeHidesValuesOfTheOtherModel)
{
    setModel(kModelTarsel);
    parse("ME123;LM32123;");
    EXPECT_EQ(read("ME").result, 1);
    parse("ID019;");
    EXPECT_EQ(read("ME").outputs, (Outputs{"0", "0", "0"}));
    EXPECT_EQ(read("ME").result, 0);
    EXPECT_EQ(read("LM2").result, 0);
}

TEST_F(Readers, FrequencyReadersReArmTheirNotification)
{
    const auto notifications = [this](std::string_view replies, std::uintptr_t code) {
        int count = 0;
        for (const platform::Message& message : parseAndCollect(replies)) {
            count += message.message == radiotest::kNotify && message.wParam == code ? 1 : 0;
        }
        return count;
    };
    setModel(kModelCorvex);
    EXPECT_EQ(notifications("FA00014195000;FA00014195001;", 0x1014), 1);
    EXPECT_EQ(notifications("FA00014195002;", 0x1014), 0);
    EXPECT_EQ(read("FA").outputs, (Outputs{"00014195002"}));
    EXPECT_EQ(notifications("FA00014195003;", 0x1014), 1);
    // Even a read that finds nothing re-arms it.
    state_.FA.received = 0;
    EXPECT_EQ(read("FA").result, 0);
    EXPECT_EQ(notifications("FA00014195004;", 0x1014), 1);
    // And on a model that does not serve the reader.
    EXPECT_EQ(notifications("FC00021200000;", 0x1016), 1);
    parse("ID020;");
    EXPECT_EQ(read("FC").result, 0);
    parse("ID019;");
    EXPECT_EQ(notifications("FC00021200000;", 0x1016), 1);
}

TEST_F(Readers, RMAndSMReArmTheIndexTheyRead)
{
    setModel(kModelTarsel);
    parse("RM3100;RM5200;SM00015;");
    EXPECT_EQ(read("RM2", {3}), (ReaderResult{1, {"100"}}));
    EXPECT_EQ(read("RM2", {3}), (ReaderResult{0, {"0"}})) << "once per notified change";
    EXPECT_EQ(state_.RM.pending[5].load(), 1);
    EXPECT_EQ(read("RM"), (ReaderResult{1, {"5", "200"}}));
    EXPECT_EQ(state_.RM.pending[5].load(), 0);
    EXPECT_EQ(read("RM2", {5}), (ReaderResult{0, {"0"}}));
    parse("RM3101;");
    EXPECT_EQ(read("RM2", {3}), (ReaderResult{1, {"101"}}));
    EXPECT_EQ(state_.SM.pending[0].load(), 1);
    EXPECT_EQ(read("SM", {0}), (ReaderResult{1, {"15"}}));
    EXPECT_EQ(state_.SM.pending[0].load(), 0);
    // RM2 reports nothing without a notification, so nothing without a window.
    linkcore_.WinMsgSendReg(nullptr);
    parse("RM3102;");
    EXPECT_EQ(read("RM2", {3}), (ReaderResult{0, {"0"}}));
    EXPECT_EQ(read("RM"), (ReaderResult{1, {"3", "102"}}));
}

TEST_F(Readers, NullOutputsAreSkipped)
{
    setModel(kModelCorvex);
    parse("AC101;FA00014195000;");
    unsigned digit3 = 7;
    EXPECT_EQ(linkcore_.RcvDataAC(nullptr, &digit3, nullptr), 1);
    EXPECT_EQ(digit3, 0u);
    EXPECT_EQ(linkcore_.RcvDataFA(nullptr), 1);
    EXPECT_EQ(linkcore_.RcvDataXO(nullptr, nullptr), 0);
}

class ReadersOnTheLine : public LineFixture {};

TEST_F(ReadersOnTheLine, ReadWhileTheRadioReaderStoresReplies)
{
    // The radio reader thread stores frequencies while this thread reads them and asks
    // for new ones. Cells are single atomic words, so a text read during a store may mix
    // the old and the new digits (callers read again after the next notification), but
    // it is always terminated within its field and holds only digits.
    setModel(kModelCorvex);
    const std::string kIFReply = kIF;
    std::atomic<bool> done{false};
    std::thread radio([&] {
        for (int i = 0; i < 300; ++i) {
            pty_.send(i % 2 == 0 ? "FA00014195000;" + kIFReply : std::string("FA00007050000;"));
        }
        done = true;
    });
    int seen = 0;
    const auto readOnce = [&](int i) {
        unsigned char text[20];
        if (linkcore_.RcvDataFA(text) == 1) {
            const std::string value(reinterpret_cast<const char*>(text));
            EXPECT_LE(value.size(), 11u) << value;
            EXPECT_EQ(value.find_first_not_of("0123456789"), std::string::npos) << value;
            ++seen;
        }
        if (i % 100 == 0) {
            EXPECT_EQ(linkcore_.ConnFA("R", nullptr), 1);
        }
    };
    for (int i = 0; !done.load(); ++i) {
        readOnce(i);
    }
    radio.join();
    pty_.send("FA00007050000;");
    EXPECT_TRUE(testsupport::WaitUntil([&] {
        return Reader("FA").call(linkcore_, {}) == ReaderResult{1, {"00007050000"}};
    }));
    EXPECT_TRUE(testsupport::WaitUntil([&] {
        readOnce(1);
        return seen > 0;
    }));
}

} // namespace
} // namespace apitest
