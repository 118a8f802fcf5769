// SPDX-License-Identifier: GPL-3.0-or-later
// The Setup dialog's settings without a window: the value rules as tables, and
// loading and saving against real profile files.

#include "host/dialogs/SetupModel.h"
#include "netport/TlsIdentity.h"
#include "platform/Profile.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <gmock/gmock.h>

#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace dialogtest {
namespace {

using namespace dialogs;

TEST(SetupRules, ThePortBoxIsCheckedOnEveryChangeAndRepairedOnLeaving)
{
    struct Case {
        const char* text;
        bool valid;
        const char* repaired;
    };
    const std::vector<Case> cases = {
        {"50000", true, "50000"}, {"1024", true, "1024"},   {"65535", true, "65535"}, {"1023", false, "50000"},
        {"65536", false, "50000"}, {"12", false, "50000"},  {"", false, "50000"},     {"08080", true, "8080"},
        {"80a", false, "50000"},  {"2000x", false, "2000"}, {" 2000", false, "2000"}, {"-2000", false, "50000"},
        {"99999999999999999999", false, "50000"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TcpPortTextValid(c.text), c.valid) << '"' << c.text << '"';
        EXPECT_EQ(RepairTcpPortText(c.text), c.repaired) << '"' << c.text << '"';
    }
}

TEST(SetupRules, TheCharacterRuleAdmitsPrintableAsciiButTheSemicolon)
{
    struct Case {
        std::string text;
        bool obeys;
    };
    const std::vector<Case> cases = {
        {"", true},          {"alice", true},  {"A-Z_0.9", true}, {"~\"\\!", true},
        {"\x7f", true},      {"two words", false}, {"semi;", false}, {"tab\t", false},
        {"J\xc3\xbcrgen", false}, {"\x01", false},  {"\x80", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ObeysCharacterRule(c.text), c.obeys) << '"' << c.text << '"';
    }
    EXPECT_TRUE(UserEntryAcceptable("a", "p", "p"));
    EXPECT_FALSE(UserEntryAcceptable("", "p", "p"));
    EXPECT_FALSE(UserEntryAcceptable("a", "", ""));
    EXPECT_FALSE(UserEntryAcceptable("a", "p", "P"));
}

TEST(SetupRules, AdvancedValuesAreRefusedWithTheFieldAndAMessage)
{
    testsupport::TempDir dir;
    const std::string pem = (dir / "host.pem").string();
    std::ofstream(pem) << "-----BEGIN CERTIFICATE-----\n";
    const AdvancedSettings good{"", false, false, "", "", "default", "5060", false};
    struct Case {
        const char* what;
        std::function<void(AdvancedSettings&)> change;
        std::optional<AdvancedField> refused;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"defaults", [](AdvancedSettings&) {}, std::nullopt, ""},
        {"IPv4", [](AdvancedSettings& s) { s.bindAddress = "10.8.0.1"; }, std::nullopt, ""},
        {"IPv6", [](AdvancedSettings& s) { s.bindAddress = "::1"; }, std::nullopt, ""},
        {"localhost", [](AdvancedSettings& s) { s.bindAddress = "localhost"; }, std::nullopt, ""},
        {"host name", [](AdvancedSettings& s) { s.bindAddress = "example.org"; }, AdvancedField::BindAddress,
         "The bind address must be empty (every IPv4 address), an IPv4 or IPv6 address, or localhost."},
        {"blank", [](AdvancedSettings& s) { s.bindAddress = " 10.8.0.1"; }, AdvancedField::BindAddress, "bind"},
        {"both PEM files", [&](AdvancedSettings& s) { s.tlsCertificate = s.tlsKey = pem; }, std::nullopt, ""},
        // Taken from the settings file's folder, as the service takes it.
        {"relative certificate", [&](AdvancedSettings& s) { s.tlsCertificate = "no-such.pem", s.tlsKey = pem; },
         AdvancedField::TlsCertificate,
         "The certificate file " + (platform::ApplicationProfile().path().parent_path() / "no-such.pem").string() +
             " does not exist."},
        {"missing key", [&](AdvancedSettings& s) { s.tlsCertificate = pem, s.tlsKey = pem + ".gone"; },
         AdvancedField::TlsKey, "does not exist."},
        {"key with a line break", [&](AdvancedSettings& s) { s.tlsCertificate = pem, s.tlsKey = pem + "\n"; },
         AdvancedField::TlsKey, "The key file's name must not hold control characters."},
        {"certificate alone", [&](AdvancedSettings& s) { s.tlsCertificate = pem; }, AdvancedField::TlsKey,
         "Give both the certificate and the key file, or neither for the self-signed certificate."},
        {"ALSA name", [](AdvancedSettings& s) { s.voiceDevice = "plughw:CARD=CODEC,DEV=0"; }, std::nullopt, ""},
        {"empty device", [](AdvancedSettings& s) { s.voiceDevice = ""; }, AdvancedField::VoiceDevice,
         "The voice device must be an ALSA device name without blanks, such as default."},
        {"device with a blank", [](AdvancedSettings& s) { s.voiceDevice = "hw:0 x"; }, AdvancedField::VoiceDevice, "ALSA"},
        {"device with a line break", [](AdvancedSettings& s) { s.voiceDevice = "hw:0\nmodule x"; },
         AdvancedField::VoiceDevice, "ALSA"},
        {"port 1", [](AdvancedSettings& s) { s.voicePortText = "1"; }, std::nullopt, ""},
        {"port 65535", [](AdvancedSettings& s) { s.voicePortText = "65535"; }, std::nullopt, ""},
        {"port 0", [](AdvancedSettings& s) { s.voicePortText = "0"; }, AdvancedField::VoicePort,
         "The voice port must be a number from 1 to 65535."},
        {"port 65536", [](AdvancedSettings& s) { s.voicePortText = "65536"; }, AdvancedField::VoicePort, "1 to 65535"},
        {"port empty", [](AdvancedSettings& s) { s.voicePortText = ""; }, AdvancedField::VoicePort, "1 to 65535"},
        {"port 50x", [](AdvancedSettings& s) { s.voicePortText = "50x"; }, AdvancedField::VoicePort, "1 to 65535"},
        {"session port, voice on", [](AdvancedSettings& s) { s.voicePortText = "50000"; }, AdvancedField::VoicePort,
         "The voice port must differ from the TCP/IP port 50000."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        AdvancedSettings settings = good;
        c.change(settings);
        const std::optional<AdvancedProblem> problem = CheckAdvancedSettings(settings, 50000, true);
        ASSERT_EQ(problem.has_value(), c.refused.has_value()) << (problem ? problem->message : "");
        if (problem) {
            EXPECT_EQ(problem->field, *c.refused);
            EXPECT_THAT(problem->message, ::testing::HasSubstr(c.message));
        }
    }
    AdvancedSettings sessionPort = good;
    sessionPort.voicePortText = "50000";
    EXPECT_FALSE(CheckAdvancedSettings(sessionPort, 50000, false)) << "no clash while voice is off";
}

// The Advanced dialog's fingerprint is the one the service logs: of the self-signed
// certificate beside the settings file once it is made, or of the files named.
TEST(SetupRules, TheFingerprintShownIsTheServicesOwn)
{
    testsupport::TempDir dir;
    const std::filesystem::path settingsFile = dir / "Ondrel.ini";
    AdvancedSettings settings;
    settings.tls = true;
    EXPECT_EQ(CertificateFingerprintText(settings, settingsFile),
              "The self-signed certificate is made at the first start with TLS on.");

    netport::TlsFiles files;
    std::string error;
    ASSERT_TRUE(netport::ResolveTlsFiles("", "", settingsFile.string(), files, error)) << error;
    bool made = false;
    std::string fingerprint;
    ASSERT_TRUE(netport::PrepareTlsIdentity(files, made, fingerprint, error)) << error;
    ASSERT_TRUE(made);
    EXPECT_EQ(CertificateFingerprintText(settings, settingsFile), fingerprint);

    // The same files named by a relative and by a full path.
    settings.tlsCertificate = netport::kDefaultCertificateFileName;
    settings.tlsKey = files.key;
    EXPECT_EQ(CertificateFingerprintText(settings, settingsFile), fingerprint);
    settings.tlsKey.clear();
    EXPECT_NE(CertificateFingerprintText(settings, settingsFile).rfind("SHA256:", 0), 0u) << "one file alone";
}

class SetupProfileTest : public ::testing::Test {
protected:
    std::string value(std::string_view key) const { return profile_.GetProfileString("Setting", key, "<missing>"); }
    void write(std::string_view key, std::string_view text) { ASSERT_EQ(profile_.WriteProfileString("Setting", key, text), 1); }
    void addUser(int slot, const std::string& id, const std::string& password, const std::string& disabled = "0")
    {
        const std::string prefix = "MIREL 00" + std::to_string(slot) + " ";
        write(prefix + "User ID", id);
        write(prefix + "Password", password);
        write(prefix + "Description", id + " here");
        write(prefix + "User Disabled", disabled);
    }
    std::vector<std::string> slotIds() const
    {
        std::vector<std::string> ids;
        for (int slot = 0; slot < 10; ++slot) {
            ids.push_back(value("MIREL 00" + std::to_string(slot) + " User ID"));
        }
        return ids;
    }

    testsupport::TempDir dir_;
    platform::Profile profile_{dir_ / "Ondrel.ini"};
};

TEST_F(SetupProfileTest, AnEmptyProfileLoadsTheDefaultsAndSavesThemComplete)
{
    const SetupSettings loaded = LoadSetupSettings(profile_);
    EXPECT_EQ(loaded.comPortIndex, 0);
    EXPECT_EQ(loaded.baudIndex, 1);
    EXPECT_EQ(loaded.tcpPortText, "50000");
    EXPECT_FALSE(loaded.voice);
    EXPECT_EQ(loaded.sessionTimeIndex, 0);
    EXPECT_FALSE(loaded.log);
    EXPECT_EQ(loaded.logFolder, "");
    EXPECT_TRUE(loaded.users.empty());

    ASSERT_TRUE(SaveSetupSettings(loaded, profile_));
    EXPECT_EQ(value("COM Port"), "1");
    EXPECT_EQ(value("COM Baud"), "9600");
    EXPECT_EQ(value("MIREL IP Port No"), "50000");
    EXPECT_EQ(value("MIREL Voice"), "0");
    EXPECT_EQ(value("MIREL Session Time"), "0");
    EXPECT_EQ(value("MIREL Log"), "0");
    EXPECT_EQ(profile_.GetProfileString("File Path", "MIREL Log File Path", "<missing>"), "");
    EXPECT_EQ(slotIds(), std::vector<std::string>(10, ""));
    EXPECT_EQ(value("MIREL 009 User Disabled"), "0");
    EXPECT_EQ(loaded.advanced, (AdvancedSettings{"", false, false, "", "", "default", "5060", false}));
    for (const auto& [key, saved] : std::vector<std::pair<const char*, const char*>>{
             {"MIREL Bind Address", ""},
             {"MIREL Login Backoff", "0"},
             {"MIREL TLS", "0"},
             {"MIREL TLS Certificate", ""},
             {"MIREL TLS Key", ""},
             {"MIREL Voice Device", "default"},
             {"MIREL Voice Port", "5060"},
             {"MIREL Voice Plain", "0"},
         }) {
        EXPECT_EQ(value(key), saved) << key;
    }
    struct stat status {};
    ASSERT_EQ(::stat(profile_.path().c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
}

TEST_F(SetupProfileTest, StoredValuesOutOfRangeLoadAndSaveAsTheirDefaults)
{
    struct Case {
        const char* key;
        const char* stored;
        const char* saved;
    };
    const std::vector<Case> cases = {
        {"COM Baud", "12345", "9600"},          {"COM Baud", "115200", "115200"},
        {"COM Port", "21", "1"},                {"COM Port", "20", "20"},
        {"COM Port", "0", "1"},                 {"MIREL IP Port No", "80", "50000"},
        {"MIREL IP Port No", "65536", "50000"}, {"MIREL IP Port No", "1024", "1024"},
        {"MIREL Session Time", "7", "0"},       {"MIREL Session Time", "90", "90"},
        {"MIREL Voice", "3", "1"},              {"MIREL Log", "2", "1"},
        {"MIREL Session Time", "junk", "0"},    {"MIREL Voice Port", "0", "5060"},
        {"MIREL Voice Port", "65536", "5060"},  {"MIREL Voice Port", "1", "1"},
        {"MIREL Voice Port", "x", "5060"},      {"MIREL Voice Device", "", "default"},
        {"MIREL Voice Device", "hw:1", "hw:1"}, {"MIREL Voice Plain", "9", "1"},
        {"MIREL Login Backoff", "5", "1"},      {"MIREL TLS", "-1", "1"},
        {"MIREL TLS", "junk", "0"},             {"MIREL Bind Address", "::1", "::1"},
        // Kept as the user wrote it: the service refuses to start on it, rather than
        // listening more widely than asked.
        {"MIREL Bind Address", "bad address", "bad address"},
        {"MIREL TLS Certificate", "relative.pem", "relative.pem"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key) + "=" + c.stored);
        write(c.key, c.stored);
        ASSERT_TRUE(SaveSetupSettings(LoadSetupSettings(profile_), profile_));
        EXPECT_EQ(value(c.key), c.saved);
    }
    write("MIREL Session Time", "7");
    EXPECT_EQ(SessionTimeTexts().at(static_cast<std::size_t>(LoadSetupSettings(profile_).sessionTimeIndex)),
              "   Unlimited");
}

TEST_F(SetupProfileTest, SlotsAreRewrittenInListOrderAndEmptiedBehind)
{
    // Slots out of order, a hole, and a disabled flag that is neither 0 nor 1.
    addUser(0, "zed", "pz");
    addUser(2, "Alpha", "pa", "7");
    addUser(5, "mike", "pm", "1");
    addUser(9, "bravo", "pb");
    SetupSettings settings = LoadSetupSettings(profile_);
    ASSERT_EQ(settings.users.size(), 4u);
    EXPECT_EQ(settings.users[0].entry.disabled, 1);

    // Delete the user of slot 000.
    settings.users.remove(*settings.users.find("zed"));
    ASSERT_TRUE(SaveSetupSettings(settings, profile_));
    EXPECT_EQ(slotIds(), (std::vector<std::string>{"Alpha", "bravo", "mike", "", "", "", "", "", "", ""}));
    EXPECT_EQ(value("MIREL 000 Password"), "pa");
    EXPECT_EQ(value("MIREL 000 Description"), "Alpha here");
    EXPECT_EQ(value("MIREL 000 User Disabled"), "1");
    EXPECT_EQ(value("MIREL 001 Password"), "pb");
    EXPECT_EQ(value("MIREL 002 User Disabled"), "1");
    for (const char* field : {"Password", "Description"}) {
        EXPECT_EQ(value(std::string("MIREL 009 ") + field), "");
        EXPECT_EQ(value(std::string("MIREL 003 ") + field), "");
    }
    EXPECT_EQ(value("MIREL 009 User Disabled"), "0");
}

TEST_F(SetupProfileTest, PasswordsNotTypedInTheDialogAreTakenFromTheStoreWhenSaving)
{
    addUser(0, "alice", "a-old");
    addUser(1, "bob", "b-old");
    addUser(2, "carol", "c-old");
    addUser(3, "dup", "first");
    addUser(4, "dup", "second");
    SetupSettings settings = LoadSetupSettings(profile_);

    // Meanwhile: alice's and carol's passwords change in the store, the second
    // "dup" too, and carol is removed from the store altogether.
    write("MIREL 000 Password", "a-new");
    write("MIREL 001 Password", "b-new");
    write("MIREL 004 Password", "second-new");
    write("MIREL 002 User ID", "");
    // In the dialog: bob's password is typed anew, and a user is added.
    settings.users.update(*settings.users.find("bob"), UserEntry{"bob", "b-typed", "", 0}, true);
    ASSERT_EQ(settings.users.add(UserRecord{UserEntry{"Aaron", "aaron-pw", "", 0}, true, -1}),
              UserList::AddResult::Added);
    ASSERT_TRUE(SaveSetupSettings(settings, profile_));

    EXPECT_EQ(slotIds(), (std::vector<std::string>{"Aaron", "alice", "bob", "carol", "dup", "dup", "", "", "", ""}));
    EXPECT_EQ(value("MIREL 000 Password"), "aaron-pw");
    EXPECT_EQ(value("MIREL 001 Password"), "a-new");
    EXPECT_EQ(value("MIREL 002 Password"), "b-typed");
    EXPECT_EQ(value("MIREL 003 Password"), "c-old") << "a user the store lost keeps the loaded password";
    EXPECT_EQ(value("MIREL 004 Password"), "first");
    EXPECT_EQ(value("MIREL 005 Password"), "second-new");
}

TEST_F(SetupProfileTest, ASaveThatCannotBeStoredWritesNothing)
{
    addUser(0, "alice", "pa");
    SetupSettings settings = LoadSetupSettings(profile_);
    settings.users.remove(0);
    settings.baudIndex = 5;
    // A folder name may hold a line break; a profile line cannot.
    settings.logFolder = "two\nlines";
    EXPECT_FALSE(SaveSetupSettings(settings, profile_));
    EXPECT_EQ(value("COM Baud"), "<missing>");
    EXPECT_EQ(value("MIREL 000 User ID"), "alice");
}

} // namespace
} // namespace dialogtest
