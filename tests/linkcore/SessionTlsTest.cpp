// SPDX-License-Identifier: GPL-3.0-or-later
// The session server with "MIREL TLS" on, through real handshakes on loopback: the
// session inside is unchanged, the handshake counts toward the login deadline on the
// manual clock, and a client that speaks the other language at either kind of port
// is logged with its address and gets nothing to the radio.

#include "linkcore/ServiceSettings.h"
#include "SessionFixture.h"
#include "testsupport/TlsClient.h"
#include "testsupport/Wait.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

namespace sessiontest {
namespace {

using testsupport::TlsClient;

class SessionTlsTest : public SessionFixture {
protected:
    void turnTlsOn()
    {
        const testsupport::TestCertificate certificate = testsupport::MakeTestCertificate(dir_.path());
        writeInt("Setting", linkcore::settings::kTlsKey, 1);
        writeString("Setting", linkcore::settings::kTlsCertificateKey, certificate.certificate.string());
        writeString("Setting", linkcore::settings::kTlsKeyKey, certificate.key.string());
    }

    bool radioReceived(const std::string& command)
    {
        syncRadio();
        const std::vector<std::string> commands = radio_->receivedCommands();
        return std::find(commands.begin(), commands.end(), command) != commands.end();
    }
};

TEST_F(SessionTlsTest, TheSessionInsideTlsIsTheSameTextAsWithout)
{
    turnTlsOn();
    startService(20);
    TlsClient client(port_);
    ASSERT_TRUE(client.established()) << client.failure();
    EXPECT_EQ(client.receiveUntil(kGreeting), kGreeting);
    client.send("UID:alice;");
    EXPECT_EQ(client.receiveUntil(kUserIdOk), kUserIdOk);
    client.send("PWD:Secret-1;");
    EXPECT_EQ(client.receiveUntil(kLoggedIn), kLoggedIn);
    client.send("FA00007010000;FA;");
    EXPECT_EQ(client.receiveUntil("FA00007010000;"), "FA00007010000;");
    EXPECT_TRUE(radioReceived("FA00007010000;"));
}

TEST_F(SessionTlsTest, AStalledHandshakeEndsAtTheLoginDeadlineLikeASilentLogin)
{
    turnTlsOn();
    startService(20);
    SessionClient stalled(port_); // connects, never says a word of TLS
    ASSERT_TRUE(stalled.connected());
    ASSERT_TRUE(waitForNotification(linkcore::kNotifySession, linkcore::kSessionAccepted));
    clock_->advance(29);
    EXPECT_FALSE(stalled.waitForClose(200ms)) << "the deadline is 30 s from the accept";
    clock_->advance(1);
    EXPECT_TRUE(stalled.waitForClose());
    EXPECT_EQ(stalled.unread(), "") << "not a byte in plain text, the greeting included";
    EXPECT_TRUE(waitForLogRecord("127.0.0.1 CLOSE - Connection Close"));
    EXPECT_EQ(logRecords(), (std::vector<std::string>{"127.0.0.1 OPEN - Connection Open",
                                                      "127.0.0.1 LOGIN  timeout.",
                                                      "127.0.0.1 CLOSE - Connection Close"}));
    // The port serves the next client.
    ASSERT_TRUE(waitUntilListening());
    TlsClient next(port_);
    ASSERT_TRUE(next.established()) << next.failure();
    EXPECT_EQ(next.receiveUntil(kGreeting), kGreeting);
}

// A client speaking the other language: each is closed, logged with its address, and
// nothing it sent reaches the radio.
TEST_F(SessionTlsTest, AClientOfTheOtherKindIsClosedAndLoggedAndReachesNothing)
{
    const struct {
        bool tlsPort;
        const char* logRecord;
    } cases[] = {
        {true, "127.0.0.1 CONN - Connection Error:TLS handshake failed."},
        {false, "127.0.0.1 CONN - Connection Error:TLS handshake on a plain port."},
    };
    bool first = true;
    for (const auto& stranger : cases) {
        SCOPED_TRACE(stranger.logRecord);
        if (stranger.tlsPort) {
            turnTlsOn();
        }
        if (first) {
            startService(20);
            first = false;
        } else {
            linkcore_.SocketServerClose();
            ASSERT_EQ(linkcore_.SocketServerOpen(port_), 1);
        }
        if (stranger.tlsPort) {
            SessionClient plain(port_);
            plain.send("UID:alice;PWD:Secret-1;FA00007020000;");
            EXPECT_TRUE(plain.waitForClose());
            EXPECT_THAT(plain.unread(), ::testing::Not(::testing::HasSubstr("Hello")));
        } else {
            TlsClient tls(port_);
            EXPECT_FALSE(tls.established()) << "the greeting is no TLS";
            EXPECT_TRUE(tls.waitForClose());
        }
        EXPECT_TRUE(waitForLogRecord(stranger.logRecord));
        EXPECT_FALSE(radioReceived("FA00007020000;"));
        writeInt("Setting", linkcore::settings::kTlsKey, 0);
    }
}

} // namespace
} // namespace sessiontest
