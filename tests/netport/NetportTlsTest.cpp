// SPDX-License-Identifier: GPL-3.0-or-later
// The endpoint with TLS on: real OpenSSL handshakes with loopback clients. The session
// text inside is what a plain endpoint carries; a client that does not speak TLS gets
// nothing through.
#include "netport/Netport.h"
#include "testsupport/LoopbackClient.h"
#include "testsupport/TempDir.h"
#include "testsupport/TlsClient.h"
#include "testsupport/Wait.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>

namespace {

using namespace std::chrono_literals;
using testsupport::LoopbackClient;
using testsupport::TlsClient;
using testsupport::WaitUntil;

class NetportTlsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(1, netport_.SetTls(certificate_.certificate.c_str(), certificate_.key.c_str()));
        ASSERT_EQ(1, netport_.Listen(port_));
    }
    void TearDown() override
    {
        netport_.DisConnect();
        netport_.SetTls(nullptr, nullptr);
    }

    int Write(std::string text) { return netport_.Write(reinterpret_cast<unsigned char*>(text.data()), text.size()); }

    std::string TakeText()
    {
        unsigned char text[CNetport::kReceiveBufferSize] = {};
        unsigned long length = 0;
        netport_.GetRcvData(text, &length);
        return std::string(reinterpret_cast<const char*>(text), length);
    }

    testsupport::TempDir folder_;
    const testsupport::TestCertificate certificate_ = testsupport::MakeTestCertificate(folder_.path());
    const unsigned port_ = testsupport::FreeTcpPort();
    CNetport netport_;
};

TEST_F(NetportTlsTest, CarriesTheSessionTextBothWaysAndTurnsASecondClientAwayAfterItsHandshake)
{
    TlsClient client(port_);
    ASSERT_TRUE(client.established()) << client.failure();
    EXPECT_EQ(certificate_.fingerprint, client.peerFingerprint());
    ASSERT_TRUE(WaitUntil([this] { return netport_.GetSocketAccepted() == 1; }));
    LoopbackClient stalled(port_); // a further client that never starts its handshake
    ASSERT_TRUE(stalled.connected());

    // Written before the handshake ended or right after: both arrive, in order.
    EXPECT_EQ(1, Write("\r\n>"));
    const std::string large(40000, 'x'); // more than one TLS record
    EXPECT_EQ(1, Write(large + ";"));
    EXPECT_TRUE(client.receiveUntil(";") == "\r\n>" + large + ";");

    client.send("UID:demo;FA;");
    ASSERT_TRUE(WaitUntil([this] { return netport_.GetRcvDataLength() == 12; }));
    EXPECT_EQ("UID:demo;FA;", TakeText());

    TlsClient second(port_);
    ASSERT_TRUE(second.established()) << second.failure();
    EXPECT_EQ("BUSY;", second.receiveUntil(";"));
    EXPECT_TRUE(second.waitForClose());

    client.send("ID;");
    ASSERT_TRUE(WaitUntil([this] { return netport_.GetRcvDataLength() == 3; }));
    EXPECT_EQ("ID;", TakeText());
    EXPECT_EQ(0, netport_.GetSocketClosed());
    EXPECT_EQ(0, netport_.GetTlsFailure());
}

TEST_F(NetportTlsTest, APlainClientIsClosedAfterItsFailedHandshakeAndNothingItSentArrives)
{
    LoopbackClient plain(port_);
    ASSERT_TRUE(plain.connected());
    ASSERT_TRUE(WaitUntil([this] { return netport_.GetSocketAccepted() == 1; }));
    EXPECT_EQ(1, Write("greeting;")); // waits for a handshake that never comes
    plain.send("UID:demo;PWD:secret;FA00007000000;");
    EXPECT_TRUE(plain.waitForClose());
    ASSERT_TRUE(WaitUntil([this] { return netport_.GetSocketClosed() == 1; }));
    EXPECT_EQ(1, netport_.GetTlsFailure());
    EXPECT_EQ("", TakeText());
    char address[CNetport::kAddressTextSize] = {};
    EXPECT_EQ(1, netport_.GetClientIP(address));
    EXPECT_STREQ("127.0.0.1", address);

    ASSERT_EQ(1, netport_.Listen(port_));
    EXPECT_EQ(0, netport_.GetTlsFailure()) << "cleared by the next Listen";
}

TEST_F(NetportTlsTest, FilesThatDoNotLoadAreRefusedAndTheSettingKept)
{
    netport_.DisConnect();
    testsupport::TempDir other;
    const testsupport::TestCertificate foreign = testsupport::MakeTestCertificate(other.path());
    std::ofstream(folder_ / "empty.pem").flush();
    const struct {
        std::string certificate;
        std::string key;
    } cases[] = {
        {certificate_.certificate, foreign.key},                // a key of another certificate
        {(folder_ / "empty.pem").string(), certificate_.key},   // no certificate in the file
        {certificate_.certificate, (folder_ / "missing").string()},
    };
    for (const auto& files : cases) {
        EXPECT_EQ(0, netport_.SetTls(files.certificate.c_str(), files.key.c_str())) << files.certificate;
    }
    ASSERT_EQ(1, netport_.Listen(port_));
    TlsClient client(port_);
    EXPECT_TRUE(client.established()) << "the former certificate still serves: " << client.failure();
    EXPECT_EQ(certificate_.fingerprint, client.peerFingerprint());
}

} // namespace
