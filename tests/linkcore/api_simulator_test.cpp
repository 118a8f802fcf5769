// The whole command table against the simulated radio: every builder's set command is
// taken by the radio, and its read request is answered in the reply format that the
// parser stores, with the value that was set. Requests without a set are answered and
// stored likewise.
#include "tests/linkcore/ApiFixture.h"

#include "tests/support/Wait.h"
#include "tools/radiosim/CommandTable.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
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

class WholeTable : public radiotest::RadioLinkFixture, public ::testing::WithParamInterface<TableCase> {};

TEST_P(WholeTable, ReadBackComesInTheFormatTheParserStores)
{
    const TableCase& c = GetParam();
    const Row& row = RowNamed(c.name);
    const radiosim::CommandRow* simulated = radiosim::FindCommand(row.mnemonic());
    if (simulated == nullptr || (simulated->models & radiosim::ModelBit(c.model)) == 0) {
        GTEST_SKIP() << "the simulated radio does not answer " << row.mnemonic() << " on model " << c.model;
    }
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
        // The reply may carry more than the set (CR's third digit); the set's values lead.
        ASSERT_GE(got.outputs.size(), set.size()) << "RcvData" << answer.reader;
        for (std::size_t i = 0; i < set.size(); ++i) {
            EXPECT_TRUE(SameValue(got.outputs[i], set[i])) << "RcvData" << answer.reader << " output " << i << ": "
                                                           << got.outputs[i];
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryRow, WholeTable, ::testing::ValuesIn(RowsThatRead()),
                         [](const ::testing::TestParamInfo<TableCase>& info) {
                             return info.param.name + "_" + std::to_string(info.param.model);
                         });

} // namespace
} // namespace apitest
