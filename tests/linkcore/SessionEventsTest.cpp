// SPDX-License-Identifier: GPL-3.0-or-later
// The session side as an event-driven service: the loss of the radio ends a session
// at once, a client that stops reading cannot hold up the radio, client text is never
// dropped on the way (so the protocol's answer to an overlong command always comes),
// deadlines fire from the clock while the threads sleep and ignore wall-clock steps,
// and an idle service does not wake up at all.

#include "linkcore/Linkcore.h"
#include "linkcore/facade/LinkcoreShared.h"
#include "SessionFixture.h"
#include "testsupport/Wait.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <time.h>

#include <sys/socket.h>

namespace sessiontest {
namespace {

std::chrono::nanoseconds ProcessCpuTime()
{
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

// The context switches of this process's threads named `name` (summed).
long ContextSwitches(const std::string& name)
{
    long total = 0;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::string comm;
        std::getline(std::ifstream(task.path() / "comm"), comm);
        if (comm != name) {
            continue;
        }
        std::ifstream status(task.path() / "status");
        for (std::string line; std::getline(status, line);) {
            if (line.starts_with("voluntary_ctxt_switches:") || line.starts_with("nonvoluntary_ctxt_switches:")) {
                total += std::stol(line.substr(line.find(':') + 1));
            }
        }
    }
    return total;
}

class SessionEventsTest : public SessionFixture {
protected:
    std::string frequency()
    {
        unsigned char text[32] = {};
        linkcore_.RcvDataFA(text);
        return reinterpret_cast<const char*>(text);
    }
};

TEST_F(SessionEventsTest, ALostRadioEndsTheSessionAtOnceAndTheLinkOpensAgainLater)
{
    startService(20);
    auto client = connectAndLogIn();
    ASSERT_TRUE(waitForLogRecord("127.0.0.1 LOGIN alice Password OK."));
    radio_->stop(); // the far end of the line goes away, as an unplugged adapter

    EXPECT_EQ(client->readThrough(kRadioLost), kRadioLost);
    EXPECT_TRUE(client->waitForClose());
    EXPECT_TRUE(waitForLogRecord("127.0.0.1 CLOSE alice Connection Close"));
    EXPECT_TRUE(waitForRadioNotification(linkcore::kNotifyRadioLost, 0));
    const auto records = logRecords();
    const std::vector<std::string> tail(records.end() - std::min<std::size_t>(records.size(), 3), records.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"- RADIO - Connection lost on COM7.",
                                              "127.0.0.1 CONN alice Radio connection lost.",
                                              "127.0.0.1 CLOSE alice Connection Close"}));
    EXPECT_EQ(shared_.radioLost, 1);

    // Nothing spins while the dead link waits to be closed.
    const auto cpuBefore = ProcessCpuTime();
    const auto wallBefore = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(300ms);
    EXPECT_LT(ProcessCpuTime() - cpuBefore, (std::chrono::steady_clock::now() - wallBefore) / 4);

    // A client that comes meanwhile is told too.
    ASSERT_TRUE(waitUntilListening() || shared_.clientConnected == 0);
    {
        SessionClient late(port_);
        EXPECT_TRUE(late.readThrough(kRadioLost).ends_with(kRadioLost));
        EXPECT_TRUE(late.waitForClose());
    }

    // The host stops the service; once the radio is back, the service starts again.
    const auto stopStart = std::chrono::steady_clock::now();
    linkcore_.SocketServerClose();
    linkcore_.RadioConnectionClose();
    EXPECT_LT(std::chrono::steady_clock::now() - stopStart, 1s);
    startService(20);
    EXPECT_EQ(shared_.radioLost, 0);
    auto again = connectAndLogIn();
    again->send("FA;");
    EXPECT_TRUE(again->readThrough("FA00014195000;").ends_with("FA00014195000;"));
}

TEST_F(SessionEventsTest, AClientThatDoesNotReadIsDroppedWhileTheRadioGoesOn)
{
    startService(20);
    auto client = connectAndLogIn();
    const int small = 4096;
    ASSERT_EQ(::setsockopt(client->fd(), SOL_SOCKET, SO_RCVBUF, &small, sizeof small), 0);

    // The radio streams reports; the client reads none of them.
    std::string burst;
    for (int i = 0; i < 1000; ++i) {
        burst += "FA00007000000;";
    }
    for (int i = 0; i < 40 && shared_.clientConnected == 1; ++i) {
        radio_->inject(burst);
        testsupport::WaitUntil([&] { return frequency() == "00007000000"; }, 2s);
    }
    EXPECT_TRUE(waitForLogRecord("127.0.0.1 CONN alice Connection Error:Send Buffer Full!!"));
    EXPECT_TRUE(waitForLogRecord("127.0.0.1 CLOSE alice Connection Close"));

    // The radio side went on parsing throughout, and the next client is served.
    radio_->inject("FA00007123000;");
    EXPECT_TRUE(testsupport::WaitUntil([&] { return frequency() == "00007123000"; }));
    ASSERT_TRUE(waitUntilListening());
    auto next = connectAndLogIn();
    next->send("FA;");
    EXPECT_TRUE(next->readThrough("FA00014195000;").ends_with("FA00014195000;"));
}

// However the client's text is cut and however fast it comes, an overlong command is
// answered as the protocol says; the endpoint drops nothing on its own.
TEST_F(SessionEventsTest, AnOverlongCommandIsAlwaysAnsweredWithTheLengthError)
{
    startService(20);
    const std::vector<std::vector<std::size_t>> sendings = {{2000}, {1023, 5}, {5000}, {600, 600}, {1024}};
    for (const auto& pieces : sendings) {
        auto client = connectAndLogIn();
        for (const std::size_t size : pieces) {
            client->send(std::string(size, 'x'));
        }
        EXPECT_TRUE(client->readThrough(kCommandTooLong).ends_with(kCommandTooLong)) << pieces.front();
        EXPECT_TRUE(client->waitForClose());
        ASSERT_TRUE(waitUntilListening());
    }
    const auto records = logRecords();
    EXPECT_EQ(std::count(records.begin(), records.end(), "127.0.0.1 LOGIN - Connection Error:Command Buffer Full!!"),
              static_cast<long>(sendings.size()));
}

// Commands sent back to back, far more than one buffer's worth, all reach the radio
// and all are answered: the length limit is on one command, not on a burst.
TEST_F(SessionEventsTest, CommandsSentBackToBackAreAllAnswered)
{
    startService(20);
    auto client = connectAndLogIn();
    constexpr int kQueries = 2000;
    std::string queries;
    for (int i = 0; i < kQueries; ++i) {
        queries += "FA;";
    }
    client->send(queries);
    std::string answers;
    const std::string reply = "FA00014195000;";
    ASSERT_TRUE(testsupport::WaitUntil(
        [&] {
            answers += client->readThrough(reply, 20ms);
            return answers.size() >= kQueries * reply.size();
        },
        30s));
    EXPECT_EQ(answers.size(), kQueries * reply.size());
    EXPECT_EQ(answers.find_first_not_of(reply), std::string::npos);
    EXPECT_EQ(shared_.clientConnected, 1);
}

TEST_F(SessionEventsTest, AStepOfTheWallClockMovesNoDeadline)
{
    writeInt("Setting", "MIREL Session Time", 1);
    startService(20);
    auto client = connectAndLogIn();
    const std::int64_t wall = clock_->nowSeconds();
    for (const std::int64_t step : {7200, -7200, 86'400 * 3}) {
        clock_->setWall(wall + step);
        client->send("@@ST;");
        EXPECT_EQ(client->readThrough("@@ST000000000100;"), "@@ST000000000100;") << step;
    }
    clock_->advance(29);
    ASSERT_TRUE(testsupport::WaitUntil([&] {
        unsigned t[6] = {};
        linkcore_.RcvDataMIREL_ST(&t[0], &t[1], &t[2], &t[3], &t[4], &t[5]);
        return t[2] == 29;
    }));
    client->send("@@ST;");
    EXPECT_EQ(client->readThrough("@@ST000029000100;"), "@@ST000029000100;");
    clock_->advance(30);
    EXPECT_EQ(client->readThrough(kIdleTimeout), kIdleTimeout);
    EXPECT_TRUE(client->waitForClose());
}

// With a client logged in and no session limit, the session thread, the socket thread
// and the serial reader sleep until something happens; a move of the clock to the
// idle deadline is what wakes the session thread.
TEST_F(SessionEventsTest, AnIdleSessionSleepsUntilItsDeadline)
{
    startService(20);
    auto client = connectAndLogIn();
    syncRadio();
    std::this_thread::sleep_for(50ms); // let the answers of the login settle
    const long before = ContextSwitches("link-session") + ContextSwitches("netport-socket") +
                        ContextSwitches("serport-reader");
    std::this_thread::sleep_for(500ms);
    const long after = ContextSwitches("link-session") + ContextSwitches("netport-socket") +
                       ContextSwitches("serport-reader");
    EXPECT_EQ(after, before) << "a thread woke without an event";

    clock_->advance(30);
    EXPECT_EQ(client->readThrough(kIdleTimeout), kIdleTimeout);
}

} // namespace
} // namespace sessiontest
