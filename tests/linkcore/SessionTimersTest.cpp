// SPDX-License-Identifier: GPL-3.0-or-later
// The login, idle and session-limit deadlines and the elapsed-time reports, run on
// the manual clock: each test moves the clock and waits for the server's answer.

#include "linkcore/Linkcore.h"
#include "SessionFixture.h"
#include "testsupport/Wait.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>

namespace sessiontest {
namespace {

class TimerTest : public SessionFixture {
protected:
    std::array<unsigned, 6> sessionTime()
    {
        std::array<unsigned, 6> t{};
        EXPECT_EQ(linkcore_.RcvDataMIREL_ST(&t[0], &t[1], &t[2], &t[3], &t[4], &t[5]), 1);
        return t;
    }

    bool waitForElapsedSeconds(unsigned total)
    {
        return testsupport::WaitUntil([&] {
            const auto t = sessionTime();
            return t[0] * 3600 + t[1] * 60 + t[2] == total;
        });
    }

    std::size_t elapsedNotifications()
    {
        const auto notes = sessionNotifications();
        return static_cast<std::size_t>(std::count_if(notes.begin(), notes.end(), [](const platform::Message& m) {
            return m.wParam == linkcore::kNotifyElapsed;
        }));
    }
};

TEST_F(TimerTest, ASilentClientIsDisconnectedThirtySecondsAfterAcceptance)
{
    startService(20);
    auto client = connect();
    clock_->advance(29);
    // Data does not extend the login deadline, but proves the session still runs.
    client->send("UID:alice;");
    EXPECT_EQ(client->readThrough(kUserIdOk), kUserIdOk);
    client->send("UID:alice;");
    EXPECT_EQ(client->readThrough(kUserIdAgain), kUserIdAgain);
    clock_->advance(1);
    EXPECT_EQ(client->readThrough(kLoginTimeout), kLoginTimeout);
    EXPECT_TRUE(client->waitForClose());
    EXPECT_EQ(client->unread(), "");
    EXPECT_TRUE(waitForLogRecord("127.0.0.1 CLOSE - Connection Close"));
    EXPECT_EQ(logRecords(), (std::vector<std::string>{"127.0.0.1 OPEN - Connection Open",
                                                      "127.0.0.1 LOGIN  timeout.",
                                                      "127.0.0.1 CLOSE - Connection Close"}));
    ASSERT_TRUE(waitForNotification(linkcore::kNotifySession, linkcore::kSessionClosing));
}

TEST_F(TimerTest, TheLoginTimeoutNamesAUserIdThatWasGiven)
{
    startService(20);
    auto client = connect();
    client->send("UID:alice;");
    EXPECT_EQ(client->readThrough(kUserIdOk), kUserIdOk);
    clock_->advance(30);
    EXPECT_EQ(client->readThrough(kLoginTimeout), kLoginTimeout);
    EXPECT_TRUE(waitForLogRecord("127.0.0.1 CLOSE alice Connection Close"));
    EXPECT_TRUE(waitForLogRecord("127.0.0.1 LOGIN alice timeout."));
}

TEST_F(TimerTest, ALoggedInClientSilentForThirtySecondsIsDisconnected)
{
    startService(20);
    auto client = connectAndLogIn();
    clock_->advance(29);
    client->send("@@ST;");
    EXPECT_EQ(client->readThrough("@@ST000000000000;"), "@@ST000000000000;");
    clock_->advance(29);
    client->send("@@AI;");
    EXPECT_EQ(client->readThrough("@@AI0;"), "@@AI0;");
    clock_->advance(30);
    EXPECT_EQ(client->readThrough(kIdleTimeout), kIdleTimeout);
    EXPECT_TRUE(client->waitForClose());
    EXPECT_TRUE(waitForLogRecord("127.0.0.1 CLOSE alice Connection Close"));
    const auto records = logRecords();
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[2], "127.0.0.1 CONN alice timeout.");
}

TEST_F(TimerTest, TheSessionLimitReportsEverySecondAndEndsTheSessionSilently)
{
    writeInt("Setting", "MIREL Session Time", 1);
    startService(20);
    auto client = connectAndLogIn();
    EXPECT_EQ(sessionTime(), (std::array<unsigned, 6>{0, 0, 0, 0, 1, 0}));
    client->send("@@AI1;");
    EXPECT_EQ(client->readThrough("@@AI1;"), "@@AI1;");
    client->send("@@ST;");
    EXPECT_EQ(client->readThrough("@@ST000000000100;"), "@@ST000000000100;");

    for (int second = 1; second <= 60; ++second) {
        if (second % 20 == 0) {
            client->send("@@AI1;"); // no reply, but keeps the idle deadline away
        }
        clock_->advance(1);
        char report[32];
        std::snprintf(report, sizeof report, "@@ST00%02d%02d000100;", second / 60, second % 60);
        ASSERT_EQ(client->readThrough(report), report);
    }
    EXPECT_TRUE(client->waitForClose());
    EXPECT_EQ(client->unread(), "");
    EXPECT_TRUE(waitForLogRecord("127.0.0.1 CLOSE alice Connection Close"));
    const auto records = logRecords();
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[2], "127.0.0.1 SESSION alice Session timeout.");
    EXPECT_EQ(elapsedNotifications(), 60u);
    // The close steps reset the elapsed time; the limit stays for the next session.
    EXPECT_TRUE(testsupport::WaitUntil([&] { return sessionTime() == std::array<unsigned, 6>{0, 0, 0, 0, 1, 0}; }));
}

TEST_F(TimerTest, TheSessionLimitCountsFromTheLogin)
{
    writeInt("Setting", "MIREL Session Time", 1);
    startService(20);
    auto client = connect();
    clock_->advance(20);
    logIn(*client);
    for (int step = 0; step < 2; ++step) {
        clock_->advance(25);
        // Answered, so the next move of the clock comes after the idle deadline moved.
        client->send("@@AI;");
        ASSERT_EQ(client->readThrough("@@AI0;"), "@@AI0;");
        ASSERT_TRUE(waitForElapsedSeconds(25 * (step + 1)));
    }
    clock_->advance(9);
    ASSERT_TRUE(waitForElapsedSeconds(59));
    client->send("@@ST;");
    EXPECT_EQ(client->readThrough("@@ST000059000100;"), "@@ST000059000100;");
    clock_->advance(1);
    EXPECT_TRUE(client->waitForClose());
    EXPECT_EQ(client->unread(), "");
    EXPECT_TRUE(waitForLogRecord("127.0.0.1 SESSION alice Session timeout."));
}

TEST_F(TimerTest, WithoutALimitThereAreNoReportsAndNoElapsedNotifications)
{
    writeInt("Setting", "MIREL Session Time", 0);
    startService(20);
    auto client = connectAndLogIn();
    client->send("@@AI1;");
    EXPECT_EQ(client->readThrough("@@AI1;"), "@@AI1;");
    for (int second = 0; second < 5; ++second) {
        clock_->advance(1);
        client->send("@@AI1;");
    }
    client->send("@@ST;");
    EXPECT_EQ(client->readThrough("@@ST000000000000;"), "@@ST000000000000;");
    EXPECT_EQ(elapsedNotifications(), 0u);
    EXPECT_EQ(sessionTime(), (std::array<unsigned, 6>{0, 0, 0, 0, 0, 0}));
}

TEST_F(TimerTest, TheLimitIsReadAgainForEveryClient)
{
    writeInt("Setting", "MIREL Session Time", 0);
    startService(20);
    auto first = connectAndLogIn();
    writeInt("Setting", "MIREL Session Time", 90);
    first->send("@@ST;");
    EXPECT_EQ(first->readThrough("@@ST000000000000;"), "@@ST000000000000;");
    first->close();
    ASSERT_TRUE(waitUntilListening());
    auto second = connectAndLogIn();
    second->send("@@ST;");
    EXPECT_EQ(second->readThrough("@@ST000000013000;"), "@@ST000000013000;");
    // A hand-edited negative limit means none rather than an instant end.
    writeInt("Setting", "MIREL Session Time", -5);
    second->close();
    ASSERT_TRUE(waitUntilListening());
    auto third = connectAndLogIn();
    clock_->advance(1);
    third->send("@@ST;");
    EXPECT_EQ(third->readThrough("@@ST000000000000;"), "@@ST000000000000;");
}

TEST_F(TimerTest, ReportsAreSwitchedOffForTheNextClient)
{
    writeInt("Setting", "MIREL Session Time", 1);
    startService(20);
    auto first = connectAndLogIn();
    first->send("@@AI1;");
    EXPECT_EQ(first->readThrough("@@AI1;"), "@@AI1;");
    first->close();
    ASSERT_TRUE(waitUntilListening());
    auto second = connectAndLogIn();
    clock_->advance(1);
    ASSERT_TRUE(waitForElapsedSeconds(1));
    second->send("@@AI;");
    EXPECT_EQ(second->readThrough("@@AI0;"), "@@AI0;");
}

} // namespace
} // namespace sessiontest
