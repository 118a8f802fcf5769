// SPDX-License-Identifier: GPL-3.0-or-later
// The radio state table: text fields packed into cells, clearing by assignment,
// and concurrent reading while the radio reader replaces values.

#include "linkcore/facade/LinkcoreShared.h"
#include "linkcore/radio/RadioState.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>

namespace {

using linkcore::Cell;
using linkcore::RadioState;
using linkcore::Text;

TEST(RadioStateTest, TextFieldsKeepAtMostTheirWidthLessOneCharacters)
{
    Text<20> field;
    field.assign("00014195000");
    EXPECT_EQ(field.str(), "00014195000");
    field.assign(std::string(25, 'x'));
    EXPECT_EQ(field.str(), std::string(19, 'x'));
    // A shorter text leaves nothing of the longer one behind.
    field.assign("ab");
    char copy[20];
    std::memset(copy, '#', sizeof copy);
    EXPECT_EQ(field.copyTo(copy), 2u);
    EXPECT_STREQ(copy, "ab");
    EXPECT_EQ(copy[3], '#');
    field.assign("");
    EXPECT_EQ(field.str(), "");

    Text<4> sign;
    sign.assign("-");
    EXPECT_EQ(sign.str(), "-");
    sign.assign("+-*/");
    EXPECT_EQ(sign.str(), "+-*");
}

TEST(RadioStateTest, ATextReadIsTerminatedWhateverTheCellsHold)
{
    Text<12> field;
    for (Cell& cell : field.words) {
        cell = 0x41414141;
    }
    char copy[12];
    EXPECT_EQ(field.copyTo(copy), 11u);
    EXPECT_STREQ(copy, "AAAAAAAAAAA");
}

TEST(RadioStateTest, AssigningAnEmptyGroupClearsEveryCellOfItOnly)
{
    RadioState state;
    state.FA.received = 1;
    state.FA.pending = 1;
    state.FA.text.assign("00014195000");
    state.FB.received = 1;
    state.SSTable.entry[9][9].text.assign("x");
    state.FA = {};
    EXPECT_EQ(state.FA.received, 0);
    EXPECT_EQ(state.FA.pending, 0);
    EXPECT_EQ(state.FA.text.str(), "");
    EXPECT_EQ(state.FB.received, 1);
    state = {};
    EXPECT_EQ(state.FB.received, 0);
    EXPECT_EQ(state.SSTable.entry[9][9].text.str(), "");
}

TEST(RadioStateTest, GroupsFollowTheirOrderWithTheSSTableBeforeST)
{
    EXPECT_EQ(offsetof(RadioState, AC), 0u);
    EXPECT_LT(offsetof(RadioState, SS), offsetof(RadioState, SSTable));
    EXPECT_EQ(offsetof(RadioState, ST), offsetof(RadioState, SSTable) + 600 * sizeof(Cell));
    EXPECT_EQ(offsetof(RadioState, XT) + sizeof(RadioState::XT), sizeof(RadioState));
}

TEST(RadioStateTest, ReadersSeeWholeTextsWhileTheWriterReplacesThem)
{
    RadioState& state = LinkcoreShared::instance().radioState;
    std::atomic<bool> writing{true};
    std::thread writer([&] {
        for (int round = 0; writing; ++round) {
            state.FA.text.assign(round % 2 == 0 ? "00014195000" : "7");
            state.FA.received = 1;
        }
    });
    for (int read = 0; read < 20000; ++read) {
        char copy[20];
        const std::size_t length = state.FA.text.copyTo(copy);
        ASSERT_LT(length, 20u);
        ASSERT_EQ(std::strlen(copy), length);
    }
    writing = false;
    writer.join();
    state = {};
}

} // namespace
