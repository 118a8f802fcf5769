// SPDX-License-Identifier: GPL-3.0-or-later
// The radio link end to end: the library opens a pseudo-terminal served by the radio
// simulator, identifies the model the way the host does, keeps the radio state
// current from replies that arrive in any pieces, relays them to a logged-in client
// on the library's endpoint, and closes while the radio is talking.

#include "RadioLinkFixture.h"

#include "platform/Profile.h"
#include "testsupport/Wait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <cstring>
#include <string>
#include <thread>

namespace radiotest {
namespace {

using linkcore::kModelCorvex;
using linkcore::kModelTarsel;
using testsupport::WaitUntil;

using RadioConnectionTest = RadioLinkFixture;

// A status reply of 37 characters.
const std::string kStatus =
    std::string("IF") + "00014195000" + "0000" + "+00000" + "000" + "00" + "020000" + "00" + "0";

class HostStartupTest : public RadioLinkFixture, public ::testing::WithParamInterface<int> {};

TEST_P(HostStartupTest, OpensWithModel20AndLearnsTheRadiosModel)
{
    startRadio(GetParam());
    ASSERT_EQ(openLink(kModelTarsel), 1);
    EXPECT_EQ(shared_.radioConnected, 1);
    EXPECT_EQ(state_.model(), kModelTarsel);
    EXPECT_EQ(state_.ID.received, 0);

    EXPECT_EQ(identifyLikeHost(), static_cast<unsigned>(GetParam()));
    EXPECT_TRUE(radio_->waitForCommand("ID;", 1s));
    EXPECT_EQ(state_.model(), GetParam());
    EXPECT_EQ(state_.ID.received, 1);
    EXPECT_TRUE(WaitUntil([&] { return window_.size() > 0; }));
    EXPECT_EQ(window_.drain().back(), (platform::Message{kNotify, 0x101D, GetParam()}));
}

INSTANTIATE_TEST_SUITE_P(BothModels, HostStartupTest, ::testing::Values(kModelCorvex, kModelTarsel));

TEST_F(RadioConnectionTest, ASilentRadioLeavesTheModelUnknown)
{
    startRadio(kModelTarsel);
    radio_->setSilent(true);
    ASSERT_EQ(openLink(kModelTarsel), 1);
    EXPECT_EQ(identifyLikeHost(), 0u);
    EXPECT_EQ(state_.model(), 0);
    unsigned model = 99;
    EXPECT_EQ(linkcore_.RcvDataID(&model), 0);
    EXPECT_EQ(model, 0u);

    // The answer may still come in; only a supported model is reported.
    radio_->inject("ID015;");
    ASSERT_TRUE(WaitUntil([&] { return state_.ID.received == 1; }));
    EXPECT_EQ(linkcore_.RcvDataID(&model), 0);
    EXPECT_EQ(model, 0u);
    radio_->inject("ID019;");
    ASSERT_TRUE(WaitUntil([&] { return linkcore_.RcvDataID(&model) == 1; }));
    EXPECT_EQ(model, 19u);
}

TEST_F(RadioConnectionTest, AnUnsupportedModelIsKnownButNotReported)
{
    startRadio(15);
    ASSERT_EQ(openLink(kModelTarsel), 1);
    EXPECT_EQ(identifyLikeHost(), 0u);
    EXPECT_EQ(state_.ID.received, 1);
    EXPECT_EQ(state_.model(), 15);
    // Every other reply is ignored for an unsupported model.
    radio_->inject("AI2;ID015;");
    ASSERT_TRUE(WaitUntil([&] { return window_.size() >= 2; }));
    EXPECT_EQ(state_.AI.received, 0);
    for (const platform::Message& message : window_.drain()) {
        EXPECT_EQ(message, (platform::Message{kNotify, 0x101D, 15}));
    }
}

TEST_F(RadioConnectionTest, OpeningAMissingDeviceFailsAndLeavesTheLinkClosed)
{
    ASSERT_EQ(platform::ApplicationProfile().WriteProfileString("COM Devices", "COM7",
                                                                (dir_ / "no-such-tty").string()),
              1);
    state_.AI.value = 3;
    EXPECT_EQ(openLink(kModelTarsel), 0);
    EXPECT_EQ(messageBoxes(), std::vector<std::string>{"Error opening COM port"});
    EXPECT_EQ(shared_.radioConnected, 0);
    EXPECT_EQ(shared_.radioReaderAlive, 0);
    EXPECT_EQ(state_.AI.value, 3);
    EXPECT_EQ(connDirect("ID;"), 0);
    EXPECT_EQ(linkcore_.ConnID(), 0);
    EXPECT_EQ(linkcore_.ConnDirect(nullptr), 0);
    linkcore_.RadioConnectionClose();
}

TEST_F(RadioConnectionTest, TheClearFlagDecidesWhetherTheLastValuesSurviveAReopen)
{
    startRadio(kModelCorvex);
    ASSERT_EQ(openLink(kModelCorvex), 1);
    radio_->inject("AI2;FA00014195000;");
    ASSERT_TRUE(WaitUntil([&] { return state_.FA.received == 1; }));
    linkcore_.RadioConnectionClose();
    EXPECT_EQ(shared_.radioConnected, 0);
    EXPECT_EQ(shared_.radioReaderAlive, 0);

    ASSERT_EQ(openLink(kModelTarsel, 0), 1);
    EXPECT_EQ(state_.AI.received, 1);
    EXPECT_EQ(state_.AI.value, 2);
    EXPECT_EQ(state_.model(), kModelCorvex);
    linkcore_.RadioConnectionClose();

    ASSERT_EQ(openLink(kModelTarsel, 1), 1);
    EXPECT_EQ(state_.AI.received, 0);
    EXPECT_EQ(state_.FA.text.str(), "");
    EXPECT_EQ(state_.model(), kModelTarsel);
    EXPECT_EQ(state_.ID.received, 0);
}

TEST_F(RadioConnectionTest, OpeningAnOpenLinkKeepsItsOneReader)
{
    startRadio(kModelTarsel);
    ASSERT_EQ(openLink(kModelTarsel), 1);
    radio_->inject("AI2;");
    ASSERT_TRUE(WaitUntil([&] { return state_.AI.received == 1; }));
    ASSERT_EQ(openLink(kModelTarsel, 1), 1);
    EXPECT_EQ(state_.AI.received, 0);
    radio_->inject("AN1;");
    EXPECT_TRUE(WaitUntil([&] { return state_.AN.received == 1; }));
    linkcore_.RadioConnectionClose();
    EXPECT_EQ(shared_.radioReaderAlive, 0);
    EXPECT_EQ(connDirect(";"), 0);
}

TEST_F(RadioConnectionTest, ABurstIsParsedAtOnceAndItsPartialReplyWhenCompleted)
{
    startRadio(kModelTarsel);
    ASSERT_EQ(openLink(kModelTarsel), 1);
    radio_->inject("FA00014195000;MD3;" + kStatus.substr(0, 20));
    ASSERT_TRUE(WaitUntil([&] { return state_.FA.received == 1 && state_.MD.received == 1; }));
    EXPECT_EQ(state_.FA.text.str(), "00014195000");
    EXPECT_EQ(state_.MD.value, 3);
    EXPECT_EQ(state_.IF.received, 0);
    radio_->inject(kStatus.substr(20) + ";");
    ASSERT_TRUE(WaitUntil([&] { return state_.IF.received == 1; }));
    EXPECT_EQ(state_.IF.text.str(), "00014195000");
    EXPECT_EQ(state_.IF.digit33, 0);
    EXPECT_EQ(state_.IF.digit29, 2);
}

TEST_F(RadioConnectionTest, RepliesSplitAtEveryByteArriveWhole)
{
    startRadio(kModelTarsel);
    ASSERT_EQ(openLink(kModelTarsel), 1);
    const std::size_t replyLength = std::string("FA00007000000;").size();
    for (std::size_t cut = 1; cut < replyLength; ++cut) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        char set[32];
        std::snprintf(set, sizeof set, "FA%011zu;", 7000000 + cut);
        ASSERT_TRUE(radio_->operate(set));
        radio_->setSplitPoints({cut});
        state_.FA = {};
        ASSERT_EQ(connDirect("FA;"), 1);
        ASSERT_TRUE(WaitUntil([&] { return state_.FA.received == 1; }));
        EXPECT_EQ(state_.FA.text.str(), std::string(set + 2, 11));
    }
    // A status reply cut into many small pieces.
    radio_->setSplitPoints({1, 2, 3, 5, 8, 13, 21, 34});
    ASSERT_EQ(connDirect("IF;"), 1);
    ASSERT_TRUE(WaitUntil([&] { return state_.IF.received == 1; }));
    EXPECT_EQ(state_.IF.text.str(), radio_->query("IF;").substr(2, 11));
}

TEST_F(RadioConnectionTest, ALoggedInClientReceivesTheRadiosTextByteForByte)
{
    startRadio(kModelTarsel);
    ASSERT_EQ(openLink(kModelTarsel), 1);
    auto client = connectClient(true);
    // Replies the parser ignores are relayed as well.
    const std::string text = "ZZ9;?;AI1;FA00014195000;";
    radio_->inject(text.substr(0, 7));
    radio_->inject(text.substr(7));
    EXPECT_EQ(client->receiveUntil("FA00014195000;"), text);
    EXPECT_EQ(state_.AI.value, 1);
}

TEST_F(RadioConnectionTest, WithoutALoggedInClientRepliesAreParsedButNotRelayed)
{
    startRadio(kModelTarsel);
    ASSERT_EQ(openLink(kModelTarsel), 1);
    auto client = connectClient(false);
    radio_->inject("AI1;");
    ASSERT_TRUE(WaitUntil([&] { return state_.AI.received == 1; }));
    // The reader decides about relaying a batch before it takes the next one: once
    // the next reply is parsed, the decision about "AI1;" has been made.
    radio_->inject("AN2;");
    ASSERT_TRUE(WaitUntil([&] { return state_.AN.received == 1; }));
    shared_.session.clientLoggedIn = 1;
    radio_->inject("MD3;");
    const std::string relayed = client->receiveUntil("MD3;");
    EXPECT_TRUE(relayed.ends_with("MD3;")) << relayed;
    EXPECT_EQ(relayed.find("AI1;"), std::string::npos) << relayed;
}

TEST_F(RadioConnectionTest, InPassThroughModeTheRadiosTextIsRelayedRawAndNotParsed)
{
    startRadio(kModelCorvex);
    ASSERT_EQ(openLink(kModelCorvex), 1);
    auto client = connectClient(true);
    ASSERT_EQ(connDirect("EX05500001;"), 1);
    EXPECT_EQ(client->receiveUntil("EX05500001;"), "EX05500001;");
    ASSERT_TRUE(WaitUntil([&] { return shared_.passThrough == 1; }));

    // The radio now echoes the terminal text; a reply-like text changes nothing.
    const StateCells before = CellsOf(state_);
    EXPECT_EQ(linkcore_.ConnID(), 0);
    ASSERT_EQ(connDirect("AI1;hello"), 1);
    EXPECT_EQ(client->receiveUntil("hello"), "AI1;hello");
    EXPECT_EQ(ChangedCells(before, CellsOf(state_)), std::vector<std::size_t>{});

    // Back to command mode, as the TC builder does: the flag first, then the exit text.
    shared_.passThrough = 0;
    ASSERT_EQ(connDirect("\x03;\rTC 1;\r"), 1);
    ASSERT_TRUE(WaitUntil([&] { return state_.TC.received == 1; }));
    EXPECT_EQ(state_.TC.digit3, 1);
    EXPECT_EQ(shared_.passThrough, 0);
    EXPECT_EQ(linkcore_.ConnID(), 1);
}

TEST_F(RadioConnectionTest, RadioTextIsNotRelayedToAClientThatHasNotLoggedInEvenInPassThroughMode)
{
    // What the radio sent, as seen on its own thread.
    struct Sent {
        std::mutex mutex;
        std::string text;
    };
    auto sent = std::make_shared<Sent>();
    radiosim::Options options;
    options.model = kModelCorvex;
    options.trace = [sent](radiosim::Direction direction, std::string_view text) {
        if (direction == radiosim::Direction::Sent) {
            std::lock_guard lock(sent->mutex);
            sent->text += text;
        }
    };
    startRadio(std::move(options));
    ASSERT_EQ(openLink(kModelCorvex), 1);
    auto client = connectClient(false);
    ASSERT_EQ(connDirect("EX05500001;"), 1);
    ASSERT_TRUE(WaitUntil([&] { return shared_.passThrough == 1; }));
    ASSERT_EQ(connDirect("secret;"), 1);
    ASSERT_TRUE(WaitUntil([&] {
        std::lock_guard lock(sent->mutex);
        return sent->text.find("secret;") != std::string::npos;
    }));
    // Back to command mode: the radio's answer follows its echo, so once the answer
    // is parsed the echo has been handled, in pass-through mode or framed.
    shared_.passThrough = 0;
    ASSERT_EQ(connDirect("\x03;\rTC 1;\r"), 1);
    ASSERT_TRUE(WaitUntil([&] { return state_.TC.received == 1; }));

    shared_.session.clientLoggedIn = 1;
    radio_->inject("AN2;");
    const std::string relayed = client->receiveUntil("AN2;");
    EXPECT_TRUE(relayed.ends_with("AN2;")) << relayed;
    EXPECT_EQ(relayed.find("secret"), std::string::npos) << relayed;
    EXPECT_EQ(relayed.find("EX055"), std::string::npos) << relayed;
}

TEST_F(RadioConnectionTest, TwoInstancesShareOneLink)
{
    startRadio(kModelTarsel);
    CLinkcore opener;
    CLinkcore host;
    platform::MessageQueue hostWindow;
    ASSERT_EQ(opener.RadioConnectionOpen(kModelTarsel, kComPort, kBaud, 1), 1);
    host.WinMsgSendReg(&hostWindow);
    radio_->inject("AI1;");
    auto message = hostWindow.take(5s);
    ASSERT_TRUE(message.has_value());
    EXPECT_EQ(*message, (platform::Message{kNotify, 0x1002, 1}));
    EXPECT_TRUE(window_.drain().empty());

    ASSERT_EQ(host.ConnID(), 1);
    unsigned model = 0;
    EXPECT_TRUE(WaitUntil([&] { return opener.RcvDataID(&model) == 1; }));
    EXPECT_EQ(model, 20u);

    opener.SetLoadMessageEnable(1);
    EXPECT_EQ(shared_.loadMessageEnable, 1);

    host.RadioConnectionClose();
    EXPECT_EQ(shared_.radioReaderAlive, 0);
    EXPECT_EQ(opener.ConnID(), 0);
    // Settings of the record outlive the connection.
    EXPECT_EQ(shared_.notifyWindow.load(), &hostWindow);
    EXPECT_EQ(shared_.loadMessageEnable, 1);
    host.WinMsgSendReg(nullptr);
    host.SetLoadMessageEnable(0);
}

TEST_F(RadioConnectionTest, ClosingWhileRepliesStreamInEndsTheReader)
{
    startRadio(kModelTarsel);
    auto client = connectClient(true);
    for (int round = 0; round < 5; ++round) {
        ASSERT_EQ(openLink(kModelTarsel), 1);
        std::atomic<bool> streaming{true};
        std::thread talker([&] {
            while (streaming) {
                radio_->inject("FA00014195000;SM00012;" + kStatus + ";AI1;");
                std::this_thread::yield();
            }
        });
        ASSERT_TRUE(WaitUntil([&] { return state_.IF.received == 1; }));
        linkcore_.RadioConnectionClose();
        EXPECT_EQ(shared_.radioConnected, 0);
        EXPECT_EQ(shared_.radioReaderAlive, 0);
        EXPECT_EQ(connDirect("FA;"), 0);
        streaming = false;
        talker.join();
        client->receiveFor(0ms);
    }
}

TEST_F(RadioConnectionTest, ConnIdForgetsTheModelUntilTheRadioAnswers)
{
    startRadio(kModelCorvex);
    radio_->setSilent(true);
    ASSERT_EQ(openLink(kModelCorvex), 1);
    unsigned model = 0;
    ASSERT_EQ(linkcore_.ConnID(), 1);
    EXPECT_TRUE(radio_->waitForCommand("ID;", 1s));
    EXPECT_EQ(state_.model(), 0);
    EXPECT_EQ(linkcore_.RcvDataID(&model), 0);
    radio_->inject("ID019;");
    ASSERT_TRUE(WaitUntil([&] { return linkcore_.RcvDataID(&model) == 1; }));
    EXPECT_EQ(model, 19u);
    EXPECT_EQ(linkcore_.RcvDataID(nullptr), 0);
}

TEST(RadioNameTest, NamesModelIds1To20)
{
    CLinkcore linkcore;
    unsigned char name[CLinkcore::kRadioNameSize];
    ASSERT_EQ(linkcore.GetRadioName(19, name), 1);
    EXPECT_STREQ(reinterpret_cast<char*>(name), "Corvex");
    ASSERT_EQ(linkcore.GetRadioName(20, name), 1);
    EXPECT_STREQ(reinterpret_cast<char*>(name), "Tarsel");
    for (unsigned model = 1; model <= 18; ++model) {
        ASSERT_EQ(linkcore.GetRadioName(model, name), 1);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(name)), "Model " + std::to_string(model));
    }
    for (const unsigned model : {0u, 21u, 0xFFFFFFFFu}) {
        std::memset(name, 'x', sizeof name);
        EXPECT_EQ(linkcore.GetRadioName(model, name), 0);
        EXPECT_EQ(std::memcmp(name, "\0\0\0\0xxxx", 8), 0);
    }
}

} // namespace
} // namespace radiotest
