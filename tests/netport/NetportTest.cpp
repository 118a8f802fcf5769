// SPDX-License-Identifier: GPL-3.0-or-later
#include "netport/Netport.h"

#include "platform/MessageBox.h"
#include "platform/WindowMessage.h"
#include "testsupport/LoopbackClient.h"
#include "testsupport/MessageBoxCapture.h"
#include "testsupport/Wait.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using testsupport::LoopbackClient;
using testsupport::WaitUntil;

// Longer than any test may run: a wait that is not woken shows as the test's timeout.
constexpr unsigned kNeverMs = 10 * 60 * 1000;

platform::Message NetportEvent(platform::WParam event, platform::LParam value)
{
    return platform::Message{WM_NETPORT_EVENT, event, value};
}

using testsupport::MessageBoxCapture;

// A plain listening socket on 127.0.0.1 for the endpoint's client mode, or to hold a port.
class TestListener {
public:
    explicit TestListener(unsigned port = 0, in_addr_t address = htonl(INADDR_LOOPBACK))
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in bound{};
        bound.sin_family = AF_INET;
        bound.sin_port = htons(static_cast<std::uint16_t>(port));
        bound.sin_addr.s_addr = address;
        socklen_t length = sizeof bound;
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&bound), sizeof bound) != 0 || ::listen(fd_, 4) != 0 ||
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&bound), &length) != 0) {
            ADD_FAILURE() << "test listener: " << std::strerror(errno);
        }
        port_ = ntohs(bound.sin_port);
    }
    ~TestListener()
    {
        closePeer();
        ::close(fd_);
    }
    TestListener(const TestListener&) = delete;
    TestListener& operator=(const TestListener&) = delete;

    unsigned port() const { return port_; }
    int peer() const { return peer_; }

    bool accept()
    {
        pollfd readable{fd_, POLLIN, 0};
        if (::poll(&readable, 1, 5000) != 1) {
            return false;
        }
        closePeer();
        peer_ = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
        return peer_ >= 0;
    }
    void closePeer()
    {
        if (peer_ >= 0) {
            ::close(peer_);
            peer_ = -1;
        }
    }

private:
    int fd_ = -1;
    int peer_ = -1;
    unsigned port_ = 0;
};

// Reads from `fd` until `count` bytes arrived, the peer closed, or `limit` passed.
std::string ReadFromSocket(int fd, std::size_t count, std::chrono::milliseconds limit)
{
    std::string received;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::vector<char> chunk(64 * 1024);
    while (received.size() < count && std::chrono::steady_clock::now() < deadline) {
        pollfd readable{fd, POLLIN, 0};
        if (::poll(&readable, 1, 100) <= 0) {
            continue;
        }
        const ssize_t n = ::recv(fd, chunk.data(), std::min(chunk.size(), count - received.size()), 0);
        if (n == 0 || (n < 0 && errno != EINTR)) {
            break;
        }
        if (n > 0) {
            received.append(chunk.data(), static_cast<std::size_t>(n));
        }
    }
    return received;
}

// A NUL-terminated text of `size` copies of `letter`, as Write takes it.
std::vector<unsigned char> TextOf(std::size_t size, char letter)
{
    std::vector<unsigned char> text(size + 1, static_cast<unsigned char>(letter));
    text.back() = '\0';
    return text;
}

class NetportTest : public ::testing::Test {
protected:
    void SetUp() override { netport_.WinMsgSendReg(&queue_); }
    void TearDown() override
    {
        netport_.StopListening();
        netport_.WinMsgSendReg(nullptr);
    }

    // Listens on the test's port and connects `client` to it until the endpoint accepted it.
    void Serve(std::unique_ptr<LoopbackClient>& client)
    {
        ASSERT_EQ(1, netport_.Listen(port_));
        client = std::make_unique<LoopbackClient>(port_);
        ASSERT_TRUE(client->connected());
        ASSERT_TRUE(WaitUntil([this] { return netport_.GetSocketAccepted() == 1; }));
    }

    std::string TakeText()
    {
        unsigned char text[CNetport::kReceiveBufferSize];
        std::memset(text, 0xff, sizeof text);
        EXPECT_EQ(1, netport_.GetRcvData(text));
        return std::string(reinterpret_cast<const char*>(text));
    }

    bool WaitForLength(int length)
    {
        return WaitUntil([this, length] { return netport_.GetRcvDataLength() == length; });
    }

    // Skips other messages until `expected` arrives.
    bool WaitForMessage(const platform::Message& expected)
    {
        for (;;) {
            const std::optional<platform::Message> message = queue_.take(5s);
            if (!message) {
                return false;
            }
            if (*message == expected) {
                return true;
            }
        }
    }

    std::vector<platform::Message> NextMessages(std::size_t count)
    {
        std::vector<platform::Message> messages;
        while (messages.size() < count) {
            const std::optional<platform::Message> message = queue_.take(5s);
            if (!message) {
                break;
            }
            messages.push_back(*message);
        }
        return messages;
    }

    const unsigned port_ = testsupport::FreeTcpPort();
    platform::MessageQueue queue_; // outlives the endpoint's registration
    CNetport netport_;
};

TEST_F(NetportTest, ServesOneClientAndReportsItsAddress)
{
    char address[CNetport::kAddressTextSize] = "untouched";
    EXPECT_EQ(0, netport_.GetClientIP(address));
    EXPECT_STREQ("untouched", address);
    EXPECT_EQ(-1, netport_.GetRcvDataLength());

    ASSERT_EQ(1, netport_.Listen(port_));
    EXPECT_EQ(0, netport_.GetRcvDataLength());
    EXPECT_EQ(0, netport_.GetClientExist());
    EXPECT_EQ(0, netport_.GetSocketAccepted());
    EXPECT_EQ(0, netport_.GetClientIP(address));

    LoopbackClient client(port_);
    ASSERT_TRUE(client.connected());
    ASSERT_TRUE(WaitUntil([this] { return netport_.GetSocketAccepted() == 1; }));
    EXPECT_EQ(1, netport_.GetClientExist());
    EXPECT_EQ(0, netport_.GetSocketClosed());
    EXPECT_EQ(1, netport_.GetClientIP(address));
    EXPECT_STREQ("127.0.0.1", address);
    EXPECT_EQ(NextMessages(1), std::vector{NetportEvent(kNetportEventAccepted, 0)});
}

TEST_F(NetportTest, TheAddressOfAClientThatSentAndLeftAtOnceIsStillKnown)
{
    ASSERT_EQ(1, netport_.Listen(port_));
    {
        LoopbackClient client(port_);
        ASSERT_TRUE(client.connected());
        client.send("UID:demo;");
    }
    ASSERT_TRUE(WaitUntil([this] { return netport_.GetSocketClosed() == 1; }));
    char address[CNetport::kAddressTextSize] = {};
    EXPECT_EQ(1, netport_.GetClientIP(address));
    EXPECT_STREQ("127.0.0.1", address);

    ASSERT_EQ(1, netport_.Listen(port_));
    EXPECT_EQ(0, netport_.GetClientIP(address)) << "a new listen forgets the last peer";
}

TEST_F(NetportTest, SecondClientGetsBusyAndIsClosedWhileTheFirstGoesOn)
{
    std::unique_ptr<LoopbackClient> first;
    Serve(first);

    LoopbackClient second(port_);
    ASSERT_TRUE(second.connected());
    EXPECT_EQ("BUSY;", second.receiveFor(5s));
    EXPECT_TRUE(second.waitForClose());

    first->send("ID;");
    ASSERT_TRUE(WaitForLength(3));
    EXPECT_EQ("ID;", TakeText());
    unsigned char reply[] = "ID020;";
    EXPECT_EQ(1, netport_.Write(reply, sizeof reply - 1));
    EXPECT_EQ("ID020;", first->receiveUntil(";"));
    EXPECT_EQ(0, netport_.GetSocketClosed());

    const std::vector<platform::Message> messages = queue_.drain();
    EXPECT_EQ(1, std::count(messages.begin(), messages.end(), NetportEvent(kNetportEventAccepted, 0)));
}

TEST_F(NetportTest, ClientLeavingEndsTheSessionAndTheNextClientWaitsForTheNextListen)
{
    std::unique_ptr<LoopbackClient> client;
    Serve(client);
    client->send("ID;");
    ASSERT_TRUE(WaitForLength(3));
    client->close();

    ASSERT_TRUE(WaitUntil([this] { return netport_.GetSocketClosed() == 1; }));
    EXPECT_EQ(1, netport_.GetClientExist());
    EXPECT_EQ(1, netport_.GetSocketAccepted());
    EXPECT_EQ(-1, netport_.GetRcvDataLength());
    EXPECT_EQ("ID;", TakeText()) << "text received before the end is still there to take";
    unsigned char text[] = "FA;";
    EXPECT_EQ(0, netport_.Write(text, sizeof text - 1));
    EXPECT_EQ(NextMessages(3), (std::vector{NetportEvent(kNetportEventAccepted, 0),
                                            NetportEvent(kNetportEventReceived, 3),
                                            NetportEvent(kNetportEventClosed, 0)}));

    // Between sessions the port still takes connections: they wait, unanswered.
    LoopbackClient next(port_, 0ms);
    ASSERT_TRUE(next.connected()) << "a client between sessions is not refused";
    next.send("UID:demo;");
    EXPECT_EQ("", next.receiveFor(100ms)) << "neither served nor turned away before the next Listen";
    EXPECT_EQ(-1, netport_.GetRcvDataLength());

    ASSERT_EQ(1, netport_.Listen(port_));
    ASSERT_TRUE(WaitUntil([this] { return netport_.GetSocketAccepted() == 1; }));
    EXPECT_EQ(1, netport_.GetClientExist());
    ASSERT_TRUE(WaitForLength(9));
    EXPECT_EQ("UID:demo;", TakeText()) << "what it sent while waiting is kept";
    unsigned char reply[] = "UID:OK;";
    EXPECT_EQ(1, netport_.Write(reply, sizeof reply - 1));
    EXPECT_EQ("UID:OK;", next.receiveUntil(";"));
}

// A client that closes and connects again at once, as station programs do, is served
// by the next Listen every time: never refused, reset, turned away or left waiting.
TEST_F(NetportTest, AClientThatReconnectsAtOnceIsServedEveryTime)
{
    constexpr int kCycles = 200;
    std::unique_ptr<LoopbackClient> client;
    Serve(client);
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        SCOPED_TRACE(cycle);
        client->send("ID;");
        ASSERT_TRUE(WaitForLength(3));
        EXPECT_EQ("ID;", TakeText());
        unsigned char reply[] = "ID020;";
        ASSERT_EQ(1, netport_.Write(reply, sizeof reply - 1));
        ASSERT_EQ("ID020;", client->receiveUntil(";"));
        // Its last words and the close, then the new connection, with no pause.
        client->send("RX;");
        client->close();
        client = std::make_unique<LoopbackClient>(port_, 0ms);
        ASSERT_TRUE(client->connected());

        // The owner's close steps: the session ends, then the next Listen.
        ASSERT_TRUE(WaitUntil([this] { return netport_.GetSocketClosed() == 1; }));
        EXPECT_EQ("RX;", TakeText());
        ASSERT_EQ(1, netport_.DisConnect());
        ASSERT_EQ(1, netport_.Listen(port_));
        ASSERT_TRUE(WaitUntil([this] { return netport_.GetSocketAccepted() == 1; }));
    }
}

// Clients that connect during a session are turned away; those that come while the
// owner closes one wait, and the next Listen serves the first of them.
TEST_F(NetportTest, DuringASessionBusyBetweenSessionsTheBacklog)
{
    std::unique_ptr<LoopbackClient> first;
    Serve(first);
    LoopbackClient during(port_, 0ms);
    ASSERT_TRUE(during.connected());
    EXPECT_EQ("BUSY;", during.receiveFor(5s));
    EXPECT_TRUE(during.waitForClose());

    ASSERT_EQ(1, netport_.DisConnect());
    EXPECT_TRUE(first->waitForClose());
    LoopbackClient second(port_, 0ms);
    LoopbackClient third(port_, 0ms);
    ASSERT_TRUE(second.connected());
    ASSERT_TRUE(third.connected());

    ASSERT_EQ(1, netport_.Listen(port_));
    ASSERT_TRUE(WaitUntil([this] { return netport_.GetSocketAccepted() == 1; }));
    EXPECT_EQ("BUSY;", third.receiveFor(5s)) << "the later one finds the session taken";
    EXPECT_TRUE(third.waitForClose());
    second.send("ID;");
    ASSERT_TRUE(WaitForLength(3));
    EXPECT_EQ("ID;", TakeText());
}

// StopListening frees the port: clients waiting are dropped, new ones are refused,
// and a Listen afterwards works as the first one did.
TEST_F(NetportTest, StopListeningFreesThePort)
{
    std::unique_ptr<LoopbackClient> client;
    Serve(client);
    ASSERT_EQ(1, netport_.DisConnect());
    LoopbackClient waiting(port_, 0ms);
    ASSERT_TRUE(waiting.connected());

    ASSERT_EQ(1, netport_.StopListening());
    EXPECT_TRUE(waiting.waitForClose()) << "a waiting client is dropped with the listening socket";
    EXPECT_FALSE(LoopbackClient(port_, 0ms).connected()) << "nobody listens once stopped";
    EXPECT_EQ(1, netport_.Listen(port_));
    LoopbackClient next(port_, 0ms);
    ASSERT_TRUE(next.connected());
    EXPECT_TRUE(WaitUntil([this] { return netport_.GetSocketAccepted() == 1; }));
}

TEST_F(NetportTest, AListenOnAnotherPortClosesTheOldOne)
{
    std::unique_ptr<LoopbackClient> client;
    Serve(client);
    ASSERT_EQ(1, netport_.DisConnect());
    const unsigned otherPort = testsupport::FreeTcpPort();
    ASSERT_EQ(1, netport_.Listen(otherPort));
    EXPECT_FALSE(LoopbackClient(port_, 0ms).connected());
    LoopbackClient next(otherPort);
    ASSERT_TRUE(next.connected());
    EXPECT_TRUE(WaitUntil([this] { return netport_.GetSocketAccepted() == 1; }));
}

TEST_F(NetportTest, ListenAgainOnTheSamePortRightAfterTheSessionEnded)
{
    std::unique_ptr<LoopbackClient> client;
    Serve(client);
    // Closing first leaves this side's end of the connection waiting on the port.
    ASSERT_EQ(1, netport_.DisConnect());
    ASSERT_TRUE(client->waitForClose());
    client->close();

    MessageBoxCapture boxes;
    ASSERT_EQ(1, netport_.Listen(port_));
    EXPECT_TRUE(boxes.texts().empty());
    LoopbackClient next(port_);
    ASSERT_TRUE(next.connected());
    EXPECT_TRUE(WaitUntil([this] { return netport_.GetSocketAccepted() == 1; }));
}

TEST_F(NetportTest, ListenWhileRunningIsRefusedButClearsTheFlags)
{
    std::unique_ptr<LoopbackClient> client;
    Serve(client);
    const unsigned otherPort = testsupport::FreeTcpPort();

    MessageBoxCapture boxes;
    EXPECT_EQ(0, netport_.Listen(otherPort));
    EXPECT_EQ(0, netport_.GetSocketAccepted());
    EXPECT_EQ(0, netport_.GetSocketClosed());
    EXPECT_EQ(1, netport_.GetClientExist());
    EXPECT_TRUE(boxes.texts().empty()) << "a refusal is silent";
    LoopbackClient other(otherPort, 200ms);
    EXPECT_FALSE(other.connected());

    client->send("ID;");
    ASSERT_TRUE(WaitForLength(3));
    unsigned char text[] = "FA;";
    EXPECT_EQ(1, netport_.Write(text, sizeof text - 1));
    EXPECT_EQ("FA;", client->receiveUntil(";"));
}

TEST_F(NetportTest, ListenFailureShowsNetworkConnectionError)
{
    TestListener holder(port_, htonl(INADDR_ANY));
    MessageBoxCapture boxes;

    EXPECT_EQ(0, netport_.Listen(port_));
    EXPECT_EQ(0, netport_.Listen(65536));
    EXPECT_EQ(boxes.texts(), (std::vector<std::string>{"Network connection error.", "Network connection error."}));
    EXPECT_EQ(-1, netport_.GetRcvDataLength());
    EXPECT_EQ(0, netport_.GetSocketClosed());
}

// The bind address decides which local addresses reach the endpoint: the allowed
// one is served and shows its peer's address, the other is refused by the system.
TEST_F(NetportTest, TheBindAddressLimitsWhereClientsConnect)
{
    struct Case {
        const char* bind;
        const char* served;
        const char* peer;
        const char* refused;
    };
    const Case cases[] = {
        {"127.0.0.1", "127.0.0.1", "127.0.0.1", "127.0.0.2"},
        {"localhost", "127.0.0.1", "127.0.0.1", "127.0.0.2"},
        {"::1", "::1", "::1", "127.0.0.1"},
        {"", "127.0.0.2", "127.0.0.1", "::1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bind);
        EXPECT_EQ(1, netport_.SetBindAddress(c.bind));
        ASSERT_EQ(1, netport_.Listen(port_));
        LoopbackClient refused(c.refused, port_, {}, std::chrono::milliseconds(0));
        EXPECT_FALSE(refused.connected());
        LoopbackClient client(c.served, port_);
        ASSERT_TRUE(client.connected());
        ASSERT_TRUE(WaitUntil([this] { return netport_.GetSocketAccepted() == 1; }));
        char address[CNetport::kAddressTextSize] = {};
        EXPECT_EQ(1, netport_.GetClientIP(address));
        EXPECT_STREQ(address, c.peer);
        client.send("IF;");
        ASSERT_TRUE(WaitForLength(3));
        EXPECT_EQ(TakeText(), "IF;");
        netport_.DisConnect();
    }
}

TEST_F(NetportTest, ABadBindAddressFailsTheListenLikeABadPort)
{
    MessageBoxCapture boxes;
    for (const char* bad : {"not-an-address", "1.2.3.4.5", "::1::2", "localhost6", " 127.0.0.1"}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(0, netport_.SetBindAddress(bad));
        EXPECT_EQ(0, netport_.Listen(port_));
        EXPECT_EQ(-1, netport_.GetRcvDataLength());
    }
    EXPECT_EQ(boxes.texts(), std::vector<std::string>(5, "Network connection error."));
    // A new endpoint object listens on every IPv4 address again.
    CNetport fresh;
    EXPECT_EQ(1, fresh.Listen(port_));
    LoopbackClient client("127.0.0.2", port_);
    EXPECT_TRUE(client.connected());
}

TEST_F(NetportTest, ReceivedTextAccumulatesUntilTaken)
{
    std::unique_ptr<LoopbackClient> client;
    Serve(client);
    EXPECT_EQ("", TakeText());

    client->send("FA00014250000;");
    ASSERT_TRUE(WaitForLength(14));
    int expected = 14;
    for (const char c : std::string("ID;")) {
        client->send(std::string(1, c));
        ASSERT_TRUE(WaitForLength(++expected));
    }
    EXPECT_EQ("FA00014250000;ID;", TakeText());
    EXPECT_EQ(0, netport_.GetRcvDataLength());
    EXPECT_EQ("", TakeText());

    std::vector<platform::LParam> lengths;
    for (const platform::Message& message : queue_.drain()) {
        if (message.wParam == kNetportEventReceived) {
            lengths.push_back(message.lParam);
        }
    }
    EXPECT_EQ(lengths, (std::vector<platform::LParam>{14, 15, 16, 17}));
}

// The buffer holds 1023 characters; what does not fit waits in the socket until the
// owner takes text, so no text is lost and the owner alone decides what is too long.
TEST_F(NetportTest, TextBeyondTheBufferWaitsInTheSocketUntilTaken)
{
    std::unique_ptr<LoopbackClient> client;
    Serve(client);

    client->send(std::string(1000, 'A'));
    ASSERT_TRUE(WaitForLength(1000));
    client->send(std::string(24, 'B') + "C");
    ASSERT_TRUE(WaitForLength(1023)) << "1023 characters fit";
    EXPECT_EQ(std::string(1000, 'A') + std::string(23, 'B'), TakeText());
    ASSERT_TRUE(WaitForLength(2)) << "the rest follows once there is room";
    EXPECT_EQ("BC", TakeText());

    // A burst far larger than the buffer arrives whole, in buffer-sized pieces.
    std::string burst(5000, ' ');
    for (std::size_t i = 0; i < burst.size(); ++i) {
        burst[i] = static_cast<char>('a' + i % 26);
    }
    client->send(burst);
    std::string received;
    ASSERT_TRUE(WaitUntil([&] {
        if (netport_.GetRcvDataLength() > 0) {
            const std::string piece = TakeText();
            EXPECT_LE(piece.size(), 1023u);
            received += piece;
        }
        return received.size() >= burst.size();
    }));
    EXPECT_EQ(burst, received);
    for (const platform::Message& message : queue_.drain()) {
        if (message.wParam == kNetportEventReceived) {
            EXPECT_GT(message.lParam, 0) << "nothing is ever dropped";
        }
    }
}

// Binary frames pass both ways byte for byte: NUL bytes are part of the text, and
// Write sends exactly the length it is given.
TEST_F(NetportTest, NulBytesPassBothWaysWithTheirLengths)
{
    using namespace std::string_literals;
    std::unique_ptr<LoopbackClient> client;
    Serve(client);

    const std::string frames[] = {"\0"s, "AB\0CD"s, "\0\0ID;"s, "\x7e\x00\xff\x00\x7e;"s};
    for (const std::string& frame : frames) {
        client->send(frame);
        ASSERT_TRUE(WaitForLength(static_cast<int>(frame.size())));
        unsigned char text[CNetport::kReceiveBufferSize];
        std::memset(text, 0xff, sizeof text);
        unsigned long length = 0;
        EXPECT_EQ(1, netport_.GetRcvData(text, &length));
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(text), length), frame);
        EXPECT_EQ(0, text[length]) << "terminated after its length";

        std::string reply = frame + "!";
        EXPECT_EQ(1, netport_.Write(reinterpret_cast<unsigned char*>(reply.data()), frame.size()))
            << "only the given length goes";
        std::string received;
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (received.size() < frame.size() && std::chrono::steady_clock::now() < deadline) {
            received += client->receiveFor(50ms);
        }
        EXPECT_EQ(received, frame);
    }
}

TEST_F(NetportTest, WriteWithoutClientReturnsZeroAndSendsNothing)
{
    unsigned char text[] = "ID;";
    EXPECT_EQ(0, netport_.Write(text, sizeof text - 1));
    EXPECT_STREQ("ID;", reinterpret_cast<const char*>(text));

    ASSERT_EQ(1, netport_.Listen(port_));
    EXPECT_EQ(0, netport_.Write(text, sizeof text - 1));
    EXPECT_STREQ("ID;", reinterpret_cast<const char*>(text));

    LoopbackClient client(port_);
    ASSERT_TRUE(client.connected());
    ASSERT_TRUE(WaitUntil([this] { return netport_.GetSocketAccepted() == 1; }));
    unsigned char reply[] = "FA;";
    EXPECT_EQ(1, netport_.Write(reply, sizeof reply - 1));
    EXPECT_EQ("FA;", client.receiveUntil(";"));
}

TEST_F(NetportTest, WriteSendsTheGivenLengthAndConsumesIt)
{
    std::unique_ptr<LoopbackClient> client;
    Serve(client);

    unsigned char text[] = "FA00014250000;";
    EXPECT_EQ(1, netport_.Write(text, 3));
    EXPECT_EQ('\0', text[0]);
    unsigned char empty[] = "";
    EXPECT_EQ(1, netport_.Write(empty, 0));
    unsigned char next[] = "ID;IF;";
    EXPECT_EQ(1, netport_.Write(next, 3));
    EXPECT_EQ("FA0ID;", client->receiveUntil("ID;"));
}

TEST_F(NetportTest, ConcurrentWritersNeverInterleave)
{
    std::unique_ptr<LoopbackClient> client;
    Serve(client);
    // All of it fits in the outbound queue, however slowly the client reads, and each
    // text is larger than one send of a small socket buffer.
    const int small = 4096;
    ASSERT_EQ(0, ::setsockopt(client->fd(), SOL_SOCKET, SO_RCVBUF, &small, sizeof small));
    constexpr std::size_t kTextSize = 2000;
    constexpr int kTextsPerWriter = 16;
    static_assert(2 * kTextsPerWriter * kTextSize <= CNetport::kSendQueueLimit);

    auto writer = [this](char letter) {
        for (int i = 0; i < kTextsPerWriter; ++i) {
            std::vector<unsigned char> text = TextOf(kTextSize, letter);
            EXPECT_EQ(1, netport_.Write(text.data(), kTextSize));
            EXPECT_EQ('\0', text[0]) << "the text is consumed";
        }
    };
    std::thread a(writer, 'A');
    std::thread b(writer, 'B');
    a.join();
    b.join();

    const std::string received = ReadFromSocket(client->fd(), 2 * kTextsPerWriter * kTextSize, 60s);
    ASSERT_EQ(2 * kTextsPerWriter * kTextSize, received.size());
    int texts[2] = {0, 0};
    for (std::size_t start = 0; start < received.size(); start += kTextSize) {
        const char letter = received[start];
        ASSERT_TRUE(letter == 'A' || letter == 'B');
        ASSERT_EQ(std::string_view::npos, std::string_view(received).substr(start, kTextSize).find_first_not_of(letter))
            << "text starting at " << start << " is mixed";
        ++texts[letter - 'A'];
    }
    EXPECT_EQ(kTextsPerWriter, texts[0]);
    EXPECT_EQ(kTextsPerWriter, texts[1]);
    EXPECT_EQ(0, netport_.GetSendOverflow());

}

// What the socket takes at once does not count against the queue: a single text larger
// than the queue goes out whole to a client with ordinary buffers.
TEST_F(NetportTest, ATextLargerThanTheQueueGoesOutWhole)
{
    std::unique_ptr<LoopbackClient> client;
    Serve(client);
    constexpr std::size_t kSize = CNetport::kSendQueueLimit + 40'000;
    std::vector<unsigned char> large = TextOf(kSize, 'L');
    EXPECT_EQ(1, netport_.Write(large.data(), kSize));
    EXPECT_EQ('\0', large[0]);
    EXPECT_EQ(std::string(kSize, 'L'), ReadFromSocket(client->fd(), kSize, 30s));
    EXPECT_EQ(0, netport_.GetSendOverflow());
}

// Writes never wait for the peer: one that stops reading fills its queue and the
// session ends, quickly, with the cause told.
TEST_F(NetportTest, ClientThatStopsReadingIsDroppedWhenItsQueueIsFull)
{
    std::unique_ptr<LoopbackClient> client;
    Serve(client);
    const int small = 4096;
    ASSERT_EQ(0, ::setsockopt(client->fd(), SOL_SOCKET, SO_RCVBUF, &small, sizeof small));

    constexpr std::size_t kTextSize = 1000;
    int result = 1;
    int written = 0;
    std::vector<unsigned char> text;
    const auto start = std::chrono::steady_clock::now();
    for (; result == 1 && written < 100'000; ++written) {
        text = TextOf(kTextSize, 'A');
        result = netport_.Write(text.data(), kTextSize);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s) << "no write waited for the client";
    ASSERT_EQ(0, result) << "the client's buffers never filled";
    EXPECT_NE('\0', text[0]) << "the text not queued stays with the caller";
    EXPECT_LT(static_cast<std::size_t>(written) * kTextSize, 1024u * 1024u) << "bounded by the queue";

    ASSERT_TRUE(WaitUntil([this] { return netport_.GetSocketClosed() == 1; }));
    EXPECT_EQ(1, netport_.GetSendOverflow());
    EXPECT_TRUE(WaitForMessage(NetportEvent(kNetportEventClosed, 0)));
    unsigned char more[] = "ID;";
    EXPECT_EQ(0, netport_.Write(more, sizeof more - 1));
    EXPECT_STREQ("ID;", reinterpret_cast<const char*>(more));

    std::unique_ptr<LoopbackClient> next;
    Serve(next);
    EXPECT_EQ(0, netport_.GetSendOverflow()) << "cleared by the next listen";
}

TEST_F(NetportTest, AnEventSinkHearsWhatTheWindowHears)
{
    platform::MessageQueue sink;
    netport_.EventSinkReg(&sink);
    std::unique_ptr<LoopbackClient> client;
    Serve(client);
    client->send("ID;");
    ASSERT_TRUE(WaitForLength(3));
    client->close();
    ASSERT_TRUE(WaitUntil([this] { return netport_.GetSocketClosed() == 1; }));
    netport_.DisConnect(); // joins the socket thread, which may still be posting
    netport_.EventSinkReg(nullptr);
    const std::vector<platform::Message> expected{NetportEvent(kNetportEventAccepted, 0),
                                                  NetportEvent(kNetportEventReceived, 3),
                                                  NetportEvent(kNetportEventClosed, 0)};
    EXPECT_EQ(sink.drain(), expected);
    EXPECT_EQ(queue_.drain(), expected);
}

TEST_F(NetportTest, WaitRcvDataWakesOnTextAndOnTheEndOfTheSession)
{
    EXPECT_EQ(0, netport_.WaitRcvData(kNeverMs)) << "no session: no waiting";

    std::unique_ptr<LoopbackClient> client;
    Serve(client);
    EXPECT_EQ(0, netport_.WaitRcvData(1));

    auto textWaiter = std::async(std::launch::async, [this] { return netport_.WaitRcvData(kNeverMs); });
    client->send("ID;");
    EXPECT_EQ(1, textWaiter.get());
    EXPECT_EQ(1, netport_.WaitRcvData(kNeverMs)) << "text still waiting to be taken";
    EXPECT_EQ("ID;", TakeText());

    auto endWaiter = std::async(std::launch::async, [this] { return netport_.WaitRcvData(kNeverMs); });
    client->close();
    EXPECT_EQ(0, endWaiter.get());
    EXPECT_TRUE(WaitUntil([this] { return netport_.GetSocketClosed() == 1; }));
}

TEST_F(NetportTest, ConnectTalksToALoopbackListener)
{
    TestListener server;
    ASSERT_EQ(1, netport_.Connect("127.0.0.1", server.port()));
    ASSERT_TRUE(server.accept());
    EXPECT_EQ(0, netport_.Connect("127.0.0.1", server.port()));
    EXPECT_EQ(0, netport_.Listen(port_));

    unsigned char text[] = "ID;";
    EXPECT_EQ(1, netport_.Write(text, sizeof text - 1));
    EXPECT_EQ("ID;", ReadFromSocket(server.peer(), 3, 5s));
    ASSERT_EQ(6, ::send(server.peer(), "ID020;", 6, MSG_NOSIGNAL));
    ASSERT_TRUE(WaitForLength(6));
    EXPECT_EQ("ID020;", TakeText());
    char address[CNetport::kAddressTextSize] = {};
    EXPECT_EQ(1, netport_.GetClientIP(address));
    EXPECT_STREQ("127.0.0.1", address);

    server.closePeer();
    ASSERT_TRUE(WaitUntil([this] { return netport_.GetSocketClosed() == 1; }));
    EXPECT_EQ(-1, netport_.GetRcvDataLength());

    ASSERT_EQ(1, netport_.Connect("localhost", server.port()));
    ASSERT_TRUE(server.accept());
    EXPECT_EQ(1, netport_.DisConnect());
    EXPECT_EQ("", ReadFromSocket(server.peer(), 1, 5s)) << "closed without a byte";
}

TEST_F(NetportTest, ConnectToAPortWithoutListenerFails)
{
    const unsigned unused = testsupport::FreeTcpPort();
    EXPECT_EQ(0, netport_.Connect("127.0.0.1", unused));
    EXPECT_EQ(0, netport_.Connect(nullptr, unused));
    EXPECT_EQ(0, netport_.Connect("127.0.0.1", 65536));
    EXPECT_EQ(-1, netport_.GetRcvDataLength());
}

TEST_F(NetportTest, DisConnectEndsTheSessionJoinsTheThreadAndEmptiesTheBuffer)
{
    std::unique_ptr<LoopbackClient> client;
    Serve(client);
    client->send("ID;");
    ASSERT_TRUE(WaitForLength(3));

    EXPECT_EQ(1, netport_.DisConnect());
    EXPECT_EQ(1, netport_.GetSocketClosed());
    EXPECT_EQ(-1, netport_.GetRcvDataLength());
    EXPECT_EQ("", TakeText());
    EXPECT_TRUE(client->waitForClose());
    EXPECT_EQ(1, netport_.DisConnect()) << "idle: nothing to do";
}

TEST_F(NetportTest, AllObjectsShareTheOneEndpoint)
{
    std::unique_ptr<LoopbackClient> client;
    Serve(client);
    client->send("ID;");
    ASSERT_TRUE(WaitForLength(3));
    {
        CNetport second; // the running endpoint is left as it is
        EXPECT_EQ(1, second.GetClientExist());
        EXPECT_EQ(3, second.GetRcvDataLength());
        unsigned char text[] = "FA;";
        EXPECT_EQ(1, second.Write(text, sizeof text - 1));
        EXPECT_EQ("FA;", client->receiveUntil(";"));
    }
    // Destroying any object ends the session and joins the thread.
    EXPECT_EQ(1, netport_.GetSocketClosed());
    EXPECT_TRUE(client->waitForClose());

    CNetport third; // an idle endpoint is reset
    EXPECT_EQ(0, netport_.GetClientExist());
    EXPECT_EQ(0, netport_.GetSocketAccepted());
    EXPECT_EQ(0, netport_.GetSocketClosed());
}

TEST_F(NetportTest, LocalIpIsADottedQuad)
{
    char address[CNetport::kAddressTextSize];
    std::memset(address, 'x', sizeof address);
    ASSERT_EQ(1, netport_.GetLocalIP(address));
    in_addr parsed{};
    EXPECT_EQ(1, ::inet_pton(AF_INET, address, &parsed)) << address;
}

} // namespace
