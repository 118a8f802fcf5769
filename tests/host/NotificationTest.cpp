// SPDX-License-Identifier: GPL-3.0-or-later
// How the library's notifications, caused by a real radio and real clients, change
// the display: model, power, ONAIR, auto-information mode, session events and time.
#include "HostFixture.h"

#include "testsupport/ManualClock.h"

#include <gmock/gmock.h>

#include <algorithm>

namespace hosttest {
namespace {

using ::testing::IsEmpty;

std::size_t CountOf(const std::vector<std::string>& commands, const std::string& command)
{
    return static_cast<std::size_t>(std::count(commands.begin(), commands.end(), command));
}

// ---- Radio reports ----

using RadioReportTest = HostFixture;

TEST_F(RadioReportTest, TransmitReceiveAndStatusDriveOnAir)
{
    startRunning();
    const host::HostDisplay& display = controller->display();

    radio->inject("TX0;");
    ASSERT_TRUE(recorder.runUntil([&] { return display.onAir; }));
    EXPECT_TRUE(controller->state().onAir);
    radio->inject("RX0;");
    ASSERT_TRUE(recorder.runUntil([&] { return !display.onAir; }));

    // The status reply's digit at 28: 1 transmits, 0 receives, anything else is ignored.
    std::string status = radio->query("IF;");
    ASSERT_GT(status.size(), 28u);
    status[28] = '1';
    radio->inject(status);
    ASSERT_TRUE(recorder.runUntil([&] { return display.onAir; }));
    status[28] = '7';
    radio->inject(status);
    barrier();
    EXPECT_TRUE(display.onAir);
    status[28] = '0';
    radio->inject(status);
    ASSERT_TRUE(recorder.runUntil([&] { return !display.onAir; }));
}

TEST_F(RadioReportTest, PowerTransitionsAskForStatusOnce)
{
    startRunning();
    barrier();
    radio->clearReceivedCommands();

    // Already on: a second "on" report changes nothing and asks for nothing.
    radio->inject("PS1;");
    barrier();
    EXPECT_EQ(CountOf(radio->receivedCommands(), "IF;"), 0u);

    radio->inject("TX0;");
    ASSERT_TRUE(recorder.runUntil([&] { return controller->display().onAir; }));
    // Off: the switch picture goes off and so does ONAIR.
    radio->inject("PS0;");
    ASSERT_TRUE(recorder.runUntil([&] { return !controller->display().power; }));
    EXPECT_FALSE(controller->state().radioPowerOn);
    EXPECT_FALSE(controller->display().onAir);

    // On twice: the status is asked for exactly once.
    radio->inject("PS1;PS1;");
    barrier();
    EXPECT_TRUE(controller->display().power);
    EXPECT_EQ(CountOf(radio->receivedCommands(), "IF;"), 1u);
}

TEST_F(RadioReportTest, AutoInformationIsKeptAtTwo)
{
    startRunning();
    barrier();
    radio->clearReceivedCommands();
    radio->inject("AI0;");
    barrier();
    EXPECT_EQ(CountOf(radio->receivedCommands(), "AI2;"), 1u);

    radio->clearReceivedCommands();
    radio->inject("AI2;");
    barrier();
    EXPECT_EQ(CountOf(radio->receivedCommands(), "AI2;"), 0u);
}

TEST_F(RadioReportTest, ModelReportsNameTheModel)
{
    startRunning();
    radio->inject("ID019;");
    ASSERT_TRUE(recorder.runUntil([&] { return controller->display().model == "Corvex"; }));
    EXPECT_EQ(controller->state().modelId, 19u);
    radio->inject("ID007;");
    ASSERT_TRUE(recorder.runUntil([&] { return controller->display().model == "Unknown"; }));
    EXPECT_EQ(controller->state().modelId, 7u);
}

// ---- Session events ----

// The session thread reads the clock until the controller is gone in TearDown, so
// the clock belongs to the fixture and outlives it.
class SessionEventTest : public HostFixture {
protected:
    testsupport::ManualClock clock;
};

TEST_F(SessionEventTest, ClientConnectsLogsInAndLeaves)
{
    startRunning();
    const host::HostDisplay& display = controller->display();

    testsupport::LoopbackClient client(tcpPort);
    ASSERT_TRUE(recorder.runUntil([&] { return display.address == "127.0.0.1"; }));
    EXPECT_THAT(display.user, IsEmpty());
    EXPECT_THAT(display.description, IsEmpty());
    EXPECT_THAT(display.sessionTime, IsEmpty());
    EXPECT_FALSE(controller->state().userLoggedOn);
    EXPECT_TRUE(recorder.watchdogArmed());

    client.send("UID:alice;PWD:secret;");
    ASSERT_TRUE(recorder.runUntil([&] { return controller->state().userLoggedOn; }));
    EXPECT_EQ(display.user, "alice");
    EXPECT_EQ(display.description, "Alice at the club station");
    EXPECT_EQ(display.address, "127.0.0.1");
    EXPECT_EQ(display.sessionTime, "Unlimited"); // no session limit
    EXPECT_FALSE(recorder.watchdogArmed());

    client.close();
    ASSERT_TRUE(recorder.runUntil([&] { return !controller->state().userLoggedOn; }));
    EXPECT_THAT(display.user, IsEmpty());
    EXPECT_THAT(display.address, IsEmpty());
    EXPECT_THAT(display.description, IsEmpty());
    EXPECT_THAT(display.sessionTime, IsEmpty());
    EXPECT_TRUE(recorder.watchdogArmed());
    EXPECT_TRUE(controller->state().serviceRunning);
}

TEST_F(SessionEventTest, SessionTimeCountsAgainstTheLimit)
{
    startRadio(20);
    writeProfile(radio->devicePath(), 1); // a limit of one minute
    makeController();
    controller->start();
    ASSERT_TRUE(controller->state().serverOpen);

    auto client = logIn();
    const host::HostDisplay& display = controller->display();
    EXPECT_THAT(display.sessionTime, IsEmpty()); // nothing before the first elapsed second

    clock.advance(5);
    ASSERT_TRUE(recorder.runUntil([&] { return display.sessionTime == "0:00:05 / 0:01:00"; }));
    // The client keeps talking, so that the idle timeout does not end the session first.
    const std::pair<int, std::string> steps[] = {{25, "0:00:30 / 0:01:00"}, {29, "0:00:59 / 0:01:00"}};
    for (const auto& [seconds, expected] : steps) {
        client->send("@@ST;");
        EXPECT_THAT(client->receiveUntil("@@ST"), ::testing::HasSubstr("@@ST"));
        clock.advance(seconds);
        ASSERT_TRUE(recorder.runUntil([&] { return display.sessionTime == expected; })) << display.sessionTime;
    }
    client->send("@@ST;");
    EXPECT_THAT(client->receiveUntil("@@ST"), ::testing::HasSubstr("@@ST"));

    // At the limit the session ends and the display empties.
    clock.advance(1);
    ASSERT_TRUE(recorder.runUntil([&] { return !controller->state().userLoggedOn; }));
    EXPECT_THAT(display.sessionTime, IsEmpty());
    EXPECT_THAT(display.user, IsEmpty());
    EXPECT_TRUE(client->waitForClose());
}

} // namespace
} // namespace hosttest
