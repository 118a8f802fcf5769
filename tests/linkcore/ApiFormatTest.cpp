// SPDX-License-Identifier: GPL-3.0-or-later
// Command formatting and the decimal-text rule, as pure functions over tables of good
// and refused inputs.
#include "linkcore/radio/CommandFormat.h"
#include "linkcore/radio/CommandTable.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace {

using linkcore::commands::Accept;
using linkcore::commands::Arg;
using linkcore::commands::CommandText;
using linkcore::commands::Conversion;
using linkcore::commands::DecimalTextValue;
using linkcore::commands::FormatCommand;
using linkcore::commands::ParseConversion;

const unsigned char* T(const char* text)
{
    return reinterpret_cast<const unsigned char*>(text);
}

TEST(DecimalText, FollowsTheDecimalRule)
{
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    const std::vector<std::pair<const char*, std::int64_t>> cases{
        {"7000000", 7000000},
        {"00014195000", 14195000},
        {"  \t+42", 42},
        {"-1", -1},
        {"-0", 0},
        {"12.5", 12},
        {"12 34", 12},
        {"", 0},
        {"kHz", 0},
        {"-", 0},
        {"+-5", 0},
        {"99999999999", 99'999'999'999},
        {"9223372036854775807", kMax},
        {"9223372036854775808", kMax},
        {"99999999999999999999999999", kMax},
        {"-9223372036854775808", kMin},
        {"-9223372036854775809", kMin},
    };
    for (const auto& [text, value] : cases) {
        EXPECT_EQ(DecimalTextValue(T(text)), value) << "\"" << text << "\"";
    }
    EXPECT_EQ(DecimalTextValue(nullptr), 0);
}

TEST(ConversionGrammar, ReadsEveryFieldOfTheTable)
{
    using Kind = Conversion::Kind;
    struct Case {
        const char* format;
        Kind kind;
        std::size_t width;
        std::size_t length;
    };
    const std::vector<Case> cases{
        {"%01d;", Kind::Fixed, 1, 4},        {"%09d", Kind::Fixed, 9, 4},
        {"%d;", Kind::Plain, 0, 2},          {"%011I64d;", Kind::ElevenDigits, 11, 8},
        {"%s;", Kind::Text, 0, 2},           {"%c%04d", Kind::Character, 0, 2},
        {"%-24s;", Kind::PadRight, 24, 5},   {"%128s;", Kind::PadLeft, 128, 5},
        {";", Kind::Literal, 0, 1},          {"%00d", Kind::Invalid, 0, 0},
        {"%010d", Kind::Invalid, 0, 0},      {"%x", Kind::Invalid, 0, 0},
        {"%-s", Kind::Invalid, 0, 0},        {"%", Kind::Invalid, 0, 0},
    };
    for (const Case& c : cases) {
        const Conversion conversion = ParseConversion(c.format, 0);
        EXPECT_EQ(conversion.kind, c.kind) << c.format;
        EXPECT_EQ(conversion.width, c.width) << c.format;
        EXPECT_EQ(conversion.length, c.length) << c.format;
    }
}

std::optional<std::string> Format(const char* format, std::vector<Arg> args)
{
    CommandText out;
    if (!FormatCommand(format, args, out)) {
        return std::nullopt;
    }
    return std::string(out.view());
}

TEST(FormatCommand, WritesFixedWidthFields)
{
    EXPECT_EQ(Format("AC%01d%01d%01d;", {1u, 0u, 2u}), "AC102;");
    EXPECT_EQ(Format("OF%09d;", {59950000}), "OF059950000;");
    EXPECT_EQ(Format("DL%d%02d;", {1, 5}), "DL105;");
    EXPECT_EQ(Format("TX%d;", {4294967295u}), "TX4294967295;");
    EXPECT_EQ(Format("FA%011I64d;", {T("7000000")}), "FA00007000000;");
    EXPECT_EQ(Format("IS%c%04d;", {T("-x"), 5}), "IS-0005;");
    EXPECT_EQ(Format("KY %-24s;", {T("AB")}), "KY AB" + std::string(22, ' ') + ";");
    EXPECT_EQ(Format("UR%128s;", {T("")}), "UR" + std::string(128, ' ') + ";");
    EXPECT_EQ(Format("SI%01d%s;", {3, T("NAME")}), "SI3NAME;");
    EXPECT_EQ(Format("FA;", {}), "FA;");
    EXPECT_EQ(Format("AG%01d;", {1, 999}), "AG1;") << "arguments beyond the format are not used";
}

TEST(FormatCommand, RefusesWhatDoesNotFitItsField)
{
    const std::string longest(linkcore::commands::kMaxCommandLength, 'x');
    const std::string tooLong = longest + "x";
    const std::string padTooLong(129, 'x');
    const std::vector<std::pair<const char*, std::vector<Arg>>> refused{
        {"AR%01d%01d%01d;", {1u, 0u, 10u}},                   // a fixed field never widens
        {"MW%02d;", {100}},
        {"FA%011I64d;", {T("100000000000")}},              // 12 digits
        {"FA%011I64d;", {T("-1")}},
        {"FA%011I64d;", {static_cast<const unsigned char*>(nullptr)}},
        {"KY %-24s;", {T("ABCDEFGHIJKLMNOPQRSTUVWXY")}},   // 25 characters
        {"UR%128s;", {T(padTooLong.c_str())}},
        {"EX%s;", {T("A;B")}},                             // ";" would end the command
        {"KY %-24s;", {T(";")}},
        {"IS%c%04d;", {T(""), 5}},                         // no character to send
        {"IS%c%04d;", {T(";"), 5}},
        {"AC%01d;", {}},                                   // an argument missing
        {"AC%01d;", {T("1")}},                             // of the wrong kind
        {"FA%011I64d;", {1}},
        {"AC%z;", {1}},                                    // not a field
        {"%s", {T(tooLong.c_str())}},                      // longer than any command
        {"X%s", {T(longest.c_str())}},
    };
    for (const auto& [format, args] : refused) {
        EXPECT_EQ(Format(format, args), std::nullopt) << format;
    }
    EXPECT_EQ(Format("%s", {T(longest.c_str())}), longest);
}

TEST(Accept, ChecksOneValue)
{
    using namespace linkcore::commands::table;
    struct Case {
        Accept accept;
        Arg arg;
        bool accepted;
    };
    const std::vector<Case> cases{
        {R(1, 7), 1, true},
        {R(1, 7), 7, true},
        {R(1, 7), 0u, false},
        {R(1, 7), 8, false},
        {R(0, 99'999'999'999), T("99999999999"), true},
        {R(0, 99'999'999'999), T("100000000000"), false},
        {R(0, 99'999'999'999), T("-5"), false},
        {R(0, 99'999'999'999), static_cast<const unsigned char*>(nullptr), false},
        {OneOf({0, 1, 9}), 9, true},
        {OneOf({0, 1, 9}), 2, false},
        {OneOf({0, 1, 9}), 41, false},
        {UpTo(3), T("abc"), true},
        {UpTo(3), T("abcd"), false},
        {UpTo(3), static_cast<const unsigned char*>(nullptr), false},
        {kBlank, T(" "), true},
        {kBlank, T("  "), false},
        {kBlank, T("-"), false},
        {kBlankOrMinus, T("-5"), true},
        {kBlankOrMinus, T(" "), true},
        {kBlankOrMinus, T(""), false},
        {kAny, 4294967295u, true},
        {kAny, static_cast<const unsigned char*>(nullptr), false},
        {kIgnored, static_cast<const unsigned char*>(nullptr), true},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(cases[i].accept.accepts(cases[i].arg), cases[i].accepted) << "case " << i;
    }
}

} // namespace
