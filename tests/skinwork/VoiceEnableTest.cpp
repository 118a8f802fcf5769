#include "skinwork/VoiceEnable.h"

#include <gtest/gtest.h>

#include <sys/utsname.h>

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

TEST(VoiceEnable, LinuxReportsItsKernelAndNeverQualifies)
{
    utsname name{};
    ASSERT_EQ(uname(&name), 0);
    const std::optional<OsVersion> version = QueryOsVersion();
    ASSERT_TRUE(version.has_value());
    EXPECT_EQ(version->platformId, kPlatformPosix);
    EXPECT_EQ(std::to_string(version->major) + "." + std::to_string(version->minor),
              std::string(name.release).substr(0, std::to_string(version->major).size() + 1
                                                      + std::to_string(version->minor).size()));
    EXPECT_EQ(GetVoiceEnableOS(), 0);
}

} // namespace
} // namespace skinwork
