// SPDX-License-Identifier: GPL-3.0-or-later
// Voice calls through the real SIP engine, end to end on loopback: the real service
// with a simulated radio and a logged-in client, the real plug-in (libVoxline.so)
// running its engine on the radio's sound interface (an ALSA file device, see
// RadioSoundCard), and a caller that is an engine of its own. Tones go both ways and
// are recognised by frequency; calls that must not be answered are not; the session's
// end hangs up; an engine that dies ends the call.
#include "EngineCaller.h"

#include "host/voice/VoiceCalls.h"
#include "HostFixture.h"
#include "testsupport/ChildProcess.h"
#include "testsupport/LoopbackClient.h"
#include "testsupport/ManualClock.h"

#include <gmock/gmock.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <dirent.h>

namespace voicetest {
namespace {

using namespace std::chrono_literals;
using host::voice::VoiceCalls;

constexpr int kCallerTone = 440;
constexpr int kRadioTone = 1000;
// Both tones stand out clearly; the other one stays far below.
constexpr double kToneShown = 0.5;
constexpr double kToneAbsent = 0.1;

// The engines this process started that still run, by the parent's id.
std::vector<pid_t> EnginesOf(pid_t parent)
{
    std::vector<pid_t> found;
    DIR* proc = opendir("/proc");
    while (dirent* entry = proc != nullptr ? readdir(proc) : nullptr) {
        const pid_t pid = std::atoi(entry->d_name);
        if (pid <= 0) {
            continue;
        }
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string line;
        std::getline(stat, line);
        const std::size_t close = line.rfind(')');
        if (line.find("(baresip)") == std::string::npos || close == std::string::npos) {
            continue;
        }
        std::istringstream rest(line.substr(close + 2));
        char state = 0;
        pid_t ppid = 0;
        rest >> state >> ppid;
        if (ppid == parent && state != 'Z') {
            found.push_back(pid);
        }
    }
    if (proc != nullptr) {
        closedir(proc);
    }
    return found;
}

class VoiceEngineTest : public hosttest::HostFixture {
protected:
    void SetUp() override
    {
        HostFixture::SetUp();
        // The engine's ALSA reads ~/.asoundrc: the test's own, in a scratch home.
        const char* home = std::getenv("HOME");
        savedHome = home != nullptr ? home : "";
        setenv("HOME", dir.path().c_str(), 1);
        voicePort = testsupport::FreeSipPort();
        platform::Profile& profile = platform::ApplicationProfile();
        profile.WriteProfileInt("Setting", "MIREL Voice", 1);
        profile.WriteProfileInt("Setting", "MIREL Voice Port", voicePort);
        profile.WriteProfileString("Setting", "MIREL Voice Device", "radio");
        profile.WriteProfileString("Setting", "MIREL Bind Address", "127.0.0.1");
        radioCard = std::make_unique<RadioSoundCard>(dir.path(), kRadioTone);
        std::filesystem::create_directory(dir / "caller");
    }

    void TearDown() override
    {
        HostFixture::TearDown();
        radioCard.reset();
        setenv("HOME", savedHome.c_str(), 1);
    }

    // The service running with the real plug-in, and the telephony events routed.
    void startWithVoice(int sessionMinutes = 0)
    {
        startRadio(20);
        writeProfile(radio->devicePath(), sessionMinutes);
        makeController();
        auto voice = host::voice::MakeVoiceCalls(&recorder.queue, [] { return 1; }, VOXLINE_PLUGIN);
        calls = voice.get();
        recorder.otherMessages = [this](const platform::Message& message) {
            if (message.message == host::voice::WM_TAPI_EVENT) {
                calls->onTapiEvent(message.wParam, message.lParam);
            }
        };
        controller->setVoiceHook(std::move(voice));
        controller->start();
        ASSERT_TRUE(controller->state().serverOpen);
    }

    std::string hostUri(const std::string& transport = "udp", const std::string& user = "radio") const
    {
        return "sip:" + user + "@127.0.0.1:" + std::to_string(voicePort) + ";transport=" + transport;
    }

    // Runs the host's loop until the caller's event `type` arrives (bounded).
    bool callerSees(EngineCaller& caller, const std::string& type, std::chrono::milliseconds limit = 8s)
    {
        return testsupport::WaitUntil(
            [&] {
                recorder.handleMessages();
                caller.drain(5ms);
                return caller.count(type) > 0;
            },
            limit);
    }

    // Lets the host and the caller run for `duration` (for audio to flow).
    void runFor(EngineCaller& caller, std::chrono::milliseconds duration)
    {
        const auto until = std::chrono::steady_clock::now() + duration;
        while (std::chrono::steady_clock::now() < until) {
            recorder.handleMessages();
            caller.drain(5ms);
        }
    }

    testsupport::ManualClock clock;
    std::string savedHome;
    int voicePort = 0;
    std::unique_ptr<RadioSoundCard> radioCard;
    VoiceCalls* calls = nullptr;
};

TEST_F(VoiceEngineTest, TonesCrossBothWaysOverOpusEncryptedAndTheLogoutHangsUp)
{
    startWithVoice();
    auto client = logIn();
    ASSERT_TRUE(calls->active());
    client->send("@@ST;");
    EXPECT_THAT(client->receiveUntil("@@ST"), ::testing::HasSubstr("@@VE1;"));

    EngineCaller caller("127.0.0.1", kCallerTone, dir / "caller");
    ASSERT_TRUE(caller.started()) << caller.error();
    caller.dial(hostUri());
    ASSERT_TRUE(callerSees(caller, "CALL_ESTABLISHED")) << caller.journal();
    // The media keys were agreed over DTLS: the audio is SRTP.
    ASSERT_TRUE(callerSees(caller, "CALL_MENC"));
    EXPECT_EQ(calls->callCount(), 1);

    // Long enough for a few 100 ms windows of audio after the jitter buffers.
    runFor(caller, 3000ms);
    const std::vector<std::int16_t> atRadio = radioCard->heard();
    EXPECT_GT(ToneShare(atRadio, kCallerTone), kToneShown) << atRadio.size() << " samples";
    EXPECT_LT(ToneShare(atRadio, kRadioTone), kToneAbsent);
    const std::vector<std::int16_t> atCaller = caller.heard();
    EXPECT_GT(ToneShare(atCaller, kRadioTone), kToneShown) << atCaller.size() << " samples";
    EXPECT_LT(ToneShare(atCaller, kCallerTone), kToneAbsent);

    client->close();
    EXPECT_TRUE(callerSees(caller, "CALL_CLOSED"));
    EXPECT_FALSE(calls->active());
    EXPECT_THAT(EnginesOf(getpid()), ::testing::ElementsAre(caller.pid()));
}

// An operator behind a home router: the call's SDP names an address the host cannot
// reach (127.0.0.9; the caller's media socket is bound to 127.0.0.1), while the
// caller's packets come from 127.0.0.1. Through ICE the host learns where they come
// from and sends there: tones cross both ways, encrypted.
TEST_F(VoiceEngineTest, ACallerWhoseCallNamesAnUnreachableAddressIsHeardAndHearsThroughIce)
{
    startWithVoice();
    auto client = logIn();
    ASSERT_TRUE(calls->active());

    NattedSignalling router(voicePort, "127.0.0.1", "127.0.0.9");
    ASSERT_TRUE(router.started());
    EngineCaller caller("127.0.0.1", kCallerTone, dir / "caller", CallerMedia::Encrypted, CallerIce::On);
    ASSERT_TRUE(caller.started()) << caller.error();
    caller.dial("sip:radio-ice@127.0.0.1:" + std::to_string(router.port()) + ";transport=tcp");
    ASSERT_TRUE(callerSees(caller, "CALL_ESTABLISHED")) << caller.journal();
    ASSERT_TRUE(callerSees(caller, "CALL_MENC")) << caller.journal();
    EXPECT_GE(router.rewrittenLines(), 2); // the connection line and the candidate at least

    runFor(caller, 3000ms);
    const std::vector<std::int16_t> atRadio = radioCard->heard();
    EXPECT_GT(ToneShare(atRadio, kCallerTone), kToneShown) << atRadio.size() << " samples";
    const std::vector<std::int16_t> atCaller = caller.heard();
    EXPECT_GT(ToneShare(atCaller, kRadioTone), kToneShown) << atCaller.size() << " samples";
    client->close();
    EXPECT_TRUE(callerSees(caller, "CALL_CLOSED"));
}

TEST_F(VoiceEngineTest, CallsThatMustNotBeAnsweredAreNot)
{
    startWithVoice();
    {
        SCOPED_TRACE("before the login: no engine listens");
        EngineCaller caller("127.0.0.1", kCallerTone, dir / "caller");
        ASSERT_TRUE(caller.started()) << caller.error();
        caller.dial(hostUri("tcp"));
        EXPECT_TRUE(callerSees(caller, "CALL_CLOSED"));
        EXPECT_EQ(caller.count("CALL_ESTABLISHED"), 0);
    }
    auto client = logIn();
    {
        SCOPED_TRACE("from another address than the client's");
        EngineCaller stranger("127.0.0.2", kCallerTone, dir / "caller");
        ASSERT_TRUE(stranger.started()) << stranger.error();
        stranger.dial(hostUri());
        EXPECT_TRUE(callerSees(stranger, "CALL_CLOSED"));
        EXPECT_EQ(stranger.count("CALL_ESTABLISHED"), 0);
        EXPECT_EQ(calls->callCount(), 0);
        EXPECT_THAT(logText(), ::testing::HasSubstr("127.0.0.2 VOICE - Call refused: not from the logged-in "
                                                    "client's address (sip:caller@127.0.0.2)."));
    }
    {
        SCOPED_TRACE("a second call while one is up");
        EngineCaller caller("127.0.0.1", kCallerTone, dir / "caller");
        ASSERT_TRUE(caller.started()) << caller.error();
        caller.dial(hostUri());
        ASSERT_TRUE(callerSees(caller, "CALL_ESTABLISHED")) << caller.journal();
        caller.dial(hostUri());
        EXPECT_TRUE(callerSees(caller, "CALL_CLOSED"));
        EXPECT_EQ(caller.count("CALL_ESTABLISHED"), 1);
        ASSERT_TRUE(recorder.runUntil([&] { return calls->callCount() == 1; }));
    }
}

TEST_F(VoiceEngineTest, MediaWithoutEncryptionIsAnsweredOnlyWhereThePlainSettingAllowsIt)
{
    struct Row {
        int plainSetting;
        CallerMedia media;
        const char* user;
        bool answered;
        bool encrypted;
    };
    // Plain callers dial "radio-plain", which exists only with the setting; "radio"
    // stays encrypted whatever it says.
    for (const Row& row : {Row{0, CallerMedia::PlainOnly, "radio", false, false},
                           Row{0, CallerMedia::PlainOnly, "radio-plain", false, false},
                           Row{1, CallerMedia::PlainOnly, "radio", false, false},
                           Row{1, CallerMedia::PlainOnly, "radio-plain", true, false},
                           Row{1, CallerMedia::Encrypted, "radio", true, true}}) {
        SCOPED_TRACE("MIREL Voice Plain=" + std::to_string(row.plainSetting) +
                     (row.media == CallerMedia::PlainOnly ? ", plain caller to " : ", encrypted caller to ") + row.user);
        platform::ApplicationProfile().WriteProfileInt("Setting", "MIREL Voice Plain", row.plainSetting);
        startWithVoice();
        auto client = logIn();
        EngineCaller caller("127.0.0.1", kCallerTone, dir / "caller", row.media);
        ASSERT_TRUE(caller.started()) << caller.error();
        caller.dial(hostUri("tcp", row.user));
        if (row.answered) {
            ASSERT_TRUE(callerSees(caller, "CALL_ESTABLISHED")) << caller.journal();
            if (row.encrypted) {
                EXPECT_TRUE(callerSees(caller, "CALL_MENC")) << caller.journal();
            } else {
                runFor(caller, 1000ms);
                EXPECT_EQ(caller.count("CALL_MENC"), 0) << caller.journal();
            }
        } else {
            EXPECT_TRUE(callerSees(caller, "CALL_CLOSED"));
            EXPECT_EQ(caller.count("CALL_ESTABLISHED"), 0) << caller.journal();
        }
        client->close();
        controller.reset();
        radio->stop();
        radio.reset();
    }
}

TEST_F(VoiceEngineTest, TheSessionsEndHangsUp)
{
    struct Row {
        const char* name;
        int sessionMinutes;
        std::int64_t advanceSeconds;
    };
    // The idle timeout (30 s) and a one-minute session limit; the client keeps quiet.
    for (const Row& row : {Row{"idle timeout", 0, 31}, Row{"session limit", 1, 61}}) {
        SCOPED_TRACE(row.name);
        startWithVoice(row.sessionMinutes);
        auto client = logIn();
        EngineCaller caller("127.0.0.1", kCallerTone, dir / "caller");
        ASSERT_TRUE(caller.started()) << caller.error();
        caller.dial(hostUri());
        ASSERT_TRUE(callerSees(caller, "CALL_ESTABLISHED")) << caller.journal();
        if (row.sessionMinutes > 0) {
            // Talking keeps the idle timeout away, so that the limit ends it.
            for (int step = 0; step < 2; ++step) {
                client->send("@@ST;");
                client->receiveUntil("@@ST");
                clock.advance(row.advanceSeconds / 2);
                recorder.handleMessages();
            }
            clock.advance(1);
        } else {
            clock.advance(row.advanceSeconds);
        }
        EXPECT_TRUE(callerSees(caller, "CALL_CLOSED"));
        EXPECT_FALSE(controller->state().userLoggedOn);
        controller.reset();
        radio->stop();
        radio.reset();
    }
}

TEST_F(VoiceEngineTest, AnEngineThatDiesEndsTheCallAndTheNextLoginStartsAfresh)
{
    startWithVoice();
    auto client = logIn();
    EngineCaller caller("127.0.0.1", kCallerTone, dir / "caller");
    ASSERT_TRUE(caller.started()) << caller.error();
    caller.dial(hostUri());
    ASSERT_TRUE(callerSees(caller, "CALL_ESTABLISHED")) << caller.journal();
    ASSERT_EQ(calls->callCount(), 1);

    for (const pid_t engine : EnginesOf(getpid())) {
        if (engine != caller.pid()) {
            kill(engine, SIGKILL);
        }
    }
    ASSERT_TRUE(recorder.runUntil([&] { return calls->callCount() == 0; }));
    // Reaped: nothing of it is left, not even a zombie.
    EXPECT_THAT(EnginesOf(getpid()), ::testing::ElementsAre(caller.pid()));

    client->close();
    ASSERT_TRUE(recorder.runUntil([&] { return !controller->state().userLoggedOn; }));
    caller.hangUp();
    auto again = logIn();
    caller.dial(hostUri("tcp"));
    ASSERT_TRUE(testsupport::WaitUntil(
        [&] {
            recorder.handleMessages();
            caller.drain(5ms);
            return caller.count("CALL_ESTABLISHED") == 2;
        },
        8s));
    EXPECT_EQ(calls->callCount(), 1);
}

// True when process `pid` runs no more (gone, or a zombie left to its new parent).
bool Ended(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) {
        return true;
    }
    const std::size_t close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] == 'Z';
}

// `ondrel --headless` as a separate process, with the real plug-in found along the
// library path as an installed one would be, the radio's sound interface and the
// simulated radio.
class VoiceHeadlessProcessTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(radio.start()) << radio.error();
        platform::Profile profile(dir / "Ondrel.ini");
        profile.WriteProfileString("COM Devices", "COM1", radio.devicePath());
        profile.WriteProfileInt("Setting", "COM Port", 1);
        profile.WriteProfileInt("Setting", "MIREL IP Port No", static_cast<int>(tcpPort));
        profile.WriteProfileString("Setting", "MIREL 000 User ID", "demo");
        profile.WriteProfileString("Setting", "MIREL 000 Password", "demo");
        profile.WriteProfileInt("Setting", "MIREL Voice", 1);
        profile.WriteProfileInt("Setting", "MIREL Voice Port", voicePort);
        profile.WriteProfileString("Setting", "MIREL Voice Device", "radio");
        profile.WriteProfileString("Setting", "MIREL Bind Address", "127.0.0.1");
        profile.WriteProfileInt("Setting", "MIREL Log", 1);
        profile.WriteProfileString("File Path", "MIREL Log File Path", (dir / "log").string());
        std::filesystem::create_directory(dir / "log");
        std::filesystem::create_directory(dir / "caller");
    }

    void startHost()
    {
        host = std::make_unique<testsupport::ChildProcess>(
            std::vector<std::string>{ONDREL_PROGRAM, "--headless"},
            std::vector<std::string>{
                "ONDREL_PROFILE=" + (dir / "Ondrel.ini").string(), "XDG_RUNTIME_DIR=" + (dir / "runtime").string(),
                "HOME=" + dir.path().string(),
                // A killed host leaves its engine's folder behind: here, in the test's.
                "TMPDIR=" + dir.path().string(),
                "LD_LIBRARY_PATH=" + std::filesystem::path(VOXLINE_PLUGIN).parent_path().string()});
        ASSERT_TRUE(host->waitForOutput("Service: running")) << host->output() << host->errors();
    }

    std::string logText() const
    {
        std::string all;
        for (const auto& entry : std::filesystem::directory_iterator(dir / "log")) {
            std::ifstream file(entry.path());
            all.append(std::istreambuf_iterator<char>(file), {});
        }
        return all;
    }

    testsupport::TempDir dir;
    radiosim::RadioSimulator radio{radiosim::Options{}};
    const unsigned tcpPort = testsupport::FreeTcpPort();
    const int voicePort = testsupport::FreeSipPort();
    RadioSoundCard card{dir.path(), kRadioTone};
    std::unique_ptr<testsupport::ChildProcess> host;
};

TEST_F(VoiceHeadlessProcessTest, TheHeadlessHostAnswersTellsTheClientAndLeavesNoEngineWhenKilled)
{
    startHost();
    testsupport::LoopbackClient client(tcpPort);
    client.receiveUntil(">");
    client.send("UID:demo;");
    client.receiveUntil(">");
    client.send("PWD:demo;");
    EXPECT_THAT(client.receiveUntil("@@VE1;"), ::testing::HasSubstr("@@VE1;"));
    ASSERT_TRUE(testsupport::WaitUntil([&] { return EnginesOf(host->pid()).size() == 1; }));
    const pid_t engine = EnginesOf(host->pid()).front();

    EngineCaller caller("127.0.0.1", kCallerTone, dir / "caller");
    ASSERT_TRUE(caller.started()) << caller.error();
    caller.dial("sip:radio@127.0.0.1:" + std::to_string(voicePort));
    EXPECT_TRUE(caller.waitFor("CALL_ESTABLISHED")) << caller.journal() << host->errors();

    host->signal(SIGKILL);
    EXPECT_EQ(host->waitForExit(), -2);
    EXPECT_TRUE(testsupport::WaitUntil([&] { return Ended(engine); }));
}

// With the service's TLS on, the operator's `ondrel-client --tls --voice` calls over
// SIP/TLS and is answered; a call from the same address over plain TCP is refused
// and logged. The client's own sound device is ALSA's null device.
TEST_F(VoiceHeadlessProcessTest, WithTlsOnTheClientsVoiceCallsOverTlsAndNoOtherWayIsAnswered)
{
    platform::Profile(dir / "Ondrel.ini").WriteProfileInt("Setting", "MIREL TLS", 1);
    startHost();
    testsupport::ChildProcess client(
        {CLIENT_PROGRAM, "127.0.0.1", "-p", std::to_string(tcpPort), "-u", "demo", "--tls", "--trust-new", "--voice",
         "--voice-device", "null", "--voice-port", std::to_string(voicePort)},
        {"ONDREL_PASSWORD=demo", "XDG_CONFIG_HOME=" + (dir / "config").string(), "HOME=" + dir.path().string(),
         "TMPDIR=" + dir.path().string()});
    ASSERT_TRUE(client.waitForErrors("voice: call established", 20s)) << client.errors() << host->errors();
    EXPECT_TRUE(client.waitForErrors("voice: audio encrypted")) << client.errors();
    EXPECT_THAT(client.errors(), ::testing::HasSubstr(";transport=tls"));

    EngineCaller caller("127.0.0.1", kCallerTone, dir / "caller");
    ASSERT_TRUE(caller.started()) << caller.error();
    caller.dial("sip:radio@127.0.0.1:" + std::to_string(voicePort) + ";transport=tcp");
    EXPECT_TRUE(caller.waitFor("CALL_CLOSED")) << caller.journal();
    EXPECT_EQ(caller.count("CALL_ESTABLISHED"), 0);
    EXPECT_TRUE(testsupport::WaitUntil(
        [&] { return logText().find("127.0.0.1 VOICE - Call refused: not over TLS") != std::string::npos; }))
        << logText();

    // The operator's call is still the one up; the program's end hangs it up.
    EXPECT_THAT(client.errors(), ::testing::Not(::testing::HasSubstr("voice: call ended")));
    client.closeInput();
    EXPECT_EQ(client.waitForExit(), 0) << client.errors();
}

} // namespace
} // namespace voicetest
