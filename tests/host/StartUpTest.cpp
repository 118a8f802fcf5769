// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up pieces: command-line options, the single-instance lock and the display texts.
#include "host/HostDisplay.h"
#include "host/HostOptions.h"
#include "host/InstanceLock.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace {

host::HostOptions Parse(std::vector<const char*> arguments)
{
    arguments.insert(arguments.begin(), "ondrel");
    return host::ParseHostOptions(static_cast<int>(arguments.size()), arguments.data());
}

// ---- Command line ----

TEST(HostOptionsTest, RadioOptionsAreFoundAnywhereCaseSensitive)
{
    struct Case {
        std::vector<const char*> arguments;
        bool corvex;
        bool loadMessage;
        const char* title;
    };
    const Case cases[] = {
        {{}, false, false, "Ondrel"},
        {{"-ECV"}, true, false, "Ondrel -ECV"},
        {{"-ELM"}, false, true, "Ondrel -ELM"},
        {{"-ELM", "--headless", "-ECV"}, true, true, "Ondrel -ECV -ELM"},
        {{"x-ECVy"}, true, false, "Ondrel -ECV"},        // inside another word
        {{"/tmp/a-ELM.ini"}, false, true, "Ondrel -ELM"}, // even inside a file name
        {{"-ecv", "-Elm"}, false, false, "Ondrel"},      // lower case is not the option
        {{"-EC", "V"}, false, false, "Ondrel"},          // arguments are joined by a blank
    };
    for (const Case& c : cases) {
        const host::HostOptions options = Parse(c.arguments);
        SCOPED_TRACE(host::JoinCommandLine(static_cast<int>(c.arguments.size()), c.arguments.data()));
        EXPECT_EQ(options.corvexEnabled, c.corvex);
        EXPECT_EQ(options.loadMessageEnabled, c.loadMessage);
        EXPECT_EQ(host::WindowTitle(options), c.title);
    }
}

TEST(HostOptionsTest, HeadlessHelpAndProfile)
{
    EXPECT_FALSE(Parse({}).headless);
    EXPECT_FALSE(Parse({}).profile.has_value());
    EXPECT_TRUE(Parse({"--headless"}).headless);
    EXPECT_FALSE(Parse({"--headlessly"}).headless);
    EXPECT_TRUE(Parse({"--help"}).help);

    const host::HostOptions separate = Parse({"--headless", "--profile", "/tmp/demo.ini"});
    ASSERT_TRUE(separate.profile.has_value());
    EXPECT_EQ(*separate.profile, "/tmp/demo.ini");
    const host::HostOptions joined = Parse({"--profile=/tmp/other.ini", "--headless"});
    ASSERT_TRUE(joined.profile.has_value());
    EXPECT_EQ(*joined.profile, "/tmp/other.ini");
    EXPECT_TRUE(joined.headless);
}

// ---- Single instance ----

TEST(InstanceLockTest, SecondCopyIsRefusedUntilTheFirstEnds)
{
    testsupport::TempDir dir;
    const auto runtime = dir / "runtime";
    {
        const host::InstanceLock first(runtime);
        ASSERT_TRUE(first.held());
        struct stat info {};
        ASSERT_EQ(::stat(runtime.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0700u);

        const host::InstanceLock second(runtime);
        EXPECT_FALSE(second.held());
        EXPECT_EQ(second.state(), host::InstanceLock::State::Busy);
    }
    const host::InstanceLock next(runtime);
    EXPECT_TRUE(next.held());
}

// One lock per settings file: every spelling of one file names the same lock, other
// files other locks; the per-user lock of the window is another file again.
TEST(InstanceLockTest, EachSettingsFileHasALockOfItsOwn)
{
    testsupport::TempDir dir;
    std::filesystem::create_directory(dir / "etc");
    std::ofstream(dir / "etc" / "radio1.ini") << "";
    std::filesystem::create_directory_symlink(dir / "etc", dir / "link");
    using host::InstanceLock;
    const std::string radio1 = InstanceLock::SettingsLockName(dir / "etc" / "radio1.ini");
    EXPECT_EQ(radio1, InstanceLock::SettingsLockName(dir / "etc" / ".." / "etc" / "radio1.ini"));
    EXPECT_EQ(radio1, InstanceLock::SettingsLockName(dir / "link" / "radio1.ini"));
    const std::string radio2 = InstanceLock::SettingsLockName(dir / "etc" / "radio2.ini");
    EXPECT_NE(radio1, radio2) << "a file that does not exist yet has its own lock too";
    EXPECT_NE(radio1, InstanceLock::kFileName);

    const auto runtime = dir / "runtime";
    const InstanceLock first(runtime, radio1);
    const InstanceLock second(runtime, radio2);
    const InstanceLock window(runtime);
    EXPECT_TRUE(first.held());
    EXPECT_TRUE(second.held());
    EXPECT_TRUE(window.held());
    EXPECT_EQ(InstanceLock(runtime, radio1).state(), InstanceLock::State::Busy);
}

TEST(InstanceLockTest, UnusableDirectoryFails)
{
    testsupport::TempDir dir;
    std::ofstream(dir / "plain-file") << "not a directory";
    const host::InstanceLock onFile(dir / "plain-file");
    EXPECT_EQ(onFile.state(), host::InstanceLock::State::Failed);

    std::filesystem::create_directory_symlink(dir.path(), dir / "link");
    const host::InstanceLock throughLink(dir / "link");
    EXPECT_EQ(throughLink.state(), host::InstanceLock::State::Failed);
}

// ---- Display texts ----

TEST(HostDisplayTest, SessionTimeText)
{
    struct Case {
        bool active;
        host::SessionTimes times;
        const char* text;
    };
    const Case cases[] = {
        {false, {0, 5, 7, 1, 0, 0}, ""},
        {true, {0, 0, 0, 0, 0, 0}, "Unlimited"},
        {true, {2, 3, 4, 0, 0, 0}, "Unlimited"},
        {true, {0, 0, 0, 1, 0, 0}, ""}, // a limit, but not yet a second elapsed
        {true, {0, 5, 7, 1, 0, 0}, "0:05:07 / 1:00:00"},
        {true, {0, 0, 1, 0, 2, 0}, "0:00:01 / 0:02:00"},
        {true, {12, 59, 59, 0, 0, 30}, "12:59:59 / 0:00:30"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(host::SessionTimeText(c.active, c.times), c.text);
    }
}

TEST(HostDisplayTest, ModelNamesAndFieldTexts)
{
    EXPECT_EQ(host::ModelDisplayName(19), "Corvex");
    EXPECT_EQ(host::ModelDisplayName(20), "Tarsel");
    EXPECT_EQ(host::ModelDisplayName(7), "Unknown");
    EXPECT_EQ(host::ModelDisplayName(0), "Unknown");

    host::HostDisplay display;
    display.description = "two\nlines\twith\x7f" "controls";
    display.onAir = true;
    EXPECT_EQ(host::FieldValueText(display, host::DisplayField::Description), "two?lines?with?controls");
    EXPECT_EQ(host::FieldValueText(display, host::DisplayField::OnAir), "on");
    EXPECT_EQ(host::FieldValueText(display, host::DisplayField::Service), "stopped");
    EXPECT_EQ(host::FieldLabel(host::DisplayField::SessionTime), "Session time");
}

} // namespace
