// SPDX-License-Identifier: GPL-3.0-or-later
// The reply parser on the process-wide radio state: each field kind, the rules in
// which replies differ, the model conditions and the pass-through flag. Every case
// also checks that no cell outside the reply's group changed.

#include "linkcore/radio/ReplyParser.h"
#include "RadioLinkFixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace radiotest {
namespace {

using linkcore::kModelCorvex;
using linkcore::kModelTarsel;

class ReplyParserTest : public RadioStateFixture {
protected:
    void SetUp() override
    {
        RadioStateFixture::SetUp();
        // Notifications are tested on their own; here only stored values count.
        linkcore_.WinMsgSendReg(nullptr);
    }
};

// The conversion of the TY branch, in the radio layer.
struct HexConversion {
    static char* Hex2BinayChar(char* hex, char* bits) { return linkcore::HexToBits(hex, bits); }
};

TEST_F(ReplyParserTest, PlainFieldKindsAreStoredInTheirGroup)
{
    setModel(kModelTarsel);
    parseExpectingOnly("AC123;", RADIOTEST_GROUP(AC));
    EXPECT_EQ(state_.AC.received, 1);
    EXPECT_EQ(state_.AC.digit2, 1);
    EXPECT_EQ(state_.AC.digit3, 2);
    EXPECT_EQ(state_.AC.digit4, 3);

    parseExpectingOnly("GT-042;", RADIOTEST_GROUP(GT));
    EXPECT_EQ(state_.GT.value, -42);

    parseExpectingOnly(std::string("AS") + "1" + "07" + "14205000000" + "A" + ";", RADIOTEST_GROUP(AS));
    EXPECT_EQ(state_.AS.digit2, 1);
    EXPECT_EQ(state_.AS.number3_4, 7);
    EXPECT_EQ(state_.AS.text.str(), "14205000000");
    EXPECT_EQ(state_.AS.digit16, 'A' - '0');
    EXPECT_EQ(state_.AS.received, 1);

    parseExpectingOnly("PL050123;", RADIOTEST_GROUP(PL));
    EXPECT_EQ(state_.PL.number2_4, 50);
    EXPECT_EQ(state_.PL.number, 123);

    parseExpectingOnly("MC 12;", RADIOTEST_GROUP(MC));
    EXPECT_EQ(state_.MC.digit2, ' ' - '0');
    EXPECT_EQ(state_.MC.number, 12);
}

TEST_F(ReplyParserTest, StatusReplyOfExactly37CharactersFillsEveryField)
{
    setModel(kModelCorvex);
    const std::string status = std::string("IF") + "00014195000" + " -15" + "-01234" + "012" + "00" + "012345" + "67" + "0";
    ASSERT_EQ(status.size(), 37u);
    parseExpectingOnly(status + ";", RADIOTEST_GROUP(IF));
    ASSERT_EQ(state_.IF.received, 1);
    EXPECT_EQ(state_.IF.text.str(), "00014195000");
    EXPECT_EQ(state_.IF.number13_16, -15);
    EXPECT_EQ(state_.IF.number17_22, -1234);
    EXPECT_EQ(state_.IF.digit23, 0);
    EXPECT_EQ(state_.IF.digit24, 1);
    EXPECT_EQ(state_.IF.digit25, 2);
    EXPECT_EQ(state_.IF.number26_27, 0);
    EXPECT_EQ(state_.IF.digit28, 0);
    EXPECT_EQ(state_.IF.digit33, 5);
    EXPECT_EQ(state_.IF.number34_35, 67);
    EXPECT_EQ(state_.IF.digit36, 0);

    parseExpectingOnly("OI" + status.substr(2) + ";", RADIOTEST_GROUP(OI));
    EXPECT_EQ(state_.OI.received, 1);
    EXPECT_EQ(state_.OI.number17_22, -1234);

    parseExpectingNothing(status + "0;");
    parseExpectingNothing(status.substr(0, 36) + ";");
}

TEST_F(ReplyParserTest, FrequenciesNeedExactlyElevenDigits)
{
    setModel(kModelCorvex);
    parseExpectingOnly("FA00014195000;", RADIOTEST_GROUP(FA));
    EXPECT_EQ(state_.FA.received, 1);
    EXPECT_EQ(state_.FA.text.str(), "00014195000");
    EXPECT_EQ(state_.FA.pending, 0);

    parseExpectingNothing("FA000141950001;");
    parseExpectingNothing("FA0001419500;");
    parseExpectingNothing("FB0001419500;");

    parseExpectingOnly("FC00007000000;", RADIOTEST_GROUP(FC));
    EXPECT_EQ(state_.FC.text.str(), "00007000000");
    setModel(kModelTarsel);
    parseExpectingNothing("FC00007100000;");
}

TEST_F(ReplyParserTest, ExactLengthsOfXIAndXO)
{
    setModel(kModelTarsel);
    parseExpectingOnly("XI00014195000120;", RADIOTEST_GROUP(XI));
    EXPECT_EQ(state_.XI.text.str(), "00014195000");
    EXPECT_EQ(state_.XI.digit13, 1);
    EXPECT_EQ(state_.XI.number14_15, 20);
    parseExpectingNothing("XI000141950001200;");

    parseExpectingOnly("XO100007000000;", RADIOTEST_GROUP(XO));
    EXPECT_EQ(state_.XO.digit2, 1);
    EXPECT_EQ(state_.XO.text.str(), "00007000000");
    parseExpectingNothing("XO10000700000;");
}

TEST_F(ReplyParserTest, ModelConditionsDecideWhetherAReplyIsStored)
{
    setModel(kModelCorvex);
    parseExpectingNothing("CR123;");
    parseExpectingNothing("RS1;");
    parseExpectingOnly("AL123;", RADIOTEST_GROUP(AL));
    EXPECT_EQ(state_.AL.value, 123);

    setModel(kModelTarsel);
    parseExpectingNothing("AL456;");
    parseExpectingNothing("TC 0;");
    parseExpectingOnly("CR105;", RADIOTEST_GROUP(CR));
    EXPECT_EQ(state_.CR.digit4, 5);

    // Before the radio has answered "ID", only "ID" is taken.
    setModel(0);
    parseExpectingNothing("AC111;FA00014195000;");
}

TEST_F(ReplyParserTest, IdIsTakenOnEveryModelAndSwitchesTheLaterTests)
{
    setModel(kModelCorvex);
    parse("ID020;CR777;");
    EXPECT_EQ(state_.model(), kModelTarsel);
    EXPECT_EQ(state_.CR.digit2, 7);

    state_.ID = {};
    parse("ID015;");
    EXPECT_EQ(state_.ID.received, 1);
    EXPECT_EQ(state_.model(), 15);
    parseExpectingNothing("AC111;");
}

TEST_F(ReplyParserTest, ExtentOfLMPBAndSCDependsOnTheModel)
{
    setModel(kModelCorvex);
    parseExpectingOnly("LM1234;", RADIOTEST_GROUP(LM));
    EXPECT_EQ(state_.LM.digit2, 1);
    EXPECT_EQ(state_.LM.digit3, 0);
    EXPECT_EQ(state_.LM.number4_6, 0);
    parseExpectingOnly("PB123;", RADIOTEST_GROUP(PB));
    EXPECT_EQ(state_.PB.digit2, 1);
    EXPECT_EQ(state_.PB.digit3, 0);
    parseExpectingOnly("SC45;", RADIOTEST_GROUP(SC));
    EXPECT_EQ(state_.SC.digit2, 4);
    EXPECT_EQ(state_.SC.digit3, 0);

    setModel(kModelTarsel);
    parseExpectingOnly("LM12345;", RADIOTEST_GROUP(LM));
    EXPECT_EQ(state_.LM.digit2, 1);
    EXPECT_EQ(state_.LM.digit3, 2);
    EXPECT_EQ(state_.LM.number4_6, 345);
    parseExpectingOnly("PB321;", RADIOTEST_GROUP(PB));
    EXPECT_EQ(state_.PB.digit4, 1);
    parseExpectingOnly("SC45;", RADIOTEST_GROUP(SC));
    EXPECT_EQ(state_.SC.digit3, 5);
    EXPECT_EQ(state_.SC.received, 1);
}

TEST_F(ReplyParserTest, IndexedGroupsStoreOnlyTheirEntryAndResetTheIndexWhenOutOfRange)
{
    setModel(kModelTarsel);
    parseExpectingOnly("AG1123;", RADIOTEST_GROUP(AG));
    EXPECT_EQ(state_.AG.received[1], 1);
    EXPECT_EQ(state_.AG.received[0], 0);
    EXPECT_EQ(state_.AG.index, 1);
    EXPECT_EQ(state_.AG.value[1], 123);
    EXPECT_EQ(state_.AG.value[0], 0);

    parseExpectingOnly("AG2200;", RADIOTEST_GROUP(AG));
    EXPECT_EQ(state_.AG.index, 0);
    EXPECT_EQ(state_.AG.value[1], 123);
    EXPECT_EQ(state_.AG.received[0], 0);

    parseExpectingOnly("SQ1050;", RADIOTEST_GROUP(SQ));
    EXPECT_EQ(state_.SQ.value[1], 50);
    EXPECT_EQ(state_.SQ.index, 1);
    parseExpectingOnly("SQ/050;", RADIOTEST_GROUP(SQ));
    EXPECT_EQ(state_.SQ.index, 0);

    parseExpectingOnly("SM30015;", RADIOTEST_GROUP(SM));
    EXPECT_EQ(state_.SM.received[3], 1);
    EXPECT_EQ(state_.SM.value[3], 15);
    EXPECT_EQ(state_.SM.index, 3);
    parseExpectingOnly("SM40015;", RADIOTEST_GROUP(SM));
    EXPECT_EQ(state_.SM.index, 0);
    EXPECT_EQ(state_.SM.received[0], 0);

    setModel(kModelCorvex);
    parseExpectingOnly("AR012;AR134;", RADIOTEST_GROUP(AR));
    EXPECT_EQ(state_.AR.digit3[0], 1);
    EXPECT_EQ(state_.AR.digit4[0], 2);
    EXPECT_EQ(state_.AR.digit3[1], 3);
    EXPECT_EQ(state_.AR.digit4[1], 4);
    EXPECT_EQ(state_.AR.index, 1);
    parseExpectingOnly("AR934;", RADIOTEST_GROUP(AR));
    EXPECT_EQ(state_.AR.index, 0);
    EXPECT_EQ(state_.AR.received[1], 1);
}

TEST_F(ReplyParserTest, RMKeepsOneValuePerIndexAndIgnoresANonDigitIndex)
{
    setModel(kModelCorvex);
    parseExpectingOnly("RM70012;", RADIOTEST_GROUP(RM));
    EXPECT_EQ(state_.RM.received, 1);
    EXPECT_EQ(state_.RM.index, 7);
    EXPECT_EQ(state_.RM.value[7], 12);
    parseExpectingNothing("RMX0012;");
    parseExpectingNothing("RM:0012;");
}

TEST_F(ReplyParserTest, MRFillsTheSlotChosenByTheDigitAt2)
{
    setModel(kModelTarsel);
    const std::string memo = std::string("MR") + "1" + "0" + "12" + "00141950001" + "2" + "3" + "4" + "56" + "78" +
                             "901" + "1" + "2" + "345000012" + "00" + "9" + "CALLSIGN";
    parseExpectingOnly(memo + ";", RADIOTEST_GROUP(MR));
    const linkcore::MRSlot& slot = state_.MR.slot[1];
    EXPECT_EQ(slot.received, 1);
    EXPECT_EQ(slot.digit3, 0);
    EXPECT_EQ(slot.number4_5, 12);
    EXPECT_EQ(slot.text6_16.str(), "00141950001");
    EXPECT_EQ(slot.digit17, 2);
    EXPECT_EQ(slot.digit18, 3);
    EXPECT_EQ(slot.digit19, 4);
    EXPECT_EQ(slot.number20_21, 56);
    EXPECT_EQ(slot.number22_23, 78);
    EXPECT_EQ(slot.number24_26, 901);
    EXPECT_EQ(slot.digit27, 1);
    EXPECT_EQ(slot.digit28, 2);
    EXPECT_EQ(slot.number29_37, 345000012);
    EXPECT_EQ(slot.number38_39, 0);
    EXPECT_EQ(slot.digit40, 9);
    EXPECT_EQ(slot.text41_48.str(), "CALLSIGN");
    EXPECT_EQ(state_.MR.slot[0].received, 0);

    parseExpectingNothing("MR2" + memo.substr(3) + ";");
}

TEST_F(ReplyParserTest, SSFillsTheGroupOnModel19AndTheTableOnModel20)
{
    setModel(kModelCorvex);
    parseExpectingOnly("SS2;", RADIOTEST_GROUP(SS));
    EXPECT_EQ(state_.SS.value, 2);

    setModel(kModelTarsel);
    parseExpectingOnly("SS12ABC;", RADIOTEST_GROUP(SSTable));
    EXPECT_EQ(state_.SSTable.entry[1][2].received, 1);
    EXPECT_EQ(state_.SSTable.entry[1][2].text.str(), "ABC");
    EXPECT_EQ(state_.SS.value, 2);

    parseExpectingNothing("SS1AXYZ;");
    parseExpectingNothing("SSA1XYZ;");
    parseExpectingOnly("SS99" + std::string(30, 'Z') + ";", RADIOTEST_GROUP(SSTable));
    EXPECT_EQ(state_.SSTable.entry[9][9].text.str(), std::string(19, 'Z'));
}

TEST_F(ReplyParserTest, DigitWiseNumbersTakeEveryCharacterAsADigit)
{
    setModel(kModelTarsel);
    parseExpectingOnly("DL105;", RADIOTEST_GROUP(DL));
    EXPECT_EQ(state_.DL.digit2, 1);
    EXPECT_EQ(state_.DL.number3_4, 5);
    parseExpectingOnly("RA0A05;", RADIOTEST_GROUP(RA));
    EXPECT_EQ(state_.RA.number2_3, 'A' - '0');
    EXPECT_EQ(state_.RA.number4_5, 5);
    // A decimal reading would stop at the blank; the digit-wise one does not.
    parseExpectingOnly("RA 1 2;", RADIOTEST_GROUP(RA));
    EXPECT_EQ(state_.RA.number2_3, 10 * (' ' - '0') + 1);
}

TEST_F(ReplyParserTest, ISKeepsItsSignCharacterAsText)
{
    setModel(kModelTarsel);
    parseExpectingOnly("IS-0500;", RADIOTEST_GROUP(IS));
    EXPECT_EQ(state_.IS.sign.str(), "-");
    EXPECT_EQ(state_.IS.number, 500);
    parseExpectingOnly("IS+1200;", RADIOTEST_GROUP(IS));
    EXPECT_EQ(state_.IS.sign.str(), "+");
    EXPECT_EQ(state_.IS.number, 1200);
}

TEST_F(ReplyParserTest, TYStoresTheBitsOfItsHexadecimalByte)
{
    for (const std::int32_t model : {kModelCorvex, kModelTarsel}) {
        state_.TY = {};
        setModel(model);
        parseExpectingOnly("TY3F1;", RADIOTEST_GROUP(TY));
        EXPECT_EQ(state_.TY.received, 1);
        const std::int32_t expected[8] = {1, 1, 1, 1, 1, 1, 0, 0};
        for (int bit = 0; bit < 8; ++bit) {
            EXPECT_EQ(state_.TY.bit[bit], expected[bit]) << "bit " << bit;
        }
        EXPECT_EQ(state_.TY.digit4, 1);
    }
    parse("TYa52;");
    const std::int32_t lower[8] = {1, 0, 1, 0, 0, 1, 0, 1}; // 0xA5
    for (int bit = 0; bit < 8; ++bit) {
        EXPECT_EQ(state_.TY.bit[bit], lower[bit]) << "bit " << bit;
    }
    EXPECT_EQ(state_.TY.digit4, 2);
    parseExpectingNothing("TYG01;");
    parseExpectingNothing("TY0G1;");
    parseExpectingNothing("TY0;");
}

TEST_F(ReplyParserTest, HexConversionWritesFourBitsPerDigitAndStopsAtTheFirstNonHexCharacter)
{
    char hex[] = "a5";
    char bits[10] = {};
    EXPECT_EQ(HexConversion::Hex2BinayChar(hex, bits), bits);
    EXPECT_STREQ(hex, "A5");
    EXPECT_STREQ(bits, "10100101");

    char broken[] = "3x";
    char partial[10] = {};
    EXPECT_EQ(HexConversion::Hex2BinayChar(broken, partial), nullptr);
    EXPECT_STREQ(broken, "3X");
    EXPECT_STREQ(partial, "0011");
}

TEST_F(ReplyParserTest, TextsKeepAtMostTheirFieldWidthLessOne)
{
    setModel(kModelCorvex);
    parseExpectingOnly("FD0123456789ABCDEF;", RADIOTEST_GROUP(FD));
    EXPECT_EQ(state_.FD.text.str(), "0123456789A");
    parseExpectingOnly("EX0123456" + std::string(40, 'q') + ";", RADIOTEST_GROUP(EX));
    EXPECT_EQ(state_.EX.number2_4, 12);
    EXPECT_EQ(state_.EX.number5_6, 34);
    EXPECT_EQ(state_.EX.digit7, 5);
    EXPECT_EQ(state_.EX.digit8, 6);
    EXPECT_EQ(state_.EX.text.str(), std::string(19, 'q'));
    parseExpectingOnly("SA1011010short;", RADIOTEST_GROUP(SA));
    EXPECT_EQ(state_.SA.digit[6], 0);
    EXPECT_EQ(state_.SA.text.str(), "short");
}

TEST_F(ReplyParserTest, ShortRepliesReadMissingCharactersAsNul)
{
    setModel(kModelCorvex);
    // Fields past the end of a reply without a length rule do not pick up stale text.
    parse("PK00014195000CALLSIGN1234COMMENT;");
    parse("PK00007000000;");
    EXPECT_EQ(state_.PK.text2_12.str(), "00007000000");
    EXPECT_EQ(state_.PK.text13_24.str(), "");
    EXPECT_EQ(state_.PK.text25_44.str(), "");
    parse("AC1;");
    EXPECT_EQ(state_.AC.digit3, -'0');
}

TEST_F(ReplyParserTest, NumbersBeyond32BitsSaturate)
{
    setModel(kModelTarsel);
    parse("FW99999999999999999999;");
    EXPECT_EQ(state_.FW.value, 2147483647);
    parse("FW-99999999999999999999;");
    EXPECT_EQ(state_.FW.value, -2147483647 - 1);
    parse("FW  +12x3;");
    EXPECT_EQ(state_.FW.value, 12);
    parse("FW-;");
    EXPECT_EQ(state_.FW.value, 0);
}

TEST_F(ReplyParserTest, SplittingSkipsEmptyAndOneCharacterRepliesAndUnknownLetters)
{
    setModel(kModelTarsel);
    parseExpectingNothing(";;A;F;");
    parseExpectingNothing("HA1;JB2;WC3;YX1;ZZ1;ai1;9AI;\x01" "AI1;?;");
    parseExpectingNothing("AZ1;BQ2;");
    // Text after the last ";" is not a reply yet.
    parseExpectingNothing("AI1");
    parse("AI1;;;AN2;MD3");
    EXPECT_EQ(state_.AI.value, 1);
    EXPECT_EQ(state_.AN.value, 2);
    EXPECT_EQ(state_.MD.received, 0);
}

TEST_F(ReplyParserTest, ALetterHandlerLooksOnlyAtTheSecondCharacter)
{
    setModel(kModelTarsel);
    const char reply[] = "XC123";
    CLinkcore::ConstituteDataA(reinterpret_cast<const unsigned char*>(reply), &shared_);
    EXPECT_EQ(state_.AC.received, 1);
    EXPECT_EQ(state_.AC.digit4, 3);
}

TEST_F(ReplyParserTest, RepliesLongerThan255CharactersAreCut)
{
    setModel(kModelCorvex);
    parse("FD" + std::string(400, '7') + ";AI4;");
    EXPECT_EQ(state_.FD.text.str(), std::string(11, '7'));
    EXPECT_EQ(state_.AI.value, 4);

    setModel(kModelTarsel);
    // The SS table text starts at 4: a cut reply still fills the entry with what fits.
    parse("SS00" + std::string(300, 'x') + ";");
    EXPECT_EQ(state_.SSTable.entry[0][0].text.str(), std::string(19, 'x'));
}

TEST_F(ReplyParserTest, PassThroughFollowsEXAndTCOnModel19Only)
{
    setModel(kModelCorvex);
    parse("EX05500001;");
    EXPECT_EQ(shared_.passThrough, 1);
    EXPECT_EQ(state_.EX.received, 1);
    parse("EX0560000;");
    EXPECT_EQ(shared_.passThrough, 0);

    parse("TC 0;");
    EXPECT_EQ(shared_.passThrough, 1);
    EXPECT_EQ(state_.TC.digit3, 0);
    parse("TC 1;");
    EXPECT_EQ(shared_.passThrough, 0);

    setModel(kModelTarsel);
    parse("EX05500001;");
    EXPECT_EQ(shared_.passThrough, 0);
    EXPECT_EQ(state_.EX.number2_4, 55);
    shared_.passThrough = 1;
    parse("EX0240000;TC 1;");
    EXPECT_EQ(shared_.passThrough, 1);
}

TEST_F(ReplyParserTest, ReceivedCellsOfRSAndRTAreSeparate)
{
    setModel(kModelTarsel);
    parseExpectingOnly("RS1;", RADIOTEST_GROUP(RS));
    EXPECT_EQ(state_.RS.received, 1);
    EXPECT_EQ(state_.RT.received, 0);
}

} // namespace
} // namespace radiotest
