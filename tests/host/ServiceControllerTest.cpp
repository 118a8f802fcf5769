// SPDX-License-Identifier: GPL-3.0-or-later
// The start, stop and power sequences and the watchdog against the simulated radio.
#include "HostFixture.h"

#include <gmock/gmock.h>

#include <algorithm>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace hosttest {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

std::size_t CountOf(const std::vector<std::string>& commands, const std::string& command)
{
    return static_cast<std::size_t>(std::count(commands.begin(), commands.end(), command));
}

bool Contains(const std::vector<std::string>& texts, const std::string& text)
{
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

// True when nothing accepts connections on the loopback port.
bool PortClosed(unsigned port)
{
    testsupport::LoopbackClient client(port, 0ms);
    return !client.connected();
}

// The texts the host sends to wake the radio, then the ID request.
const std::vector<std::string> kWakeUpAndId = {";", ";", "\x03;", "TC 1;", ";", "ID;"};

// ---- Start sequence ----

using StartSequenceTest = HostFixture;

TEST_F(StartSequenceTest, Model20StartsTheService)
{
    MessageBoxCapture boxes;
    startRadio(20);
    makeController();
    controller->start();

    const host::ServiceState& state = controller->state();
    EXPECT_TRUE(state.serviceRunning);
    EXPECT_TRUE(state.serverOpen);
    EXPECT_EQ(state.modelId, 20u);
    EXPECT_FALSE(state.busy);
    const host::HostDisplay& display = controller->display();
    EXPECT_TRUE(display.service);
    EXPECT_FALSE(display.onEnabled);
    EXPECT_TRUE(display.offEnabled);
    EXPECT_TRUE(display.controlEnabled);
    EXPECT_EQ(display.focus, host::Focus::PowerSwitch);
    EXPECT_THAT(controller->startFailure(), IsEmpty());
    EXPECT_THAT(boxes.texts(), IsEmpty());

    // The wake-up texts, one pause of 300 ms after the first, then the ID request.
    ASSERT_FALSE(recorder.sleeps.empty());
    EXPECT_EQ(recorder.sleeps.front(), 300ms);
    ASSERT_TRUE(radio->waitForCommand("AI;", 5s));
    const std::vector<std::string> commands = radio->receivedCommands();
    ASSERT_GE(commands.size(), kWakeUpAndId.size());
    EXPECT_EQ(std::vector<std::string>(commands.begin(), commands.begin() + 6), kWakeUpAndId);
    EXPECT_EQ(CountOf(commands, "PS;"), 1u);

    ASSERT_TRUE(recorder.watchdogArmed());
    EXPECT_EQ(recorder.timers[host::kWatchdogTimer], 1000ms);
    EXPECT_THAT(logText(), HasSubstr("- START - Successful COM1, Socket:" + std::to_string(tcpPort) + ".\n"));

    // The radio's answers: power on (the host then asks for the status), the model
    // and an auto-information mode of 0, which the host raises to 2.
    ASSERT_TRUE(recorder.runUntil([&] { return display.power && radio->autoInformation() == 2; }));
    EXPECT_TRUE(radio->waitForCommand("IF;", 5s));
    EXPECT_TRUE(radio->waitForCommand("AI2;", 5s));
    EXPECT_EQ(display.model, "Tarsel");
    EXPECT_FALSE(display.onAir);
    testsupport::LoopbackClient client(tcpPort);
    EXPECT_THAT(client.receiveUntil(">"), HasSubstr("Hello!! This is ORVANE MIREL."));
}

TEST_F(StartSequenceTest, Model19NeedsTheCorvexOption)
{
    {
        MessageBoxCapture boxes;
        startRadio(19);
        makeController(false);
        controller->start();

        EXPECT_FALSE(controller->state().serviceRunning);
        EXPECT_FALSE(controller->state().serverOpen);
        EXPECT_EQ(controller->startFailure(), "- START - Failed. Radio is Unsupported.");
        EXPECT_THAT(boxes.texts(), ::testing::ElementsAre("The transceiver connected to COM1 is Corvex.\n Be sure "
                                                          "to connect the Radio to the COM1.\n"));
        EXPECT_THAT(logText(), HasSubstr("- START - Failed. Radio is Unsupported.\n"));
        EXPECT_THAT(controller->display().model, IsEmpty());
        EXPECT_FALSE(controller->display().service);
        EXPECT_TRUE(controller->display().onEnabled);
        EXPECT_EQ(controller->display().focus, host::Focus::Control);
        EXPECT_FALSE(recorder.watchdogArmed());
        EXPECT_TRUE(PortClosed(tcpPort));
    }

    // The same radio with "-ECV": accepted, and its DC value is asked for once it is on.
    controller.reset();
    radio->clearReceivedCommands();
    makeController(true);
    controller->start();
    EXPECT_TRUE(controller->state().serviceRunning);
    EXPECT_EQ(controller->state().modelId, 19u);
    ASSERT_TRUE(recorder.runUntil([&] { return controller->display().power; }));
    EXPECT_EQ(controller->display().model, "Corvex");
    EXPECT_TRUE(radio->waitForCommand("DC;", 5s));
    EXPECT_THAT(logText(), HasSubstr("- START - Successful COM1"));
}

TEST_F(StartSequenceTest, SilentRadioIsRefusedAfterElevenIdReads)
{
    MessageBoxCapture boxes;
    startRadio(20);
    radio->setSilent(true);
    recorder.realSleep = false;
    makeController();
    controller->start();

    EXPECT_FALSE(controller->state().serviceRunning);
    EXPECT_EQ(controller->state().modelId, 0u);
    // One read, then ten more, each after a pause of 100 ms and a pump of the messages.
    std::vector<std::chrono::milliseconds> expectedSleeps{300ms};
    expectedSleeps.insert(expectedSleeps.end(), 10, 100ms);
    EXPECT_EQ(recorder.sleeps, expectedSleeps);
    EXPECT_EQ(recorder.pumps, 10);
    ASSERT_TRUE(radio->waitForCommand("ID;", 5s));
    EXPECT_EQ(radio->receivedCommands(), kWakeUpAndId);

    EXPECT_EQ(controller->startFailure(), "- START - Failed. Can not detect Radio Model ID.");
    EXPECT_THAT(boxes.texts(), ::testing::ElementsAre(" An unknown device is connected to COM1, or the Baud rate in "
                                                      "this software does not mutch in the Transceiver.\n Check the "
                                                      "status of COM1.\n"));
    EXPECT_THAT(logText(), HasSubstr("- START - Failed. Can not detect Radio Model ID.\n"));
    EXPECT_FALSE(recorder.watchdogArmed());
    EXPECT_TRUE(PortClosed(tcpPort));
}

TEST_F(StartSequenceTest, UnsupportedModelIsAnUnknownDevice)
{
    MessageBoxCapture boxes;
    startRadio(7);
    makeController(true);
    controller->start();

    EXPECT_FALSE(controller->state().serviceRunning);
    EXPECT_EQ(controller->startFailure(), "- START - Failed. Can not detect Radio Model ID.");
    ASSERT_EQ(boxes.texts().size(), 1u);
    EXPECT_EQ(boxes.texts()[0], " An unknown device is connected to COM1, or the Baud rate in this software does "
                                "not mutch in the Transceiver.\n Check the status of COM1.\n");
    // The radio's ID answer was shown while the host waited, then the display was cleared.
    EXPECT_TRUE(Contains(recorder.changes, "Model: Unknown"));
    EXPECT_EQ(recorder.changes.back(), "Focus: control");
    EXPECT_THAT(controller->display().model, IsEmpty());
}

TEST_F(StartSequenceTest, ComPortThatCannotBeOpenedIsRefused)
{
    MessageBoxCapture boxes;
    writeProfile((dir / "no-such-device").string());
    makeController();
    controller->start();

    EXPECT_FALSE(controller->state().serviceRunning);
    EXPECT_EQ(controller->startFailure(), "- START - Failed. Can not open COM1.\nCOM1 (" +
                                              (dir / "no-such-device").string() + "): No such file or directory");
    EXPECT_THAT(logText(), HasSubstr("- START - Failed. Can not open COM1.\n"));
    EXPECT_THAT(boxes.texts(), ::testing::Contains(std::string("Error opening COM port")));
    EXPECT_TRUE(recorder.sleeps.empty());
    EXPECT_TRUE(PortClosed(tcpPort));
}

TEST_F(StartSequenceTest, TcpPortInUseIsRefusedAndTheRadioReleased)
{
    startRadio(20);
    const int blocker = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(blocker, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(tcpPort));
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    ASSERT_EQ(::bind(blocker, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(blocker, 1), 0);

    MessageBoxCapture boxes;
    makeController();
    controller->start();
    ::close(blocker);

    EXPECT_FALSE(controller->state().serviceRunning);
    EXPECT_FALSE(controller->state().serverOpen);
    const std::string expected = "- START - Failed. Can not open socket:" + std::to_string(tcpPort) + ".";
    EXPECT_EQ(controller->startFailure(), expected);
    EXPECT_THAT(logText(), HasSubstr(expected + "\n"));
    EXPECT_FALSE(recorder.watchdogArmed());

    // The serial port was given back: a second start takes it again and succeeds.
    controller->start();
    EXPECT_TRUE(controller->state().serverOpen);
}

TEST_F(StartSequenceTest, TcpPortOutOfRangeDoesNothing)
{
    startRadio(20);
    platform::ApplicationProfile().WriteProfileInt("Setting", "MIREL IP Port No", 1023);
    makeController();
    controller->start();

    EXPECT_FALSE(controller->state().serviceRunning);
    EXPECT_THAT(controller->startFailure(), IsEmpty());
    EXPECT_EQ(radio->commandCount(), 0u);
    EXPECT_THAT(logText(), IsEmpty());
    EXPECT_EQ(controller->display().focus, host::Focus::Control);
    EXPECT_TRUE(controller->display().controlEnabled);
}

// ---- Stop sequence and power switch ----

using StopSequenceTest = HostFixture;

TEST_F(StopSequenceTest, StopReleasesRadioAndServer)
{
    startRunning();
    radio->clearReceivedCommands();
    controller->stop();

    const host::HostDisplay& display = controller->display();
    EXPECT_FALSE(controller->state().serviceRunning);
    EXPECT_FALSE(controller->state().serverOpen);
    EXPECT_FALSE(controller->state().radioPowerOn);
    EXPECT_EQ(controller->lastStop(), host::StopCause::Command);
    EXPECT_FALSE(display.service);
    EXPECT_FALSE(display.power);
    EXPECT_THAT(display.model, IsEmpty());
    EXPECT_TRUE(display.onEnabled);
    EXPECT_FALSE(display.offEnabled);
    EXPECT_FALSE(display.busy);
    EXPECT_FALSE(recorder.watchdogArmed());
    EXPECT_TRUE(PortClosed(tcpPort));
    EXPECT_THAT(logText(), HasSubstr("- END - End MIREL.\n"));

    // The keyer's buffer is cleared (model 20), then automatic reports are switched off.
    // A late auto-information report may still have brought an "AI2;" before them.
    const std::vector<std::string> expected{"KY" + std::string(25, ' ') + ";", "AI0;"};
    ASSERT_TRUE(radio->waitForCommand("AI0;", 5s));
    std::vector<std::string> received = radio->receivedCommands();
    std::erase(received, "AI2;");
    EXPECT_EQ(received, expected);

    // Stopping again does nothing; the service can be started anew.
    controller->stop();
    EXPECT_EQ(recorder.changes.back(), "Busy: off");
    controller->control();
    EXPECT_TRUE(controller->state().serverOpen);
    controller->control();
    EXPECT_FALSE(controller->state().serviceRunning);
}

TEST_F(StopSequenceTest, PowerSwitchFollowsTheRadio)
{
    startRunning();
    radio->clearReceivedCommands();
    recorder.sleeps.clear();

    // On: the switch sends standby (model 20) and asks again; the display follows the reply.
    controller->powerSwitch();
    EXPECT_EQ(recorder.sleeps, std::vector<std::chrono::milliseconds>{200ms});
    ASSERT_TRUE(recorder.runUntil([&] { return !controller->display().power; }));
    EXPECT_FALSE(radio->poweredOn());
    ASSERT_TRUE(radio->waitForCommand("PS;", 5s));
    // Only the power commands: a late auto-information report may still bring an "AI2;".
    std::vector<std::string> off;
    for (const std::string& command : radio->receivedCommands()) {
        if (command.starts_with("PS")) {
            off.push_back(command);
        }
    }
    ASSERT_GE(off.size(), 2u);
    EXPECT_EQ(off[0], "PS9;");
    EXPECT_EQ(off[1], "PS;");

    radio->clearReceivedCommands();
    controller->powerSwitch();
    ASSERT_TRUE(recorder.runUntil([&] { return controller->display().power; }));
    EXPECT_TRUE(radio->poweredOn());
    ASSERT_TRUE(radio->waitForCommand("PS1;", 5s));

    // Without the service the switch does nothing.
    controller->stop();
    radio->clearReceivedCommands();
    controller->powerSwitch();
    EXPECT_EQ(radio->commandCount(), 0u);
}

// ---- Watchdog ----

using WatchdogTest = HostFixture;

TEST_F(WatchdogTest, PollsTheRadioWhileItAnswers)
{
    startRunning();
    for (int tick = 0; tick < 6; ++tick) {
        radio->clearReceivedCommands();
        recorder.fireWatchdog();
        // The power answer resets the count of silent ticks.
        ASSERT_TRUE(recorder.runUntil([&] { return controller->state().idleTicks == 0; }));
        ASSERT_TRUE(recorder.watchdogArmed());
        EXPECT_TRUE(radio->waitForCommand("PS;", 5s));
        EXPECT_TRUE(radio->waitForCommand("AI;", 5s)); // asked while the radio is on
    }
    EXPECT_TRUE(controller->state().serviceRunning);
}

TEST_F(WatchdogTest, StopsTheServiceAfterMoreThanThreeSilentTicks)
{
    startRunning();
    radio->setSilent(true);
    int idleBeforeLastTick = -1;
    for (int tick = 0; tick < 20 && controller->state().serviceRunning; ++tick) {
        recorder.handleMessages();
        idleBeforeLastTick = controller->state().idleTicks;
        recorder.fireWatchdog();
    }
    EXPECT_FALSE(controller->state().serviceRunning);
    EXPECT_EQ(idleBeforeLastTick, 3);
    EXPECT_EQ(controller->lastStop(), host::StopCause::Watchdog);
    EXPECT_FALSE(recorder.watchdogArmed());
    EXPECT_THAT(logText(), HasSubstr("- END - End MIREL.\n"));
    EXPECT_TRUE(PortClosed(tcpPort));
}

TEST_F(WatchdogTest, SleepsWhileAClientIsLoggedIn)
{
    startRunning();
    auto client = logIn();
    EXPECT_FALSE(recorder.watchdogArmed());

    // A silent radio goes unnoticed during the session: nothing polls it.
    radio->setSilent(true);
    client->send("FA;");
    ASSERT_TRUE(radio->waitForCommand("FA;", 5s));
    recorder.handleMessages();
    EXPECT_TRUE(controller->state().serviceRunning);
    EXPECT_FALSE(recorder.watchdogArmed());

    // The session ends: the watchdog is armed again and finds the radio silent.
    client->close();
    ASSERT_TRUE(recorder.runUntil([&] { return !controller->state().userLoggedOn; }));
    ASSERT_TRUE(recorder.watchdogArmed());
    for (int tick = 0; tick < 20 && controller->state().serviceRunning; ++tick) {
        recorder.handleMessages();
        recorder.fireWatchdog();
    }
    EXPECT_FALSE(controller->state().serviceRunning);
    EXPECT_EQ(controller->lastStop(), host::StopCause::Watchdog);
}

TEST_F(WatchdogTest, StopDuringASessionLeavesNoClientBehind)
{
    startRunning();
    auto client = logIn();
    controller->stop();
    EXPECT_FALSE(controller->state().userLoggedOn);
    EXPECT_TRUE(client->waitForClose());

    // After a new start the watchdog polls again: each tick reads the power state
    // and arms the next one.
    controller->start();
    ASSERT_TRUE(controller->state().serverOpen);
    recorder.handleMessages();
    radio->clearReceivedCommands();
    recorder.fireWatchdog();
    EXPECT_TRUE(radio->waitForCommand("PS;", 5s));
    EXPECT_TRUE(recorder.watchdogArmed());
}

// The radio's line goes away mid-session (an unplugged adapter): the client is told
// and closed, the service stops without waiting for the watchdog, and it starts again
// once the radio is back.
TEST_F(WatchdogTest, ALostRadioStopsTheServiceAtOnceAndAStartWorksOnceItIsBack)
{
    startRunning();
    auto client = logIn();
    radio->stop();
    EXPECT_NE(client->receiveUntil("Good-Bye\r\n;").find("Radio connection lost."), std::string::npos);
    EXPECT_TRUE(client->waitForClose());
    ASSERT_TRUE(recorder.runUntil([&] { return !controller->state().serviceRunning; }));
    EXPECT_EQ(controller->lastStop(), host::StopCause::RadioLost);
    EXPECT_FALSE(recorder.watchdogArmed());
    EXPECT_TRUE(PortClosed(tcpPort));
    const std::string log = logText();
    EXPECT_THAT(log, HasSubstr("- RADIO - Connection lost on COM1.\n"));
    EXPECT_THAT(log, HasSubstr("127.0.0.1 CONN alice Radio connection lost.\n"));
    EXPECT_THAT(log, HasSubstr("- END - End MIREL.\n"));

    startRadio(20);
    controller->start();
    ASSERT_TRUE(controller->state().serverOpen);
    auto again = logIn();
    again->send("FA;");
    EXPECT_NE(again->receiveUntil("FA00014195000;").find("FA00014195000;"), std::string::npos);
}

} // namespace
} // namespace hosttest
