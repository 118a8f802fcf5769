// SPDX-License-Identifier: GPL-3.0-or-later
// The user store over a real profile file: lookups, the password change, the
// description copy and the voice query.

#include "linkcore/Linkcore.h"
#include "platform/Profile.h"
#include "SessionFixture.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>

namespace sessiontest {
namespace {

using UserStoreTest = ProfileFixture;

TEST_F(UserStoreTest, PasswordsAndUserIdsCompareByteForByte)
{
    EXPECT_EQ(CLinkcore::CheckMirelUserPassword("alice", "Secret-1"), 1);
    EXPECT_EQ(CLinkcore::CheckMirelUserPassword("alice", "secret-1"), 0);
    EXPECT_EQ(CLinkcore::CheckMirelUserPassword("Alice", "Secret-1"), 0);
    EXPECT_EQ(CLinkcore::CheckMirelUserPassword("alice ", "Secret-1"), 0);
    EXPECT_EQ(CLinkcore::CheckMirelUserPassword("alice", "Secret-1 "), 0);
    EXPECT_EQ(CLinkcore::CheckMirelUserPassword("carol", "Secret-1"), 0);
    EXPECT_EQ(CLinkcore::CheckMirelUserPassword("", ""), 0);
}

TEST_F(UserStoreTest, FreeSlotsAreNeverMatched)
{
    // Slot 2 has a password but no user ID.
    addUser(2, "", "orphan");
    EXPECT_EQ(CLinkcore::CheckMirelUserPassword("", "orphan"), 0);
    EXPECT_EQ(CLinkcore::ChangeUserPassword("", "new"), 0);
    EXPECT_EQ(storedPassword(2), "orphan");
}

TEST_F(UserStoreTest, TheTenthSlotIsSearchedAndNoSlotBeyondIt)
{
    addUser(9, "ninth", "pw9", "slot nine", 1);
    addUser(10, "tenth", "pw10");
    EXPECT_EQ(CLinkcore::CheckMirelUserPassword("ninth", "pw9"), 1);
    EXPECT_EQ(CLinkcore::GetUserDisabled("ninth"), 1);
    EXPECT_EQ(CLinkcore::CheckMirelUserPassword("tenth", "pw10"), 0);
    EXPECT_EQ(CLinkcore::ChangeUserPassword("tenth", "other"), 0);
    EXPECT_EQ(storedPassword(10), "pw10");
}

TEST_F(UserStoreTest, TheFirstOfTwoSlotsWithTheSameUserIdWins)
{
    addUser(4, "dup", "first", "first slot", 0);
    addUser(6, "dup", "second", "second slot", 1);
    EXPECT_EQ(CLinkcore::CheckMirelUserPassword("dup", "first"), 1);
    EXPECT_EQ(CLinkcore::CheckMirelUserPassword("dup", "second"), 0);
    EXPECT_EQ(CLinkcore::GetUserDisabled("dup"), 0);

    CLinkcore linkcore;
    char description[CLinkcore::kUserDescriptionSize] = {};
    EXPECT_EQ(linkcore.GetUserDescription("dup", description), 1);
    EXPECT_STREQ(description, "first slot");

    EXPECT_EQ(CLinkcore::ChangeUserPassword("dup", "changed"), 1);
    EXPECT_EQ(storedPassword(4), "changed");
    EXPECT_EQ(storedPassword(6), "second");
}

TEST_F(UserStoreTest, TheDisabledFlagIsAnyNonZeroValue)
{
    EXPECT_EQ(CLinkcore::GetUserDisabled("alice"), 0);
    EXPECT_EQ(CLinkcore::GetUserDisabled("bob"), 1);
    writeInt("Setting", "MIREL 000 User Disabled", 7);
    EXPECT_EQ(CLinkcore::GetUserDisabled("alice"), 1);
    writeInt("Setting", "MIREL 000 User Disabled", -1);
    EXPECT_EQ(CLinkcore::GetUserDisabled("alice"), 1);
    EXPECT_EQ(CLinkcore::GetUserDisabled("nobody"), 0);
}

TEST_F(UserStoreTest, EveryQueryReadsTheProfileAnew)
{
    EXPECT_EQ(CLinkcore::CheckMirelUserPassword("alice", "Secret-1"), 1);
    int disabled = -1;
    writeInt("Setting", "MIREL 000 User Disabled", 1);
    EXPECT_EQ(CLinkcore::CheckMirelUserPassword("alice", "Secret-1", &disabled), 1);
    EXPECT_EQ(disabled, 1) << "a user disabled between logins";
    writeInt("Setting", "MIREL 000 User Disabled", 0);
    EXPECT_EQ(CLinkcore::CheckMirelUserPassword("alice", "Secret-1", &disabled), 1);
    EXPECT_EQ(disabled, 0);
    writeString("Setting", "MIREL 000 Password", "edited by the host");
    EXPECT_EQ(CLinkcore::CheckMirelUserPassword("alice", "Secret-1"), 0);
    EXPECT_EQ(CLinkcore::CheckMirelUserPassword("alice", "edited by the host"), 1);
    writeString("Setting", "MIREL 000 User ID", "alicia");
    EXPECT_EQ(CLinkcore::CheckMirelUserPassword("alice", "edited by the host"), 0);
    EXPECT_EQ(CLinkcore::CheckMirelUserPassword("alicia", "edited by the host"), 1);
}

// A password check (with the disabled flag the login needs) and every other query read
// the profile file once, however many slots they search, and answer from that reading.
TEST_F(UserStoreTest, EveryQueryReadsTheProfileFileOnce)
{
    addUser(9, "tenth", "pw10", "last slot", 1);
    struct Case {
        const char* user;
        const char* password;
        int result;
        int disabled;
    };
    const Case cases[] = {
        {"alice", "Secret-1", 1, 0}, {"bob", "bobpass", 1, 1}, {"tenth", "pw10", 1, 1},
        {"alice", "wrong", 0, 0},    {"nobody", "x", 0, 0},
    };
    const platform::Profile& profile = platform::ApplicationProfile();
    for (const Case& c : cases) {
        int disabled = -1;
        std::uint64_t before = profile.FileReads();
        EXPECT_EQ(CLinkcore::CheckMirelUserPassword(c.user, c.password, &disabled), c.result) << c.user;
        EXPECT_EQ(disabled, c.disabled) << c.user;
        EXPECT_EQ(profile.FileReads() - before, 1u) << c.user << ": password check";

        before = profile.FileReads();
        EXPECT_EQ(CLinkcore::CheckMirelUserPassword(c.user, c.password), c.result) << c.user;
        EXPECT_EQ(CLinkcore::GetUserDisabled(c.user), c.disabled) << c.user;
        char description[CLinkcore::kUserDescriptionSize] = {};
        CLinkcore linkcore;
        linkcore.GetUserDescription(c.user, description);
        EXPECT_EQ(profile.FileReads() - before, 3u) << c.user << ": one read per query";
    }
}

TEST_F(UserStoreTest, APasswordChangeKeepsEveryByteThatTheProfileCanHold)
{
    EXPECT_EQ(CLinkcore::ChangeUserPassword("alice", " new = pass; #1 "), 1);
    EXPECT_EQ(storedPassword(0), " new = pass; #1 ");
    EXPECT_EQ(CLinkcore::CheckMirelUserPassword("alice", " new = pass; #1 "), 1);
    EXPECT_EQ(CLinkcore::CheckMirelUserPassword("alice", "Secret-1"), 0);
}

TEST_F(UserStoreTest, APasswordWithALineBreakIsRefusedAndTheOldOneStays)
{
    // Stored raw, the line break would add a forged key to the profile.
    EXPECT_EQ(CLinkcore::ChangeUserPassword("alice", "x\nMIREL 001 User Disabled=0"), 0);
    EXPECT_EQ(CLinkcore::ChangeUserPassword("alice", "x\r"), 0);
    EXPECT_EQ(CLinkcore::CheckMirelUserPassword("alice", "Secret-1"), 1);
    EXPECT_EQ(CLinkcore::GetUserDisabled("bob"), 1);
}

TEST_F(UserStoreTest, DescriptionsNeverOverrunTheHostsBuffer)
{
    CLinkcore linkcore;
    std::array<char, CLinkcore::kUserDescriptionSize + 16> buffer;

    buffer.fill('#');
    ASSERT_EQ(linkcore.GetUserDescription("alice", buffer.data()), 1);
    EXPECT_STREQ(buffer.data(), "Alice at home");

    const std::string longText(400, 'd');
    writeString("Setting", "MIREL 000 Description", longText);
    buffer.fill('#');
    ASSERT_EQ(linkcore.GetUserDescription("alice", buffer.data()), 1);
    EXPECT_EQ(std::string(buffer.data()), longText.substr(0, CLinkcore::kUserDescriptionSize - 1));
    for (std::size_t i = CLinkcore::kUserDescriptionSize; i < buffer.size(); ++i) {
        EXPECT_EQ(buffer[i], '#') << "byte " << i << " written";
    }

    buffer.fill('#');
    EXPECT_EQ(linkcore.GetUserDescription("nobody", buffer.data()), 0);
    EXPECT_EQ(std::string(buffer.data(), 5), std::string("\0\0\0\0#", 5));
}

TEST_F(UserStoreTest, VoiceIsNeverAvailableOnThisPlatform)
{
    EXPECT_EQ(CLinkcore::GetVoiceEnable(), 0);
    writeInt("Setting", "MIREL Voice", 1);
    EXPECT_EQ(CLinkcore::GetVoiceEnable(), 0);
}

} // namespace
} // namespace sessiontest
