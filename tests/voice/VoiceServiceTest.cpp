// SPDX-License-Identifier: GPL-3.0-or-later
// Voice-call handling driven by the real service: a simulated radio, a client that
// logs in over loopback TCP, and the fake call-handling object. Handling starts at
// the login only when the setting, the system and the plug-in allow it, and only
// then is the client told "@@VE1;"; it stops when the session closes, in the stop
// sequence and when the controller goes.
#include "FakeTapi.h"

#include "host/voice/VoiceCalls.h"
#include "HostFixture.h"

#include <gmock/gmock.h>

namespace voicetest {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

class VoiceServiceTest : public hosttest::HostFixture {
protected:
    // Gives the controller voice handling over the fake plug-in.
    VoiceCalls& attachVoice(int osAnswer = 1, bool pluginLoaded = true)
    {
        auto voice = std::make_unique<VoiceCalls>(&recorder.queue, pluginLoaded ? fake.factory() : IncomingTapiFactory(),
                                                  [osAnswer] { return osAnswer; });
        VoiceCalls& handler = *voice;
        controller->setVoiceHook(std::move(voice));
        return handler;
    }

    void setVoiceOption(int value) { platform::ApplicationProfile().WriteProfileInt("Setting", "MIREL Voice", value); }

    // What the logged-in client was sent after its login, up to the answer to "@@ST;".
    static std::string sentAfterLogin(testsupport::LoopbackClient& client)
    {
        client.send("@@ST;");
        return client.receiveUntil("@@ST");
    }

    // Logs a client in, with the voice notice it was sent.
    std::pair<std::unique_ptr<testsupport::LoopbackClient>, std::string> logInWithNotices()
    {
        auto client = logIn();
        std::string sent = sentAfterLogin(*client);
        return {std::move(client), std::move(sent)};
    }

    void logOut(std::unique_ptr<testsupport::LoopbackClient> client)
    {
        client->close();
        ASSERT_TRUE(recorder.runUntil([&] { return !controller->state().userLoggedOn; }));
    }

    FakeFactory fake;
    EventCount events;
};

TEST_F(VoiceServiceTest, HandlingAndTheNoticeOnlyWhenOptionSystemAndPlugInAllow)
{
    startRunning();
    struct Row {
        const char* name;
        int option;
        int osAnswer;
        bool pluginLoaded;
        bool starts;
    };
    const Row rows[] = {
        {"option off", 0, 1, true, false},
        {"system answers 0", 1, 0, true, false},
        {"plug-in missing", 1, 1, false, false},
        {"all allow", 1, 1, true, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        setVoiceOption(row.option);
        VoiceCalls& voice = attachVoice(row.osAnswer, row.pluginLoaded);

        auto [client, sent] = logInWithNotices();
        if (row.starts) {
            EXPECT_THAT(sent, HasSubstr("@@VE1;"));
            EXPECT_TRUE(voice.active());
            EXPECT_THAT(fake.journal->take(), ElementsAre("new", "InitializeTapi"));
            EXPECT_EQ(fake.last->window, &recorder.queue);
            // Calls are taken from the logged-in client's address only.
            EXPECT_EQ(fake.last->callerAddress, "127.0.0.1");
        } else {
            EXPECT_THAT(sent, Not(HasSubstr("@@VE")));
            EXPECT_FALSE(voice.active());
            EXPECT_THAT(fake.journal->take(), IsEmpty());
        }

        logOut(std::move(client));
        EXPECT_FALSE(voice.active());
        if (row.starts) {
            EXPECT_THAT(fake.journal->take(), ElementsAre("DisconnectTheCall", "ShutdownTapi", "delete"));
        } else {
            EXPECT_THAT(fake.journal->take(), IsEmpty());
        }
    }
}

TEST_F(VoiceServiceTest, ALogoutDuringACallDropsItAndTheNextLoginStartsAfresh)
{
    startRunning();
    setVoiceOption(1);
    VoiceCalls& voice = attachVoice();
    auto client = logIn();
    voice.handleEvent(TE_CALLNOTIFICATION, NotificationOf(events, std::make_shared<FakeCall>("A")));
    voice.handleEvent(TE_CALLSTATE, StateOf(events, CS_OFFERING));
    EXPECT_THAT(fake.journal->take(), ElementsAre("new", "InitializeTapi", "SetCurrentCall A", "AnswerTheCall"));

    logOut(std::move(client));
    EXPECT_THAT(fake.journal->take(), ElementsAre("DisconnectTheCall", "ShutdownTapi", "delete"));
    EXPECT_TRUE(controller->state().serviceRunning);
    EXPECT_TRUE(recorder.watchdogArmed());

    auto [again, sent] = logInWithNotices();
    EXPECT_THAT(sent, HasSubstr("@@VE1;"));
    EXPECT_EQ(voice.callCount(), 0);
    EXPECT_THAT(fake.journal->take(), ElementsAre("new", "InitializeTapi"));
    EXPECT_EQ(events.released, events.made);
}

TEST_F(VoiceServiceTest, StopSequenceAndTearDownStopHandlingWhileTheClientIsStillThere)
{
    for (const bool tearDown : {false, true}) {
        SCOPED_TRACE(tearDown ? "tear-down" : "stop sequence");
        startRunning();
        setVoiceOption(1);
        VoiceCalls& voice = attachVoice();
        auto client = logIn();
        int clientAtShutdown = -1;
        fake.last->onShutdown = [&] { clientAtShutdown = CLinkcore::GetClientExest(); };
        fake.journal->take();

        if (tearDown) {
            controller.reset();
        } else {
            controller->stop();
            EXPECT_FALSE(voice.active());
            EXPECT_FALSE(controller->state().serviceRunning);
        }
        EXPECT_THAT(fake.journal->take(), ElementsAre("DisconnectTheCall", "ShutdownTapi", "delete"));
        // Voice goes first; the session server closes after it.
        EXPECT_EQ(clientAtShutdown, 1);
        EXPECT_TRUE(client->waitForClose());

        controller.reset();
        radio->stop();
        radio.reset();
        EXPECT_THAT(fake.journal->take(), IsEmpty());
    }
}

} // namespace
} // namespace voicetest
