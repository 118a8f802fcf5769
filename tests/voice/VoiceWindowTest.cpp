// SPDX-License-Identifier: GPL-3.0-or-later
// Voice-call handling through the real main window under the offscreen platform:
// the window loads the stand-in plug-in at start-up, the plug-in's thread posts a
// ringing call to the window, and the window's event loop hands the events to the
// handler; the window owns the video window, and its OFF command and its closing
// stop the handling. With the system's own answer where the telephony engine is
// missing (0) nothing is loaded.
#include "FakeTapi.h"
#include "PluginProbe.h"

#include "host/voice/VoiceCalls.h"
#include "skinwork/VoiceEnable.h"
#include "GuiFixture.h"

#include <gmock/gmock.h>

namespace voicetest {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

class VoiceWindowTest : public guitest::GuiFixture {
protected:
    void SetUp() override
    {
        GuiFixture::SetUp();
        // A copy of its own is a library that no other test has loaded.
        std::filesystem::copy_file(FAKE_VOXLINE, plugin);
    }
    void TearDown() override
    {
        skinwork::SetTelephonyEngineSearch(std::nullopt);
        GuiFixture::TearDown();
    }

    void openVoiceWindow(std::function<int()> voiceEnableOS)
    {
        startRadio(20);
        platform::ApplicationProfile().WriteProfileInt("Setting", "MIREL Voice", 1);
        const char* arguments[] = {"ondrel"};
        window = std::make_unique<host::gui::MainWindow>(host::ParseHostOptions(1, arguments), false,
                                                         host::gui::VoiceBinding{std::move(voiceEnableOS), plugin});
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        startFromControl();
    }

    // What the client was sent after its login, up to the answer to "@@ST;".
    static std::string sentAfterLogin(testsupport::LoopbackClient& client)
    {
        client.send("@@ST;");
        return client.receiveUntil("@@ST");
    }

    // Runs the window until the plug-in's journal has grown by `entries`.
    bool journalReaches(const std::string& entries)
    {
        return runUntil([&] {
            journal += TakeJournal(plugin);
            return journal == entries;
        });
    }

    platform::MessageTarget* windowHandle() { return &window->host().target(); }

    std::string plugin = (dir / "libVoxline.so").string();
    std::string journal;
    EventCount events;
};

TEST_F(VoiceWindowTest, OffWhereTheTelephonyEngineIsMissing)
{
    std::filesystem::create_directory(dir / "no-engine");
    skinwork::SetTelephonyEngineSearch(skinwork::EngineSearch{(dir / "no-engine").string(), ""});
    openVoiceWindow([] { return GetVoiceEnableOS(); });
    EXPECT_FALSE(IsLoaded(plugin));
    auto client = logIn();
    EXPECT_THAT(sentAfterLogin(*client), Not(HasSubstr("@@VE")));
    EXPECT_FALSE(window->voiceCalls()->active());
}

TEST_F(VoiceWindowTest, ACallRingsThroughTheWindowAndEndsWithTheSession)
{
    testsupport::MessageBoxCapture boxes;
    openVoiceWindow([] { return 1; });
    EXPECT_TRUE(IsLoaded(plugin));
    EXPECT_EQ(TakeJournal(plugin), "");

    auto client = logIn();
    EXPECT_THAT(sentAfterLogin(*client), HasSubstr("@@VE1;"));
    // The plug-in rings at once; its events come through the window's event loop.
    ASSERT_TRUE(journalReaches("new;InitializeTapi;SetCurrentCall ringing;released notification;AnswerTheCall;"
                               "released offer;"))
        << journal;
    EXPECT_EQ(window->voiceCalls()->callCount(), 1);

    // The far end's picture goes right of our own, as a bordered child of the window.
    auto video = std::make_shared<FakeVideoWindow>();
    PostTapiEvent(windowHandle(), TE_CALLMEDIA,
                  MediaOf(events, CME_STREAM_ACTIVE,
                          VideoStream(TD_RENDER, {std::make_shared<FakeTerminal>(TD_RENDER, video)})));
    PostTapiEvent(windowHandle(), TE_CALLMEDIA, MediaOf(events, CME_TERMINAL_FAIL));
    ASSERT_TRUE(runUntil([&] { return events.released == 2; }));
    EXPECT_EQ(video->owner, windowHandle());
    EXPECT_EQ(video->style, 0x40800000);
    EXPECT_EQ(video->placed, (std::vector<long>{216, 100, 176, 144}));
    EXPECT_TRUE(video->visible);
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{"Call media event: terminal failed"});

    journal.clear();
    client->close();
    ASSERT_TRUE(journalReaches("DisconnectTheCall;ShutdownTapi;delete;")) << journal;
    EXPECT_FALSE(window->voiceCalls()->active());
    EXPECT_TRUE(window->controller().state().serviceRunning);
}

TEST_F(VoiceWindowTest, TheOffCommandAndClosingTheWindowStopHandling)
{
    openVoiceWindow([] { return 1; });
    auto client = logIn();
    ASSERT_TRUE(journalReaches("new;InitializeTapi;SetCurrentCall ringing;released notification;AnswerTheCall;"
                               "released offer;"))
        << journal;
    journal.clear();
    action("actionOff")->trigger();
    EXPECT_EQ(TakeJournal(plugin), "DisconnectTheCall;ShutdownTapi;delete;");
    EXPECT_FALSE(window->controller().state().serviceRunning);
    EXPECT_TRUE(client->waitForClose());

    startFromControl();
    client = logIn();
    ASSERT_TRUE(journalReaches("new;InitializeTapi;SetCurrentCall ringing;released notification;AnswerTheCall;"
                               "released offer;"))
        << journal;
    window->close();
    EXPECT_EQ(TakeJournal(plugin), "DisconnectTheCall;ShutdownTapi;delete;");
    EXPECT_TRUE(client->waitForClose());
}

TEST_F(VoiceWindowTest, AnEventStillWaitingAtTheCloseGoesWithTheWindow)
{
    openVoiceWindow([] { return 1; });
    action("actionOff")->trigger();
    // Nothing handles messages between this post and the window's end.
    PostTapiEvent(windowHandle(), TE_CALLSTATE, StateOf(events, CS_DISCONNECTED));
    window->close();
    EXPECT_EQ(events.made, 1);
    EXPECT_EQ(events.released, 1);
}

} // namespace
} // namespace voicetest
