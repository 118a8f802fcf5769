// SPDX-License-Identifier: GPL-3.0-or-later
#include "skinwork/VoiceEnable.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/utsname.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace skinwork {
namespace {

TEST(VoiceEnable, OnlyNtFiveZeroAndFiveOneQualify)
{
    struct Row {
        unsigned int platform, major, minor;
        int allowed;
    };
    const Row rows[] = {
        {kPlatformWin32NT, 5, 0, 1},      {kPlatformWin32NT, 5, 1, 1},     {kPlatformWin32NT, 5, 2, 0},
        {kPlatformWin32NT, 6, 0, 0},      {kPlatformWin32NT, 6, 1, 0},     {kPlatformWin32NT, 4, 0, 0},
        {kPlatformWin32NT, 10, 0, 0},     {kPlatformWin32Windows, 4, 0, 0}, {kPlatformWin32Windows, 4, 10, 0},
        {kPlatformWin32Windows, 5, 0, 0}, {kPlatformWin32s, 5, 1, 0},      {kPlatformPosix, 5, 0, 0},
        {kPlatformPosix, 5, 1, 0},        {kPlatformPosix, 6, 1, 0},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(VoiceEnableForVersion(row.platform, row.major, row.minor), row.allowed)
            << row.platform << " " << row.major << "." << row.minor;
    }
}

TEST(VoiceEnable, LinuxReportsItsKernel)
{
    utsname name{};
    ASSERT_EQ(uname(&name), 0);
    const std::optional<OsVersion> version = QueryOsVersion();
    ASSERT_TRUE(version.has_value());
    EXPECT_EQ(version->platformId, kPlatformPosix);
    EXPECT_EQ(std::to_string(version->major) + "." + std::to_string(version->minor),
              std::string(name.release).substr(0, std::to_string(version->major).size() + 1
                                                      + std::to_string(version->minor).size()));
}

// Scratch folders: one with an executable "baresip", one with a "baresip" that may
// not be run, one with a folder of that name, and an empty one.
class EngineSearchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* name : {"engine", "plain", "folder", "empty"}) {
            ASSERT_EQ(::mkdir(path(name).c_str(), 0700), 0) << name;
        }
        for (const auto& [folder, mode] : {std::pair{"engine", 0755}, std::pair{"plain", 0644}}) {
            const std::string file = path(folder) + "/baresip";
            std::ofstream(file) << "#!/bin/sh\n";
            ASSERT_EQ(::chmod(file.c_str(), static_cast<mode_t>(mode)), 0);
        }
        ASSERT_EQ(::mkdir((path("folder") + "/baresip").c_str(), 0700), 0);
    }
    void TearDown() override
    {
        SetTelephonyEngineSearch(std::nullopt);
        std::filesystem::remove_all(root_);
    }
    std::string path(const char* name) const { return root_ + "/" + name; }

    std::string root_ = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "engine-XXXXXX").string();
        return std::string(::mkdtemp(pattern.data()));
    }();
};

TEST_F(EngineSearchTest, TheEngineIsTheFirstExecutableOnThePathOrInTheFallbackFolder)
{
    const std::string engine = path("engine") + "/baresip";
    struct Row {
        std::string searchPath;
        std::string fallback;
        std::string found;
    };
    const Row rows[] = {
        {path("engine"), "", engine},
        {path("empty") + ":" + path("plain") + ":" + path("folder") + ":" + path("engine"), "", engine},
        {path("engine") + "/", "", engine},
        {"::" + path("empty") + ":", path("engine"), engine},
        {path("plain") + ":" + path("folder"), path("empty"), ""},
        {"", "", ""},
        // Relative entries depend on the current folder and are skipped.
        {"engine:.", path("empty"), ""},
        {"", "engine", ""},
    };
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(root_);
    for (const Row& row : rows) {
        EXPECT_EQ(FindTelephonyEngine({row.searchPath, row.fallback}), row.found)
            << row.searchPath << " | " << row.fallback;
    }
    std::filesystem::current_path(before);
}

TEST_F(EngineSearchTest, GetVoiceEnableOSFollowsTheEngine)
{
    SetTelephonyEngineSearch(EngineSearch{path("empty"), path("plain")});
    EXPECT_EQ(GetVoiceEnableOS(), 0);
    SetTelephonyEngineSearch(EngineSearch{path("empty"), path("engine")});
    EXPECT_NE(GetVoiceEnableOS(), 0);
    const std::optional<EngineSearch> previous = SetTelephonyEngineSearch(std::nullopt);
    ASSERT_TRUE(previous.has_value());
    EXPECT_EQ(previous->fallbackFolder, path("engine"));

    // By default: PATH, then /usr/bin.
    const char* systemPath = std::getenv("PATH");
    const bool installed = !FindTelephonyEngine({systemPath != nullptr ? systemPath : "", "/usr/bin"}).empty();
    EXPECT_EQ(GetVoiceEnableOS() != 0, installed);
}

} // namespace
} // namespace skinwork
