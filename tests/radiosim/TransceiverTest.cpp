// SPDX-License-Identifier: GPL-3.0-or-later
#include "radiosim/Transceiver.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace radiosim {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::MatchesRegex;

struct Fed {
    std::string sent;                  // replies and echo, as they would go on the line
    std::vector<std::string> commands; // commands as recorded
};

// Feeds `bytes` in pieces of at most `piece` bytes (0: all at once).
Fed Feed(Transceiver& radio, std::string_view bytes, std::size_t piece = 0)
{
    Fed fed;
    while (!bytes.empty()) {
        std::string_view chunk = piece == 0 ? bytes : bytes.substr(0, piece);
        bytes.remove_prefix(chunk.size());
        while (!chunk.empty()) {
            std::vector<Event> events;
            chunk.remove_prefix(radio.consume(chunk, events));
            for (const Event& event : events) {
                (event.type == Event::Type::Command ? fed.commands.emplace_back(event.text)
                                                    : fed.sent.append(event.text));
            }
        }
    }
    return fed;
}

std::string Send(Transceiver& radio, std::string_view bytes)
{
    return Feed(radio, bytes).sent;
}

// Everything the radio would answer to the read requests of its state.
std::string Snapshot(const Transceiver& radio)
{
    std::string all;
    for (std::string_view read : {"FA;", "FB;", "FC;", "MD;", "PS;", "AI;", "IF;", "KY;", "DC;", "SM0;", "AG0;",
                                  "AG1;", "SQ0;", "EX0240000;", "EX0550000;", "TC;", "TY;", "LK;", "PA;", "CR;",
                                  "IS;", "SS;", "SS34;", "MR0005;", "XO;", "BY;"}) {
        all += radio.query(read);
    }
    return all;
}

struct ReadCase {
    int model;
    const char* command;
    const char* reply; // extended regular expression of the whole reply
};

TEST(TransceiverReplies, ReadRepliesHaveTheLayoutTheHostParses)
{
    const ReadCase cases[] = {
        {19, "AG0;", "AG0[0-9]{3};"},
        {19, "AG1;", "AG1[0-9]{3};"},
        {19, "AI;", "AI[02];"},
        {19, "AR1;", "AR1[01][0-9];"},
        {19, "AS399;", "AS399[0-9]{11}[0-9];"},
        {19, "BY;", "BY[01][01];"},
        {19, "DC;", "DC[01][01];"},
        {19, "EX0550000;", "EX0550000.+;"},
        {19, "FA;", "FA[0-9]{11};"},
        {19, "FB;", "FB[0-9]{11};"},
        {19, "FC;", "FC[0-9]{11};"},
        {19, "FD;", "FD[0-9A-F]{8};"},
        {19, "ID;", "ID019;"},
        {19, "IF;", "IF[0-9]{11}[0-9]{4}[-+][0-9]{5}[0-9]{14};"},
        {19, "IS;", "IS [0-9]{4};"},
        {19, "KY;", "KY[01];"},
        {19, "LM;", "LM[0-3];"},
        {19, "MD;", "MD[1-79];"},
        {19, "MR1299;", "MR1299[0-9]{11}[0-9]{24}.{8};"},
        {19, "OI;", "OI[0-9]{11}[0-9]{4}[-+][0-9]{5}[0-9]{14};"},
        {19, "PA;", "PA[01][01];"},
        {19, "PB;", "PB[0-3];"},
        {19, "PS;", "PS[0-3];"},
        {19, "RA;", "RA[0-9]{4};"},
        {19, "RD;", "RD[0-9]{5};"},
        {19, "RM;", "RM[0-4][0-9]{4};"},
        {19, "RU;", "RU[0-9]{5};"},
        {19, "SA;", "SA[01][0-9][01]{5}.{8};"},
        {19, "SB;", "SB[01];"},
        {19, "SC;", "SC[0-6];"},
        {19, "SM3;", "SM3[0-9]{4};"},
        {19, "SQ1;", "SQ1[0-9]{3};"},
        {19, "SS;", "SS[0-2];"},
        {19, "SU1;", "SU1[0-9]{10};"},
        {19, "TC;", "TC 1;"},
        {19, "TY;", "TY[0-9A-F]{2}[0-9];"},
        {20, "AG0;", "AG0[0-9]{3};"},
        {20, "AI;", "AI[0-3];"},
        {20, "AS099;", "AS099[0-9]{11}[0-9];"},
        {20, "BY;", "BY[01][01];"},
        {20, "CR;", "CR[01][0-2][0-9];"},
        {20, "EX0240000;", "EX0240000.+;"},
        {20, "FA;", "FA[0-9]{11};"},
        {20, "FB;", "FB[0-9]{11};"},
        {20, "ID;", "ID020;"},
        {20, "IF;", "IF[0-9]{11}[0-9]{4}[-+][0-9]{5}[0-9]{14};"},
        {20, "IS;", "IS[ -][0-9]{4};"},
        {20, "KY;", "KY[01];"},
        {20, "LM;", "LM[0-3][0-2][0-9]{3};"},
        {20, "MD;", "MD[1-79];"},
        {20, "ME;", "ME[0-9]{3};"},
        {20, "MR1099;", "MR1099[0-9]{11}[0-9]{24}.{8};"},
        {20, "OP;", "OP[0-9]{3};"},
        {20, "PA;", "PA[01]0;"},
        {20, "PB;", "PB[0-3][0-9]{2};"},
        {20, "PS;", "PS[019];"},
        {20, "RA;", "RA[0-9]{4};"},
        {20, "RD;", "RD[0-9]{5};"},
        {20, "RM;", "RM[0-4][0-9]{4};"},
        {20, "RS;", "RS[0-9];"},
        {20, "RU;", "RU[0-9]{5};"},
        {20, "SC;", "SC[0145][0-9];"},
        {20, "SM0;", "SM0[0-9]{4};"},
        {20, "SQ0;", "SQ0[0-9]{3};"},
        {20, "SS94;", "SS94[0-9]{11};"},
        {20, "SU0;", "SU0[0-9]{10};"},
        {20, "TY;", "TY[0-9A-F]{2}[0-9];"},
        {20, "XI;", "XI[0-9]{11}[1-79]00;"},
        {20, "XO;", "XO[01][0-9]{11};"},
    };
    for (const ReadCase& c : cases) {
        Transceiver radio(c.model);
        EXPECT_THAT(Send(radio, c.command), MatchesRegex(c.reply)) << "model " << c.model << " " << c.command;
    }
}

TEST(TransceiverReplies, StatusReplyCarriesFrequencyModeAndTransmitFlagAtTheirPositions)
{
    Transceiver radio(20);
    Send(radio, "FA00007012345;MD3;");
    std::string status = Send(radio, "IF;");
    ASSERT_EQ(status.size(), 38u);
    EXPECT_EQ(status.substr(2, 11), "00007012345");
    EXPECT_EQ(status[28], '0');
    EXPECT_EQ(status[29], '3');
    EXPECT_EQ(status[31], '0');
    Send(radio, "SC1;");
    EXPECT_EQ(Send(radio, "IF;")[31], '1');

    EXPECT_EQ(Send(radio, "TX1;"), "TX1;");
    status = Send(radio, "IF;");
    ASSERT_EQ(status.size(), 38u);
    EXPECT_EQ(status[28], '1');
    EXPECT_TRUE(radio.transmitting());

    EXPECT_EQ(Send(radio, "RX;"), "RX0;");
    EXPECT_EQ(Send(radio, "IF;")[28], '0');

    // Receiving on VFO B shows B's frequency; transmitting on A makes it split.
    Send(radio, "FB00014250000;FR1;");
    status = Send(radio, "IF;");
    EXPECT_EQ(status.substr(2, 11), "00014250000");
    EXPECT_EQ(status[32], '1');
}

TEST(TransceiverSetCommands, ChangeTheStateWithoutAnswering)
{
    Transceiver radio(19);
    EXPECT_EQ(Send(radio, "FA00007000000;FC00000137000;MD9;AG1050;SQ0120;DC10;EX024120012;KY CQ;"), "");
    EXPECT_EQ(Send(radio, "FA;FC;MD;AG1;AG0;SQ0;DC;EX0241200;"),
              "FA00007000000;FC00000137000;MD9;AG1050;AG0100;SQ0120;DC10;EX024120012;");
    EXPECT_EQ(radio.query("AG1;"), "AG1050;");

    Transceiver tarsel(20);
    EXPECT_EQ(Send(tarsel, "IS-0100;XO100000600000;RD00150;"), "");
    EXPECT_EQ(Send(tarsel, "IS;XO;RD;"), "IS-0100;XO100000600000;RD00150;");
}

TEST(TransceiverSetCommands, FieldsTheRadioOnlyAnswersKeepTheirValueWhenTheLineSets)
{
    Transceiver radio(20);
    std::vector<Event> events;
    ASSERT_TRUE(radio.operate("CR012;", events));
    ASSERT_TRUE(radio.operate("PB301;", events));
    ASSERT_TRUE(radio.operate("LM10123;", events));
    EXPECT_EQ(Send(radio, "CR12;PB1;LM32;"), "");
    EXPECT_EQ(Send(radio, "CR;PB;LM;"), "CR122;PB101;LM32123;");

    EXPECT_EQ(Send(radio, "CR120;"), "?;");
    EXPECT_EQ(radio.query("CR;"), "CR122;");
}

TEST(TransceiverSetCommands, AddressedValuesAreKeptPerAddress)
{
    Transceiver tarsel(20);
    EXPECT_EQ(Send(tarsel, "SS3400014195000;SU11234567890;AS012000070500003;"), "");
    EXPECT_EQ(Send(tarsel, "SS34;SS24;SU1;SU0;AS012;AS013;"),
              "SS3400014195000;SS2400000000000;SU11234567890;SU00000000000;AS012000070500003;AS013000000000000;");

    // Model 19 keeps one SS value and no table.
    Transceiver corvex(19);
    EXPECT_EQ(Send(corvex, "SS2;SS;SS34;"), "SS2;?;");
}

TEST(TransceiverMemory, WrittenChannelIsReadBackInTheSameLayoutWithItsNamePadded)
{
    // Receive frequency of channel 123, then its settings.
    const std::string channel = "0123" "00007050000" "3" "0" "1" "08" "12" "045" "0" "1" "000600000" "05" "2";
    Transceiver radio(19);
    EXPECT_EQ(Send(radio, "MW" + channel + "CQ;"), "");
    EXPECT_EQ(Send(radio, "MR0123;"), "MR" + channel + "CQ      ;");
    EXPECT_EQ(Send(radio, "MR1123;"), "MR1123" + std::string(35, '0') + std::string(8, ' ') + ";");

    std::string beyondLastChannel = channel;
    beyondLastChannel[1] = '3';
    EXPECT_EQ(Send(radio, "MW" + beyondLastChannel + ";"), "?;");
    EXPECT_EQ(Send(radio, "MW" + channel + "LONGNAME9;"), "?;");
    EXPECT_EQ(Send(radio, "MR" + channel + ";"), "?;");
    EXPECT_EQ(radio.query("MR0123;"), "MR" + channel + "CQ      ;");
}

TEST(TransceiverReplies, TransmitInfoAndSubReceiverStatusFollowTheirVfos)
{
    Transceiver tarsel(20);
    Send(tarsel, "FA00007012345;FB00014250000;MD3;");
    EXPECT_EQ(Send(tarsel, "XI;"), "XI00007012345300;");
    Send(tarsel, "FT1;");
    EXPECT_EQ(Send(tarsel, "XI;"), "XI00014250000300;");

    Transceiver corvex(19);
    Send(corvex, "FA00007012345;FC00000144000;");
    const std::string sub = Send(corvex, "OI;");
    ASSERT_EQ(sub.size(), 38u);
    EXPECT_EQ(sub.substr(0, 13), "OI00000144000");
    EXPECT_EQ(Send(corvex, "IF;").substr(0, 13), "IF00007012345");
}

TEST(TransceiverSetCommands, MalformedUnknownOrForeignCommandsAreRefusedAndChangeNothing)
{
    const std::pair<int, const char*> cases[] = {
        {19, "AG2;"},                       // index beyond the model's two
        {19, "AI1;"},                       // model 19 takes 0 or 2
        {19, "IS-0100;"},                   // model 19 takes a blank sign only
        {19, "PS9;"},                       // standby exists on model 20 only
        {19, "XI;"},                        // model 20 only
        {20, "AG1050;"},                    // model 20 has one AG index
        {20, "AI4;"},
        {20, "BY00;"},                      // read-only
        {20, "CR120;"},                     // the third digit is the radio's own
        {20, "DC;"},                        // model 19 only
        {20, "EX0241000;"},                 // model 20 menus have no sub-address
        {20, "EX024000012345678901234567;"}, // value longer than 16 characters
        {20, "F;"},
        {20, "FA\r00007000000;"},           // line break inside a command
        {20, "FA000070000000;"},            // 12 digits
        {20, "FA0000700000;"},              // 10 digits
        {20, "FA0000700000x;"},
        {20, "FC;"},
        {20, "ID020;"},                     // read-only
        {20, "IF1;"},
        {20, "IS+0100;"},
        {20, "KY 1234567890123456789012345;"}, // 25 characters of text
        {20, "MD0;"},
        {20, "MD10;"},
        {20, "MD8;"},
        {20, "MW;"},                        // memories are read with MR
        {20, "PA11;"},                      // the second digit is the radio's own
        {20, "PS2;"},
        {20, "SC2;"},
        {20, "SM00010;"},                   // the meter is read-only from the line
        {20, "SS3;"},                       // the table takes two address digits
        {20, "TC 0;"},                      // model 19 only
        {20, "TX3;"},
        {20, "TY3F1;"},
        {20, "XI1;"},
        {20, "ZZ;"},
        {20, "fa;"},
    };
    for (const auto& [model, command] : cases) {
        Transceiver radio(model);
        const std::string before = Snapshot(radio);
        EXPECT_EQ(Send(radio, command), "?;") << "model " << model << " " << command;
        EXPECT_EQ(Snapshot(radio), before) << command;
        EXPECT_FALSE(radio.transmitting());
        EXPECT_FALSE(radio.passThrough());
    }
}

TEST(TransceiverFraming, LineBreaksBeforeACommandAreSkippedAndEmptyCommandsUnanswered)
{
    Transceiver radio(20);
    const Fed fed = Feed(radio, "\r\n\rID;;\n;MD;");
    EXPECT_EQ(fed.sent, "ID020;MD2;");
    EXPECT_THAT(fed.commands, ElementsAre("ID;", ";", ";", "MD;"));
}

TEST(TransceiverFraming, OverlongCommandIsRefusedWithoutDisturbingTheNext)
{
    Transceiver radio(20);
    const std::string flood(5000, 'A');
    EXPECT_EQ(Send(radio, flood), "");
    EXPECT_EQ(Send(radio, ";ID;"), "?;ID020;");
}

TEST(TransceiverFraming, AnswersDoNotDependOnHowTheBytesArePieced)
{
    const std::string script = "\r\nID;FA00007000000;FA;;IF;AI2;MD3;SM0;EX0240000;XX;PS9;FA;PS1;TX1;RX;";
    Transceiver whole(20);
    const Fed expected = Feed(whole, script);
    ASSERT_THAT(expected.sent, ::testing::StartsWith("ID020;FA00007000000;IF00007000000"));
    for (std::size_t piece = 1; piece < script.size(); ++piece) {
        Transceiver radio(20);
        const Fed fed = Feed(radio, script, piece);
        EXPECT_EQ(fed.sent, expected.sent) << "pieces of " << piece;
        EXPECT_EQ(fed.commands, expected.commands) << "pieces of " << piece;
    }
}

TEST(TransceiverAutoInformation, ModeTwoReportsEveryChangeInReadFormat)
{
    Transceiver radio(20);
    EXPECT_EQ(Send(radio, "AI2;"), "AI2;");
    EXPECT_EQ(Send(radio, "FA00007000000;"), "FA00007000000;");
    EXPECT_EQ(Send(radio, "MD3;AG0050;EX024000001;PA1;SS3400014195000;"),
              "MD3;AG0050;EX024000001;PA10;SS3400014195000;");

    std::string keyed = Send(radio, "TX0;");
    ASSERT_EQ(keyed.size(), 4u + 38u);
    EXPECT_EQ(keyed.substr(0, 4), "TX0;");
    EXPECT_EQ(keyed.substr(4, 2), "IF");
    EXPECT_EQ(keyed[4 + 28], '1');
    std::string released = Send(radio, "RX;");
    ASSERT_EQ(released.size(), 4u + 38u);
    EXPECT_EQ(released[4 + 28], '0');

    EXPECT_EQ(Send(radio, "PS0;"), "PS0;");
    EXPECT_EQ(Send(radio, "PS1;"), "PS1;");

    // A change at the front panel is reported the same way.
    std::vector<Event> events;
    ASSERT_TRUE(radio.operate("SM00015;", events));
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].text, "SM00015;");

    EXPECT_EQ(Send(radio, "AI0;"), "");
    EXPECT_EQ(Send(radio, "FA00007100000;MD1;"), "");
    events.clear();
    EXPECT_TRUE(radio.operate("FA00007200000;", events));
    EXPECT_THAT(events, IsEmpty());
    EXPECT_EQ(radio.query("FA;"), "FA00007200000;");
}

TEST(TransceiverAutoInformation, OnlyModeTwoReports)
{
    for (const char* mode : {"AI1;", "AI3;"}) {
        Transceiver radio(20);
        EXPECT_EQ(Send(radio, mode), "");
        EXPECT_EQ(Send(radio, "FA00007000000;"), "") << mode;
    }
}

TEST(TransceiverPower, SwitchedOffAnswersOnlyThePowerRequest)
{
    for (const char* off : {"PS0;", "PS9;"}) {
        Transceiver radio(20);
        Send(radio, "TX1;");
        EXPECT_EQ(Send(radio, off), "");
        EXPECT_FALSE(radio.poweredOn());
        EXPECT_FALSE(radio.transmitting());
        const std::string before = Snapshot(radio);
        EXPECT_EQ(Send(radio, "ID;FA;IF;ZZ;FA00007000000;MD;TX1;"), "") << off;
        EXPECT_EQ(Snapshot(radio), before);
        std::vector<Event> events;
        EXPECT_FALSE(radio.operate("FA00007000000;", events));
        EXPECT_EQ(Send(radio, "PS;"), "PS0;") << off;

        EXPECT_EQ(Send(radio, "PS1;"), "");
        EXPECT_TRUE(radio.poweredOn());
        EXPECT_EQ(Send(radio, "PS;ID;"), "PS1;ID020;");
    }
}

TEST(TransceiverPassThrough, TerminalCommandHandsTheLineOverAndTheExitTextTakesItBack)
{
    Transceiver radio(19);
    EXPECT_EQ(Send(radio, "TC 0;"), "TC 0;");
    EXPECT_TRUE(radio.passThrough());
    const std::string before = Snapshot(radio);
    const Fed echoed = Feed(radio, "FA00007000000;ID;hello\r\n");
    EXPECT_EQ(echoed.sent, "FA00007000000;ID;hello\r\n");
    EXPECT_THAT(echoed.commands, IsEmpty());
    EXPECT_EQ(Snapshot(radio), before);

    const Fed back = Feed(radio, "\x03;\rTC 1;\rID;");
    EXPECT_EQ(back.sent, "TC 1;ID019;");
    EXPECT_THAT(back.commands, ElementsAre("TC 1;", "ID;"));
    EXPECT_FALSE(radio.passThrough());
}

TEST(TransceiverPassThrough, ExitTextIsRecognisedInAnyPiecesAndNearMissesAreEchoed)
{
    const std::string script = "ab\x03;\rTC 2;\r\x03\x03;\rTC 1;\rFA;";
    for (std::size_t piece = 1; piece <= script.size(); ++piece) {
        Transceiver radio(19);
        Send(radio, "TC 0;");
        const Fed fed = Feed(radio, script, piece);
        EXPECT_EQ(fed.sent, "ab\x03;\rTC 2;\r\x03TC 1;FA00014195000;") << "pieces of " << piece;
        EXPECT_FALSE(radio.passThrough());
    }
}

TEST(TransceiverPassThrough, MenuFiftyFiveSetToOneEntersPassThroughOnModel19Only)
{
    Transceiver corvex(19);
    EXPECT_EQ(Send(corvex, "EX05500001;"), "EX05500001;");
    EXPECT_TRUE(corvex.passThrough());
    EXPECT_EQ(Send(corvex, "EX0550000;"), "EX0550000;");
    EXPECT_EQ(Send(corvex, "\x03;\rTC 1;\rEX0550000;"), "TC 1;EX05500000;");

    Transceiver tarsel(20);
    EXPECT_EQ(Send(tarsel, "EX05500001;"), "");
    EXPECT_FALSE(tarsel.passThrough());
    EXPECT_EQ(Send(tarsel, "EX0550000;"), "EX05500001;");
}

TEST(TransceiverPassThrough, HostWakeUpTextsBringEveryRadioToIdentify)
{
    const std::string wakeUp = std::string(";;") + "\x03;\rTC 1;\r" + ";" + "ID;";
    Transceiver tarsel(20);
    EXPECT_EQ(Send(tarsel, wakeUp), "?;?;ID020;");
    Transceiver corvex(19);
    EXPECT_EQ(Send(corvex, wakeUp), "?;TC 1;ID019;");
    Transceiver terminal(19);
    Send(terminal, "TC 0;");
    EXPECT_EQ(Send(terminal, wakeUp), ";;TC 1;ID019;");
}

TEST(TransceiverModels, UnsupportedModelAnswersOnlyItsIdentity)
{
    Transceiver radio(15);
    EXPECT_EQ(Send(radio, "ID;FA;PS;PS0;ID;"), "ID015;?;?;?;ID015;");
}

} // namespace
} // namespace radiosim
