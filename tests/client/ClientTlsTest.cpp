// SPDX-License-Identifier: GPL-3.0-or-later
// ondrel-client --tls against `ondrel --headless` with "MIREL TLS" on and the simulated
// radio, all as separate processes on loopback: every mode over TLS once the host is
// trusted, the refusals of a host that is not the trusted one (each with its own exit
// status and nothing sent to the radio), the clear words for the wrong kind of port,
// and a certificate checked against an authority (certificates made with openssl).

#include "netport/TlsIdentity.h"
#include "platform/Profile.h"
#include "ClientHostFixture.h"
#include "testsupport/LoopbackClient.h"
#include "testsupport/TempDir.h"
#include "testsupport/Wait.h"
#include "radiosim/RadioSimulator.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>

#include <fcntl.h>
#include <unistd.h>

namespace clienttest {
namespace {

using ::testing::HasSubstr;
namespace fs = std::filesystem;

class ClientTlsTest : public ClientHostFixture {
protected:
    void SetUp() override
    {
        fs::create_directory(dir / "log");
        startRadioAndHost([this](platform::Profile& profile) {
            profile.WriteProfileInt("Setting", "MIREL TLS", 1);
            profile.WriteProfileInt("Setting", "MIREL Log", 1);
            profile.WriteProfileString("File Path", "MIREL Log File Path", (dir / "log").string());
        });
        std::string error;
        fingerprint = netport::CertificateFingerprint((dir / "ondrel-tls.crt").string(), error);
        ASSERT_FALSE(fingerprint.empty()) << error;
    }

    void restartHost(int tls)
    {
        stopHost();
        if (HasFatalFailure()) {
            return;
        }
        platform::Profile(dir / "Ondrel.ini").WriteProfileInt("Setting", "MIREL TLS", tls);
        startHost();
    }

    std::unique_ptr<ClientProcess> client(std::vector<std::string> arguments,
                                          ClientProcess::Input input = ClientProcess::Input::Pipe)
    {
        arguments.insert(arguments.begin(), {"-u", kUser});
        return std::make_unique<ClientProcess>(
            clientCommand(std::move(arguments)),
            std::vector<std::string>{std::string("ONDREL_PASSWORD=") + kPassword,
                                     "XDG_CONFIG_HOME=" + (dir / "config").string()},
            input);
    }

    fs::path knownHosts() const { return dir / "config" / "ondrel" / "known_hosts"; }

    bool radioReceived(const std::string& command) const
    {
        const std::vector<std::string> commands = radio->receivedCommands();
        return std::find(commands.begin(), commands.end(), command) != commands.end();
    }

    std::string fingerprint;
};

TEST_F(ClientTlsTest, EveryModeWorksOverTlsOnceTheHostIsTrusted)
{
    // Console, first contact: the fingerprint is shown and accepted on the terminal.
    auto console = client({"--tls"}, ClientProcess::Input::Terminal);
    ASSERT_TRUE(console->waitForTerminal("(yes/no)? ")) << console->terminal();
    EXPECT_THAT(console->terminal(), HasSubstr("Its certificate's fingerprint is " + fingerprint));
    console->type("yes\r");
    ASSERT_TRUE(console->waitForTerminal("ondrel> ")) << console->terminal();
    console->type("FA\r");
    EXPECT_TRUE(console->waitForTerminal(radio->query("FA;") + "\r\n")) << console->terminal();
    console->type("\x04");
    EXPECT_EQ(console->waitForExit(), 0) << console->terminal();
    EXPECT_EQ(fs::status(knownHosts()).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(fs::status(knownHosts().parent_path()).permissions() & fs::perms::all, fs::perms::owner_all);
    std::ifstream remembered(knownHosts());
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(remembered), {}),
              "127.0.0.1 " + std::to_string(tcpPort) + " " + fingerprint + "\n");

    // One-shot, now without a question (there is no terminal to ask on).
    auto oneShot = client({"--tls", "-c", "FA00007040000", "-c", "@@ST"});
    EXPECT_EQ(oneShot->waitForExit(), 0) << oneShot->errors();
    EXPECT_EQ(oneShot->output(), "FA00007040000;\n@@ST000000000000;\n");
    EXPECT_TRUE(radio->waitForCommand("FA00007040000;", 5s));

    // The relay on a pseudo-terminal.
    const std::string link = (dir / "radio").string();
    auto pty = client({"--tls", "--pty", link});
    ASSERT_TRUE(pty->waitForErrors("the radio is on " + link)) << pty->errors();
    const int port = ::open(link.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(port, 0);
    WriteText(port, "MD;");
    EXPECT_EQ(ReadCount(port, radio->query("MD;").size()), radio->query("MD;"));
    ::close(port);
    pty->signal(SIGTERM);
    EXPECT_EQ(pty->waitForExit(), 0) << pty->errors();

    // The relay on a local TCP port.
    auto listen = client({"--tls", "--listen", "0"});
    ASSERT_TRUE(listen->waitForErrors("the radio is on 127.0.0.1 port ")) << listen->errors();
    testsupport::LoopbackClient program(NumberAfter(listen->errors(), "the radio is on 127.0.0.1 port "));
    program.send("ID;");
    EXPECT_EQ(program.receiveUntil(";"), radio->query("ID;"));
    listen->signal(SIGINT);
    EXPECT_EQ(listen->waitForExit(), 0) << listen->errors();
}

TEST_F(ClientTlsTest, AHostThatIsNotTheTrustedOneIsRefusedWithItsOwnStatus)
{
    std::string other(fingerprint);
    other.back() = other.back() == '0' ? '1' : '0';
    std::string bare = fingerprint.substr(7);
    bare.erase(std::remove(bare.begin(), bare.end(), ':'), bare.end());
    std::transform(bare.begin(), bare.end(), bare.begin(), [](char c) { return static_cast<char>(std::tolower(c)); });
    const struct {
        std::vector<std::string> options;
        std::string remembered; // known_hosts beforehand, "" for none
        int status;
        std::string words;
    } cases[] = {
        {{"--tls"}, "", 11, "is not known and there is no terminal to ask on; its fingerprint is " + fingerprint},
        {{"--fingerprint", other}, "", 10, "has the fingerprint " + fingerprint + ", not " + other},
        {{"--tls"}, other, 10, "has CHANGED"},
        {{"--tls", "--trust-new"}, other, 10, "Remembered: " + other + "; now: " + fingerprint},
        {{"--fingerprint", "sha256:" + bare}, "", 0, ""},
        {{"--tls", "--trust-new"}, "", 0, "added to " + knownHosts().string()},
    };
    for (const auto& attempt : cases) {
        SCOPED_TRACE(attempt.options.back() + " with known_hosts \"" + attempt.remembered + "\"");
        fs::remove(knownHosts());
        if (!attempt.remembered.empty()) {
            fs::create_directories(knownHosts().parent_path());
            std::ofstream(knownHosts()) << "127.0.0.1 " << tcpPort << " " << attempt.remembered << "\n";
        }
        std::vector<std::string> options = attempt.options;
        options.insert(options.end(), {"-c", "FA00007050000"});
        auto program = client(options);
        EXPECT_EQ(program->waitForExit(), attempt.status) << program->errors();
        EXPECT_THAT(program->errors(), HasSubstr(attempt.words));
        if (attempt.status != 0) {
            EXPECT_FALSE(radioReceived("FA00007050000;")) << "refused before the login";
        } else {
            EXPECT_TRUE(radio->waitForCommand("FA00007050000;", 5s));
        }
    }
}

TEST_F(ClientTlsTest, TheWrongKindOfPortIsNamedOnBothSides)
{
    // A plain client at the TLS port hears nothing it could take for a greeting.
    auto plain = client({"-t", "1", "-c", "FA00007060000"});
    EXPECT_EQ(plain->waitForExit(), 3) << plain->errors();
    EXPECT_THAT(plain->errors(), HasSubstr("if the host has TLS on, add --tls"));
    EXPECT_TRUE(testsupport::WaitUntil([this] {
        return logText().find("127.0.0.1 CONN - Connection Error:TLS handshake failed.") != std::string::npos;
    })) << logText();

    // A TLS client at a plain port.
    restartHost(0);
    auto tls = client({"--tls", "--trust-new", "-c", "FA00007060000"});
    EXPECT_EQ(tls->waitForExit(), 8) << tls->errors();
    EXPECT_THAT(tls->errors(), HasSubstr("is TLS on at the host? Without it, leave out --tls"));
    EXPECT_TRUE(testsupport::WaitUntil([this] {
        return logText().find("127.0.0.1 CONN - Connection Error:TLS handshake on a plain port.") != std::string::npos;
    })) << logText();
    EXPECT_FALSE(radioReceived("FA00007060000;"));
}

// --ca: a certificate that the given authority signed for the address the client
// dialled is taken without known_hosts; another authority's, or one for another name,
// is refused as not trusted.
TEST_F(ClientTlsTest, AnAuthorityGivenWithCaVouchesForTheHostByItsName)
{
    const auto openssl = [this](std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), "/usr/bin/openssl");
        ClientProcess program(arguments, {});
        ASSERT_EQ(program.waitForExit(), 0) << program.errors();
    };
    const auto folder = dir / "pki";
    fs::create_directory(folder);
    for (const char* authority : {"ca", "other-ca"}) {
        openssl({"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes", "-days", "2",
                 "-subj", std::string("/CN=") + authority, "-keyout", (folder / authority).string() + ".key", "-out",
                 (folder / authority).string() + ".crt"});
    }
    std::ofstream(folder / "names.ext") << "subjectAltName=IP:127.0.0.1\n";
    openssl({"req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes", "-subj", "/CN=radio", "-keyout",
             (folder / "host.key").string(), "-out", (folder / "host.csr").string()});
    openssl({"x509", "-req", "-in", (folder / "host.csr").string(), "-CA", (folder / "ca.crt").string(), "-CAkey",
             (folder / "ca.key").string(), "-CAcreateserial", "-days", "2", "-extfile",
             (folder / "names.ext").string(), "-out", (folder / "host.crt").string()});
    fs::permissions(folder / "host.key", fs::perms::owner_read | fs::perms::owner_write);
    platform::Profile profile(dir / "Ondrel.ini");
    profile.WriteProfileString("Setting", "MIREL TLS Certificate", (folder / "host.crt").string());
    profile.WriteProfileString("Setting", "MIREL TLS Key", (folder / "host.key").string());
    restartHost(1);

    const struct {
        std::string authority;
        std::string host;
        int status;
        std::string words;
    } cases[] = {
        {"ca.crt", "127.0.0.1", 0, ""},
        {"other-ca.crt", "127.0.0.1", 11, "is not vouched for by"},
        {"ca.crt", "localhost", 11, "is not vouched for by"}, // signed for the address only
    };
    for (const auto& attempt : cases) {
        SCOPED_TRACE(attempt.authority + " " + attempt.host);
        ClientProcess program({CLIENT_PROGRAM, attempt.host, "-p", std::to_string(tcpPort), "-u", kUser, "--ca",
                               (folder / attempt.authority).string(), "-c", "ID"},
                              {std::string("ONDREL_PASSWORD=") + kPassword,
                               "XDG_CONFIG_HOME=" + (dir / "config").string()});
        EXPECT_EQ(program.waitForExit(), attempt.status) << program.errors();
        EXPECT_THAT(program.errors(), HasSubstr(attempt.words));
    }
    EXPECT_FALSE(fs::exists(knownHosts())) << "an authority needs no known_hosts";
}

} // namespace
} // namespace clienttest
