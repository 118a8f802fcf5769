// SPDX-License-Identifier: GPL-3.0-or-later
// The voice-call handler against a fake call-handling object and fake events: when
// handling starts and stops, calls answered, dropped and released, the count of
// owned calls, each failing query ending only its own event, the media message boxes,
// the video window's placement, and every event released exactly once.
#include "FakeTapi.h"

#include "host/voice/VoiceCalls.h"
#include "platform/Profile.h"
#include "testsupport/MessageBoxCapture.h"
#include "testsupport/TempDir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>

namespace voicetest {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using Strings = std::vector<std::string>;

class VoiceCallsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::SetApplicationProfilePath(dir / "Ondrel.ini");
        platform::ApplicationProfile().WriteProfileInt("Setting", "MIREL Voice", 1);
    }

    void TearDown() override
    {
        calls.reset();
        EXPECT_EQ(events.released, events.made);
    }

    void makeCalls(bool pluginLoaded = true)
    {
        calls = std::make_unique<VoiceCalls>(&window, pluginLoaded ? fake.factory() : IncomingTapiFactory(),
                                             [this] { return osAnswer; });
    }

    // Voice handling that runs, with the journal emptied.
    void startCalls()
    {
        makeCalls();
        ASSERT_TRUE(calls->startForLogin("127.0.0.1"));
        ASSERT_THAT(fake.journal->take(), ElementsAre("new", "InitializeTapi"));
    }

    // Hands one event to the handler; it must be gone afterwards.
    void handle(platform::WParam type, std::unique_ptr<FakeEvent> event)
    {
        calls->handleEvent(type, std::move(event));
        EXPECT_EQ(events.released, events.made);
    }

    testsupport::TempDir dir;
    platform::MessageQueue window;
    FakeFactory fake;
    EventCount events;
    testsupport::MessageBoxCapture boxes;
    int osAnswer = 1;
    std::unique_ptr<VoiceCalls> calls;
};

// ---- Start and stop ----

TEST_F(VoiceCallsTest, StartsOnlyWhenTheSettingTheSystemAndThePlugInAllow)
{
    struct Row {
        const char* name;
        std::optional<int> setting; // "MIREL Voice"; nullopt: not in the profile
        int osAnswer;
        bool pluginLoaded;
        bool pluginRefuses;
        bool starts;
        bool engineFails = false;
    };
    const Row rows[] = {
        {"all allow", 1, 1, true, false, true},
        {"any non-zero setting", 7, 1, true, false, true},
        {"option off", 0, 1, true, false, false},
        {"option never set", std::nullopt, 1, true, false, false},
        {"system answers 0", 1, 0, true, false, false},
        {"plug-in not loaded", 1, 1, false, false, false},
        {"plug-in makes no object", 1, 1, true, true, false},
        {"its engine does not come up", 1, 1, true, false, false, true},
    };
    int file = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        platform::SetApplicationProfilePath(dir / ("row" + std::to_string(++file) + ".ini"));
        if (row.setting) {
            platform::ApplicationProfile().WriteProfileInt("Setting", "MIREL Voice", *row.setting);
        }
        osAnswer = row.osAnswer;
        fake.refuse = row.pluginRefuses;
        fake.engineFails = row.engineFails;
        makeCalls(row.pluginLoaded);

        EXPECT_EQ(calls->startForLogin("127.0.0.1"), row.starts);
        EXPECT_EQ(calls->active(), row.starts);
        EXPECT_EQ(calls->hasCallObject(), row.starts);
        if (row.starts) {
            EXPECT_THAT(fake.journal->take(), ElementsAre("new", "InitializeTapi"));
            EXPECT_EQ(fake.last->window, &window);
        } else if (row.engineFails) {
            EXPECT_THAT(fake.journal->take(), ElementsAre("new", "InitializeTapi", "ShutdownTapi", "delete"));
        } else {
            EXPECT_THAT(fake.journal->take(), IsEmpty());
        }
        calls.reset();
        fake.journal->take();
    }
}

TEST_F(VoiceCallsTest, StopDropsTheCallAndShutsDownAndAStartCountsAfresh)
{
    startCalls();
    handle(TE_CALLNOTIFICATION, NotificationOf(events, std::make_shared<FakeCall>("A")));
    EXPECT_EQ(calls->callCount(), 1);

    calls->stop();
    EXPECT_THAT(fake.journal->take(), ElementsAre("SetCurrentCall A", "DisconnectTheCall", "ShutdownTapi", "delete"));
    EXPECT_FALSE(calls->active());
    EXPECT_FALSE(calls->hasCallObject());
    calls->stop(); // stopping again does nothing
    EXPECT_THAT(fake.journal->take(), IsEmpty());

    ASSERT_TRUE(calls->startForLogin("127.0.0.1"));
    EXPECT_THAT(fake.journal->take(), ElementsAre("new", "InitializeTapi"));
    EXPECT_EQ(calls->callCount(), 0);

    // Going away stops handling that still runs.
    calls.reset();
    EXPECT_THAT(fake.journal->take(), ElementsAre("DisconnectTheCall", "ShutdownTapi", "delete"));
}

// ---- Calls ----

TEST_F(VoiceCallsTest, CallsAreAnsweredAloneDroppedInPairsAndReleased)
{
    struct Step {
        platform::WParam type;
        std::function<std::unique_ptr<FakeEvent>()> event;
        Strings journal;
        int count;
    };
    const auto arrives = [this](const char* name, CALL_PRIVILEGE privilege = CP_OWNER) {
        return [this, name, privilege] {
            auto call = std::make_shared<FakeCall>(name);
            call->privilege = privilege;
            return NotificationOf(events, call);
        };
    };
    const auto becomes = [this](CALL_STATE state) { return [this, state] { return StateOf(events, state); }; };
    struct Sequence {
        const char* name;
        std::vector<Step> steps;
    };
    const Sequence sequences[] = {
        {"one call answered and released",
         {{TE_CALLNOTIFICATION, arrives("A"), {"SetCurrentCall A"}, 1},
          {TE_CALLSTATE, becomes(CS_OFFERING), {"AnswerTheCall"}, 1},
          {TE_CALLSTATE, becomes(CS_CONNECTED), {}, 1},
          {TE_CALLSTATE, becomes(CS_DISCONNECTED), {"ReleaseTheCall"}, 0}}},
        {"a second call is dropped when offered",
         {{TE_CALLNOTIFICATION, arrives("A"), {"SetCurrentCall A"}, 1},
          {TE_CALLSTATE, becomes(CS_OFFERING), {"AnswerTheCall"}, 1},
          {TE_CALLNOTIFICATION, arrives("B"), {"SetCurrentCall B"}, 2},
          {TE_CALLSTATE, becomes(CS_OFFERING), {"DisconnectTheCall"}, 2},
          {TE_CALLSTATE, becomes(CS_DISCONNECTED), {}, 1},
          {TE_CALLSTATE, becomes(CS_DISCONNECTED), {"ReleaseTheCall"}, 0}}},
        {"an offer with no call owned is dropped",
         {{TE_CALLSTATE, becomes(CS_OFFERING), {"DisconnectTheCall"}, 0}}},
        {"the end of a call not owned leaves the next one answered",
         {{TE_CALLNOTIFICATION, arrives("M", CP_MONITOR), {}, 0},
          {TE_CALLSTATE, becomes(CS_DISCONNECTED), {}, 0},
          {TE_CALLNOTIFICATION, arrives("A"), {"SetCurrentCall A"}, 1},
          {TE_CALLSTATE, becomes(CS_OFFERING), {"AnswerTheCall"}, 1}}},
    };
    for (const Sequence& sequence : sequences) {
        SCOPED_TRACE(sequence.name);
        startCalls();
        for (std::size_t i = 0; i < sequence.steps.size(); ++i) {
            SCOPED_TRACE("step " + std::to_string(i));
            const Step& step = sequence.steps[i];
            handle(step.type, step.event());
            EXPECT_EQ(fake.journal->take(), step.journal);
            EXPECT_EQ(calls->callCount(), step.count);
        }
        calls.reset();
        fake.journal->take();
    }
    EXPECT_THAT(boxes.texts(), IsEmpty());
}

TEST_F(VoiceCallsTest, EachFailureEndsOnlyItsOwnEvent)
{
    auto window = std::make_shared<FakeVideoWindow>();
    const auto renderTerminal = [&] { return std::make_shared<FakeTerminal>(TD_RENDER, window); };
    const auto activeStream = [&](std::shared_ptr<FakeStream> stream) {
        return [this, stream] { return MediaOf(events, CME_STREAM_ACTIVE, stream); };
    };
    const auto videoStream = [&](const std::function<void(FakeStream&)>& change) {
        auto stream = VideoStream(TD_RENDER, {renderTerminal()});
        change(*stream);
        return stream;
    };
    const auto call = [&](const std::function<void(FakeCall&)>& change) {
        return [this, change] {
            auto made = std::make_shared<FakeCall>("X");
            change(*made);
            return NotificationOf(events, made);
        };
    };
    struct Row {
        const char* name;
        platform::WParam type;
        std::function<std::unique_ptr<FakeEvent>()> event;
        Strings boxes;
    };
    const Row rows[] = {
        {"notification without its view", TE_CALLNOTIFICATION,
         [this] { return std::make_unique<FakeEvent>(events); },
         {"Incoming call, but failed to get the interface"}},
        {"notification without a call", TE_CALLNOTIFICATION, [this] { return NotificationOf(events, nullptr); }, {}},
        {"privilege unreadable", TE_CALLNOTIFICATION, call([](FakeCall& c) { c.privilege.reset(); }), {}},
        {"call only monitored", TE_CALLNOTIFICATION, call([](FakeCall& c) { c.privilege = CP_MONITOR; }), {}},
        {"call without its control", TE_CALLNOTIFICATION, call([](FakeCall& c) { c.control = nullptr; }), {}},
        {"state event without its view", TE_CALLSTATE, [this] { return std::make_unique<FakeEvent>(events); }, {}},
        {"state unreadable", TE_CALLSTATE,
         [this] {
             auto event = StateOf(events, CS_OFFERING);
             event->state.reset();
             return event;
         },
         {}},
        {"media event without its view", TE_CALLMEDIA, [this] { return std::make_unique<FakeEvent>(events); }, {}},
        {"media code unreadable", TE_CALLMEDIA,
         [this] {
             auto event = MediaOf(events, CME_STREAM_FAIL);
             event->mediaEvent.reset();
             return event;
         },
         {}},
        {"active without a stream", TE_CALLMEDIA, activeStream(nullptr), {}},
        {"audio stream", TE_CALLMEDIA,
         activeStream(videoStream([](FakeStream& s) { s.mediaType = TAPIMEDIATYPE_AUDIO; })), {}},
        {"media type unreadable", TE_CALLMEDIA, activeStream(videoStream([](FakeStream& s) { s.mediaType.reset(); })),
         {}},
        {"stream direction unreadable", TE_CALLMEDIA,
         activeStream(videoStream([](FakeStream& s) { s.direction.reset(); })), {}},
        {"no terminals", TE_CALLMEDIA, activeStream(videoStream([](FakeStream& s) { s.terminals.clear(); })), {}},
        {"only a capture terminal", TE_CALLMEDIA,
         activeStream(videoStream([](FakeStream& s) { s.terminals[0]->direction = TD_CAPTURE; })), {}},
        {"terminal direction unreadable", TE_CALLMEDIA,
         activeStream(videoStream([](FakeStream& s) { s.terminals[0]->direction.reset(); })), {}},
        {"render terminal without a video window", TE_CALLMEDIA,
         activeStream(videoStream([](FakeStream& s) { s.terminals[0]->window = nullptr; })), {}},
        {"video window size unreadable", TE_CALLMEDIA,
         [&, stream = videoStream([](FakeStream&) {})] {
             window->height.reset();
             return MediaOf(events, CME_STREAM_ACTIVE, stream);
         },
         {}},
        {"unknown event type", 32, [this] { return NotificationOf(events, std::make_shared<FakeCall>("U")); }, {}},
    };

    startCalls();
    int owned = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        testsupport::MessageBoxCapture rowBoxes;
        handle(row.type, row.event());
        EXPECT_THAT(fake.journal->take(), IsEmpty());
        EXPECT_EQ(rowBoxes.texts(), row.boxes);
        EXPECT_FALSE(window->visible);
        EXPECT_FALSE(window->placed.has_value());
        window->height = 144;

        // Handling goes on: the next call is taken as usual.
        EXPECT_TRUE(calls->active());
        handle(TE_CALLNOTIFICATION, NotificationOf(events, std::make_shared<FakeCall>("next")));
        EXPECT_THAT(fake.journal->take(), ElementsAre("SetCurrentCall next"));
        EXPECT_EQ(calls->callCount(), ++owned);
    }
}

TEST_F(VoiceCallsTest, MediaFailuresShowTheirMessageBoxes)
{
    startCalls();
    const std::pair<CALL_MEDIA_EVENT, Strings> rows[] = {
        {CME_STREAM_FAIL, {"Call media event: stream failed"}},
        {CME_TERMINAL_FAIL, {"Call media event: terminal failed"}},
        {CME_NEW_STREAM, {}},
        {CME_STREAM_NOT_USED, {}},
        {CME_STREAM_INACTIVE, {}},
        {static_cast<CALL_MEDIA_EVENT>(99), {}},
    };
    for (const auto& [code, expected] : rows) {
        SCOPED_TRACE(code);
        testsupport::MessageBoxCapture rowBoxes;
        handle(TE_CALLMEDIA, MediaOf(events, code));
        EXPECT_EQ(rowBoxes.texts(), expected);
    }
    EXPECT_THAT(fake.journal->take(), IsEmpty());
}

// ---- Video ----

TEST_F(VoiceCallsTest, VideoWindowsArePlacedAsBorderedChildrenSideBySide)
{
    struct Row {
        const char* name;
        TERMINAL_DIRECTION stream;
        long width;
        long height;
        long left;
    };
    const Row rows[] = {
        {"far end's picture, to the right", TD_RENDER, 176, 144, 216},
        {"own picture, at the left", TD_CAPTURE, 176, 144, 20},
        {"both ways counts as own", TD_BIDIRECTIONAL, 176, 144, 20},
        {"larger picture to the right", TD_RENDER, 320, 240, 360},
    };
    startCalls();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        // The first render terminal carries the picture; a capture terminal before it is passed over.
        auto skipped = std::make_shared<FakeVideoWindow>();
        auto shown = std::make_shared<FakeVideoWindow>();
        shown->width = row.width;
        shown->height = row.height;
        auto second = std::make_shared<FakeVideoWindow>();
        const auto stream = VideoStream(row.stream, {std::make_shared<FakeTerminal>(TD_CAPTURE, skipped),
                                                     std::make_shared<FakeTerminal>(TD_RENDER, shown),
                                                     std::make_shared<FakeTerminal>(TD_RENDER, second)});
        handle(TE_CALLMEDIA, MediaOf(events, CME_STREAM_ACTIVE, stream));

        EXPECT_EQ(shown->owner, &window);
        EXPECT_EQ(shown->style, 0x40800000);
        EXPECT_EQ(shown->placed, (std::vector<long>{row.left, 100, row.width, row.height}));
        EXPECT_TRUE(shown->visible);
        for (const auto& untouched : {skipped, second}) {
            EXPECT_EQ(untouched->owner, nullptr);
            EXPECT_FALSE(untouched->placed.has_value());
            EXPECT_FALSE(untouched->visible);
        }
    }
    EXPECT_THAT(boxes.texts(), IsEmpty());
}

// ---- Releasing events ----

TEST_F(VoiceCallsTest, EventsAfterTheStopAreOnlyReleased)
{
    startCalls();
    calls->stop();
    fake.journal->take();
    auto shown = std::make_shared<FakeVideoWindow>();
    handle(TE_CALLNOTIFICATION, NotificationOf(events, std::make_shared<FakeCall>("late")));
    handle(TE_CALLSTATE, StateOf(events, CS_OFFERING));
    handle(TE_CALLSTATE, StateOf(events, CS_DISCONNECTED));
    handle(TE_CALLMEDIA, MediaOf(events, CME_STREAM_FAIL));
    handle(TE_CALLMEDIA, MediaOf(events, CME_STREAM_ACTIVE,
                                 VideoStream(TD_RENDER, {std::make_shared<FakeTerminal>(TD_RENDER, shown)})));
    handle(TE_CALLNOTIFICATION, std::make_unique<FakeEvent>(events));
    EXPECT_THAT(fake.journal->take(), IsEmpty());
    EXPECT_THAT(boxes.texts(), IsEmpty());
    EXPECT_FALSE(shown->visible);
    EXPECT_EQ(calls->callCount(), 0);
}

TEST_F(VoiceCallsTest, PostedEventsAreReleasedOnceWhetherHandledOrDropped)
{
    startCalls();
    // The plug-in posts from a thread of its own.
    std::thread plugin([&] {
        PostTapiEvent(&window, TE_CALLNOTIFICATION, NotificationOf(events, std::make_shared<FakeCall>("A")));
        PostTapiEvent(&window, TE_CALLSTATE, StateOf(events, CS_OFFERING));
    });
    plugin.join();
    for (const platform::Message& message : window.drain()) {
        ASSERT_EQ(message.message, WM_TAPI_EVENT);
        calls->onTapiEvent(message.wParam, message.lParam);
    }
    EXPECT_THAT(fake.journal->take(), ElementsAre("SetCurrentCall A", "AnswerTheCall"));
    EXPECT_EQ(events.released, 2);

    // Messages a loop never handles: their events go with them, other messages are left alone.
    PostTapiEvent(&window, TE_CALLSTATE, StateOf(events, CS_DISCONNECTED));
    window.post(0x3200, 0x3000, 2);
    PostTapiEvent(&window, TE_CALLMEDIA, MediaOf(events, CME_STREAM_FAIL));
    ReleaseTapiEvents(window.drain());
    EXPECT_EQ(events.released, 4);

    // Posted to no window: released at once.
    PostTapiEvent(nullptr, TE_CALLSTATE, StateOf(events, CS_OFFERING));
    EXPECT_EQ(events.released, 5);
    EXPECT_THAT(fake.journal->take(), IsEmpty());
}

} // namespace
} // namespace voicetest
