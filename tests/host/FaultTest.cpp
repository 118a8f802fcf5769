// SPDX-License-Identifier: GPL-3.0-or-later
// What a broken world does to `ondrel --headless`, with real files, ports, devices and
// signals: settings that are missing, unreadable, read-only or damaged; a log that
// cannot be written; a TCP port or a serial device another program holds; SIGTERM
// during the start sequence; readers that go away while the host writes.
//
// Permission faults need a host without the privileges that override them: as root,
// the host runs through setpriv with every capability dropped (still uid 0, so the
// test's files stay its own and their mode bits decide).
#include "platform/Clock.h"
#include "platform/Profile.h"
#include "testsupport/ChildProcess.h"
#include "testsupport/LoopbackClient.h"
#include "testsupport/TempDir.h"
#include "testsupport/Wait.h"
#include "radiosim/RadioSimulator.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;
using ::testing::Not;
using testsupport::ChildProcess;

enum class Privileges { AsTheTest, Dropped };

std::string ReadAll(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::size_t Occurrences(const std::string& text, const std::string& part)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) {
        ++count;
    }
    return count;
}

// The day's log file name, as the activity log makes it.
std::string TodaysLogName()
{
    const platform::LocalTime now = platform::LocalNow();
    char name[32];
    std::snprintf(name, sizeof name, "%04d%02d%02d.log", now.year, now.month, now.day);
    return name;
}

class FaultTest : public ::testing::Test {
protected:
    void SetUp() override { tcpPort = testsupport::FreeTcpPort(); }

    void startRadio(radiosim::Options options = {})
    {
        radio = std::make_unique<radiosim::RadioSimulator>(options);
        ASSERT_TRUE(radio->start()) << radio->error();
        writeProfile();
    }

    // One user on COM1 = the radio, the log on in dir/log.
    void writeProfile()
    {
        platform::Profile profile(profilePath());
        profile.WriteProfileEntries(std::vector<platform::ProfileEntry>{
            {"COM Devices", "COM1", radio->devicePath()},
            {"Setting", "COM Port", "1"},
            {"Setting", "MIREL IP Port No", std::to_string(tcpPort)},
            {"Setting", "MIREL Log", "1"},
            {"File Path", "MIREL Log File Path", logDir().string()},
            {"Setting", "MIREL 000 User ID", "demo"},
            {"Setting", "MIREL 000 Password", "demo"},
        });
        std::filesystem::create_directory(logDir());
    }

    std::unique_ptr<ChildProcess> launch(Privileges privileges = Privileges::AsTheTest,
                                         std::vector<std::string> command = {ONDREL_PROGRAM, "--headless"})
    {
        if (privileges == Privileges::Dropped && ::geteuid() == 0) {
            command.insert(command.begin(),
                           {"/usr/bin/setpriv", "--inh-caps=-all", "--ambient-caps=-all", "--bounding-set=-all", "--"});
        }
        return std::make_unique<ChildProcess>(
            command, std::vector<std::string>{"ONDREL_PROFILE=" + profilePath().string(),
                                              "XDG_RUNTIME_DIR=" + (dir / "runtime").string()});
    }

    // A greeted connection: connects again while the host is not yet listening
    // (refused) or another session still holds it ("BUSY;").
    std::unique_ptr<testsupport::LoopbackClient> connectGreeted()
    {
        std::unique_ptr<testsupport::LoopbackClient> client;
        EXPECT_TRUE(testsupport::WaitUntil(
            [&] {
                client = std::make_unique<testsupport::LoopbackClient>(tcpPort, 0ms);
                return client->connected() && client->receiveUntil(">", 1s).find("Hello!!") != std::string::npos;
            },
            10s));
        return client;
    }

    // Logs in as demo/`password`; the client is left logged in.
    std::unique_ptr<testsupport::LoopbackClient> logIn(const std::string& password = "demo")
    {
        auto client = connectGreeted();
        client->send("UID:demo;PWD:" + password + ";");
        EXPECT_THAT(client->receiveUntil("@@UE1;"), HasSubstr("PWD:OK;>@@UE1;"));
        return client;
    }

    // A logged-in client's query and its answer, then the close.
    void runSession()
    {
        auto client = logIn();
        client->send("FA;");
        EXPECT_THAT(client->receiveUntil("FA0"), HasSubstr("FA0"));
        client->close();
    }

    std::filesystem::path profilePath() const { return dir / "Ondrel.ini"; }
    std::filesystem::path logDir() const { return dir / "log"; }

    testsupport::TempDir dir;
    unsigned tcpPort = 0;
    std::unique_ptr<radiosim::RadioSimulator> radio;
};

// ---- Settings ----

// Settings that exist but cannot be read refuse the start with the reason; the file
// is left exactly as it was.
TEST_F(FaultTest, UnreadableSettingsRefuseTheStartAndStayAsTheyAre)
{
    startRadio();
    const std::string before = ReadAll(profilePath());
    std::filesystem::permissions(profilePath(), std::filesystem::perms::none);
    auto host = launch(Privileges::Dropped);
    EXPECT_EQ(host->waitForExit(), 1);
    EXPECT_THAT(host->errors(), HasSubstr("- START - Failed. Can not read the settings.\n" + profilePath().string() +
                                          ": Permission denied\n"));
    EXPECT_THAT(host->errors(), HasSubstr("can not be read (Permission denied)"));
    EXPECT_EQ(radio->commandCount(), 0u);
    std::filesystem::permissions(profilePath(), std::filesystem::perms::owner_read);
    EXPECT_EQ(ReadAll(profilePath()), before);

    // A folder where the file should be is refused the same way, privileged or not.
    const auto folder = dir / "folder.ini";
    std::filesystem::create_directory(folder);
    auto second = std::make_unique<ChildProcess>(
        std::vector<std::string>{ONDREL_PROGRAM, "--headless", "--profile", folder.string()},
        std::vector<std::string>{"XDG_RUNTIME_DIR=" + (dir / "runtime").string()});
    EXPECT_EQ(second->waitForExit(), 1);
    EXPECT_THAT(second->errors(), HasSubstr(folder.string() + ": Is a directory\n"));
}

// A read-only settings file: the host runs from it, a password change is refused with
// "@@CP0;", the file keeps every byte and the old password still logs in.
TEST_F(FaultTest, ReadOnlySettingsRefuseAPasswordChangeAndLoseNothing)
{
    startRadio();
    std::filesystem::permissions(profilePath(), std::filesystem::perms::owner_read);
    const std::string before = ReadAll(profilePath());
    auto host = launch(Privileges::Dropped);
    ASSERT_TRUE(host->waitForOutput("Service: running")) << host->errors();

    auto client = logIn();
    client->send("@@AI1;");
    EXPECT_THAT(client->receiveUntil("@@AI1;"), HasSubstr("@@AI1;"));
    client->send("@@CPnew-password;");
    EXPECT_THAT(client->receiveUntil("@@CP0;"), HasSubstr("@@CP0;"));
    client->close();
    EXPECT_EQ(ReadAll(profilePath()), before);
    EXPECT_EQ(std::filesystem::status(profilePath()).permissions(), std::filesystem::perms::owner_read);
    logIn("demo")->close();

    host->signal(SIGTERM);
    EXPECT_EQ(host->waitForExit(), 0) << host->errors();
}

// Lines the profile cannot parse are kept when the host rewrites the file.
TEST_F(FaultTest, DamagedSettingsLinesAreKeptWhenThePasswordChanges)
{
    startRadio();
    const std::vector<std::string> damaged = {"this line is no setting", "[unterminated section", "=value without key",
                                              std::string("binary \x01\x02\xff bytes")};
    {
        std::ofstream file(profilePath(), std::ios::app | std::ios::binary);
        for (const std::string& line : damaged) {
            file << line << "\n";
        }
    }
    auto host = launch();
    ASSERT_TRUE(host->waitForOutput("Service: running")) << host->errors();
    auto client = logIn();
    client->send("@@AI1;@@CPchanged;");
    EXPECT_THAT(client->receiveUntil("@@CP1;"), HasSubstr("@@CP1;"));
    client->close();

    const std::string after = ReadAll(profilePath());
    for (const std::string& line : damaged) {
        EXPECT_THAT(after, HasSubstr(line + "\n"));
    }
    EXPECT_THAT(after, HasSubstr("MIREL 000 Password=changed\n"));
    host->signal(SIGTERM);
    EXPECT_EQ(host->waitForExit(), 0);
}

// ---- The activity log ----

struct LogFault {
    const char* name;
    const char* message;
    void (*make)(const std::filesystem::path& folder);
    Privileges privileges;
};

// The service goes on with a log it cannot write, and says so once, not per record.
TEST_F(FaultTest, AFailingLogIsShownOnceAndTheServiceGoesOn)
{
    const LogFault faults[] = {
        {"missing folder", "MIREL Log:File Open Error!!\n",
         [](const std::filesystem::path& folder) { std::filesystem::remove(folder); }, Privileges::AsTheTest},
        {"unwritable folder", "MIREL Log:File Open Error!!\n",
         [](const std::filesystem::path& folder) {
             std::filesystem::permissions(folder,
                                          std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
         },
         Privileges::Dropped},
        {"disk full", "MIREL Log:File Write Error!!\n",
         [](const std::filesystem::path& folder) {
             std::filesystem::create_symlink("/dev/full", folder / TodaysLogName());
         },
         Privileges::AsTheTest},
    };
    startRadio();
    for (const LogFault& fault : faults) {
        SCOPED_TRACE(fault.name);
        std::error_code ignored;
        std::filesystem::permissions(logDir(), std::filesystem::perms::owner_all, ignored);
        std::filesystem::remove_all(logDir());
        std::filesystem::create_directory(logDir());
        fault.make(logDir());

        auto host = launch(fault.privileges);
        ASSERT_TRUE(host->waitForOutput("Service: running")) << host->errors();
        // START, then OPEN, LOGIN and CLOSE of two sessions, then END: seven records lost.
        runSession();
        runSession();
        host->signal(SIGTERM);
        EXPECT_EQ(host->waitForExit(), 0) << host->errors();
        EXPECT_EQ(Occurrences(host->errors(), fault.message), 1u) << host->errors();
    }
}

// ---- Ports and devices held by other programs ----

TEST_F(FaultTest, ATcpPortInUseRefusesTheStart)
{
    startRadio();
    const int blocker = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(tcpPort));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(blocker, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(blocker, 1), 0);

    auto host = launch();
    EXPECT_EQ(host->waitForExit(), 1);
    ::close(blocker);
    EXPECT_THAT(host->errors(), HasSubstr("- START - Failed. Can not open socket:" + std::to_string(tcpPort) + ".\n"));
    EXPECT_THAT(ReadAll(logDir() / TodaysLogName()), HasSubstr("Can not open socket:"));
}

// A serial device another program opened in exclusive mode (TIOCEXCL) is not shared,
// not even by a privileged host, which the mode alone would let in.
TEST_F(FaultTest, ASerialDeviceHeldExclusivelyRefusesTheStart)
{
    startRadio();
    const int holder = ::open(radio->devicePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::ioctl(holder, TIOCEXCL), 0);
    for (const Privileges privileges : {Privileges::AsTheTest, Privileges::Dropped}) {
        SCOPED_TRACE(privileges == Privileges::Dropped ? "dropped privileges" : "the test's privileges");
        auto host = launch(privileges);
        EXPECT_EQ(host->waitForExit(), 1);
        EXPECT_THAT(host->errors(), HasSubstr("Error opening COM port\n"));
        EXPECT_THAT(host->errors(), HasSubstr("- START - Failed. Can not open COM1.\nCOM1 (" + radio->devicePath() +
                                              "): in use by another program\n"));
    }
    EXPECT_EQ(radio->commandCount(), 0u);
    int exclusive = 0;
    ASSERT_EQ(::ioctl(holder, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1) << "the refused host must leave the holder's exclusive mode alone";
    ::close(holder);
}

// ---- Signals ----

// SIGTERM while the start sequence waits for the radio: the start finishes, the stop
// sequence follows, the program ends with status 0 and its lock is free again.
TEST_F(FaultTest, SigtermDuringTheStartEndsCleanly)
{
    radiosim::Options slow;
    slow.replyDelay = 50ms; // the identification takes a few of the host's waits
    startRadio(slow);
    auto host = launch();
    ASSERT_TRUE(host->waitForOutput(": profile ")) << host->errors();
    host->signal(SIGTERM);
    EXPECT_EQ(host->waitForExit(), 0) << host->errors();
    const std::string log = ReadAll(logDir() / TodaysLogName());
    EXPECT_EQ(Occurrences(log, "- START - "), Occurrences(log, "- END - End MIREL."));
    EXPECT_THAT(host->errors(), Not(HasSubstr("Failed")));

    auto again = launch();
    ASSERT_TRUE(again->waitForOutput("Service: running")) << again->errors();
    again->signal(SIGTERM);
    EXPECT_EQ(again->waitForExit(), 0);
}

// A reader that went away never ends the host: not its status output (a closed pipe),
// not a client that resets while the host writes to it.
TEST_F(FaultTest, SigpipeNeverEndsTheHost)
{
    startRadio();
    // The status lines go to a pipe whose reader has ended.
    auto host = launch(Privileges::AsTheTest,
                       {"/bin/bash", "-c", "exec \"$0\" --headless > >(exit 0)", ONDREL_PROGRAM});
    ASSERT_TRUE(testsupport::WaitUntil([&] {
        testsupport::LoopbackClient probe(tcpPort, 0ms);
        return probe.connected();
    }, 10s));
    for (int i = 0; i < 3; ++i) {
        // Each session prints status lines into the broken pipe; a reset client leaves
        // the host writing into a dead socket.
        auto client = logIn();
        std::string burst;
        for (int n = 0; n < 2000; ++n) {
            burst += "FA;";
        }
        client->send(burst);
        const int fd = client->fd();
        const linger abort{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        client->close();
    }
    runSession();
    EXPECT_EQ(host->waitForExit(100ms), -1) << "the host ended: " << host->errors();
    host->signal(SIGTERM);
    EXPECT_EQ(host->waitForExit(), 0) << host->errors();
}

} // namespace
