// SPDX-License-Identifier: GPL-3.0-or-later
#include "radiosim/RadioSimulator.h"

#include "DeviceTerminal.h"
#include "testsupport/PtyPair.h"
#include "testsupport/Wait.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace radiosim {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;

// The simulator serves the device end of a pseudo-terminal, as it would a serial
// port; the test plays the host on the controller end.
struct RadioOnLine {
    explicit RadioOnLine(Options options = {}) : radio(std::move(options))
    {
        started = radio.startOnDevice(line.devicePath());
    }

    std::string ask(std::string_view command, std::size_t replyLength)
    {
        line.send(command);
        return line.receive(replyLength);
    }

    testsupport::PtyPair line;
    RadioSimulator radio;
    bool started = false;
};

// One end of a packet socket pair: every write of the simulator is one packet,
// so the pieces of a split reply can be seen one by one.
class PacketPeer {
public:
    PacketPeer() { ::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds_); }
    ~PacketPeer()
    {
        if (fds_[1] >= 0) {
            ::close(fds_[1]);
        }
    }
    int simulatorEnd() { return std::exchange(fds_[0], -1); }
    void send(std::string_view bytes) { ::send(fds_[1], bytes.data(), bytes.size(), MSG_NOSIGNAL); }
    // Packets received until their text adds up to `total` bytes or 5 s pass.
    std::vector<std::string> packets(std::size_t total)
    {
        std::vector<std::string> received;
        std::size_t size = 0;
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (size < total && std::chrono::steady_clock::now() < deadline) {
            pollfd readable{fds_[1], POLLIN, 0};
            if (::poll(&readable, 1, 100) <= 0) {
                continue;
            }
            char packet[256];
            const ssize_t n = ::recv(fds_[1], packet, sizeof packet, 0);
            if (n <= 0) {
                break;
            }
            received.emplace_back(packet, static_cast<std::size_t>(n));
            size += static_cast<std::size_t>(n);
        }
        return received;
    }

private:
    int fds_[2] = {-1, -1};
};

TEST(SimulatorOnLine, AnswersAndRecordsCommandsInOrder)
{
    RadioOnLine rig;
    ASSERT_TRUE(rig.started) << rig.radio.error();
    EXPECT_EQ(rig.ask("ID;\r\nFA;;", 20), "ID020;FA00014195000;");
    ASSERT_TRUE(rig.radio.waitForCommandCount(3, 5s));
    EXPECT_THAT(rig.radio.receivedCommands(), ElementsAre("ID;", "FA;", ";"));
    EXPECT_TRUE(rig.radio.waitForCommand("FA;", 5s));

    rig.radio.clearReceivedCommands();
    EXPECT_EQ(rig.radio.commandCount(), 0u);
    EXPECT_EQ(rig.ask("FA00007000000;MD;", 4), "MD2;");
    EXPECT_THAT(rig.radio.receivedCommands(), ElementsAre("FA00007000000;", "MD;"));
    EXPECT_EQ(rig.radio.query("FA;"), "FA00007000000;");
}

TEST(SimulatorOnLine, InjectedTextAndFrontPanelReportsReachTheLine)
{
    RadioOnLine rig;
    ASSERT_TRUE(rig.started);
    rig.radio.inject("FA00007000000;");
    EXPECT_EQ(rig.line.receive(14), "FA00007000000;");

    EXPECT_EQ(rig.ask("AI2;", 4), "AI2;");
    EXPECT_TRUE(rig.radio.operate("MD3;"));
    EXPECT_EQ(rig.line.receive(4), "MD3;");
    EXPECT_FALSE(rig.radio.operate("ZZ1;"));
    EXPECT_EQ(rig.radio.query("MD;"), "MD3;");
    EXPECT_EQ(rig.radio.autoInformation(), 2);
}

TEST(SimulatorOnLine, SilentRadioKeepsListeningWithoutAnswering)
{
    RadioOnLine rig;
    ASSERT_TRUE(rig.started);
    rig.radio.setSilent(true);
    rig.line.send("ID;PS0;");
    ASSERT_TRUE(rig.radio.waitForCommand("PS0;", 5s));
    EXPECT_FALSE(rig.radio.poweredOn());

    rig.radio.setSilent(false);
    // Replies go out in order, so the first bytes now are the answer to this request.
    EXPECT_EQ(rig.ask("PS;", 4), "PS0;");
}

TEST(SimulatorOnLine, NoiseGoesOutBeforeEveryReply)
{
    RadioOnLine rig;
    ASSERT_TRUE(rig.started);
    rig.radio.setNoise("#!");
    EXPECT_EQ(rig.ask("ID;MD;", 16), "#!ID020;#!MD2;");

    rig.radio.setNoise("");
    rig.radio.setRandomNoise(true);
    rig.line.send("ID;");
    std::string noisy;
    ASSERT_TRUE(testsupport::WaitUntil([&] {
        noisy += rig.line.receive(1, 10ms);
        return noisy.ends_with("ID020;");
    }));
    const std::string noise = noisy.substr(0, noisy.size() - 6);
    EXPECT_GE(noise.size(), 1u);
    EXPECT_LE(noise.size(), 8u);
    EXPECT_EQ(noise.find(';'), std::string::npos);
}

TEST(SimulatorOnLine, PassThroughEchoesUntilTheExitText)
{
    Options options;
    options.model = 19;
    RadioOnLine rig(options);
    ASSERT_TRUE(rig.started);
    EXPECT_EQ(rig.ask("TC 0;", 5), "TC 0;");
    EXPECT_TRUE(rig.radio.passThrough());
    EXPECT_EQ(rig.ask("CQ CQ;ID;", 9), "CQ CQ;ID;");
    EXPECT_EQ(rig.ask("\x03;\rTC 1;\rID;", 11), "TC 1;ID019;");
    EXPECT_FALSE(rig.radio.passThrough());
    EXPECT_EQ(rig.radio.passThroughText(), "CQ CQ;ID;");
    EXPECT_THAT(rig.radio.receivedCommands(), ElementsAre("TC 0;", "TC 1;", "ID;"));
}

TEST(SimulatorOnLine, PacedDelayedAndSplitRepliesStillArriveWhole)
{
    Options options;
    options.baud = 9600;
    options.replyDelay = 5ms;
    RadioOnLine rig(options);
    ASSERT_TRUE(rig.started);
    rig.radio.setSplitPoints({1, 3});
    rig.radio.setNoise("~");
    EXPECT_EQ(rig.ask("ID;FA;", 22), "~ID020;~FA00014195000;");
}

TEST(SimulatorOnLine, HangUpOfTheLineEndsTheSimulatorAndIsReported)
{
    std::atomic<bool> reported{false};
    Options options;
    options.onClosed = [&] { reported = true; };
    RadioOnLine rig(options);
    ASSERT_TRUE(rig.started);
    EXPECT_EQ(rig.ask("ID;", 6), "ID020;");
    rig.line.closeController();
    EXPECT_TRUE(rig.radio.waitUntilClosed(5s));
    EXPECT_FALSE(rig.radio.running());
    EXPECT_TRUE(testsupport::WaitUntil([&] { return reported.load(); }));
}

TEST(SimulatorOnLine, StopIsNotReportedAsAClose)
{
    std::atomic<bool> reported{false};
    Options options;
    options.onClosed = [&] { reported = true; };
    RadioOnLine rig(options);
    ASSERT_TRUE(rig.started);
    rig.radio.stop();
    EXPECT_FALSE(rig.radio.running());
    // A report would come from the simulator's thread: give a late one time to arrive.
    EXPECT_FALSE(testsupport::WaitUntil([&] { return reported.load(); }, 300ms));
}

TEST(SimulatorOnSocket, SplitRepliesArriveInTheChosenPieces)
{
    PacketPeer peer;
    RadioSimulator radio;
    ASSERT_TRUE(radio.startOnDescriptor(peer.simulatorEnd())) << radio.error();
    radio.setSplitPoints({5, 2, 40});
    peer.send("FA;");
    EXPECT_THAT(peer.packets(14), ElementsAre("FA", "000", "14195000;"));

    radio.setSplitPoints({});
    radio.setRandomSplit(true);
    peer.send("IF;");
    const std::vector<std::string> pieces = peer.packets(38);
    EXPECT_GE(pieces.size(), 2u);
    EXPECT_LE(pieces.size(), 4u);
    std::string joined;
    for (const std::string& piece : pieces) {
        EXPECT_FALSE(piece.empty());
        joined += piece;
    }
    EXPECT_EQ(joined, radio.query("IF;"));
}

TEST(SimulatorOwnTerminal, ServesItsDeviceAndHangsUpAfterTheChosenNumberOfCommands)
{
    RadioSimulator radio;
    ASSERT_TRUE(radio.start()) << radio.error();
    testing::DeviceTerminal host(radio.devicePath());
    ASSERT_TRUE(host.isOpen());
    radio.closeAfterCommands(2);
    host.send("ID;MD;FA;");
    EXPECT_EQ(host.receive(10), "ID020;MD2;");
    EXPECT_TRUE(host.waitForHangUp());
    EXPECT_TRUE(radio.waitUntilClosed(5s));
    EXPECT_EQ(radio.commandCount(), 2u);
}

TEST(SimulatorOwnTerminal, StopReturnsWhileNobodyReadsTheLine)
{
    RadioSimulator radio;
    ASSERT_TRUE(radio.start());
    testing::DeviceTerminal host(radio.devicePath());
    ASSERT_TRUE(host.isOpen());
    radio.inject(std::string(1 << 20, 'x'));
    // The line's buffer fills up and the simulator waits to write the rest.
    ASSERT_TRUE(testsupport::WaitUntil([&] {
        int queued = 0;
        return ::ioctl(host.fd(), FIONREAD, &queued) == 0 && queued >= 1024;
    }));
    radio.stop();
    EXPECT_FALSE(radio.running());
}

} // namespace
} // namespace radiosim
