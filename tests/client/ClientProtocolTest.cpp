// SPDX-License-Identifier: GPL-3.0-or-later
// The client's login dialogue, session stream, command shaping, options and password
// file checks, driven by tables of what the host sends and what the user gives.

#include "client/HostProtocol.h"
#include "client/Options.h"
#include "client/Password.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <sys/stat.h>

namespace client {
void PrintTo(const SessionItem& item, std::ostream* os)
{
    *os << static_cast<int>(item.kind) << ":" << ::testing::PrintToString(item.text);
}
} // namespace client

namespace {

using namespace client;
using Kind = SessionItem::Kind;

struct LoginCase {
    const char* name;
    std::vector<std::string> received; // what the host sends, in pieces
    bool hostCloses;
    LoginResult result;
    std::string sent;        // everything the client sent
    std::string sessionBytes; // what followed the login reply
};

void PrintTo(const LoginCase& c, std::ostream* os)
{
    *os << c.name;
}

class LoginDialogueTest : public ::testing::TestWithParam<LoginCase> {};

std::string Greeting()
{
    return std::string(protocol::kGreeting);
}

const LoginCase kLoginCases[] = {
    {"LoggedIn", {Greeting(), "\r\nUID:OK;\r\n>", "PWD:OK;>@@UE1;"}, false, LoginResult::LoggedIn,
     "UID:alice;PWD:s3cret;", ""},
    {"LoggedInWithSessionTextBehind", {Greeting(), "\r\nUID:OK;\r\n>", "PWD:OK;>@@UE1;@@VE1;FA00007050000;"}, false,
     LoginResult::LoggedIn, "UID:alice;PWD:s3cret;", "@@VE1;FA00007050000;"},
    {"Busy", {"BUSY;"}, true, LoginResult::Busy, "", ""},
    {"WrongPassword", {Greeting(), "\r\nUID:OK;\r\n>", "\r\nPWD:NG;\r\n>"}, false, LoginResult::PasswordWrong,
     "UID:alice;PWD:s3cret;", ""},
    {"Disabled", {Greeting(), "\r\nUID:OK;\r\n>", "\r\nPWD:OK;>@@UE0;"}, true, LoginResult::UserDisabled,
     "UID:alice;PWD:s3cret;", ""},
    {"LoginTimeoutBeforeUser", {Greeting(), "\r\nLogin timeout."}, true, LoginResult::LoginTimeout, "UID:alice;", ""},
    {"LoginTimeoutAfterUser", {Greeting(), "\r\nUID:OK;\r\n>", "\r\nLogin timeout."}, true,
     LoginResult::LoginTimeout, "UID:alice;PWD:s3cret;", ""},
    {"UserRefused", {Greeting(), "\r\nCMD:NG;\r\n>"}, false, LoginResult::CommandRefused, "UID:alice;", ""},
    {"UserIdAgain", {Greeting(), "\r\nUID:NG;\r\n>"}, false, LoginResult::CommandRefused, "UID:alice;", ""},
    {"NotThisHost", {"SSH-2.0-OpenSSH_9.2\r\n"}, false, LoginResult::UnexpectedText, "", ""},
    {"ClosedAfterGreeting", {Greeting()}, true, LoginResult::ConnectionClosed, "UID:alice;", ""},
    {"ClosedSilently", {}, true, LoginResult::ConnectionClosed, "", ""},
};

// Runs the dialogue with the host's text cut as given, or byte by byte.
LoginResult RunDialogue(LoginDialogue& dialogue, const LoginCase& c, bool byteByByte, std::string& sent)
{
    for (const std::string& piece : c.received) {
        if (byteByByte) {
            for (const char byte : piece) {
                dialogue.receive(std::string_view(&byte, 1));
                sent += dialogue.takeOutgoing();
            }
        } else {
            dialogue.receive(piece);
            sent += dialogue.takeOutgoing();
        }
    }
    if (c.hostCloses) {
        dialogue.closed();
    }
    return dialogue.result();
}

TEST_P(LoginDialogueTest, EndsAsTheHostSays)
{
    const LoginCase& c = GetParam();
    for (const bool byteByByte : {false, true}) {
        SCOPED_TRACE(byteByByte ? "byte by byte" : "in pieces");
        LoginDialogue dialogue("alice", "s3cret");
        std::string sent;
        EXPECT_EQ(RunDialogue(dialogue, c, byteByByte, sent), c.result);
        EXPECT_EQ(sent, c.sent);
        EXPECT_EQ(dialogue.takeSessionBytes(), c.sessionBytes);
    }
}

INSTANTIATE_TEST_SUITE_P(Outcomes, LoginDialogueTest, ::testing::ValuesIn(kLoginCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LoginDialogueRetry, ASecondPasswordMayLogInAndTheThirdWrongOneEndsWithTheFarewell)
{
    LoginDialogue dialogue("alice", "one");
    dialogue.receive(Greeting() + "\r\nUID:OK;\r\n>");
    EXPECT_EQ(dialogue.takeOutgoing(), "UID:alice;PWD:one;");
    dialogue.receive("\r\nPWD:NG;\r\n>");
    ASSERT_EQ(dialogue.result(), LoginResult::PasswordWrong);
    dialogue.retry("two");
    EXPECT_EQ(dialogue.takeOutgoing(), "PWD:two;");
    dialogue.receive("PWD:OK;>@@UE1;");
    EXPECT_EQ(dialogue.result(), LoginResult::LoggedIn);

    LoginDialogue failing("alice", "one");
    failing.receive(Greeting() + "\r\nUID:OK;\r\n>\r\nPWD:NG;\r\n>");
    failing.retry("two");
    failing.receive("\r\nPWD:NG;\r\n>");
    failing.retry("three");
    EXPECT_EQ(failing.takeOutgoing(), "UID:alice;PWD:one;PWD:two;PWD:three;");
    // After the third refusal the client waits for the farewell instead of asking again.
    failing.receive("\r\nPWD:NG;\r\n>");
    EXPECT_EQ(failing.result(), LoginResult::InProgress);
    failing.receive("\r\nLogin failed. Good-Bye\r\n;");
    EXPECT_EQ(failing.result(), LoginResult::LoginFailed);
    EXPECT_EQ(failing.wrongPasswords(), 3);
}

struct StreamCase {
    const char* name;
    std::vector<std::string> received;
    std::vector<SessionItem> items; // after a final flush()
};

void PrintTo(const StreamCase& c, std::ostream* os)
{
    *os << c.name;
}

class SessionStreamTest : public ::testing::TestWithParam<StreamCase> {};

const std::string kIdle(protocol::kIdleTimeout);

const StreamCase kStreamCases[] = {
    {"RepliesOneByOne", {"FA00007050000;MD2;"}, {{Kind::RadioText, "FA00007050000;"}, {Kind::RadioText, "MD2;"}}},
    {"ReplyInPieces", {"FA0000", "7050000;"}, {{Kind::RadioText, "FA0000"}, {Kind::RadioText, "7050000;"}}},
    {"VoiceThenRadio", {"@@VE1;FA00007050000;"}, {{Kind::Voice, "@@VE1;"}, {Kind::RadioText, "FA00007050000;"}}},
    {"AccountReplies", {"@@ST000010000100;@@AI1;@@?;"},
     {{Kind::AccountReply, "@@ST000010000100;"}, {Kind::AccountReply, "@@AI1;"}, {Kind::AccountReply, "@@?;"}}},
    {"AccountReplySplit", {"@", "@S", "T000010000100;"}, {{Kind::AccountReply, "@@ST000010000100;"}}},
    {"IdleTimeoutAfterReply", {"MD2;" + kIdle}, {{Kind::RadioText, "MD2;"}, {Kind::IdleTimeout, kIdle}}},
    {"IdleTimeoutInPieces", {kIdle.substr(0, 5), kIdle.substr(5, 9), kIdle.substr(14)}, {{Kind::IdleTimeout, kIdle}}},
    {"CommandTooLong",
     {std::string(protocol::kCommandTooLong)},
     {{Kind::CommandTooLong, std::string(protocol::kCommandTooLong)}}},
    {"RadioLostAfterReply",
     {"FA00007050000;" + std::string(protocol::kRadioLost)},
     {{Kind::RadioText, "FA00007050000;"}, {Kind::RadioLost, std::string(protocol::kRadioLost)}}},
    {"RadioLostInPieces",
     {std::string(protocol::kRadioLost.substr(0, 20)), std::string(protocol::kRadioLost.substr(20))},
     {{Kind::RadioLost, std::string(protocol::kRadioLost)}}},
    // Raw text that merely starts like a host text is the radio's.
    {"CarriageReturnFromTheRadio", {"\r", "X1;"}, {{Kind::RadioText, "\rX1;"}}},
    {"LoneAtFlushed", {"@"}, {{Kind::RadioText, "@"}}},
    {"HeldTextFlushed", {"\r\nConn"}, {{Kind::RadioText, "\r\nConn"}}},
    // A timeout text inside a reply is not the host's.
    {"HostTextOnlyAtReplyStart", {"FA0" + kIdle}, {{Kind::RadioText, "FA0\r\nConnection time out.\r\nGood-Bye\r\n;"}}},
};

TEST_P(SessionStreamTest, CutsTheStream)
{
    const StreamCase& c = GetParam();
    SessionStream stream;
    std::vector<SessionItem> items;
    for (const std::string& piece : c.received) {
        const auto got = stream.feed(piece);
        items.insert(items.end(), got.begin(), got.end());
    }
    const auto rest = stream.flush();
    items.insert(items.end(), rest.begin(), rest.end());
    EXPECT_EQ(items, c.items);
    EXPECT_FALSE(stream.holding());
}

INSTANTIATE_TEST_SUITE_P(Streams, SessionStreamTest, ::testing::ValuesIn(kStreamCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CommandText, LinesBecomeCommands)
{
    const std::vector<std::pair<std::string, std::string>> lines{
        {"FA", "FA;"},       {"FA;", "FA;"},           {"  md\r\n", "md;"}, {"FA;MD", "FA;MD;"},
        {"\r\n", ""},        {"   ", ""},               {"KY hello ;", "KY hello ;"}, {"@@st", "@@st;"},
    };
    for (const auto& [line, command] : lines) {
        EXPECT_EQ(CommandFromLine(line), command) << line;
    }
    EXPECT_EQ(WithoutLineEnds("FA;\r\nMD;\n\rID;"), "FA;MD;ID;");
    const std::vector<std::pair<std::string, std::string>> mnemonics{
        {"fa;", "FA"}, {"FA00007050000;", "FA"}, {"@@st;", "@@ST"}, {"@@AI1;", "@@AI"}, {"X;", "X"}};
    for (const auto& [command, mnemonic] : mnemonics) {
        EXPECT_EQ(ReplyMnemonic(command), mnemonic) << command;
    }
}

TEST(CommandText, CredentialsTheHostCannotTakeAreNamed)
{
    EXPECT_EQ(CredentialProblem("user ID", "alice"), "");
    EXPECT_EQ(CredentialProblem("user ID", std::string(32, 'a')), "");
    EXPECT_EQ(CredentialProblem("user ID", std::string(33, 'a')), "the user ID is longer than 32 characters");
    EXPECT_EQ(CredentialProblem("password", ""), "the password is empty");
    EXPECT_NE(CredentialProblem("password", "a;b").find("\";\""), std::string::npos);
    EXPECT_NE(CredentialProblem("password", "a\nb").find("line break"), std::string::npos);
}

struct OptionsCase {
    std::vector<std::string> arguments;
    std::string error; // a part of the error; empty when the arguments are right
};

TEST(OptionsTest, CommandLines)
{
    ::unsetenv("ONDREL_USER");
    const std::vector<OptionsCase> cases{
        {{"radio.example", "-u", "alice"}, ""},
        {{"-ualice", "--port=50001", "radio.example", "-c", "FA", "-c", "MD;", "-w", "100"}, ""},
        {{"radio.example", "-u", "alice", "--pty", "/tmp/radio"}, ""},
        {{"radio.example", "-u", "alice", "--listen", "0", "--bind", "0.0.0.0"}, ""},
        {{"radio.example", "-u", "alice", "--password", "secret"}, "never taken from the command line"},
        {{"radio.example", "-u", "alice", "--password=secret"}, "never taken from the command line"},
        {{"radio.example"}, "which user?"},
        {{"-u", "alice"}, "which host?"},
        {{"a", "b", "-u", "alice"}, "one host only"},
        {{"radio.example", "-u", "alice", "-p", "70000"}, "number up to 65535"},
        {{"radio.example", "-u", "alice", "-p", "0"}, "1 to 65535"},
        {{"radio.example", "-u", "alice", "-c", "FA", "--pty", "/tmp/r"}, "choose one"},
        {{"radio.example", "-u", "alice", "--pty", "/tmp/r", "--listen", "4532"}, "choose one"},
        {{"radio.example", "-u", "alice", "-c", " "}, "empty command"},
        {{"radio.example", "-u", "al;ce"}, "\";\""},
        {{"radio.example", "-u", "alice", "--frobnicate"}, "unknown option --frobnicate"},
        {{"radio.example", "-u"}, "needs a value"},
    };
    for (const OptionsCase& c : cases) {
        Options options;
        std::string error;
        const bool parsed = ParseOptions(c.arguments, options, error);
        const std::string line = ::testing::PrintToString(c.arguments);
        if (c.error.empty()) {
            EXPECT_TRUE(parsed) << line << ": " << error;
        } else {
            EXPECT_FALSE(parsed) << line;
            EXPECT_NE(error.find(c.error), std::string::npos) << line << ": " << error;
        }
    }
    Options options;
    std::string error;
    ASSERT_TRUE(ParseOptions({"-ualice", "--port=50001", "radio.example", "-c", "FA", "-c", "MD;", "-w", "100"},
                             options, error));
    EXPECT_EQ(options.host, "radio.example");
    EXPECT_EQ(options.port, "50001");
    EXPECT_EQ(options.user, "alice");
    EXPECT_EQ(options.commands, (std::vector<std::string>{"FA", "MD;"}));
    EXPECT_EQ(options.quiet, std::chrono::milliseconds(100));
    ::setenv("ONDREL_USER", "bob", 1);
    EXPECT_TRUE(ParseOptions({"radio.example"}, options = Options(), error));
    EXPECT_EQ(options.user, "bob");
    ::unsetenv("ONDREL_USER");
}

TEST(PasswordFileTest, OnlyAFileOfTheUserAloneIsRead)
{
    testsupport::TempDir dir;
    const auto write = [&](const std::string& name, const std::string& text, mode_t mode) {
        const std::filesystem::path path = dir / name;
        std::ofstream(path) << text;
        ::chmod(path.c_str(), mode);
        return path.string();
    };
    std::filesystem::create_symlink(dir / "private", dir / "link");
    const std::vector<std::tuple<std::string, mode_t, std::string, std::string>> cases{
        // file, mode, password read, part of the error
        {write("private", "s3cret\n", 0600), 0600, "s3cret", ""},
        {write("dos", "s3cret\r\nsecond line\r\n", 0400), 0400, "s3cret", ""},
        {write("group", "s3cret\n", 0640), 0640, "", "may be read by others"},
        {write("world", "s3cret\n", 0604), 0604, "", "may be read by others"},
        {write("writable", "s3cret\n", 0620), 0620, "", "may be read by others"},
        {(dir / "link").string(), 0600, "", "cannot open"},
        {(dir / "missing").string(), 0600, "", "cannot open"},
        {dir.path().string(), 0700, "", "not a regular file"},
    };
    for (const auto& [path, mode, expected, failure] : cases) {
        std::string password;
        std::string error;
        const bool read = ReadPasswordFile(path, password, error);
        EXPECT_EQ(read, failure.empty()) << path << ": " << error;
        EXPECT_EQ(password, expected) << path;
        EXPECT_NE(error.find(failure), std::string::npos) << path << ": " << error;
    }
}

TEST(PasswordFileTest, TheEnvironmentPasswordIsTakenOnce)
{
    ::setenv(kPasswordVariable, "from-env", 1);
    EXPECT_EQ(TakeEnvironmentPassword(), std::optional<std::string>("from-env"));
    EXPECT_EQ(std::getenv(kPasswordVariable), nullptr);
    EXPECT_EQ(TakeEnvironmentPassword(), std::nullopt);
}

} // namespace
