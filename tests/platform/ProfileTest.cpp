// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Profile.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace {

using platform::Profile;

std::string ReadFile(const std::filesystem::path& file)
{
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const std::filesystem::path& file, const std::string& text)
{
    std::ofstream(file) << text;
}

class ProfileTest : public ::testing::Test {
protected:
    testsupport::TempDir dir;
    std::filesystem::path file = dir / "settings" / "Ondrel.ini";
    Profile profile{file};
};

TEST_F(ProfileTest, MissingFileOrKeyGivesTheCallersDefault)
{
    EXPECT_EQ(profile.GetProfileInt("Settings", "Port", 50000), 50000);
    EXPECT_EQ(profile.GetProfileString("Settings", "Name", "none"), "none");
    ASSERT_EQ(profile.WriteProfileInt("Settings", "Port", 1), 1);
    EXPECT_EQ(profile.GetProfileInt("Settings", "Other", -7), -7);
    EXPECT_EQ(profile.GetProfileInt("Elsewhere", "Port", 3), 3);
}

// A file that exists but cannot be read (here a folder in its place, which no
// privilege reads) gives the defaults, tells why, and is never written: a rewrite
// would keep only the new keys. A missing file is no error.
TEST_F(ProfileTest, AFileThatCannotBeReadGivesDefaultsAndIsNeverWritten)
{
    EXPECT_EQ(profile.GetProfileInt("Settings", "Port", 50000), 50000);
    EXPECT_EQ(profile.LastReadError(), 0);

    std::filesystem::create_directories(file);
    EXPECT_EQ(profile.GetProfileString("Settings", "Name", "none"), "none");
    EXPECT_EQ(profile.LastReadError(), EISDIR);
    EXPECT_EQ(profile.WriteProfileString("Settings", "Name", "new"), 0);
    bool asked = false;
    EXPECT_EQ(profile.UpdateProfile([&](const platform::ProfileValues&) {
        asked = true;
        return std::optional<std::vector<platform::ProfileEntry>>(std::vector<platform::ProfileEntry>{});
    }),
              0);
    EXPECT_FALSE(asked);
    EXPECT_TRUE(std::filesystem::is_directory(file));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(file.parent_path()), {}), 1)
        << "no temporary file left beside it";
}

TEST_F(ProfileTest, KeysKeepTheirSpacesAndValuesRoundTrip)
{
    ASSERT_EQ(profile.WriteProfileString("Settings", "MIREL 000 User ID", "alice"), 1);
    ASSERT_EQ(profile.WriteProfileString("Settings", "MIREL 000 Password", "p=w d;"), 1);
    ASSERT_EQ(profile.WriteProfileInt("Settings", "MIREL Session Time", -15), 1);
    EXPECT_EQ(profile.GetProfileString("Settings", "MIREL 000 User ID", ""), "alice");
    EXPECT_EQ(profile.GetProfileString("Settings", "MIREL 000 Password", ""), "p=w d;");
    EXPECT_EQ(profile.GetProfileInt("Settings", "MIREL Session Time", 0), -15);
    EXPECT_EQ(ReadFile(file), "[Settings]\nMIREL 000 User ID=alice\nMIREL 000 Password=p=w d;\nMIREL Session Time=-15\n");
}

TEST_F(ProfileTest, WritingOneKeyKeepsEveryOtherKeyAndSection)
{
    std::filesystem::create_directories(file.parent_path());
    WriteFile(file, "[A]\nx=1\ny=2\n\n[B]\nz=3\n");
    ASSERT_EQ(profile.WriteProfileInt("A", "y", 20), 1);
    ASSERT_EQ(profile.WriteProfileInt("A", "new", 4), 1);
    ASSERT_EQ(profile.WriteProfileInt("C", "w", 5), 1);
    EXPECT_EQ(ReadFile(file), "[A]\nx=1\ny=20\nnew=4\n\n[B]\nz=3\n[C]\nw=5\n");
}

TEST_F(ProfileTest, NamesMatchWithoutRegardToCase)
{
    ASSERT_EQ(profile.WriteProfileString("Settings", "COM Port", "3"), 1);
    EXPECT_EQ(profile.GetProfileInt("settings", "com port", 0), 3);
    ASSERT_EQ(profile.WriteProfileString("SETTINGS", "Com Port", "4"), 1);
    EXPECT_EQ(profile.GetProfileInt("Settings", "COM Port", 0), 4);
}

TEST_F(ProfileTest, AChangeByAnotherProgramIsSeenAtTheNextQuery)
{
    ASSERT_EQ(profile.WriteProfileInt("S", "k", 1), 1);
    WriteFile(file, "[S]\nk=2\n");
    EXPECT_EQ(profile.GetProfileInt("S", "k", 0), 2);
}

TEST_F(ProfileTest, MalformedLinesAreSkippedAndKept)
{
    std::filesystem::create_directories(file.parent_path());
    WriteFile(file, "garbage without equals\n[S\n=nokey\n[S]\r\nk=7\r\nnumber=12abc\nbad=abc\n");
    EXPECT_EQ(profile.GetProfileInt("S", "k", 0), 7);
    EXPECT_EQ(profile.GetProfileInt("S", "number", 0), 12);
    EXPECT_EQ(profile.GetProfileInt("S", "bad", 9), 9);
    ASSERT_EQ(profile.WriteProfileInt("S", "k", 8), 1);
    EXPECT_EQ(profile.GetProfileInt("S", "k", 0), 8);
    EXPECT_EQ(ReadFile(file), "garbage without equals\n[S\n=nokey\n[S]\r\nk=8\nnumber=12abc\nbad=abc\n");
}

TEST_F(ProfileTest, RefusesTextThatWouldBreakTheLineStructure)
{
    // Each would be stored as a line that reads back as something else: two lines,
    // another key, a comment, or a section header that moves the keys after it.
    const std::pair<std::string_view, std::string_view> refused[] = {
        {"k", "two\nlines"}, {"a=b", "v"}, {"", "v"}, {"[k", "v"}, {";k", "v"}, {" [k", "v]"}, {"\t[k", "v] "},
    };
    for (const auto& [key, value] : refused) {
        SCOPED_TRACE(std::string(key) + "=" + std::string(value));
        EXPECT_EQ(profile.WriteProfileString("S", key, value), 0);
        EXPECT_FALSE(std::filesystem::exists(file));
    }
    // Brackets and semicolons elsewhere are plain text.
    ASSERT_EQ(profile.WriteProfileString("S", " ;k", "[v]"), 1);
    ASSERT_EQ(profile.WriteProfileString("S", "k]", "[v"), 1);
    EXPECT_EQ(profile.GetProfileString("S", " ;k", ""), "[v]");
    EXPECT_EQ(profile.GetProfileString("S", "k]", ""), "[v");
}

TEST(ProfileFormat, TextKeepsEveryLineAndEditsInMemory)
{
    const std::string text = "; note\n[S]\r\nk=1\r\n=nokey\n[T]\nx=2";
    platform::ProfileValues values = platform::ProfileValues::Parse(text);
    EXPECT_EQ(values.Text(), text + "\n");
    EXPECT_EQ(values.GetProfileInt("s", "K", 0), 1);

    const std::vector<platform::ProfileEntry> entries = {{"S", "k", "3"}, {"T", "y", "4"}, {"U", "z", "5"}};
    ASSERT_TRUE(values.Apply(entries));
    EXPECT_EQ(values.Text(), "; note\n[S]\r\nk=3\n=nokey\n[T]\nx=2\ny=4\n[U]\nz=5\n");

    const std::vector<platform::ProfileEntry> refused = {{"S", "k", "6"}, {"S", ";k", "7"}};
    EXPECT_FALSE(values.Apply(refused));
    EXPECT_EQ(values.GetProfileString("S", "k", ""), "3");
}

TEST_F(ProfileTest, ABatchIsWrittenWholeOrNotAtAll)
{
    std::filesystem::create_directories(file.parent_path());
    WriteFile(file, "[Setting]\nKeep=1\nA=old\n[Other]\nX=1\n");
    const std::vector<platform::ProfileEntry> batch = {
        {"Setting", "A", "new"}, {"Setting", "B", "added"}, {"Fresh", "C", "3"}, {"setting", "a", "last wins"}};
    ASSERT_EQ(profile.WriteProfileEntries(batch), 1);
    EXPECT_EQ(ReadFile(file), "[Setting]\nKeep=1\na=last wins\nB=added\n[Other]\nX=1\n[Fresh]\nC=3\n");

    const std::string before = ReadFile(file);
    const std::vector<platform::ProfileEntry> broken = {{"Setting", "A", "fine"}, {"Setting", "B", "two\nlines"}};
    EXPECT_EQ(profile.WriteProfileEntries(broken), 0);
    EXPECT_EQ(ReadFile(file), before);
}

TEST_F(ProfileTest, FileIsPrivateToItsOwner)
{
    ASSERT_EQ(profile.WriteProfileString("S", "password", "secret"), 1);
    struct stat status {};
    ASSERT_EQ(::stat(file.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
}

TEST_F(ProfileTest, WritesFromManyThreadsAreAllKept)
{
    constexpr int kThreads = 4;
    constexpr int kKeysEach = 25;
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([&, t] {
            for (int k = 0; k < kKeysEach; ++k) {
                profile.WriteProfileInt("S", "key " + std::to_string(t) + "." + std::to_string(k), k);
                profile.GetProfileInt("S", "key 0.0", 0);
            }
        });
    }
    for (auto& writer : writers) {
        writer.join();
    }
    for (int t = 0; t < kThreads; ++t) {
        for (int k = 0; k < kKeysEach; ++k) {
            EXPECT_EQ(profile.GetProfileInt("S", "key " + std::to_string(t) + "." + std::to_string(k), -1), k);
        }
    }
}

// Read-modify-write through UpdateProfile: counters bumped from several threads lose
// no increment, and an update that declines or cannot be stored leaves the file alone.
TEST_F(ProfileTest, UpdatesReadAndWriteAsOne)
{
    constexpr int kThreads = 4;
    constexpr int kBumpsEach = 25;
    const auto bump = [](const platform::ProfileValues& values) {
        const int count = std::stoi(values.GetProfileString("S", "count", "0"));
        return std::optional(std::vector<platform::ProfileEntry>{{"S", "count", std::to_string(count + 1)}});
    };
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([&] {
            for (int k = 0; k < kBumpsEach; ++k) {
                EXPECT_EQ(profile.UpdateProfile(bump), 1);
            }
        });
    }
    for (auto& writer : writers) {
        writer.join();
    }
    EXPECT_EQ(profile.GetProfileInt("S", "count", 0), kThreads * kBumpsEach);

    const std::string before = ReadFile(file);
    EXPECT_EQ(profile.UpdateProfile([](const platform::ProfileValues&) {
        return std::optional<std::vector<platform::ProfileEntry>>();
    }), 0);
    EXPECT_EQ(profile.UpdateProfile([](const platform::ProfileValues&) {
        return std::optional(std::vector<platform::ProfileEntry>{{"S", "count", "0"}, {"S", "bad", "two\nlines"}});
    }), 0);
    EXPECT_EQ(ReadFile(file), before);
}

TEST(ProfileLocation, CommandLineOptionInEitherForm)
{
    const char* separate[] = {"ondrel", "-ECV", "--profile", "/tmp/a.ini", "-ELM"};
    EXPECT_EQ(Profile::pathFromArguments(5, separate), std::filesystem::path("/tmp/a.ini"));
    const char* joined[] = {"ondrel", "--profile=/tmp/b.ini"};
    EXPECT_EQ(Profile::pathFromArguments(2, joined), std::filesystem::path("/tmp/b.ini"));
    const char* dangling[] = {"ondrel", "--profile"};
    EXPECT_FALSE(Profile::pathFromArguments(2, dangling).has_value());
}

TEST(ProfileLocation, EnvironmentChoosesTheDefaultFile)
{
    ::setenv("ONDREL_PROFILE", "/tmp/chosen.ini", 1);
    EXPECT_EQ(Profile::defaultPath(), std::filesystem::path("/tmp/chosen.ini"));
    ::unsetenv("ONDREL_PROFILE");
    ::setenv("XDG_CONFIG_HOME", "/tmp/config", 1);
    EXPECT_EQ(Profile::defaultPath(), std::filesystem::path("/tmp/config/ORVANE/Ondrel.ini"));
    ::unsetenv("XDG_CONFIG_HOME");
    ::setenv("HOME", "/home/op", 1);
    EXPECT_EQ(Profile::defaultPath(), std::filesystem::path("/home/op/.config/ORVANE/Ondrel.ini"));
}

} // namespace
