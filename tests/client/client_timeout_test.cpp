// The host's login and idle deadlines as the client meets them, on the session
// server run in this process on the manual clock: the test moves the clock, the
// client (a separate process) hears the host's texts and acts on them.

#include "tests/client/ClientProcess.h"
#include "tests/linkcore/SessionFixture.h"
#include "tests/support/LoopbackClient.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>

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
    auto relay = client({"--listen", "0"}, true);
    ASSERT_TRUE(relay->waitForErrors("the radio is on 127.0.0.1 port ")) << relay->errors();
    const unsigned localPort = NumberAfter(relay->errors(), "the radio is on 127.0.0.1 port ");
    ASSERT_NE(localPort, 0U);
    testsupport::LoopbackClient program(localPort);
    program.send("FA;");
    EXPECT_EQ(program.receiveUntil(";"), radio_->query("FA;"));

    clock_->advance(30);
    ASSERT_TRUE(relay->waitForErrors("the host ended the session after 30 seconds without commands "
                                     "(\"Connection time out.\"); the program's next command logs in again"))
        << relay->errors();
    ASSERT_TRUE(waitUntilListening());
    program.send("MD;");
    // The program hears the radio, never the host's farewell.
    EXPECT_EQ(program.receiveUntil(";"), radio_->query("MD;"));
    EXPECT_THAT(relay->errors(), HasSubstr("logging in again for the program's command"));
    EXPECT_TRUE(waitForLogRecord("127.0.0.1 CONN alice timeout."));

    relay->signal(SIGTERM);
    EXPECT_EQ(relay->waitForExit(), 0);
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

} // namespace
} // namespace clienttest
