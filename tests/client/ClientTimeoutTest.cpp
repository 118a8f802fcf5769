// SPDX-License-Identifier: GPL-3.0-or-later
// The host's login and idle deadlines as the client meets them, on the session
// server run in this process on the manual clock: the test moves the clock, the
// client (a separate process) hears the host's texts and acts on them.

#include "ClientProcess.h"
#include "SessionFixture.h"
#include "testsupport/LoopbackClient.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace clienttest {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

class ClientTimeoutTest : public sessiontest::SessionFixture {
protected:
    std::unique_ptr<ClientProcess> client(std::vector<std::string> arguments, bool withPassword,
                                          ClientProcess::Input input = ClientProcess::Input::Pipe)
    {
        arguments.insert(arguments.begin(),
                         {CLIENT_PROGRAM, "127.0.0.1", "-p", std::to_string(port_), "-u", std::string(sessiontest::kUser)});
        std::vector<std::string> environment;
        if (withPassword) {
            environment.push_back("ONDREL_PASSWORD=" + std::string(sessiontest::kPassword));
        }
        return std::make_unique<ClientProcess>(arguments, environment, input);
    }
};

TEST_F(ClientTimeoutTest, AfterTheIdleTimeoutTheProgramsNextCommandLogsInAgain)
{
    startService(20);
    const std::string link = (dir_ / "radio").string();
    for (const bool onPty : {false, true}) {
        SCOPED_TRACE(onPty ? "--pty" : "--listen");
        auto relay = client(onPty ? std::vector<std::string>{"--pty", link} : std::vector<std::string>{"--listen", "0"},
                            true);
        ASSERT_TRUE(relay->waitForErrors("the radio is on ")) << relay->errors();
        std::unique_ptr<testsupport::LoopbackClient> local;
        int program = -1;
        if (onPty) {
            program = ::open(link.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
            ASSERT_GE(program, 0);
        } else {
            local = std::make_unique<testsupport::LoopbackClient>(
                NumberAfter(relay->errors(), "the radio is on 127.0.0.1 port "));
            program = local->fd();
        }
        WriteText(program, "FA;");
        EXPECT_EQ(ReadUntil(program, ";"), radio_->query("FA;"));

        clock_->advance(30);
        ASSERT_TRUE(relay->waitForErrors("the host ended the session after 30 seconds without commands "
                                         "(\"Connection time out.\"); the program's next command logs in again"))
            << relay->errors();
        ASSERT_TRUE(waitUntilListening());
        WriteText(program, "MD;");
        // The program hears the radio, never the host's farewell.
        EXPECT_EQ(ReadUntil(program, ";"), radio_->query("MD;"));
        EXPECT_THAT(relay->errors(), HasSubstr("logging in again for the program's command"));
        EXPECT_TRUE(waitForLogRecord("127.0.0.1 CONN alice timeout."));

        relay->signal(SIGTERM);
        EXPECT_EQ(relay->waitForExit(), 0);
        if (onPty) {
            ::close(program);
        }
        ASSERT_TRUE(waitUntilListening());
    }
}

TEST_F(ClientTimeoutTest, TheConsoleLogsInAgainAfterTheIdleTimeout)
{
    startService(20);
    auto console = client({}, true);
    ASSERT_TRUE(console->waitForErrors("logged in")) << console->errors();
    clock_->advance(30);
    ASSERT_TRUE(console->waitForOutput("without commands (\"Connection time out.\"); the next command logs in again"))
        << console->output();
    ASSERT_TRUE(waitUntilListening());
    console->type("FA\n");
    EXPECT_TRUE(console->waitForOutput(radio_->query("FA;") + "\n")) << console->output();
    EXPECT_THAT(console->output(), HasSubstr("logged in to 127.0.0.1"));
    console->closeInput();
    EXPECT_EQ(console->waitForExit(), 0);
}

TEST_F(ClientTimeoutTest, ALoginLeftAtThePromptEndsWithTheHostsLoginTimeout)
{
    startService(20);
    auto console = client({}, false, ClientProcess::Input::Terminal);
    ASSERT_TRUE(console->waitForTerminal("Password for alice"));
    console->type("wrong\r");
    ASSERT_TRUE(console->waitForTerminal("Password: ")) << console->terminal();
    clock_->advance(30);
    EXPECT_EQ(console->waitForExit(), 7) << console->terminal();
    EXPECT_THAT(console->terminal(), HasSubstr("not completed within 30 seconds (\"Login timeout.\")"));
}

// Every way a logged-in session ends, in every mode that holds a session open: the
// client names the end, and a relay never hands the host's text to the program as
// radio data.
enum class SessionEnd { IdleTimeout, SessionLimit, RadioLost, ServiceStopped };
enum class Mode { Console, Pty, Listen };

struct EndCase {
    SessionEnd end;
    Mode mode;
};

std::string EndName(SessionEnd end)
{
    switch (end) {
    case SessionEnd::IdleTimeout: return "IdleTimeout";
    case SessionEnd::SessionLimit: return "SessionLimit";
    case SessionEnd::RadioLost: return "RadioLost";
    case SessionEnd::ServiceStopped: return "ServiceStopped";
    }
    return {};
}

std::string ModeName(Mode mode)
{
    switch (mode) {
    case Mode::Console: return "Console";
    case Mode::Pty: return "Pty";
    case Mode::Listen: return "Listen";
    }
    return {};
}

// What the client says of each end.
std::string EndWords(SessionEnd end)
{
    switch (end) {
    case SessionEnd::IdleTimeout:
        return "the host ended the session after 30 seconds without commands (\"Connection time out.\")";
    case SessionEnd::RadioLost: return "the host lost its radio and ended the session (\"Radio connection lost.\")";
    case SessionEnd::SessionLimit:
    case SessionEnd::ServiceStopped: return "the host closed the connection";
    }
    return {};
}

class SessionEndTest : public ClientTimeoutTest, public ::testing::WithParamInterface<EndCase> {
protected:
    // `command` sent as the user or the program sends it, and its answer awaited.
    void sendCommand(ClientProcess& process, int program, const std::string& command)
    {
        const std::string reply = radio_->query(command + ";");
        if (program < 0) {
            process.type(command + "\n");
            ASSERT_TRUE(process.waitForOutput(reply + "\n")) << process.output();
        } else {
            WriteText(program, command + ";");
            ASSERT_EQ(ReadUntil(program, ";"), reply);
        }
    }

    void endSession(SessionEnd end, ClientProcess& process, int program)
    {
        switch (end) {
        case SessionEnd::IdleTimeout: clock_->advance(30); break;
        case SessionEnd::SessionLimit:
            // Commands within the idle limit, until the minute is over.
            for (const char* command : {"MD", "ID"}) {
                clock_->advance(20);
                sendCommand(process, program, command);
            }
            clock_->advance(20);
            break;
        case SessionEnd::RadioLost: radio_->stop(); break;
        case SessionEnd::ServiceStopped: linkcore_.SocketServerClose(); break;
        }
    }
};

TEST_P(SessionEndTest, TheClientNamesTheEndAndTheProgramHearsNoHostText)
{
    const EndCase c = GetParam();
    // A limit of one minute; the other ends come well before it.
    writeInt("Setting", "MIREL Session Time", 1);
    startService(20);
    const std::string link = (dir_ / "radio").string();
    std::unique_ptr<ClientProcess> process;
    std::unique_ptr<testsupport::LoopbackClient> local;
    int program = -1;
    if (c.mode == Mode::Console) {
        process = client({}, true);
        ASSERT_TRUE(process->waitForErrors("logged in")) << process->errors();
    } else {
        process = client(c.mode == Mode::Pty ? std::vector<std::string>{"--pty", link}
                                             : std::vector<std::string>{"--listen", "0"},
                         true);
        ASSERT_TRUE(process->waitForErrors("the radio is on ")) << process->errors();
        if (c.mode == Mode::Pty) {
            program = ::open(link.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
            ASSERT_GE(program, 0);
        } else {
            local = std::make_unique<testsupport::LoopbackClient>(
                NumberAfter(process->errors(), "the radio is on 127.0.0.1 port "));
            program = local->fd();
        }
    }
    sendCommand(*process, program, "FA");

    endSession(c.end, *process, program);
    const std::string words = EndWords(c.end);
    if (c.mode == Mode::Console) {
        EXPECT_TRUE(process->waitForOutput(words + "; the next command logs in again")) << process->output();
        process->closeInput();
    } else {
        EXPECT_TRUE(process->waitForErrors(words + "; the program's next command logs in again"))
            << process->errors();
        EXPECT_EQ(ReadFor(program, 300ms), "") << "the host's text is not radio data";
        process->signal(SIGTERM);
        if (c.mode == Mode::Pty) {
            ::close(program);
        }
    }
    EXPECT_EQ(process->waitForExit(), 0) << process->errors();
}

std::vector<EndCase> AllEnds()
{
    std::vector<EndCase> cases;
    for (const SessionEnd end :
         {SessionEnd::IdleTimeout, SessionEnd::SessionLimit, SessionEnd::RadioLost, SessionEnd::ServiceStopped}) {
        for (const Mode mode : {Mode::Console, Mode::Pty, Mode::Listen}) {
            cases.push_back({end, mode});
        }
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(EndsAndModes, SessionEndTest, ::testing::ValuesIn(AllEnds()),
                         [](const auto& info) { return EndName(info.param.end) + ModeName(info.param.mode); });

} // namespace
} // namespace clienttest
