// SPDX-License-Identifier: GPL-3.0-or-later
// The whole command table against the simulated radio: every builder's set command is
// taken by the radio, and its read request is answered in the reply format that the
// parser stores, with the value that was set followed by the values that the radio
// answers of its own. Requests without a set are answered and stored likewise.
#include "ApiFixture.h"

#include "testsupport/Wait.h"
#include "radiosim/CommandTable.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace apitest {
namespace {

using linkcore::commands::DecimalTextValue;
using linkcore::commands::Form;
using linkcore::commands::kCommandTable;
using linkcore::commands::Row;

struct TableCase {
    std::string name;
    std::int32_t model;
};

void PrintTo(const TableCase& c, std::ostream* out)
{
    *out << "Conn" << c.name << " on model " << c.model;
}

// Every row that asks the radio for a value, on every model it serves.
std::vector<TableCase> RowsThatRead()
{
    std::vector<TableCase> cases;
    for (const Row& row : kCommandTable) {
        if (row.readFormat.empty() || row.transferControl) {
            continue;
        }
        for (const std::int32_t model : {linkcore::kModelCorvex, linkcore::kModelTarsel}) {
            if (linkcore::commands::Serves(row.models, model)) {
                cases.push_back({std::string(row.name), model});
            }
        }
    }
    return cases;
}

// The reader that takes the row's answer, and whether its outputs mirror the set's
// arguments one for one.
struct Answer {
    std::string reader;
    bool mirrorsArguments;
};

Answer AnswerOf(const Row& row, std::int32_t model)
{
    const std::string name(row.name);
    if (name == "PB" && model == linkcore::kModelTarsel) {
        return {"PB2", true};
    }
    if (name == "SC" && model == linkcore::kModelTarsel) {
        return {"SC2", false};
    }
    // KY is answered with the keyer's state and SA's text is not sent.
    return {name, row.form == Form::Selector && name != "KY" && name != "SA"};
}

// Values to set: the accepted ones of the table, with the radio kept switched on and
// quiet.
std::vector<Arg> SetArguments(const Row& row, std::int32_t model)
{
    std::vector<Arg> args = ValidArgs(row, model);
    if (row.name == "PS") {
        args[0] = Arg(1u);
    } else if (row.name == "AI") {
        args[0] = Arg(0u);
    }
    return args;
}

bool SameValue(const std::string& output, const Arg& arg)
{
    if (!arg.isText) {
        return output == std::to_string(arg.number);
    }
    const std::string text(reinterpret_cast<const char*>(arg.text));
    return output == text ||
           DecimalTextValue(reinterpret_cast<const unsigned char*>(output.c_str())) == DecimalTextValue(arg.text);
}

// The values the simulated radio answers to `request` beyond those a set carries
// (CR's third digit): its format's answered-only fields, at the end of its reply.
std::vector<std::string> AnsweredOnlyValues(const radiosim::RadioSimulator& radio, const std::string& request,
                                            std::int32_t model)
{
    std::vector<std::string> values;
    const radiosim::CommandRow* simulated = radiosim::FindCommand(std::string_view(request).substr(0, 2));
    const std::string reply = radio.query(request);
    if (simulated == nullptr || reply.empty()) {
        return values;
    }
    const std::string_view format = radiosim::FormatFor(*simulated, model);
    std::size_t position = reply.size() - 1 - static_cast<std::size_t>(radiosim::Width(format, radiosim::AnsweredOnly));
    radiosim::FieldReader fields(format);
    radiosim::Field field;
    while (fields.next(field)) {
        if (field.role == radiosim::AnsweredOnly) {
            const std::string text = reply.substr(position, static_cast<std::size_t>(field.width));
            values.push_back(field.digits() ? std::to_string(std::stoul(text, nullptr, field.base())) : text);
            position += static_cast<std::size_t>(field.width);
        }
    }
    return values;
}

class WholeTable : public radiotest::RadioLinkFixture, public ::testing::WithParamInterface<TableCase> {};

TEST_P(WholeTable, ReadBackComesInTheFormatTheParserStores)
{
    const TableCase& c = GetParam();
    const Row& row = RowNamed(c.name);
    startRadio(c.model);
    ASSERT_EQ(openLink(c.model), 1);

    const std::vector<Arg> args = SetArguments(row, c.model);
    const BuilderCall& call = Builder(row.name).call;
    if (row.form == Form::Selector) {
        ASSERT_EQ(call(linkcore_, "W", args), 1);
        ASSERT_TRUE(radio_->waitForCommandCount(1, std::chrono::seconds(2)));
        const std::vector<std::string> commands = radio_->receivedCommands();
        EXPECT_TRUE(commands.front().starts_with(row.mnemonic())) << commands.front();
    }
    ASSERT_EQ(call(linkcore_, "R", args), 1);

    const Answer answer = AnswerOf(row, c.model);
    const ReaderEntry& reader = Reader(answer.reader);
    std::vector<unsigned> indexValues;
    for (std::size_t i = 0; i < reader.indexCount; ++i) {
        indexValues.push_back(args[i].number);
    }
    ReaderResult got;
    EXPECT_TRUE(testsupport::WaitUntil([&] {
        got = reader.call(linkcore_, indexValues);
        return got.result == 1;
    })) << "RcvData" << answer.reader << " after " << ::testing::PrintToString(radio_->receivedCommands());
    if (answer.mirrorsArguments && got.result == 1) {
        const std::vector<Arg> set(args.begin() + reader.indexCount, args.end());
        // The set's values lead; the values the radio only answers follow.
        const std::vector<std::string> own = AnsweredOnlyValues(*radio_, radio_->receivedCommands().back(), c.model);
        ASSERT_EQ(got.outputs.size(), set.size() + own.size()) << "RcvData" << answer.reader;
        for (std::size_t i = 0; i < set.size(); ++i) {
            EXPECT_TRUE(SameValue(got.outputs[i], set[i])) << "RcvData" << answer.reader << " output " << i << ": "
                                                           << got.outputs[i];
        }
        for (std::size_t i = 0; i < own.size(); ++i) {
            EXPECT_EQ(got.outputs[set.size() + i], own[i])
                << "RcvData" << answer.reader << " output " << set.size() + i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryRow, WholeTable, ::testing::ValuesIn(RowsThatRead()),
                         [](const ::testing::TestParamInfo<TableCase>& info) {
                             return info.param.name + "_" + std::to_string(info.param.model);
                         });

} // namespace
} // namespace apitest
