// SPDX-License-Identifier: GPL-3.0-or-later
// Reply framing: batches end at the last ";" received, partial replies wait for
// their ";", text split at any point gives the same replies, and an overlong
// fragment is dropped without gluing its tail to the next reply.

#include "linkcore/radio/ReplyFramer.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace {

using linkcore::ReplyFramer;

std::vector<std::string> Feed(ReplyFramer& framer, std::string_view text)
{
    std::vector<std::string> batches;
    framer.add(text, [&](unsigned char* batch, std::size_t length) {
        EXPECT_EQ(batch[length], '\0');
        batches.emplace_back(reinterpret_cast<const char*>(batch), length);
    });
    return batches;
}

TEST(ReplyFramerTest, ABurstGivesItsCompleteRepliesAndKeepsThePartialOne)
{
    ReplyFramer framer;
    EXPECT_EQ(Feed(framer, "FA00014195000;MD3;IF000141"), std::vector<std::string>{"FA00014195000;MD3;"});
    EXPECT_EQ(framer.pending(), "IF000141");
    EXPECT_TRUE(Feed(framer, "95000").empty());
    EXPECT_EQ(Feed(framer, ";"), std::vector<std::string>{"IF00014195000;"});
    EXPECT_EQ(framer.pending(), "");
    EXPECT_EQ(Feed(framer, ";;"), std::vector<std::string>{";;"});
}

TEST(ReplyFramerTest, SplittingAtEveryPointGivesTheSameText)
{
    const std::string stream = "FA00014195000;MD3;IF00014195000 -150-012340120012345670;ID020;AG0100;";
    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        for (std::size_t second = cut; second <= stream.size(); ++second) {
            ReplyFramer framer;
            std::string framed;
            for (const std::string_view piece : {std::string_view(stream).substr(0, cut),
                                                 std::string_view(stream).substr(cut, second - cut),
                                                 std::string_view(stream).substr(second)}) {
                for (const std::string& batch : Feed(framer, piece)) {
                    ASSERT_EQ(batch.back(), ';');
                    framed += batch;
                }
            }
            ASSERT_EQ(framed, stream) << "cut at " << cut << " and " << second;
            ASSERT_EQ(framer.pending(), "");
        }
    }
    ReplyFramer framer;
    std::string framed;
    for (const char c : stream) {
        for (const std::string& batch : Feed(framer, std::string_view(&c, 1))) {
            framed += batch;
        }
    }
    EXPECT_EQ(framed, stream);
}

TEST(ReplyFramerTest, PendingTextHoldsUpTo1023Characters)
{
    ReplyFramer framer;
    const std::string partial(ReplyFramer::kPendingCapacity - 1, 'x');
    EXPECT_TRUE(Feed(framer, partial).empty());
    EXPECT_TRUE(Feed(framer, "y").empty());
    EXPECT_EQ(framer.pending().size(), ReplyFramer::kPendingCapacity);
    EXPECT_EQ(Feed(framer, ";AI1;"), std::vector<std::string>{partial + "y;AI1;"});
}

TEST(ReplyFramerTest, AnOverlongFragmentIsDroppedUpToTheNextSeparator)
{
    ReplyFramer framer;
    EXPECT_TRUE(Feed(framer, "AI1").empty());
    EXPECT_TRUE(Feed(framer, std::string(ReplyFramer::kPendingCapacity, 'z')).empty());
    EXPECT_EQ(framer.pending(), "");
    // The tail of the lost fragment is not handed on as a reply; what follows is.
    EXPECT_TRUE(Feed(framer, "zzzz").empty());
    EXPECT_EQ(Feed(framer, "zz;MD3;FA0001"), std::vector<std::string>{"MD3;"});
    EXPECT_EQ(framer.pending(), "FA0001");

    // The separator ending the lost fragment may arrive in the same piece as the overflow.
    ReplyFramer other;
    EXPECT_TRUE(Feed(other, std::string(1000, 'q')).empty());
    EXPECT_EQ(Feed(other, std::string(30, 'q') + ";AN2;"), std::vector<std::string>{std::string(1030, 'q') + ";AN2;"});
    other.clear();
    EXPECT_TRUE(Feed(other, std::string(1000, 'q')).empty());
    EXPECT_TRUE(Feed(other, std::string(30, 'q')).empty());
    EXPECT_EQ(Feed(other, "q;AN2;"), std::vector<std::string>{"AN2;"});
}

TEST(ReplyFramerTest, TextLongerThanASliceIsFramedSliceBySlice)
{
    ReplyFramer framer;
    std::string stream;
    while (stream.size() < 5000) {
        stream += "FA00014195000;";
    }
    stream += "MD";
    std::string framed;
    for (const std::string& batch : Feed(framer, stream)) {
        EXPECT_LE(batch.size(), ReplyFramer::kPendingCapacity + ReplyFramer::kSliceCapacity);
        framed += batch;
    }
    EXPECT_EQ(framed + std::string(framer.pending()), stream);
    EXPECT_EQ(framer.pending(), "MD");
}

} // namespace

namespace {

// After radio text was lost, the next text begins inside a reply: neither the partial
// reply held back nor the cut reply's tail may be handed on, glued or alone.
TEST(ReplyFramerTest, AfterLostTextTheNextReplyStartsAtTheNextSeparator)
{
    struct Row {
        std::string_view held;  // received before the loss
        std::string_view after; // the first text after it
        std::vector<std::string> batches;
        std::string_view pending;
    };
    const Row rows[] = {
        {"IF000141", "0000;FA00014195000;", {"FA00014195000;"}, ""},
        {"", "95000;MD3;ID0", {"MD3;"}, "ID0"},
        {"FA0001", "0000 -150", {}, ""},
        {"", ";ID020;", {"ID020;"}, ""},
    };
    for (const Row& row : rows) {
        ReplyFramer framer;
        EXPECT_TRUE(Feed(framer, row.held).empty());
        framer.restartAtNextSeparator();
        EXPECT_EQ(Feed(framer, row.after), row.batches) << row.held << " | " << row.after;
        EXPECT_EQ(framer.pending(), row.pending) << row.held << " | " << row.after;
    }
    ReplyFramer framer;
    framer.restartAtNextSeparator();
    EXPECT_TRUE(Feed(framer, "0000 -150").empty()) << "still inside the cut reply";
    EXPECT_EQ(Feed(framer, "12;AG0100;"), std::vector<std::string>{"AG0100;"});
}

} // namespace
