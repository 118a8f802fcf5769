// SPDX-License-Identifier: GPL-3.0-or-later
// The client command filter: its rules as tables over the shared record, and the
// radio path end to end, from a logged-in loopback client to the simulated radio.

#include "linkcore/Linkcore.h"
#include "linkcore/facade/LinkcoreShared.h"
#include "linkcore/session/CommandDispatcher.h"
#include "linkcore/session/CommandFilter.h"
#include "linkcore/session/SessionServer.h"
#include "SessionFixture.h"
#include "testsupport/Wait.h"

#include <gtest/gtest.h>

#include <climits>

namespace sessiontest {
namespace {

// The filter's checks through the session layer; the notification a check decides
// on is carried out as the session server does.
struct Filter {
    static int CmdSetCodeCheckGeneric(std::string_view command, LinkcoreShared* shared)
    {
        return linkcore::GenericCommandAllowed(command, shared->loadMessageEnable.load());
    }
    static int CmdSetCodeCheckCorvex(std::string_view command, LinkcoreShared* shared)
    {
        linkcore::SessionActions actions;
        const int allowed = linkcore::CorvexCommandAllowed(command, actions);
        linkcore::ServerIo io(*shared);
        linkcore::CarryOut(actions, *shared, io);
        return allowed;
    }
    static int CmdSetCodeCheckTarsel(std::string_view command, LinkcoreShared*)
    {
        return linkcore::TarselCommandAllowed(command);
    }
};

using linkcore::kNotifyTC;

struct FilterRow {
    std::string_view command;
    int generic;      // with load messages off
    int genericLoad;  // with load messages on
    int corvex;
    int tarsel;
};

// clang-format off
constexpr FilterRow kRows[] = {
    {"",             1, 1, 1, 1},
    {"F",            1, 1, 1, 1},
    {"FA",           1, 1, 1, 1},
    {"FA00014250000",1, 1, 1, 1},
    {"SR",           0, 0, 1, 1},
    {"SR1",          0, 0, 1, 1},
    {"SRX",          0, 0, 1, 1},
    {"LM",           1, 1, 1, 1},
    {"LM1",          0, 1, 1, 1},
    {"LM00",         0, 1, 1, 1},
    {"MF",           1, 1, 1, 1},
    {"MF0",          0, 0, 1, 1},
    {"MF00",         1, 1, 1, 1},
    {"EX024",        1, 1, 1, 1},
    {"EX0240000",    1, 1, 1, 1},
    {"EX02400001",   1, 1, 0, 1},
    {"EX0540000",    1, 1, 1, 1},
    {"EX05400001",   1, 1, 0, 1},
    {"EX05600001",   1, 1, 0, 0},
    {"EX0560000",    1, 1, 1, 1},
    {"EX0220000",    1, 1, 1, 1},
    {"EX02200001",   1, 1, 1, 0},
    {"EX05500001",   1, 1, 1, 0},
    {"EX055000012345", 1, 1, 1, 0},
    {"EX02300001",   1, 1, 1, 1},
    {"ex02400001",   1, 1, 1, 1}, // the path upper-cases the mnemonic before the checks
};
// clang-format on

class FilterRulesTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        linkcore_.SetLoadMessageEnable(0);
        linkcore_.WinMsgSendReg(nullptr);
    }

    // The TC notifications posted to the window.
    std::vector<platform::LParam> tcValues()
    {
        std::vector<platform::LParam> values;
        for (const platform::Message& m : window_.drain()) {
            if (m.message == WM_LINKCORE_NOTIFY && m.wParam == kNotifyTC) {
                values.push_back(m.lParam);
            }
        }
        return values;
    }

    LinkcoreShared& shared_ = LinkcoreShared::instance();
    CLinkcore linkcore_;
    platform::MessageQueue window_;
};

TEST_F(FilterRulesTest, EveryRuleForEveryModel)
{
    for (const FilterRow& row : kRows) {
        SCOPED_TRACE(std::string(row.command));
        linkcore_.SetLoadMessageEnable(0);
        EXPECT_EQ(Filter::CmdSetCodeCheckGeneric(row.command, &shared_), row.generic);
        linkcore_.SetLoadMessageEnable(1);
        EXPECT_EQ(Filter::CmdSetCodeCheckGeneric(row.command, &shared_), row.genericLoad);
        EXPECT_EQ(Filter::CmdSetCodeCheckCorvex(row.command, &shared_), row.corvex);
        EXPECT_EQ(Filter::CmdSetCodeCheckTarsel(row.command, &shared_), row.tarsel);
    }
}

TEST_F(FilterRulesTest, TcCommandsToACorvexTellTheHostTheirArgument)
{
    linkcore_.WinMsgSendReg(&window_);
    const std::pair<std::string_view, platform::LParam> cases[] = {
        {"TC 1", 1},           {"TC1", 0},      {"TC   0", 0},     {"TC -12x", -12}, {"TC+7", 7},
        {"TCX", 0},            {"TC ", 0},      {"TC 99999999999", INT32_MAX},      {"TC -99999999999", INT32_MIN},
    };
    for (const auto& [command, value] : cases) {
        SCOPED_TRACE(std::string(command));
        EXPECT_EQ(Filter::CmdSetCodeCheckCorvex(command, &shared_), 1);
        EXPECT_EQ(tcValues(), std::vector<platform::LParam>{value});
    }
    EXPECT_EQ(Filter::CmdSetCodeCheckCorvex("TC", &shared_), 1);
    EXPECT_EQ(Filter::CmdSetCodeCheckTarsel("TC 1", &shared_), 1);
    EXPECT_TRUE(tcValues().empty());

    linkcore_.WinMsgSendReg(nullptr);
    EXPECT_EQ(Filter::CmdSetCodeCheckCorvex("TC 1", &shared_), 1);
    EXPECT_TRUE(tcValues().empty());
}

// ---- End to end ----

class RadioPathTest : public SessionFixture {
protected:
    // The commands that reached the radio from the client's text sent so far: an
    // account command's answer shows that the session thread handled the text,
    // then a command of the test's own shows that the radio read it all.
    std::vector<std::string> radioCommandsAfterSync(SessionClient& client)
    {
        client.send("@@ST;");
        EXPECT_TRUE(client.readThrough("@@ST000000000000;").ends_with("@@ST000000000000;"));
        syncRadio();
        auto commands = radio_->receivedCommands();
        EXPECT_FALSE(commands.empty());
        if (!commands.empty()) {
            commands.pop_back(); // the sync command
        }
        return commands;
    }
};

TEST_F(RadioPathTest, OnATarselMenuWritesAndBlockedCommandsAreDropped)
{
    startService(20);
    auto client = connectAndLogIn();
    radio_->clearReceivedCommands();
    client->send("fa00014250000;sr;Sr1;LM1;LM;mf0;Mf;md3;EX0220000;EX02200001;EX05500001;EX02400001;;");
    EXPECT_EQ(radioCommandsAfterSync(*client),
              (std::vector<std::string>{"FA00014250000;", "LM;", "MF;", "MD3;", "EX0220000;", "EX02400001;", ";"}));
    EXPECT_EQ(radio_->query("FA;"), "FA00014250000;");
}

TEST_F(RadioPathTest, LoadMessagesPassOnceTheHostEnablesThem)
{
    startService(20);
    auto client = connectAndLogIn();
    radio_->clearReceivedCommands();
    client->send("LM1;");
    EXPECT_EQ(radioCommandsAfterSync(*client), std::vector<std::string>{});
    linkcore_.SetLoadMessageEnable(1);
    radio_->clearReceivedCommands();
    client->send("lm1;");
    EXPECT_EQ(radioCommandsAfterSync(*client), std::vector<std::string>{"LM1;"});
}

TEST_F(RadioPathTest, OnACorvexOtherMenusAreProtectedAndTcIsReported)
{
    startService(19);
    auto client = connectAndLogIn();
    radio_->clearReceivedCommands();
    client->send("EX0240000;EX02400001;EX05600001;EX02200001;tc 1;TC;");
    EXPECT_EQ(radioCommandsAfterSync(*client),
              (std::vector<std::string>{"EX0240000;", "EX02200001;", "TC 1;", "TC;"}));
    std::vector<platform::LParam> reported;
    for (const platform::Message& m : window_.drain()) {
        if (m.message == WM_LINKCORE_NOTIFY && m.wParam == kNotifyTC) {
            reported.push_back(m.lParam);
        }
    }
    // "TC" without an argument is relayed but not reported; the radio's own TC
    // replies may add reports of the parser, so only the first is the filter's.
    ASSERT_FALSE(reported.empty());
    EXPECT_EQ(reported.front(), 1);
}

TEST_F(RadioPathTest, NothingReachesARadioOfAnotherModel)
{
    startService(18, 20);
    auto client = connectAndLogIn();
    radio_->clearReceivedCommands();
    client->send("FA;ID;fa00007000000;;");
    EXPECT_EQ(radioCommandsAfterSync(*client), std::vector<std::string>{});
}

TEST_F(RadioPathTest, ParametersKeepTheirCaseAndOnlyTheMnemonicIsRaised)
{
    startService(20);
    auto client = connectAndLogIn();
    radio_->clearReceivedCommands();
    client->send("ky hello World;k;");
    EXPECT_EQ(radioCommandsAfterSync(*client), (std::vector<std::string>{"KY hello World;", "K;"}));
}

} // namespace
} // namespace sessiontest
