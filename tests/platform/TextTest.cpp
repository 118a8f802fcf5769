// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/AsciiText.h"
#include "platform/Text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(TextTest, LetterCaseIsIgnoredForAsciiLettersOnly)
{
    struct Case {
        std::string_view a;
        std::string_view b;
        int order;
    };
    const Case cases[] = {
        {"MIREL 000 User ID", "mirel 000 user id", 0},
        {"Setting", "SETTING", 0},
        {"", "", 0},
        {"abc", "ABD", -1},
        {"ABD", "abc", 1},
        {"ab", "ABC", -1},
        {"a[", "A{", -1}, // '[' and '{' are not letters: they keep their places
        {"\xe9", "\xc9", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " / " + std::string(c.b));
        EXPECT_EQ(platform::CompareIgnoringCase(c.a, c.b), c.order);
        EXPECT_EQ(platform::EqualsIgnoringCase(c.a, c.b), c.order == 0);
    }
    static_assert(platform::AsciiUpper('q') == 'Q' && platform::AsciiUpper('Q') == 'Q');
    static_assert(platform::AsciiUpper(';') == ';' && platform::AsciiLower('@') == '@');
}

TEST(TextTest, FormatGivesTheWholeText)
{
    EXPECT_EQ(platform::Format("- START - Successful COM%d, Socket:%d.", 3, 60000),
              "- START - Successful COM3, Socket:60000.");
    EXPECT_EQ(platform::Format("%s", ""), "");
    const std::string longText(2000, 'x');
    EXPECT_EQ(platform::Format("<%s>", longText.c_str()), "<" + longText + ">");
}

} // namespace
