// SPDX-License-Identifier: GPL-3.0-or-later
// `ondrel --headless` as a separate process, as a user runs it: a scripted session
// over TCP against the simulated radio, a second copy, signals and exit statuses.
#include "platform/Profile.h"
#include "platform/VersionNotice.h"
#include "protocol/HostTexts.h"
#include "testsupport/ChildProcess.h"
#include "testsupport/LoopbackClient.h"
#include "testsupport/TempDir.h"
#include "testsupport/Wait.h"
#include "radiosim/RadioSimulator.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <csignal>
#include <string>
#include <vector>


namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;
using ::testing::Not;

using testsupport::ChildProcess;

// True when `text` holds `pattern`, where "#" in the pattern stands for any decimal digit.
bool ContainsPattern(const std::string& text, std::string_view pattern)
{
    for (std::size_t at = 0; at + pattern.size() <= text.size(); ++at) {
        std::size_t i = 0;
        while (i < pattern.size() &&
               (pattern[i] == '#' ? text[at + i] >= '0' && text[at + i] <= '9' : text[at + i] == pattern[i])) {
            ++i;
        }
        if (i == pattern.size()) {
            return true;
        }
    }
    return false;
}

class HeadlessProcessTest : public ::testing::Test {
protected:
    void SetUp() override { tcpPort = testsupport::FreeTcpPort(); }

    void startRadio(int model)
    {
        radiosim::Options options;
        options.model = model;
        radio = std::make_unique<radiosim::RadioSimulator>(options);
        ASSERT_TRUE(radio->start()) << radio->error();

        // The profile a user would write: one user, COM1 on the radio, the log on.
        platform::Profile profile(profilePath());
        profile.WriteProfileString("COM Devices", "COM1", radio->devicePath());
        profile.WriteProfileInt("Setting", "COM Port", 1);
        profile.WriteProfileInt("Setting", "MIREL IP Port No", static_cast<int>(tcpPort));
        profile.WriteProfileInt("Setting", "MIREL Log", 1);
        profile.WriteProfileString("File Path", "MIREL Log File Path", (dir / "log").string());
        profile.WriteProfileString("Setting", "MIREL 000 User ID", "demo");
        profile.WriteProfileString("Setting", "MIREL 000 Password", "demo");
        profile.WriteProfileString("Setting", "MIREL 000 Description", "Demonstration user");
        std::filesystem::create_directory(dir / "log");
    }

    std::unique_ptr<ChildProcess> launch(std::vector<std::string> options)
    {
        options.insert(options.begin(), ONDREL_PROGRAM);
        // The profile comes from the environment here; the command line is tested elsewhere.
        return std::make_unique<ChildProcess>(
            options, std::vector<std::string>{"ONDREL_PROFILE=" + profilePath().string(),
                                              "XDG_RUNTIME_DIR=" + (dir / "runtime").string()});
    }

    std::string logText() const
    {
        std::string all;
        for (const auto& entry : std::filesystem::directory_iterator(dir / "log")) {
            std::ifstream file(entry.path());
            std::stringstream text;
            text << file.rdbuf();
            all += text.str();
        }
        return all;
    }

    std::filesystem::path profilePath() const { return dir / "Ondrel.ini"; }

    testsupport::TempDir dir;
    unsigned tcpPort = 0;
    std::unique_ptr<radiosim::RadioSimulator> radio;
};

TEST_F(HeadlessProcessTest, ScriptedSession)
{
    startRadio(20);
    auto host = launch({"--headless"});
    ASSERT_TRUE(host->waitForOutput("Service: running")) << host->output() << host->errors();
    EXPECT_THAT(host->output(), HasSubstr("Ondrel: profile " + profilePath().string() + "\n"));
    ASSERT_TRUE(host->waitForOutput("Model: Tarsel"));
    ASSERT_TRUE(host->waitForOutput("Power: on"));
    // The service runs without the window's toolkit in memory.
    {
        std::ifstream maps("/proc/" + std::to_string(host->pid()) + "/maps");
        const std::string mapped((std::istreambuf_iterator<char>(maps)), std::istreambuf_iterator<char>());
        EXPECT_THAT(mapped, Not(HasSubstr("libQt6")));
    }
    // Every status line begins with the local date and time.
    EXPECT_TRUE(ContainsPattern(host->output(), "\n####-##-## ##:##:## Service: running\n")) << host->output();

    // A second copy ends at once, silently.
    {
        auto second = launch({"--headless"});
        EXPECT_EQ(second->waitForExit(), 3);
        EXPECT_EQ(second->output(), "");
        EXPECT_EQ(second->errors(), "");
    }

    testsupport::LoopbackClient client(tcpPort);
    ASSERT_TRUE(client.connected());
    EXPECT_THAT(client.receiveUntil(">"), HasSubstr("Hello!! This is ORVANE MIREL."));
    ASSERT_TRUE(host->waitForOutput("Address: 127.0.0.1"));
    client.send("UID:demo;");
    EXPECT_THAT(client.receiveUntil(">"), HasSubstr("UID:OK;"));
    client.send("PWD:demo;");
    EXPECT_THAT(client.receiveUntil("@@UE1;"), HasSubstr("PWD:OK;>@@UE1;"));
    ASSERT_TRUE(host->waitForOutput("User: demo"));
    ASSERT_TRUE(host->waitForOutput("Description: Demonstration user"));
    ASSERT_TRUE(host->waitForOutput("Session time: Unlimited"));

    // Without "-ELM" a client's LM command with parameters never reaches the radio.
    client.send("LM1;FA;");
    const std::string reply = client.receiveUntil(";");
    EXPECT_TRUE(ContainsPattern(reply, "FA###########;")) << reply;
    const std::vector<std::string> commands = radio->receivedCommands();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "LM1;"), 0);
    client.send("FA00007050000;");
    ASSERT_TRUE(radio->waitForCommand("FA00007050000;", 5s));
    client.send("FA;");
    EXPECT_THAT(client.receiveUntil("FA00007050000;"), HasSubstr("FA00007050000;"));
    client.close();
    ASSERT_TRUE(host->waitForOutput("User:\n"));

    host->signal(SIGTERM);
    EXPECT_EQ(host->waitForExit(), 0) << host->errors();
    EXPECT_THAT(host->output(), HasSubstr("Service: stopped"));
    const std::string log = logText();
    EXPECT_THAT(log, HasSubstr("- START - Successful COM1, Socket:" + std::to_string(tcpPort) + ".\n"));
    EXPECT_THAT(log, HasSubstr("127.0.0.1 LOGIN demo Password OK."));
    EXPECT_THAT(log, HasSubstr("- END - End MIREL.\n"));
    EXPECT_TRUE(radio->waitForCommand("AI0;", 5s)) << host->output() << host->errors();

    // The lock went with the first copy: a new one starts, and Ctrl-C stops it.
    auto again = launch({"--headless"});
    ASSERT_TRUE(again->waitForOutput("Service: running")) << again->errors();
    again->signal(SIGINT);
    EXPECT_EQ(again->waitForExit(), 0);
}

TEST_F(HeadlessProcessTest, RefusedStartEndsWithItsReason)
{
    startRadio(19);
    auto host = launch({"--headless"});
    EXPECT_EQ(host->waitForExit(), 1);
    EXPECT_THAT(host->errors(), HasSubstr("The transceiver connected to COM1 is Corvex.\n"));
    EXPECT_THAT(host->errors(), HasSubstr("- START - Failed. Radio is Unsupported.\n"));
    EXPECT_THAT(logText(), HasSubstr("- START - Failed. Radio is Unsupported.\n"));

    // "-ECV" in the command line accepts the model.
    auto accepted = launch({"--headless", "-ECV"});
    ASSERT_TRUE(accepted->waitForOutput("Model: Corvex")) << accepted->errors();
    EXPECT_THAT(accepted->output(), HasSubstr("Ondrel -ECV: profile"));
    accepted->signal(SIGTERM);
    EXPECT_EQ(accepted->waitForExit(), 0);
}

TEST_F(HeadlessProcessTest, LoadMessageOptionLetsClientsSendLm)
{
    startRadio(20);
    auto host = launch({"--headless", "-ELM"});
    ASSERT_TRUE(host->waitForOutput("Service: running")) << host->errors();
    EXPECT_THAT(host->output(), HasSubstr("Ondrel -ELM: profile"));
    testsupport::LoopbackClient client(tcpPort);
    client.send("UID:demo;PWD:demo;");
    EXPECT_THAT(client.receiveUntil("@@UE1;"), HasSubstr("PWD:OK;>@@UE1;"));
    client.send("LM1;");
    EXPECT_TRUE(radio->waitForCommand("LM1;", 5s));
    host->signal(SIGTERM);
    EXPECT_EQ(host->waitForExit(), 0);
}

TEST_F(HeadlessProcessTest, SilentRadioEndsThroughTheWatchdog)
{
    startRadio(20);
    auto host = launch({"--headless"});
    ASSERT_TRUE(host->waitForOutput("Power: on")) << host->errors();
    radio->setSilent(true);
    EXPECT_EQ(host->waitForExit(20s), 2);
    EXPECT_THAT(host->output(), HasSubstr("Service: stopped"));
    EXPECT_THAT(logText(), HasSubstr("- END - End MIREL.\n"));
}

TEST_F(HeadlessProcessTest, ALostRadioEndsTheProgramAtOnce)
{
    startRadio(20);
    auto host = launch({"--headless"});
    ASSERT_TRUE(host->waitForOutput("Power: on")) << host->errors();
    radio->stop();
    // Well before the watchdog's three silent seconds could have passed.
    EXPECT_EQ(host->waitForExit(2s), 2);
    EXPECT_THAT(host->output(), HasSubstr("Service: stopped"));
    EXPECT_THAT(logText(), HasSubstr("- RADIO - Connection lost on COM1.\n"));
    EXPECT_THAT(logText(), HasSubstr("- END - End MIREL.\n"));
}

// However the loss reaches the host (the line hung up under an idle session, or the
// device closed right after a client's command), the logged-in client is told the
// reason before its connection closes, and the log has the record, every time.
TEST_F(HeadlessProcessTest, ALoggedInClientIsToldOfTheLostRadioBeforeTheClose)
{
    const std::string lostText(protocol::kRadioLost);
    struct Loss {
        const char* name;
        bool afterCommand; // else the line hangs up while the session is idle
    };
    constexpr Loss kLosses[] = {{"line hung up", false}, {"device closed after a command", true}};
    constexpr int kRounds = 3;
    for (const Loss& loss : kLosses) {
        for (int round = 0; round < kRounds; ++round) {
            SCOPED_TRACE(std::string(loss.name) + ", round " + std::to_string(round));
            std::filesystem::remove_all(dir / "log");
            startRadio(20);
            auto host = launch({"--headless"});
            ASSERT_TRUE(host->waitForOutput("Power: on")) << host->errors();
            testsupport::LoopbackClient client(tcpPort);
            client.send("UID:demo;PWD:demo;");
            ASSERT_THAT(client.receiveUntil("@@UE1;"), HasSubstr("PWD:OK;>@@UE1;"));
            if (loss.afterCommand) {
                radio->closeAfterCommands(1);
                client.send("FA;");
            } else {
                radio->stop();
            }
            const std::string received = client.receiveUntil(lostText);
            EXPECT_THAT(received, HasSubstr(lostText));
            EXPECT_TRUE(received.ends_with(lostText)) << "nothing after the farewell";
            EXPECT_TRUE(client.waitForClose());
            EXPECT_EQ(host->waitForExit(), 2) << host->errors();
            const std::string log = logText();
            const std::size_t told = log.find("127.0.0.1 CONN demo Radio connection lost.\n");
            const std::size_t closed = log.find("127.0.0.1 CLOSE demo Connection Close\n");
            EXPECT_NE(told, std::string::npos) << log;
            EXPECT_LT(told, closed) << log;
            EXPECT_THAT(log, HasSubstr("- RADIO - Connection lost on COM1.\n"));
            radio.reset();
        }
    }
}

// Two radios on one machine: one headless host per settings file, each on its own
// radio and port, serving a client of its own at the same time. A second host on
// the same settings file still ends at once.
TEST_F(HeadlessProcessTest, TwoRadiosTwoHostsTwoClientsAtOnce)
{
    struct Station {
        std::unique_ptr<radiosim::RadioSimulator> radio;
        std::filesystem::path settings;
        unsigned port = 0;
        std::unique_ptr<ChildProcess> host;
        std::unique_ptr<testsupport::LoopbackClient> client;
        std::string frequency;
    };
    Station stations[2];
    for (int i = 0; i < 2; ++i) {
        Station& station = stations[i];
        radiosim::Options options;
        options.model = 20;
        station.radio = std::make_unique<radiosim::RadioSimulator>(options);
        ASSERT_TRUE(station.radio->start()) << station.radio->error();
        station.settings = dir / ("radio" + std::to_string(i + 1) + ".ini");
        station.port = i == 0 ? tcpPort : testsupport::FreeTcpPort();
        station.frequency = i == 0 ? "FA00007050000;" : "FA00014250000;";
        platform::Profile profile(station.settings);
        profile.WriteProfileString("COM Devices", "COM1", station.radio->devicePath());
        profile.WriteProfileInt("Setting", "COM Port", 1);
        profile.WriteProfileInt("Setting", "MIREL IP Port No", static_cast<int>(station.port));
        profile.WriteProfileString("Setting", "MIREL 000 User ID", "demo");
        profile.WriteProfileString("Setting", "MIREL 000 Password", "demo");
        // Both hosts share the user's runtime folder, where the locks live.
        station.host = launch({"--headless", "--profile", station.settings.string()});
    }
    for (Station& station : stations) {
        ASSERT_TRUE(station.host->waitForOutput("Power: on")) << station.host->errors();
        station.client = std::make_unique<testsupport::LoopbackClient>(station.port);
        station.client->send("UID:demo;PWD:demo;");
        ASSERT_THAT(station.client->receiveUntil("@@UE1;"), HasSubstr("PWD:OK;>@@UE1;"));
    }
    // Both sessions are open; each client tunes its own radio.
    for (Station& station : stations) {
        station.client->send(station.frequency + "FA;");
    }
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        Station& station = stations[i];
        const Station& other = stations[1 - i];
        EXPECT_THAT(station.client->receiveUntil(station.frequency), HasSubstr(station.frequency));
        EXPECT_TRUE(station.radio->waitForCommand(station.frequency, 5s));
        const std::vector<std::string> commands = station.radio->receivedCommands();
        EXPECT_EQ(std::count(commands.begin(), commands.end(), other.frequency), 0);
        EXPECT_EQ(station.radio->query("FA;"), station.frequency);
    }

    // A second host on the first settings file, spelled another way, ends at once.
    auto second = launch({"--headless", "--profile", (dir / "." / "radio1.ini").string()});
    EXPECT_EQ(second->waitForExit(), 3);
    EXPECT_EQ(second->errors(), "");

    for (Station& station : stations) {
        station.host->signal(SIGTERM);
        EXPECT_EQ(station.host->waitForExit(), 0) << station.host->errors();
    }
}

TEST_F(HeadlessProcessTest, HelpAndVersion)
{
    auto help = launch({"--help"});
    EXPECT_EQ(help->waitForExit(), 0);
    EXPECT_THAT(help->output(), HasSubstr("usage: ondrel [--headless]"));
    EXPECT_EQ(help->errors(), "");
    auto version = launch({"--version"});
    EXPECT_EQ(version->waitForExit(), 0);
    EXPECT_EQ(version->output(), std::string("ondrel ") + ONDREL_VERSION + "\n" + platform::kVersionNotice);
}

// The window is a module of its own: a program that cannot find it says so and ends
// with its own status, rather than running without the window the user asked for.
TEST_F(HeadlessProcessTest, WithoutItsWindowModuleTheProgramSaysWhyAndEnds)
{
    std::filesystem::create_directory(dir / "bin");
    const std::filesystem::path lonely = dir / "bin" / "ondrel";
    std::filesystem::copy_file(ONDREL_PROGRAM, lonely);
    ChildProcess program({lonely.string()}, {"ONDREL_PROFILE=" + profilePath().string(),
                                             "XDG_RUNTIME_DIR=" + (dir / "runtime").string()});
    EXPECT_EQ(program.waitForExit(), 4);
    EXPECT_THAT(program.errors(), HasSubstr("ondrel: cannot open the window (--headless runs without one):"));
    EXPECT_THAT(program.errors(), HasSubstr((dir / "bin" / "ondrel-window.so").string() + ": not found"));
}

} // namespace

// With "MIREL TLS" on and no files named, the first start makes a self-signed
// certificate and a private key beside the settings, the log tells its fingerprint at
// each start, later starts reuse the pair, and a key that others may read refuses the start.
TEST_F(HeadlessProcessTest, TheTlsCertificateIsMadeAtTheFirstStartReusedAndItsKeyGuarded)
{
    startRadio(20);
    platform::Profile(profilePath()).WriteProfileInt("Setting", "MIREL TLS", 1);
    const std::filesystem::path certificate = dir / "ondrel-tls.crt";
    const std::filesystem::path key = dir / "ondrel-tls.key";

    std::string fingerprint;
    for (int start = 1; start <= 2; ++start) {
        SCOPED_TRACE("start " + std::to_string(start));
        auto host = launch({"--headless"});
        ASSERT_TRUE(host->waitForOutput("Power: on")) << host->output() << host->errors();
        EXPECT_EQ(std::filesystem::status(key).permissions() & std::filesystem::perms::all,
                  std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
        // The operator's two ways to read the fingerprint, and OpenSSL's own.
        auto printed = launch({"--fingerprint"});
        ASSERT_EQ(printed->waitForExit(), 0) << printed->errors();
        const std::string shown = printed->output().substr(0, printed->output().find('\n'));
        ChildProcess openssl({"/usr/bin/openssl", "x509", "-noout", "-fingerprint", "-sha256", "-in", certificate},
                             {});
        ASSERT_EQ(openssl.waitForExit(), 0) << openssl.errors();
        EXPECT_EQ(shown, "SHA256:" + openssl.output().substr(openssl.output().find('=') + 1,
                                                             std::string("AB:").size() * 32 - 1));
        EXPECT_THAT(logText(), HasSubstr("- START - TLS certificate " + shown + "\n"));
        if (start == 1) {
            fingerprint = shown;
            EXPECT_THAT(logText(), HasSubstr("- START - TLS certificate made: " + certificate.string()));
        } else {
            EXPECT_EQ(shown, fingerprint) << "the pair of the first start is reused";
        }
        // The port speaks TLS only: a plain client gets no greeting.
        testsupport::LoopbackClient plain(tcpPort);
        plain.send("UID:demo;");
        EXPECT_TRUE(plain.waitForClose());
        host->signal(SIGTERM);
        EXPECT_EQ(host->waitForExit(), 0);
    }
    EXPECT_EQ(logText().find("TLS certificate made"), logText().rfind("TLS certificate made")) << "made once";

    std::filesystem::permissions(key, std::filesystem::perms::group_read, std::filesystem::perm_options::add);
    auto refused = launch({"--headless"});
    EXPECT_EQ(refused->waitForExit(), 1);
    const std::string reason = "the TLS key " + key.string() + " is open to other users (mode 0640)";
    EXPECT_THAT(refused->errors(), HasSubstr(reason));
    EXPECT_THAT(logText(), HasSubstr("- START - Failed. TLS: " + reason));
}
