// SPDX-License-Identifier: GPL-3.0-or-later
// The login dialogue and the account commands, end to end: loopback clients, the
// session server and the simulated radio.

#include "linkcore/Linkcore.h"
#include "linkcore/facade/LinkcoreShared.h"
#include "SessionFixture.h"
#include "testsupport/Wait.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace sessiontest {
namespace {

class LoginTest : public SessionFixture {
protected:
    void SetUp() override
    {
        SessionFixture::SetUp();
        startService(20);
    }

    // Sends `text` and expects exactly `reply` as the next thing the client hears.
    void expectReply(SessionClient& client, std::string_view text, std::string_view reply)
    {
        client.send(text);
        EXPECT_EQ(client.readThrough(reply), reply) << "after sending " << text;
    }

    // A reply to a logged-in client that proves everything sent before it was handled.
    void expectNothingBefore(SessionClient& client, std::string_view limitReply = "000000")
    {
        client.send("@@ST;");
        const std::string expected = "@@ST000000" + std::string(limitReply) + ";";
        EXPECT_EQ(client.readThrough(expected), expected);
    }

    std::string loggedInUser()
    {
        char user[linkcore::SessionRecord::kUserIdSize] = "untouched";
        EXPECT_EQ(linkcore_.GetLoginUserID(user), 0);
        return user;
    }
};

TEST_F(LoginTest, TheRightPasswordLogsInAndIsLoggedAndNotified)
{
    auto client = connect();
    EXPECT_EQ(loggedInUser(), "untouched");
    expectReply(*client, "UID:alice;", kUserIdOk);
    expectReply(*client, "PWD:Secret-1;", kLoggedIn);
    // The host asks for the user when it is told of the login.
    ASSERT_TRUE(waitForNotification(linkcore::kNotifySession, linkcore::kSessionLoggedIn));
    EXPECT_EQ(loggedInUser(), "alice");
    EXPECT_TRUE(waitForLogRecord("127.0.0.1 OPEN - Connection Open"));
    EXPECT_TRUE(waitForLogRecord("127.0.0.1 LOGIN alice Password OK."));
    const auto notes = sessionNotifications();
    ASSERT_GE(notes.size(), 2u);
    EXPECT_EQ(notes[0].lParam, linkcore::kSessionAccepted);
    EXPECT_EQ(notes[1].lParam, linkcore::kSessionLoggedIn);

    char address[CNetport::kAddressTextSize] = {};
    EXPECT_EQ(CLinkcore::GetClientIP(address), 1);
    EXPECT_STREQ(address, "127.0.0.1");
    EXPECT_EQ(CLinkcore::GetClientExest(), 1);
}

TEST_F(LoginTest, ThreeWrongPasswordsCloseTheConnection)
{
    auto client = connect();
    expectReply(*client, "UID:alice;", kUserIdOk);
    expectReply(*client, "PWD:wrong;", kPasswordWrong);
    expectReply(*client, "PWD:Secret-2;", kPasswordWrong);
    client->send("PWD:secret-1;");
    const std::string expected = std::string(kPasswordWrong) + std::string(kLoginFailed);
    EXPECT_EQ(client->readThrough(kLoginFailed), expected);
    EXPECT_TRUE(client->waitForClose());
    EXPECT_TRUE(waitForLogRecord("127.0.0.1 CLOSE alice Connection Close"));
    const auto records = logRecords();
    EXPECT_EQ(records, (std::vector<std::string>{
                           "127.0.0.1 OPEN - Connection Open",
                           "127.0.0.1 LOGIN alice Password NG.(1)",
                           "127.0.0.1 LOGIN alice Password NG.(2)",
                           "127.0.0.1 LOGIN alice Password NG.(3)",
                           "127.0.0.1 CLOSE alice Connection Close",
                       }));
}

TEST_F(LoginTest, TwoWrongPasswordsThenTheRightOneLogIn)
{
    auto client = connect();
    expectReply(*client, "UID:alice;", kUserIdOk);
    expectReply(*client, "PWD:a;", kPasswordWrong);
    expectReply(*client, "PWD:b;", kPasswordWrong);
    expectReply(*client, "PWD:Secret-1;", kLoggedIn);
}

TEST_F(LoginTest, ADisabledUserIsTurnedAwayAfterTheRightPassword)
{
    auto client = connect();
    expectReply(*client, "UID:bob;", kUserIdOk);
    expectReply(*client, "PWD:bobpass;", kUserDisabled);
    EXPECT_TRUE(client->waitForClose());
    EXPECT_TRUE(waitForLogRecord("127.0.0.1 CLOSE bob Connection Close"));
    const auto records = logRecords();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[1], "127.0.0.1 LOGIN bob Password OK.(User Disabled)");
}

TEST_F(LoginTest, UserIdsOfUpTo32CharactersAreTaken)
{
    const std::string id32(32, 'u');
    addUser(3, id32, "long-id");
    auto client = connect();
    expectReply(*client, "UID:" + std::string(33, 'u') + ";", kCommandRefused);
    expectReply(*client, "UID:" + id32 + ";", kUserIdOk);
    expectReply(*client, "PWD:" + std::string(33, 'p') + ";", kCommandRefused);
    // The refusal cost the stored ID.
    expectReply(*client, "PWD:long-id;", kCommandRefused);
    expectReply(*client, "UID:" + id32 + ";", kUserIdOk);
    expectReply(*client, "PWD:long-id;", kLoggedIn);
    ASSERT_TRUE(waitForNotification(linkcore::kNotifySession, linkcore::kSessionLoggedIn));
    EXPECT_EQ(loggedInUser(), id32);
}

TEST_F(LoginTest, CrLfAfterTheSemicolonSpoilsTheNextSegment)
{
    auto client = connect();
    expectReply(*client, "UID:alice;\r\n", kUserIdOk);
    // "\r\nPWD:Secret-1" does not begin with "PWD:": ignored without reply.
    client->send("PWD:Secret-1;\r\n");
    // "\r\n" alone is too short: refused, which costs the stored ID.
    expectReply(*client, ";", kCommandRefused);
    expectReply(*client, "PWD:Secret-1;", kCommandRefused);
    EXPECT_EQ(loggedInUser(), "untouched");
}

TEST_F(LoginTest, UidTwiceClearsTheIdAndAThirdStoresTheNewOne)
{
    auto client = connect();
    expectReply(*client, "UID:bob;", kUserIdOk);
    expectReply(*client, "UID:alice;", kUserIdAgain);
    expectReply(*client, "PWD:Secret-1;", kCommandRefused);
    expectReply(*client, "UID:alice;", kUserIdOk);
    expectReply(*client, "PWD:Secret-1;", kLoggedIn);
}

TEST_F(LoginTest, ShortSegmentsAreRefusedAndUnknownOnesIgnored)
{
    auto client = connect();
    expectReply(*client, "UID:;", kCommandRefused);
    expectReply(*client, "PWD:;", kCommandRefused);
    expectReply(*client, ";", kCommandRefused);
    expectReply(*client, "FA;", kCommandRefused);
    // A password before any user ID is refused.
    expectReply(*client, "PWD:Secret-1;", kCommandRefused);
    // Five characters or more, not "UID:" or "PWD:": ignored, also in small letters.
    client->send("uid:alice;PWDX:Secret-1;FA00014250000;");
    expectReply(*client, "UID:alice;", kUserIdOk);
}

TEST_F(LoginTest, ABatchLogsInAndDrivesTheRadio)
{
    auto client = connect();
    radio_->clearReceivedCommands();
    client->send("UID:alice;PWD:Secret-1;FA00007050000;FA;");
    const std::string expected = std::string(kUserIdOk) + std::string(kLoggedIn) + "FA00007050000;";
    EXPECT_EQ(client->readThrough("FA00007050000;"), expected);
    EXPECT_TRUE(radio_->waitForCommand("FA00007050000;", 5s));
}

TEST_F(LoginTest, RadioRepliesReachTheClientOnlyAfterLogin)
{
    auto client = connect();
    // The host's own request: parsed (the FA notification), not relayed.
    window_.drain();
    ASSERT_EQ(linkcore_.ConnDirect(reinterpret_cast<const unsigned char*>("FA;")), 1);
    ASSERT_TRUE(testsupport::WaitUntil([&] {
        for (const platform::Message& m : window_.drain()) {
            if (m.message == WM_LINKCORE_NOTIFY && m.wParam == 0x1014) {
                return true;
            }
        }
        return false;
    }));
    expectReply(*client, "UID:alice;", kUserIdOk);
    expectReply(*client, "PWD:Secret-1;", kLoggedIn);
    EXPECT_EQ(client->unread(), "");
    ASSERT_TRUE(waitForNotification(linkcore::kNotifySession, linkcore::kSessionLoggedIn));

    const std::string answer = radio_->query("FA;");
    ASSERT_EQ(linkcore_.ConnDirect(reinterpret_cast<const unsigned char*>("FA;")), 1);
    EXPECT_EQ(client->readThrough(answer), answer);
}

TEST_F(LoginTest, AccountCommandsAnswerInAnyCase)
{
    auto client = connectAndLogIn();
    expectReply(*client, "@@AI;", "@@AI0;");
    expectReply(*client, "@@ai1;", "@@AI1;");
    expectReply(*client, "@@Ai;", "@@AI1;");
    // Setting the value it has, and switching off, give no reply.
    client->send("@@AI1;@@aI0;");
    expectReply(*client, "@@AI;", "@@AI0;");
    expectReply(*client, "@@AI7;", "@@AI1;");
    expectReply(*client, "@@AI12;", "@@?;");
    expectReply(*client, "@@AIx;", "@@?;");
    expectReply(*client, "@@XY;", "@@?;");
    expectReply(*client, "@@st;", "@@ST000000000000;");
    expectReply(*client, "@@STX;", "@@?;");
    expectReply(*client, "@@CP;", "@@?;");
    expectReply(*client, "@@CP" + std::string(33, 'x') + ";", "@@?;");
    // An "@@A" command with another fourth letter and a short "@@" segment: no reply.
    client->send("@@AB;@@A;@@;@@ABCDEF;@@SX;@@CX123;");
    expectNothingBefore(*client);
}

TEST_F(LoginTest, APasswordChangedWithCpWorksAtTheNextLogin)
{
    auto client = connectAndLogIn();
    // Without automatic reports the change is silent.
    client->send("@@cpNew Pass 1;");
    expectNothingBefore(*client);
    EXPECT_EQ(storedPassword(0), "New Pass 1");
    expectReply(*client, "@@AI1;", "@@AI1;");
    expectReply(*client, "@@CP" + std::string(32, 'Z') + ";", "@@CP1;");
    expectReply(*client, "@@CPlast one;", "@@CP1;");
    EXPECT_TRUE(waitForLogRecord("127.0.0.1 CHGPWD alice Change Passowrd OK."));
    client->close();
    ASSERT_TRUE(waitUntilListening());

    auto next = connect();
    expectReply(*next, "UID:alice;", kUserIdOk);
    expectReply(*next, "PWD:Secret-1;", kPasswordWrong);
    expectReply(*next, "PWD:New Pass 1;", kPasswordWrong);
    expectReply(*next, "PWD:last one;", kLoggedIn);
}

TEST_F(LoginTest, APasswordTheProfileCannotHoldIsReportedAsNotChanged)
{
    auto client = connectAndLogIn();
    expectReply(*client, "@@AI1;", "@@AI1;");
    expectReply(*client, "@@CPab\r\ncd;", "@@CP0;");
    EXPECT_TRUE(waitForLogRecord("127.0.0.1 CHGPWD alice Change Passowrd NG."));
    EXPECT_EQ(storedPassword(0), kPassword);
}

TEST_F(LoginTest, TheVoiceNoticeGoesOnlyToALoggedInClient)
{
    EXPECT_EQ(linkcore_.SonnMIREL_VE(1), 0);
    auto client = connect();
    EXPECT_EQ(linkcore_.SonnMIREL_VE(1), 0);
    logIn(*client);
    // The host sends it when told of the login.
    ASSERT_TRUE(waitForNotification(linkcore::kNotifySession, linkcore::kSessionLoggedIn));
    EXPECT_EQ(linkcore_.SonnMIREL_VE(1), 1);
    EXPECT_EQ(client->readThrough("@@VE1;"), "@@VE1;");
}

TEST_F(LoginTest, ALoginFailureEndsTheBatchSoTheNextSessionStartsClean)
{
    auto client = connect();
    // Everything after the third wrong password belongs to a closed session.
    client->send("UID:alice;PWD:a;PWD:b;PWD:c;UID:alice;PWD:Secret-1;FA00007000000;");
    EXPECT_TRUE(client->waitForClose());
    EXPECT_TRUE(client->unread().ends_with(kLoginFailed));
    ASSERT_TRUE(waitUntilListening());
    EXPECT_EQ(LinkcoreShared::instance().session.clientLoggedIn, 0);
    EXPECT_EQ(loggedInUser(), "untouched");

    auto next = connect();
    expectReply(*next, "@@ST;", kCommandRefused);
    syncRadio();
    const auto commands = radio_->receivedCommands();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "FA00007000000;"), 0);
}

} // namespace
} // namespace sessiontest
