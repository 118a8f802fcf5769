// SPDX-License-Identifier: GPL-3.0-or-later
// Change notifications: the code of every notified mnemonic and the models it is
// posted for, the lParam values, the extra conditions and the throttling through
// the pending cells, which the status readers re-arm.

#include "linkcore/radio/ReplyParser.h"
#include "RadioLinkFixture.h"

#include <gtest/gtest.h>

#include <string>

namespace radiotest {
namespace {

using linkcore::kModelCorvex;
using linkcore::kModelTarsel;
using platform::Message;

using ChangeNotifierTest = RadioStateFixture;

Message Notification(platform::WParam code, platform::LParam value) { return Message{kNotify, code, value}; }

constexpr platform::LParam HiLo(int high, int low) { return (high << 16) + low; }

enum Served { k19 = 1, k20 = 2, kBoth = 3, kAny = 7 };

struct Expected {
    const char* mnemonic;
    Served models;
    platform::WParam code;
};

// Every radio notification: which models post it and with which code.
constexpr Expected kCodes[] = {
    {"AC", kBoth, 0x1000}, {"AG", kBoth, 0x1001}, {"AI", kBoth, 0x1002}, {"AL", k19, 0x1003},
    {"AN", kBoth, 0x1004}, {"BC", kBoth, 0x1005}, {"BD", kBoth, 0x1006}, {"BP", k19, 0x1007},
    {"BU", kBoth, 0x1008}, {"BY", kBoth, 0x1009}, {"CA", kBoth, 0x100A}, {"CG", k19, 0x100B},
    {"CI", k19, 0x100C},   {"CM", k19, 0x100D},   {"CN", kBoth, 0x100E}, {"CT", kBoth, 0x100F},
    {"DC", k19, 0x1010},   {"DN", kBoth, 0x1011}, {"DQ", k19, 0x1012},   {"EX", kBoth, 0x1013},
    {"FA", kBoth, 0x1014}, {"FB", kBoth, 0x1015}, {"FC", k19, 0x1016},   {"FD", k19, 0x1017},
    {"FR", kBoth, 0x1018}, {"FS", kBoth, 0x1019}, {"FT", kBoth, 0x101A}, {"FW", kBoth, 0x101B},
    {"GT", kBoth, 0x101C}, {"ID", kAny, 0x101D},  {"IF", kBoth, 0x101E}, {"IS", kBoth, 0x101F},
    {"KS", kBoth, 0x1020}, {"KY", kBoth, 0x1021}, {"LK", kBoth, 0x1022}, {"LM", kBoth, 0x1023},
    {"LT", k19, 0x1024},   {"MC", kBoth, 0x1025}, {"MD", kBoth, 0x1026}, {"MG", kBoth, 0x1027},
    {"ML", kBoth, 0x1028}, {"MO", k19, 0x1029},   {"MR", kBoth, 0x102A}, {"MW", kBoth, 0x102B},
    {"NB", kBoth, 0x102C}, {"NL", kBoth, 0x102D}, {"NR", kBoth, 0x102E}, {"NT", k19, 0x102F},
    {"OF", k19, 0x1030},   {"OS", k19, 0x1031},   {"QC", k19, 0x1032},   {"PA", kBoth, 0x1033},
    {"PB", kBoth, 0x1034}, {"PC", kBoth, 0x1035}, {"PL", kBoth, 0x1036}, {"PR", kBoth, 0x1037},
    {"PS", kBoth, 0x1038}, {"RA", kBoth, 0x1039}, {"RC", kBoth, 0x103A}, {"RD", kBoth, 0x103B},
    {"RU", kBoth, 0x103C}, {"RT", kBoth, 0x103D}, {"XT", kBoth, 0x103E}, {"RG", kBoth, 0x103F},
    {"RL", kBoth, 0x1040}, {"RM", kBoth, 0x1041}, {"RX", kBoth, 0x1042}, {"TX", kBoth, 0x1043},
    {"SA", k19, 0x1044},   {"SB", k19, 0x1045},   {"SC", kBoth, 0x1046}, {"SD", kBoth, 0x1047},
    {"SH", kBoth, 0x1048}, {"SL", kBoth, 0x1049}, {"SM", kBoth, 0x104A}, {"SQ", kBoth, 0x104B},
    {"SR", kBoth, 0x104C}, {"ST", kBoth, 0x104D}, {"TC", k19, 0x104E},   {"TD", k19, 0x104F},
    {"TN", kBoth, 0x1050}, {"TO", kBoth, 0x1051}, {"UP", kBoth, 0x1052}, {"UR", kBoth, 0x1053},
    {"UT", kBoth, 0x1054}, {"VD", kBoth, 0x1055}, {"VG", kBoth, 0x1056}, {"VR", kBoth, 0x1057},
    {"VX", kBoth, 0x1058}, {"AR", k19, 0x1059},   {"AS", kBoth, 0x105A}, {"MF", kBoth, 0x105C},
    {"MU", k19, 0x105D},   {"QR", kBoth, 0x105E}, {"SS", kBoth, 0x105F}, {"SU", kBoth, 0x1060},
    {"UL", kBoth, 0x1061}, {"PM", k19, 0x1062},   {"AM", k19, 0x1063},   {"TS", kBoth, 0x1064},
    {"TI", k19, 0x1065},   {"PK", k19, 0x1066},   {"TY", kBoth, 0x1067}, {"OI", k19, 0x1068},
    {"DL", k20, 0x1069},   {"OP", k20, 0x106A},   {"RS", k20, 0x106B},   {"SV", kBoth, 0x106C},
    {"VV", k20, 0x106D},   {"XI", k20, 0x106E},   {"XO", k20, 0x106F},   {"ME", k20, 0x1070},
    {"CR", k20, 0x107A},
};

TEST_F(ChangeNotifierTest, EveryMnemonicPostsItsCodeOnItsModelsOnly)
{
    for (const Expected& row : kCodes) {
        for (const std::int32_t model : {kModelCorvex, kModelTarsel, 15}) {
            const bool served = (model == kModelCorvex && (row.models & k19) != 0) ||
                                (model == kModelTarsel && (row.models & k20) != 0) || row.models == kAny;
            SCOPED_TRACE(std::string(row.mnemonic) + " on model " + std::to_string(model));
            state_ = {};
            setModel(model);
            // Index 0 satisfies every indexed row; the state is fresh, so nothing is throttled.
            const auto posted = parseAndCollect(std::string(row.mnemonic) + "0;");
            if (row.mnemonic == std::string("ID")) {
                EXPECT_EQ(posted, std::vector<Message>{Notification(row.code, 0)});
            } else if (served) {
                ASSERT_EQ(posted.size(), 1u);
                EXPECT_EQ(posted[0].message, kNotify);
                EXPECT_EQ(posted[0].wParam, row.code);
            } else {
                EXPECT_TRUE(posted.empty());
            }
        }
    }
}

TEST_F(ChangeNotifierTest, ValuesAreTheCellsAfterTheParse)
{
    setModel(kModelTarsel);
    EXPECT_EQ(parseAndCollect("AI2;"), std::vector{Notification(0x1002, 2)});
    EXPECT_EQ(parseAndCollect("PC050;"), std::vector{Notification(0x1035, 50)});
    EXPECT_EQ(parseAndCollect("PL050123;"), std::vector{Notification(0x1036, HiLo(50, 123))});
    EXPECT_EQ(parseAndCollect("BY12;"), std::vector{Notification(0x1009, HiLo(1, 2))});
    EXPECT_EQ(parseAndCollect("MC215;"), std::vector{Notification(0x1025, HiLo(2, 15))});
    EXPECT_EQ(parseAndCollect("RA0305;"), std::vector{Notification(0x1039, HiLo(3, 5))});
    EXPECT_EQ(parseAndCollect("DL105;"), std::vector{Notification(0x1069, HiLo(1, 5))});
    EXPECT_EQ(parseAndCollect("LM12345;"), std::vector{Notification(0x1023, 1)});
    EXPECT_EQ(parseAndCollect("SC45;"), std::vector{Notification(0x1046, HiLo(4, 5))});
    EXPECT_EQ(parseAndCollect("SS12ABC;"), std::vector{Notification(0x105F, HiLo(1, 2))});
    EXPECT_EQ(parseAndCollect("CR305;"), std::vector{Notification(0x107A, 3)});
    EXPECT_EQ(parseAndCollect("SU19876543210;"), std::vector{Notification(0x1060, 1)});
    // A stored value from an earlier reply is reported when this one stores nothing.
    EXPECT_EQ(parseAndCollect("PL;"), std::vector{Notification(0x1036, HiLo(0, 0))});
    EXPECT_EQ(parseAndCollect("PC;"), std::vector{Notification(0x1035, 0)});

    setModel(kModelCorvex);
    EXPECT_EQ(parseAndCollect("SC4;"), std::vector{Notification(0x1046, 4)});
    EXPECT_EQ(parseAndCollect("SS2;"), std::vector{Notification(0x105F, 2)});
    EXPECT_EQ(parseAndCollect("SA1011010;"), std::vector{Notification(0x1044, 1)});
    EXPECT_EQ(parseAndCollect("DC12;"), std::vector{Notification(0x1010, HiLo(1, 2))});
}

TEST_F(ChangeNotifierTest, ValuesTakenFromTheReplyText)
{
    setModel(kModelTarsel);
    EXPECT_EQ(parseAndCollect("EX0550000;"), std::vector{Notification(0x1013, 550000)});
    EXPECT_EQ(parseAndCollect("TY3F1;"), std::vector{Notification(0x1067, HiLo(10 * 3 + ('F' - '0'), 1))});
    EXPECT_EQ(parseAndCollect("TY121;"), std::vector{Notification(0x1067, HiLo(12, 1))});
    EXPECT_EQ(parseAndCollect("MR1;"), std::vector{Notification(0x102A, 1)});
    EXPECT_EQ(parseAndCollect("IS-0500;"), std::vector{Notification(0x101F, -500)});
    EXPECT_EQ(parseAndCollect("IS+0500;"), std::vector{Notification(0x101F, 500)});
    EXPECT_EQ(parseAndCollect("IS 0700;"), std::vector{Notification(0x101F, 700)});
}

TEST_F(ChangeNotifierTest, IdReportsTheNewModelForEveryModel)
{
    setModel(kModelTarsel);
    EXPECT_EQ(parseAndCollect("ID015;"), std::vector{Notification(0x101D, 15)});
    EXPECT_EQ(parseAndCollect("ID019;"), std::vector{Notification(0x101D, 19)});
    state_.ID = {};
    EXPECT_EQ(parseAndCollect("ID020;"), std::vector{Notification(0x101D, 20)});
}

TEST_F(ChangeNotifierTest, IndexedRepliesPostOnlyForAValidIndex)
{
    setModel(kModelTarsel);
    EXPECT_EQ(parseAndCollect("AG1123;"), std::vector{Notification(0x1001, HiLo(1, 123))});
    EXPECT_TRUE(parseAndCollect("AG2123;").empty());
    EXPECT_EQ(parseAndCollect("SQ0050;"), std::vector{Notification(0x104B, HiLo(0, 50))});
    EXPECT_TRUE(parseAndCollect("SQ9050;").empty());

    setModel(kModelCorvex);
    EXPECT_EQ(parseAndCollect("AR112;"), std::vector{Notification(0x1059, 1)});
    EXPECT_TRUE(parseAndCollect("AR212;").empty());
}

TEST_F(ChangeNotifierTest, FrequenciesNotifyOnceUntilTheReaderTakesTheValue)
{
    setModel(kModelCorvex);
    EXPECT_EQ(parseAndCollect("FA00014195000;FA00014196000;"), std::vector{Notification(0x1014, 0)});
    EXPECT_EQ(state_.FA.pending, 1);
    unsigned char frequency[20] = {};
    ASSERT_EQ(linkcore_.RcvDataFA(frequency), 1);
    EXPECT_STREQ(reinterpret_cast<char*>(frequency), "00014196000");
    EXPECT_EQ(parseAndCollect("FA00014197000;"), std::vector{Notification(0x1014, 0)});

    // The notification depends on the mnemonic only: a reply of the wrong length
    // stores nothing but still notifies.
    EXPECT_EQ(parseAndCollect("FB123;"), std::vector{Notification(0x1015, 0)});
    EXPECT_EQ(state_.FB.received, 0);
    EXPECT_EQ(parseAndCollect("FC00007000000;"), std::vector{Notification(0x1016, 0)});
    EXPECT_TRUE(parseAndCollect("FC00007000000;").empty());
}

TEST_F(ChangeNotifierTest, RMAndSMThrottlePerIndex)
{
    setModel(kModelTarsel);
    EXPECT_EQ(parseAndCollect("RM70012;"), std::vector{Notification(0x1041, HiLo(7, 12))});
    EXPECT_TRUE(parseAndCollect("RM70013;").empty());
    EXPECT_EQ(parseAndCollect("RM30001;"), std::vector{Notification(0x1041, HiLo(3, 1))});
    unsigned value = 0;
    ASSERT_EQ(linkcore_.RcvDataRM2(7, &value), 1);
    EXPECT_EQ(value, 13u);
    EXPECT_EQ(parseAndCollect("RM70014;"), std::vector{Notification(0x1041, HiLo(7, 14))});

    EXPECT_EQ(parseAndCollect("SM30015;"), std::vector{Notification(0x104A, 3)});
    EXPECT_TRUE(parseAndCollect("SM30016;").empty());
    EXPECT_EQ(parseAndCollect("SM00010;"), std::vector{Notification(0x104A, 0)});
    EXPECT_TRUE(parseAndCollect("SM40010;").empty());
    ASSERT_EQ(linkcore_.RcvDataSM(3, &value), 1);
    EXPECT_EQ(value, 16u);
    EXPECT_EQ(parseAndCollect("SM30017;"), std::vector{Notification(0x104A, 3)});
}

TEST_F(ChangeNotifierTest, WithoutAWindowNothingIsPostedButValuesAreStored)
{
    setModel(kModelCorvex);
    linkcore_.WinMsgSendReg(nullptr);
    EXPECT_TRUE(parseAndCollect("AI2;FA00014195000;CR123;").empty());
    EXPECT_EQ(state_.AI.value, 2);
    EXPECT_EQ(state_.FA.received, 1);
    // Nothing was reported, so nothing is throttled once a window is registered.
    EXPECT_EQ(state_.FA.pending, 0);
    linkcore_.WinMsgSendReg(&window_);
    EXPECT_EQ(parseAndCollect("FA00014195000;"), std::vector{Notification(0x1014, 0)});
}

TEST_F(ChangeNotifierTest, NotifiersReportWhetherAWindowIsRegistered)
{
    struct Notifiers {
        static long WinMsgSendExC(const unsigned char* reply, LinkcoreShared* shared)
        {
            return linkcore::NotifyChange('C', reply, *shared);
        }
    };
    setModel(kModelCorvex);
    const unsigned char reply[] = "CR123";
    EXPECT_NE(Notifiers::WinMsgSendExC(reply, &shared_), 0);
    EXPECT_TRUE(window_.drain().empty());
    linkcore_.WinMsgSendReg(nullptr);
    EXPECT_EQ(Notifiers::WinMsgSendExC(reply, &shared_), 0);
}

TEST_F(ChangeNotifierTest, OneNotificationPerReplyInArrivalOrder)
{
    setModel(kModelTarsel);
    EXPECT_EQ(parseAndCollect("AI1;BD;XX;MD3;ZZ;AN2;"),
              (std::vector{Notification(0x1002, 1), Notification(0x1006, 0), Notification(0x1026, 3),
                           Notification(0x1004, 2)}));
}

} // namespace
} // namespace radiotest
