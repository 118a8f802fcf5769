// SPDX-License-Identifier: GPL-3.0-or-later
// Who may reach the session server: the bind address of "MIREL Bind Address" and the
// failed-login back-off of "MIREL Login Backoff", with loopback clients on IPv4 and
// IPv6, the simulated radio and the manual clock.

#include "linkcore/Linkcore.h"
#include "linkcore/facade/LinkcoreShared.h"
#include "linkcore/session/LoginBackoff.h"
#include "SessionFixture.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace sessiontest {
namespace {

class AccessTest : public SessionFixture {
protected:
    // Expects the server to close a fresh connection from `source` without a word.
    void expectTurnedAway(const std::string& source = {})
    {
        SessionClient client("127.0.0.1", port_, source);
        ASSERT_TRUE(client.connected());
        EXPECT_TRUE(client.waitForClose());
        EXPECT_EQ(client.unread(), "");
        ASSERT_TRUE(waitUntilListening());
    }

    // Connects, names kUser and sends `wrong` wrong passwords; the last must end the session.
    void failLogins(int wrong)
    {
        auto client = connect();
        client->send("UID:alice;");
        ASSERT_EQ(client->readThrough(kUserIdOk), kUserIdOk);
        for (int i = 1; i < wrong; ++i) {
            client->send("PWD:wrong;");
            ASSERT_EQ(client->readThrough(kPasswordWrong), kPasswordWrong);
        }
        client->send("PWD:wrong;");
        const std::string expected = std::string(kPasswordWrong) + std::string(kLoginFailed);
        EXPECT_EQ(client->readThrough(kLoginFailed), expected);
        EXPECT_TRUE(client->waitForClose());
        ASSERT_TRUE(waitUntilListening());
    }

    long countRecords(std::string_view part) const
    {
        const auto records = logRecords();
        return std::count_if(records.begin(), records.end(),
                             [part](const std::string& r) { return r.find(part) != std::string::npos; });
    }
};

TEST_F(AccessTest, BoundToIpv6LoopbackAnIpv6ClientLogsInAndIsLoggedByItsAddress)
{
    writeString("Setting", "MIREL Bind Address", "::1");
    startService();
    for (int session = 0; session < 2; ++session) {
        SessionClient ipv4("127.0.0.1", port_, {}, std::chrono::milliseconds(0));
        EXPECT_FALSE(ipv4.connected()) << "listening on ::1 only";
        SessionClient client("::1", port_);
        ASSERT_EQ(client.readThrough(kGreeting), kGreeting);
        logIn(client);
        char address[CNetport::kAddressTextSize] = {};
        EXPECT_EQ(CLinkcore::GetClientIP(address), 1);
        EXPECT_STREQ(address, "::1");
        client.close();
        // Listening again after the session, on the same address.
        ASSERT_TRUE(waitUntilListening());
    }
    EXPECT_EQ(countRecords("::1 OPEN - Connection Open"), 2);
    EXPECT_EQ(countRecords("::1 LOGIN alice Password OK."), 2);
    EXPECT_TRUE(waitForLogRecord("::1 CLOSE alice Connection Close"));
}

TEST_F(AccessTest, LocalhostListensOnTheLoopbackAddressOnly)
{
    writeString("Setting", "MIREL Bind Address", "localhost");
    startService();
    SessionClient other("127.0.0.2", port_, {}, std::chrono::milliseconds(0));
    EXPECT_FALSE(other.connected());
    auto client = connectAndLogIn();
    EXPECT_TRUE(waitForLogRecord("127.0.0.1 LOGIN alice Password OK."));
}

TEST_F(AccessTest, ABadBindAddressRefusesTheStart)
{
    writeString("Setting", "MIREL Bind Address", "nowhere.invalid");
    startRadio(20);
    ASSERT_EQ(openLink(20), 1);
    port_ = testsupport::FreeTcpPort();
    EXPECT_EQ(linkcore_.SocketServerOpen(port_), 0);
    EXPECT_EQ(messageBoxes(), std::vector<std::string>{"Network connection error."});
    writeString("Setting", "MIREL Bind Address", "127.0.0.1");
    ASSERT_EQ(linkcore_.SocketServerOpen(port_), 1);
    auto client = connect();
}

TEST_F(AccessTest, WithoutTheSettingFailedLoginsNeverHoldAnAddressBack)
{
    startService();
    failLogins(3);
    failLogins(3);
    auto client = connectAndLogIn();
    EXPECT_EQ(countRecords("Back-off"), 0);
}

// Three failed logins start a back-off of 5 s; each further failure doubles it up to
// 300 s and ends its session at once. A waiting address is closed without a greeting
// while another address is served; 900 s without a failure forget the address.
TEST_F(AccessTest, TheBackoffGrowsIsBoundedSparesOtherAddressesAndIsForgotten)
{
    writeInt("Setting", "MIREL Login Backoff", 1);
    startService();
    failLogins(3);
    EXPECT_TRUE(waitForLogRecord("127.0.0.1 LOGIN alice Back-off 5 s."));
    expectTurnedAway();
    {
        // The rightful user elsewhere is served meanwhile.
        SessionClient rightful("127.0.0.1", port_, "127.0.0.2");
        ASSERT_EQ(rightful.readThrough(kGreeting), kGreeting);
        logIn(rightful);
        EXPECT_TRUE(waitForLogRecord("127.0.0.2 LOGIN alice Password OK."));
    }
    ASSERT_TRUE(waitUntilListening());

    int waited = 5;
    for (const int delay : {10, 20, 40, 80, 160, 300, 300}) {
        SCOPED_TRACE(delay);
        clock_->advance(waited - 1);
        expectTurnedAway();
        clock_->advance(1);
        failLogins(1);
        EXPECT_TRUE(waitForLogRecord("127.0.0.1 LOGIN alice Back-off " + std::to_string(delay) + " s."));
        waited = delay;
    }
    EXPECT_EQ(countRecords("Back-off"), 8) << "one record per back-off, none per refused connection";
    EXPECT_EQ(countRecords("127.0.0.1 OPEN"), 8);

    clock_->advance(900);
    auto client = connect();
    client->send("UID:alice;");
    ASSERT_EQ(client->readThrough(kUserIdOk), kUserIdOk);
    client->send("PWD:wrong;");
    EXPECT_EQ(client->readThrough(kPasswordWrong), kPasswordWrong) << "a forgotten address starts afresh";
    client->send("PWD:" + std::string(kPassword) + ";");
    EXPECT_EQ(client->readThrough(kLoggedIn), kLoggedIn);
    EXPECT_EQ(countRecords("Back-off"), 8);
}

// The table on its own: delays by failure count, a success, and the bound on addresses.
TEST(LoginBackoffTest, DelaysByFailureCountAndTheTableStaysBounded)
{
    using std::chrono::milliseconds;
    using std::chrono::seconds;
    linkcore::LoginBackoff backoff;
    const platform::MonoTime start{1'000'000};
    const int expected[] = {0, 0, 5, 10, 20, 40, 80, 160, 300, 300, 300, 300, 300, 300, 300, 300, 300, 300, 300, 300};
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(backoff.recordFailure("10.0.0.1", start), milliseconds(seconds(expected[i]))) << "failure " << i + 1;
    }
    EXPECT_EQ(backoff.remaining("10.0.0.1", start + seconds(299)), seconds(1));
    EXPECT_EQ(backoff.remaining("10.0.0.2", start), milliseconds(0));
    backoff.recordSuccess("10.0.0.1");
    EXPECT_EQ(backoff.remaining("10.0.0.1", start), milliseconds(0));

    // A full table drops the address quiet longest; the newest addresses are kept.
    const std::size_t addresses = linkcore::LoginBackoff::kMaxAddresses + 10;
    for (std::size_t i = 0; i < addresses; ++i) {
        for (int failure = 0; failure < 3; ++failure) {
            backoff.recordFailure("a" + std::to_string(i), start + milliseconds(i));
        }
    }
    const platform::MonoTime later = start + milliseconds(addresses);
    EXPECT_EQ(backoff.remaining("a0", later), milliseconds(0)) << "dropped";
    EXPECT_GT(backoff.remaining("a" + std::to_string(addresses - 1), later), milliseconds(0));
}

} // namespace
} // namespace sessiontest
