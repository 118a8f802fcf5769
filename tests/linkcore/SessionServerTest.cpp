// SPDX-License-Identifier: GPL-3.0-or-later
// The session server's life: opening and closing it, one client at a time,
// listening again after every session, framing of client text, the session-close
// steps on the radio, pass-through, and clients that misbehave.

#include "linkcore/Linkcore.h"
#include "linkcore/facade/LinkcoreShared.h"
#include "linkcore/session/SessionServer.h"
#include "SessionFixture.h"
#include "testsupport/Wait.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

namespace sessiontest {
namespace {

constexpr platform::WParam kNotifyMD = 0x1026;

using SessionServerTest = SessionFixture;

// Watches the endpoint's receive buffer, so that a test can send its next piece
// only after the session thread took the last one: pieces that pile up in the
// endpoint's buffer past its size would be dropped there.
class ReceiveWatch {
public:
    explicit ReceiveWatch(CNetport& socket) : socket_(socket)
    {
        events().drain();
        socket_.WinMsgSendReg(&events());
    }
    ~ReceiveWatch() { socket_.WinMsgSendReg(nullptr); }

    bool waitTaken()
    {
        const bool received = testsupport::WaitUntil([&] {
            const auto taken = events().drain();
            return std::any_of(taken.begin(), taken.end(),
                               [](const platform::Message& m) { return m.wParam == kNetportEventReceived; });
        });
        return received && testsupport::WaitUntil([&] { return socket_.GetRcvDataLength() <= 0; });
    }

private:
    // The socket thread may still be posting when the window is unregistered, so the
    // queue outlives every test.
    static platform::MessageQueue& events()
    {
        static platform::MessageQueue queue;
        return queue;
    }

    CNetport& socket_;
};

// The radio commands received since `from`.
std::vector<std::string> Since(const std::vector<std::string>& commands, std::size_t from)
{
    return std::vector<std::string>(commands.begin() + static_cast<std::ptrdiff_t>(std::min(from, commands.size())),
                                    commands.end());
}

// The connection holds what the server's send buffer and the client's receive
// buffer hold; the kernel grows a send buffer to megabytes, more than the radio
// says in a test's time. The server's socket lives in this process: its buffer is
// set small, found as the socket whose peer is `clientFd`.
void ShrinkServerSendBuffer(int clientFd)
{
    sockaddr_in client{};
    socklen_t length = sizeof client;
    ASSERT_EQ(::getsockname(clientFd, reinterpret_cast<sockaddr*>(&client), &length), 0);
    bool found = false;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        const int fd = std::stoi(entry.path().filename().string());
        sockaddr_in peer{};
        length = sizeof peer;
        if (fd == clientFd || ::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0 ||
            peer.sin_family != AF_INET || peer.sin_port != client.sin_port ||
            peer.sin_addr.s_addr != client.sin_addr.s_addr) {
            continue;
        }
        const int small = 4096;
        ASSERT_EQ(::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &small, sizeof small), 0);
        found = true;
    }
    ASSERT_TRUE(found);
}

TEST_F(SessionServerTest, OpenIsRefusedWhileRunningAndOnPortsItCannotTake)
{
    startService(20);
    EXPECT_EQ(linkcore_.SocketServerOpen(testsupport::FreeTcpPort()), 0);
    CLinkcore other;
    EXPECT_EQ(other.SocketServerOpen(port_), 0);
    // Closing through another instance stops the one server.
    other.SocketServerClose();
    EXPECT_EQ(shared_.serverAlive, 0);
    other.SocketServerClose();

    EXPECT_EQ(linkcore_.SocketServerOpen(0), 0);
    EXPECT_EQ(linkcore_.SocketServerOpen(65536 + port_), 0);

    // A port another socket holds.
    const int holder = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(holder, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = 0;
    ASSERT_EQ(::bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(holder, 1), 0);
    socklen_t length = sizeof address;
    ASSERT_EQ(::getsockname(holder, reinterpret_cast<sockaddr*>(&address), &length), 0);
    EXPECT_EQ(linkcore_.SocketServerOpen(ntohs(address.sin_port)), 0);
    ::close(holder);
    EXPECT_EQ(messageBoxes(), std::vector<std::string>{"Network connection error."});
    EXPECT_EQ(shared_.serverAlive, 0);

    EXPECT_EQ(linkcore_.SocketServerOpen(port_), 1);
    ASSERT_TRUE(testsupport::WaitUntil([&] { return shared_.serverAlive == 1; }));
    auto client = connectAndLogIn();
}

TEST_F(SessionServerTest, ASecondClientIsTurnedAwayWhileTheFirstContinues)
{
    startService(20);
    auto first = connectAndLogIn();
    SessionClient second(port_);
    EXPECT_EQ(second.readThrough("BUSY;"), "BUSY;");
    EXPECT_TRUE(second.waitForClose());
    first->send("@@ST;");
    EXPECT_EQ(first->readThrough("@@ST000000000000;"), "@@ST000000000000;");
}

TEST_F(SessionServerTest, TheServerListensAgainAfterEverySession)
{
    startService(20);
    // Ended by the client, by the login timeout and by the command-length error.
    auto first = connectAndLogIn();
    first->close();
    ASSERT_TRUE(waitUntilListening());

    auto second = connect();
    clock_->advance(30);
    EXPECT_TRUE(second->waitForClose());
    ASSERT_TRUE(waitUntilListening());

    auto third = connect();
    {
        ReceiveWatch watch(shared_.socket);
        third->send(std::string(700, 'x'));
        ASSERT_TRUE(watch.waitTaken());
    }
    third->send(std::string(400, 'x'));
    EXPECT_EQ(third->readThrough(kCommandTooLong), kCommandTooLong);
    EXPECT_TRUE(third->waitForClose());
    ASSERT_TRUE(waitUntilListening());

    auto fourth = connectAndLogIn();
    EXPECT_TRUE(waitForLogRecord("127.0.0.1 LOGIN alice Password OK."));
    const auto records = logRecords();
    EXPECT_EQ(std::count(records.begin(), records.end(), "127.0.0.1 OPEN - Connection Open"), 4);
    EXPECT_EQ(std::count_if(records.begin(), records.end(),
                            [](const std::string& r) { return r.find(" CLOSE ") != std::string::npos; }),
              3);
    EXPECT_EQ(std::count(records.begin(), records.end(), "127.0.0.1 LOGIN - Connection Error:Command Buffer Full!!"),
              1);
}

TEST_F(SessionServerTest, CommandTextOfUpTo1023CharactersIsFramedAndMoreIsAnError)
{
    startService(20);
    auto client = connect();
    ReceiveWatch watch(shared_.socket);
    // 1022 characters and ";" fit: an unknown segment, ignored before login.
    const std::string body(1022, 'q');
    client->send(body.substr(0, 600));
    ASSERT_TRUE(watch.waitTaken());
    client->send(body.substr(600) + ";");
    ASSERT_TRUE(watch.waitTaken());
    client->send("UID:alice;");
    EXPECT_EQ(client->readThrough(kUserIdOk), kUserIdOk);

    // 1023 characters without ";" and one more reach the limit.
    client->send(std::string(700, 'r'));
    ASSERT_TRUE(watch.waitTaken());
    client->send(std::string(323, 'r'));
    ASSERT_TRUE(watch.waitTaken());
    client->send(";");
    EXPECT_EQ(client->readThrough(kCommandTooLong), kCommandTooLong);
    EXPECT_TRUE(client->waitForClose());
    EXPECT_TRUE(waitForLogRecord("127.0.0.1 CLOSE alice Connection Close"));
    const auto records = logRecords();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[1], "127.0.0.1 LOGIN - Connection Error:Command Buffer Full!!");
}

TEST_F(SessionServerTest, CommandsSplitAcrossChunksAreDispatchedWhole)
{
    startService(20);
    auto client = connectAndLogIn();
    const std::size_t before = radio_->receivedCommands().size();
    client->send("FA00007000000;FA00007010000;FA0000702");
    client->send("0000;@@ST;");
    EXPECT_TRUE(client->readThrough("@@ST000000000000;").ends_with("@@ST000000000000;"));
    syncRadio();
    EXPECT_EQ(Since(radio_->receivedCommands(), before),
              (std::vector<std::string>{"FA00007000000;", "FA00007010000;", "FA00007020000;", "AI0;"}));

    // One byte at a time.
    const std::string batch = "md1;@@st;";
    for (char c : batch) {
        client->send(std::string(1, c));
    }
    EXPECT_TRUE(client->readThrough("@@ST000000000000;").ends_with("@@ST000000000000;"));
    EXPECT_TRUE(radio_->waitForCommand("MD1;", 5s));
}

TEST_F(SessionServerTest, ATarselIsUnkeyedAndAskedForItsStateWhenASessionCloses)
{
    startService(20);
    auto client = connectAndLogIn();
    EXPECT_TRUE(testsupport::WaitUntil([&] { return shared_.radioState.ID.model == 20; }));
    radio_->clearReceivedCommands();
    client->close();
    ASSERT_TRUE(radio_->waitForCommand("IF;", 5s));
    EXPECT_EQ(radio_->receivedCommands(),
              (std::vector<std::string>{"KY" + std::string(25, ' ') + ";", "ID;", "RX;", "IF;"}));
    ASSERT_TRUE(waitForNotification(linkcore::kNotifySession, linkcore::kSessionClosing));
    // The radio's answer to "ID;" identifies it again.
    EXPECT_TRUE(testsupport::WaitUntil([&] { return shared_.radioState.ID.received == 1; }));
}

// The radio's answers to a session's close steps ("ID;RX;IF;") are held back from the
// next client, who may be logged in before they arrive, up to the IF reply's end;
// the radio may cut its replies anywhere, inside "IF" too. The test clock stands
// still, so only the IF reply can end the hold here.
TEST_F(SessionServerTest, TheNextClientHearsNoneOfTheCloseRepliesWhereverTheRadioCutsThem)
{
    startService(20);
    for (const std::size_t cut : {1, 2, 5}) {
        SCOPED_TRACE(cut);
        auto first = connectAndLogIn();
        radio_->setSplitPoints({cut});
        radio_->clearReceivedCommands();
        first->close();
        ASSERT_TRUE(waitUntilListening());
        auto next = connectAndLogIn();
        ASSERT_TRUE(radio_->waitForCommand("IF;", 5s));
        next->send("FA;");
        EXPECT_EQ(next->readThrough(";"), radio_->query("FA;"));
        radio_->setSplitPoints({});
        next->close();
        ASSERT_TRUE(waitUntilListening());
    }
}

TEST_F(SessionServerTest, ACorvexLeavesPassThroughWhenASessionCloses)
{
    startService(19);
    auto client = connectAndLogIn();
    // Setting menu 055 hands the radio's line to a terminal node: pass-through.
    client->send("EX05500001;");
    ASSERT_TRUE(testsupport::WaitUntil([&] { return shared_.passThrough == 1; }));
    EXPECT_EQ(client->readThrough("EX05500001;"), "EX05500001;");
    // Client text now goes to the radio raw, without framing or filtering, and the
    // radio's echo comes back raw.
    client->send("sr hello\r");
    EXPECT_EQ(client->readThrough("sr hello\r"), "sr hello\r");
    EXPECT_TRUE(testsupport::WaitUntil([&] { return radio_->passThroughText().find("sr hello\r") != std::string::npos; }));

    radio_->clearReceivedCommands();
    client->close();
    ASSERT_TRUE(radio_->waitForCommand("IF;", 5s));
    EXPECT_EQ(radio_->receivedCommands(), (std::vector<std::string>{"TC 1;", "ID;", "RX;", "IF;"}));
    EXPECT_FALSE(radio_->passThrough());
    EXPECT_EQ(shared_.passThrough, 0);
}

TEST_F(SessionServerTest, AClientGoneInTheMiddleOfACommandLeavesNothingBehind)
{
    startService(20);
    auto client = connectAndLogIn();
    {
        ReceiveWatch watch(shared_.socket);
        client->send("FA0000705");
        ASSERT_TRUE(watch.waitTaken());
    }
    client->close();
    EXPECT_TRUE(waitForLogRecord("127.0.0.1 CLOSE alice Connection Close"));
    ASSERT_TRUE(waitUntilListening());

    auto next = connect();
    const std::size_t before = radio_->receivedCommands().size();
    next->send("UID:alice;");
    EXPECT_EQ(next->readThrough(kUserIdOk), kUserIdOk);
    next->send("PWD:Secret-1;FA00007060000;");
    EXPECT_EQ(next->readThrough(kLoggedIn), kLoggedIn);
    EXPECT_TRUE(radio_->waitForCommand("FA00007060000;", 5s));
    syncRadio();
    for (const std::string& command : Since(radio_->receivedCommands(), before)) {
        EXPECT_EQ(command.find("0705"), std::string::npos) << command;
    }
}

TEST_F(SessionServerTest, AClientThatNeverReadsDoesNotStallTheRadioReader)
{
    startService(20);
    // A client with a small receive window that logs in and then reads nothing.
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(fd, 0);
    const int small = 4096;
    ASSERT_EQ(::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small), 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port_));
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const std::string login = "UID:alice;PWD:Secret-1;";
    ASSERT_EQ(::send(fd, login.data(), login.size(), MSG_NOSIGNAL), static_cast<ssize_t>(login.size()));
    ASSERT_TRUE(testsupport::WaitUntil([&] { return shared_.session.clientLoggedIn == 1; }));
    ShrinkServerSendBuffer(fd);

    // The radio talks far more than the connection holds.
    std::string burst;
    for (int i = 0; i < 500; ++i) {
        burst += "FA00014250000;";
    }
    int polls = 0;
    const bool sessionEnded = testsupport::WaitUntil(
        [&] {
            if (polls++ % 50 == 0) {
                radio_->inject(burst);
            }
            return shared_.clientConnected == 0;
        },
        60s);
    ::close(fd);
    ASSERT_TRUE(sessionEnded);
    EXPECT_TRUE(waitForLogRecord("127.0.0.1 CLOSE alice Connection Close"));

    // The reader still parses what the radio says.
    radio_->inject("MD3;");
    EXPECT_TRUE(waitForRadioNotification(kNotifyMD, 3, 10s));
    ASSERT_TRUE(waitUntilListening());
    auto next = connectAndLogIn();
}

TEST_F(SessionServerTest, ClosingTheServerMidSessionLeavesTheNextOpenClean)
{
    startService(20);
    auto client = connectAndLogIn();
    radio_->clearReceivedCommands();
    linkcore_.SocketServerClose();
    EXPECT_TRUE(client->waitForClose());
    EXPECT_EQ(shared_.serverAlive, 0);
    // Stopping the server does not run the session-close steps, but the log closes the session.
    syncRadio();
    EXPECT_EQ(radio_->receivedCommands(), std::vector<std::string>{"AI0;"});
    EXPECT_TRUE(waitForLogRecord("127.0.0.1 CLOSE alice Connection Close"));

    port_ = testsupport::FreeTcpPort();
    ASSERT_EQ(linkcore_.SocketServerOpen(port_), 1);
    EXPECT_EQ(shared_.clientConnected, 0);
    char user[linkcore::SessionRecord::kUserIdSize] = "untouched";
    linkcore_.GetLoginUserID(user);
    EXPECT_STREQ(user, "untouched");
    auto next = connect();
    next->send("@@ST;");
    EXPECT_EQ(next->readThrough(kCommandRefused), kCommandRefused);
    logIn(*next);
}

TEST_F(SessionServerTest, TheLocalAddressIsADottedQuad)
{
    char address[CNetport::kAddressTextSize] = {};
    if (linkcore_.GetLocalIP(address) == 1) {
        in_addr parsed{};
        EXPECT_EQ(::inet_pton(AF_INET, address, &parsed), 1) << address;
    } else {
        EXPECT_EQ(std::string(address, 4), std::string(4, '\0'));
    }
}

// The radio's modem sends binary frames in pass-through mode: NUL bytes and all pass
// both ways byte for byte.
TEST_F(SessionServerTest, PassThroughRelaysFramesWithNulBytesBothWays)
{
    using namespace std::string_literals;
    startService(19);
    auto client = connectAndLogIn();
    client->send("EX05500001;");
    ASSERT_TRUE(testsupport::WaitUntil([&] { return shared_.passThrough == 1; }));
    ASSERT_EQ(client->readThrough("EX05500001;"), "EX05500001;");

    const std::string toRadio = "\xc0\x00\x82\xa0\x00\x00;\x00sr\r\xc0"s;
    client->send(toRadio);
    // The simulated modem echoes what it receives.
    EXPECT_EQ(client->readThrough("sr\r\xc0"), toRadio);
    EXPECT_TRUE(testsupport::WaitUntil([&] { return radio_->passThroughText().find(toRadio) != std::string::npos; }));

    const std::string fromRadio = "\xc0\x00\x96\x00\x00\x01\x00frame\xc0"s;
    radio_->inject(fromRadio);
    EXPECT_EQ(client->readThrough("frame\xc0"), fromRadio);
}

// A client may send its last commands and close at once, before it was even logged
// in: the commands reach the radio in order, before the steps of the session's close.
TEST_F(SessionServerTest, TheLastCommandsBeforeAnAbruptCloseAreCarriedOutInOrder)
{
    const std::vector<std::string> commands = {"FA00014250000;", "MD1;", "FB00007050000;", "MD2;"};
    std::string batch;
    for (const std::string& command : commands) {
        batch += command;
    }
    startService(20);
    const std::vector<std::string> texts = {
        "UID:" + std::string(kUser) + ";PWD:" + std::string(kPassword) + ";" + batch, // login and commands at once
        batch,                                                                          // logged in before
    };
    for (const std::string& text : texts) {
        auto client = connect();
        if (text == batch) {
            logIn(*client);
        }
        radio_->clearReceivedCommands();
        client->send(text);
        client->close();
        ASSERT_TRUE(radio_->waitForCommand("IF;", 5s));
        std::vector<std::string> expected = commands;
        expected.insert(expected.end(), {"KY" + std::string(25, ' ') + ";", "ID;", "RX;", "IF;"});
        EXPECT_EQ(radio_->receivedCommands(), expected) << text;
        ASSERT_TRUE(waitUntilListening());
    }
}

} // namespace
} // namespace sessiontest
