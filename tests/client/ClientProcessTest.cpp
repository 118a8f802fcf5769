// SPDX-License-Identifier: GPL-3.0-or-later
// ondrel-client against `ondrel --headless` and the simulated radio, all as separate
// processes on loopback: every login outcome with its words and exit status, the
// console, one-shot commands, and a station program using the radio through the
// pseudo-terminal and the local TCP port, across closes, reopens and a host restart.

#include "platform/Profile.h"
#include "platform/VersionNotice.h"
#include "ClientHostFixture.h"
#include "testsupport/LoopbackClient.h"
#include "testsupport/TempDir.h"
#include "testsupport/Wait.h"
#include "radiosim/RadioSimulator.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace clienttest {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

constexpr const char* kDisabledUser = "off";
constexpr const char* kDisabledPassword = "offpass";

std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

class ClientProcessTest : public ClientHostFixture {
protected:
    void SetUp() override
    {
        startRadioAndHost([](platform::Profile& profile) {
            profile.WriteProfileString("Setting", "MIREL 001 User ID", kDisabledUser);
            profile.WriteProfileString("Setting", "MIREL 001 Password", kDisabledPassword);
            profile.WriteProfileInt("Setting", "MIREL 001 User Disabled", 1);
        });
    }

    std::unique_ptr<ClientProcess> client(std::vector<std::string> arguments, const char* password = kPassword,
                                          ClientProcess::Input input = ClientProcess::Input::Pipe)
    {
        std::vector<std::string> environment;
        if (password != nullptr) {
            environment.push_back(std::string("ONDREL_PASSWORD=") + password);
        }
        return std::make_unique<ClientProcess>(clientCommand(std::move(arguments)), environment, input);
    }

    // Opens the program's end of the pseudo-terminal, as a station program does.
    static int openPort(const std::string& path)
    {
        const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        EXPECT_GE(fd, 0) << path;
        return fd;
    }

    static std::size_t count(const std::string& text, const std::string& part)
    {
        std::size_t n = 0;
        for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
            ++n;
        }
        return n;
    }

};

TEST_F(ClientProcessTest, EachLoginOutcomeHasItsWordsAndStatus)
{
    const std::string readable = (dir / "readable").string();
    std::ofstream(readable) << kPassword << "\n";
    ::chmod(readable.c_str(), 0644);
    const std::string privateFile = (dir / "private").string();
    std::ofstream(privateFile) << kPassword << "\n";
    ::chmod(privateFile.c_str(), 0600);

    struct Case {
        const char* name;
        std::vector<std::string> arguments;
        const char* password;
        int status;
        std::string said;
    };
    const std::vector<Case> cases{
        {"logged in", {"-u", kUser, "-c", "ID"}, kPassword, 0, ""},
        {"password file", {"-u", kUser, "-P", privateFile, "-c", "ID"}, nullptr, 0, ""},
        {"wrong password", {"-u", kUser, "-c", "ID"}, "wrong", 5, "wrong user ID or password"},
        {"unknown user", {"-u", "nobody", "-c", "ID"}, kPassword, 5, "wrong user ID or password"},
        {"disabled user", {"-u", kDisabledUser, "-c", "ID"}, kDisabledPassword, 6, "the user off is disabled"},
        {"readable password file", {"-u", kUser, "-P", readable, "-c", "ID"}, nullptr, 2, "may be read by others"},
        {"no password", {"-u", kUser, "-c", "ID"}, nullptr, 2, "no password"},
        {"password on the command line", {"-u", kUser, "--password", kPassword}, nullptr, 2, "never taken"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto program = client(c.arguments, c.password);
        EXPECT_EQ(program->waitForExit(), c.status) << program->errors();
        EXPECT_THAT(program->errors(), HasSubstr(c.said));
        if (c.status == 0) {
            EXPECT_EQ(program->output(), radio->query("ID;") + "\n");
        }
    }

    // Another operator holds the host.
    testsupport::LoopbackClient other(tcpPort);
    other.send(std::string("UID:") + kUser + ";PWD:" + kPassword + ";");
    ASSERT_THAT(other.receiveUntil("@@UE1;"), HasSubstr("@@UE1;"));
    auto busy = client({"-u", kUser, "-c", "ID"});
    EXPECT_EQ(busy->waitForExit(), 4);
    EXPECT_THAT(busy->errors(), HasSubstr("busy: another operator is logged in (the host answered \"BUSY;\")"));
    other.close();

    // No host at all.
    stopHost();
    auto unreachable = client({"-u", kUser, "-c", "ID"});
    EXPECT_EQ(unreachable->waitForExit(), 3);
    EXPECT_THAT(unreachable->errors(), HasSubstr("cannot connect to 127.0.0.1 port " + std::to_string(tcpPort)));
}

TEST_F(ClientProcessTest, ThreeWrongPasswordsAtThePromptEndWithTheHostsFarewell)
{
    auto program = client({"-u", kUser}, nullptr, ClientProcess::Input::Terminal);
    ASSERT_TRUE(program->waitForTerminal("Password for demo at 127.0.0.1: "));
    for (const std::string attempt : {"first-guess\r", "second-guess\r", "third-guess\r"}) {
        const std::size_t prompts = count(program->terminal(), "Password: ");
        program->type(attempt);
        if (attempt != "third-guess\r") {
            // The next prompt, after the host's refusal; what is typed before it is dropped.
            ASSERT_TRUE(testsupport::WaitUntil([&] { return count(program->terminal(), "Password: ") > prompts; }))
                << program->terminal();
        }
    }
    EXPECT_EQ(program->waitForExit(), 5) << program->terminal();
    EXPECT_THAT(program->terminal(), HasSubstr("\"Login failed. Good-Bye\""));
    // Nothing typed at the prompt was shown.
    EXPECT_THAT(program->terminal(), Not(HasSubstr("guess")));
}

TEST_F(ClientProcessTest, ConsoleSendsEachLineAsACommandAndShowsEveryReply)
{
    auto program = client({"-u", kUser}, nullptr, ClientProcess::Input::Terminal);
    ASSERT_TRUE(program->waitForTerminal("Password for demo"));
    program->type("not-it\r");
    ASSERT_TRUE(program->waitForTerminal("Password: "));
    program->type(std::string(kPassword) + "\r");
    ASSERT_TRUE(program->waitForTerminal("ondrel> ")) << program->terminal();
    EXPECT_THAT(program->terminal(), HasSubstr("logged in to 127.0.0.1 port"));
    EXPECT_THAT(program->terminal(), Not(HasSubstr(kPassword)));

    // Without ";", with ";", lower case, an account command.
    for (const auto& [typed, reply] : std::vector<std::pair<std::string, std::string>>{
             {"FA\r", radio->query("FA;")}, {"md;\r", radio->query("MD;")}, {"@@ST\r", "@@ST000000000000;"}}) {
        program->type(typed);
        ASSERT_TRUE(program->waitForTerminal(reply + "\r\n")) << program->terminal();
    }
    EXPECT_TRUE(radio->waitForCommand("FA;", 5s));
    // A change at the radio's front panel shows up on its own while nothing is typed.
    ASSERT_TRUE(radio->operate("FA00007012000;"));
    EXPECT_TRUE(program->waitForTerminal("FA00007012000;\r\n")) << program->terminal();
    // And while a line is being typed, which stays to be finished.
    program->type("ID");
    ASSERT_TRUE(program->waitForTerminal("ID"));
    ASSERT_TRUE(radio->operate("FA00007013000;"));
    EXPECT_TRUE(program->waitForTerminal("FA00007013000;\r\n")) << program->terminal();
    program->type("\r");
    EXPECT_TRUE(program->waitForTerminal(radio->query("ID;") + "\r\n")) << program->terminal();
    // The history brings the last line back.
    program->type("\x1b[A\r");
    EXPECT_TRUE(testsupport::WaitUntil([&] { return count(program->terminal(), radio->query("ID;") + "\r\n") == 2; }))
        << program->terminal();

    program->type("\x04");
    EXPECT_EQ(program->waitForExit(), 0) << program->terminal();
}

TEST_F(ClientProcessTest, OneShotCommandsPrintTheirRepliesInOrder)
{
    const std::string before = radio->query("FA;");
    auto program = client({"-u", kUser, "-c", "FA", "-c", "FA00014250000", "-c", "fa;", "-c", "@@ST"});
    EXPECT_EQ(program->waitForExit(), 0) << program->errors();
    // The frequency, the radio's report of the change, the new frequency, the session time.
    EXPECT_EQ(program->output(), before + "\nFA00014250000;\nFA00014250000;\n@@ST000000000000;\n");
    EXPECT_TRUE(radio->waitForCommand("FA00014250000;", 5s));
    EXPECT_EQ(program->errors(), "");

    // Piped into the console, the same lines work as in a script.
    auto piped = client({"-u", kUser});
    piped->type("ID\n\r\nMD;\n");
    piped->closeInput();
    EXPECT_EQ(piped->waitForExit(), 0) << piped->errors();
    EXPECT_EQ(piped->output(), radio->query("ID;") + "\n" + radio->query("MD;") + "\n");
}

TEST_F(ClientProcessTest, AStationProgramUsesTheRadioThroughThePseudoTerminal)
{
    const std::string link = (dir / "radio").string();
    auto relay = client({"-u", kUser, "--pty", link});
    ASSERT_TRUE(relay->waitForErrors("the radio is on " + link)) << relay->errors();

    // The password is in neither the command line nor the environment block.
    const std::string proc = "/proc/" + std::to_string(relay->pid());
    EXPECT_THAT(ReadFile(proc + "/cmdline"), Not(HasSubstr(kPassword)));
    EXPECT_THAT(ReadFile(proc + "/environ"), Not(HasSubstr(kPassword)));

    int port = openPort(link);
    // One query, its reply byte for byte.
    WriteText(port, "FA;");
    const std::string frequency = radio->query("FA;");
    EXPECT_EQ(ReadCount(port, frequency.size()), frequency);
    // A burst, line ends and all: every reply, in order, and nothing else.
    WriteText(port, "FA;\r\nMD;ID;\rIF;AG0;");
    const std::string burst =
        radio->query("FA;") + radio->query("MD;") + radio->query("ID;") + radio->query("IF;") + radio->query("AG0;");
    EXPECT_EQ(ReadCount(port, burst.size()), burst);
    EXPECT_EQ(ReadFor(port, 300ms), "");
    // A setting the program makes reaches the radio, and the radio's report comes back.
    WriteText(port, "FA00007050000;");
    EXPECT_TRUE(radio->waitForCommand("FA00007050000;", 5s));
    EXPECT_THAT(ReadUntil(port, "FA00007050000;"), HasSubstr("FA00007050000;"));

    // The program closes the port and opens it again: the session is freed meanwhile.
    ::close(port);
    ASSERT_TRUE(relay->waitForErrors("session ended")) << relay->errors();
    port = openPort(link);
    WriteText(port, "MD;");
    EXPECT_THAT(ReadUntil(port, radio->query("MD;")), HasSubstr(radio->query("MD;")));
    EXPECT_EQ(count(relay->errors(), "logged in to 127.0.0.1"), 2U) << relay->errors();

    // The host stops and comes back: the next command logs in again.
    stopHost();
    ASSERT_TRUE(relay->waitForErrors("the host closed the connection; the program's next command logs in again"))
        << relay->errors();
    startHost();
    WriteText(port, "ID;");
    EXPECT_THAT(ReadUntil(port, radio->query("ID;")), HasSubstr(radio->query("ID;")));
    EXPECT_EQ(count(relay->errors(), "logged in to 127.0.0.1"), 3U) << relay->errors();
    ::close(port);

    relay->signal(SIGTERM);
    EXPECT_EQ(relay->waitForExit(), 0) << relay->errors();
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
}

TEST_F(ClientProcessTest, AStationProgramUsesTheRadioThroughALocalPort)
{
    auto relay = client({"-u", kUser, "--listen", "0"});
    ASSERT_TRUE(relay->waitForErrors("the radio is on 127.0.0.1 port ")) << relay->errors();
    const unsigned localPort = NumberAfter(relay->errors(), "the radio is on 127.0.0.1 port ");
    ASSERT_NE(localPort, 0U);

    auto program = std::make_unique<testsupport::LoopbackClient>(localPort);
    ASSERT_TRUE(program->connected());
    program->send("FA;");
    EXPECT_EQ(program->receiveUntil(";"), radio->query("FA;"));
    program->send("ID;\r\nMD;IF;");
    const std::string burst = radio->query("ID;") + radio->query("MD;") + radio->query("IF;");
    EXPECT_EQ(program->receiveUntil(radio->query("IF;")), burst);

    // A second program is turned away as the host turns away a second operator.
    testsupport::LoopbackClient second(localPort);
    EXPECT_EQ(second.receiveUntil(";"), "BUSY;");
    EXPECT_TRUE(second.waitForClose());

    // The program disconnects and comes back.
    program.reset();
    ASSERT_TRUE(relay->waitForErrors("session ended")) << relay->errors();
    program = std::make_unique<testsupport::LoopbackClient>(localPort);
    program->send("MD;");
    EXPECT_THAT(program->receiveUntil(radio->query("MD;")), HasSubstr(radio->query("MD;")));
    EXPECT_EQ(count(relay->errors(), "logged in to 127.0.0.1"), 2U) << relay->errors();

    relay->signal(SIGINT);
    EXPECT_EQ(relay->waitForExit(), 0) << relay->errors();
}

// --version needs no host: the program's name and version, then the licence lines.
TEST(ClientProgramTest, VersionNamesTheLicence)
{
    ClientProcess version({CLIENT_PROGRAM, "--version"}, {});
    EXPECT_EQ(version.waitForExit(), 0);
    EXPECT_EQ(version.output(), std::string("ondrel-client ") + ONDREL_VERSION + "\n" + platform::kVersionNotice);
}

} // namespace
} // namespace clienttest
