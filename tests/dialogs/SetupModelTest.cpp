// The Setup dialog's settings without a window: the value rules as tables, and
// loading and saving against real profile files.

#include "host/dialogs/SetupModel.h"
#include "platform/Profile.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <string>
#include <vector>

namespace dialogtest {
namespace {

using namespace dialogs;

TEST(SetupRules, StoredValuesMapToListsAndBack)
{
    struct Case {
        int stored;
        int index;
        int saved;
    };
    for (const Case& c : std::vector<Case>{{1, 0, 1}, {20, 19, 20}, {0, -1, 1}, {21, -1, 1}, {-3, -1, 1}}) {
        EXPECT_EQ(ComPortIndexOf(c.stored), c.index) << c.stored;
        EXPECT_EQ(ComPortOfIndex(c.index), c.saved) << c.stored;
    }
    for (const Case& c : std::vector<Case>{{4800, 0, 4800}, {9600, 1, 9600}, {19200, 2, 19200}, {38400, 3, 38400},
                                           {57600, 4, 57600}, {115200, 5, 115200}, {12345, 1, 9600}, {0, 1, 9600}}) {
        EXPECT_EQ(BaudIndexOf(c.stored), c.index) << c.stored;
        EXPECT_EQ(BaudOfIndex(c.index), c.saved) << c.stored;
    }
    EXPECT_EQ(BaudOfIndex(-1), 9600);
    EXPECT_EQ(BaudOfIndex(6), 9600);
    const std::vector<int> minutes = {1, 2, 3, 5, 10, 15, 20, 30, 40, 50, 60, 90, 120};
    for (std::size_t i = 0; i < minutes.size(); ++i) {
        EXPECT_EQ(SessionTimeIndexOf(minutes[i]), static_cast<int>(i) + 1);
        EXPECT_EQ(SessionTimeOfIndex(static_cast<int>(i) + 1), minutes[i]);
    }
    for (int other : {0, 7, 4, 121, -1}) {
        EXPECT_EQ(SessionTimeIndexOf(other), 0) << other;
    }
    EXPECT_EQ(SessionTimeOfIndex(0), 0);
    EXPECT_EQ(SessionTimeOfIndex(14), 0);
    EXPECT_EQ(SessionTimeTexts().front(), "   Unlimited");
    EXPECT_EQ(SessionTimeTexts().at(13), "   120");
    EXPECT_EQ(BaudTexts().front(), "    4800bps");
    EXPECT_EQ(BaudTexts().back(), "  115200bps");
    EXPECT_EQ(ComPortTexts().at(19), "    COM20");
}

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

TEST(SetupUserList, UsersSortIgnoringCaseAndIdsAreUniqueIgnoringCase)
{
    UserList users;
    for (const char* id : {"mike", "Bravo", "alpha", "Charlie"}) {
        EXPECT_EQ(users.add(UserRecord{UserEntry{id, "pw", "", 0}, true, -1}), UserList::AddResult::Added);
    }
    EXPECT_EQ(users.add(UserRecord{UserEntry{"ALPHA", "pw", "", 0}, true, -1}), UserList::AddResult::Duplicate);
    std::vector<std::string> order;
    for (const UserRecord& user : users.records()) {
        order.push_back(user.entry.userId);
    }
    EXPECT_EQ(order, (std::vector<std::string>{"alpha", "Bravo", "Charlie", "mike"}));
    EXPECT_EQ(users.find("CHARLIE"), 2u);
    for (const char* id : {"n1", "n2", "n3", "n4", "n5", "n6"}) {
        EXPECT_EQ(users.add(UserRecord{UserEntry{id, "pw", "", 0}, true, -1}), UserList::AddResult::Added);
    }
    EXPECT_EQ(users.add(UserRecord{UserEntry{"zulu", "pw", "", 0}, true, -1}), UserList::AddResult::Full);
    EXPECT_EQ(users.size(), 10u);

    users.toggleDisabled(0);
    EXPECT_EQ(users[0].entry.disabled, 1);
    users.toggleDisabled(0);
    EXPECT_EQ(users[0].entry.disabled, 0);
    users.update(1, UserEntry{"ignored", "new", "desc", 5}, false);
    EXPECT_EQ(users[1].entry.userId, "Bravo");
    EXPECT_EQ(users[1].entry.password, "pw") << "a password not typed stays";
    EXPECT_EQ(users[1].entry.disabled, 1);
    EXPECT_EQ(users[1].entry.description, "desc");
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
        {"MIREL Session Time", "junk", "0"},
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
