// SPDX-License-Identifier: GPL-3.0-or-later
// The activity log: daily files with their header, records, switching, open errors
// and concurrent appends, on real files in a temporary folder.

#include "linkcore/Linkcore.h"
#include "SessionFixture.h"

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

namespace sessiontest {
namespace {

using ActivityLogTest = ProfileFixture;

constexpr std::string_view kOpenError = "MIREL Log:File Open Error!!";

std::string ReadFile(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST_F(ActivityLogTest, FirstRecordOfTheDayCreatesTheFileWithTheHeaderAndLaterRecordsAppend)
{
    // 1'800'000'000 is 2027-01-15 08:00:00 UTC; the test reads the local parts from the clock.
    const platform::LocalTime t = clock_->localNow();
    CLinkcore::MirelLogAdd("- START - Service started.");
    clock_->advance(61);
    const platform::LocalTime later = clock_->localNow();
    CLinkcore::MirelLogAdd("127.0.0.1 OPEN - Connection Open");

    char expected[512];
    std::snprintf(expected, sizeof expected,
                  "#Software: ORVANE MIREL\n"
                  "#Version: 1.00\n"
                  "#Date: %04d-%02d-%02d %02d:%02d:%02d\n"
                  "#Fields: time c-ip cs-method user log\n"
                  "%02d:%02d:%02d - START - Service started.\n"
                  "%02d:%02d:%02d 127.0.0.1 OPEN - Connection Open\n",
                  t.year, t.month, t.day, t.hour, t.minute, t.second, t.hour, t.minute, t.second, later.hour,
                  later.minute, later.second);
    EXPECT_EQ(ReadFile(todaysLog()), expected);
    EXPECT_TRUE(messageBoxes().empty());
}

TEST_F(ActivityLogTest, ExistingFilesGetNoHeaderEvenWhenEmpty)
{
    std::ofstream(todaysLog()).close();
    const platform::LocalTime t = clock_->localNow();
    CLinkcore::MirelLogAdd("first");
    char expected[64];
    std::snprintf(expected, sizeof expected, "%02d:%02d:%02d first\n", t.hour, t.minute, t.second);
    EXPECT_EQ(ReadFile(todaysLog()), expected);
}

TEST_F(ActivityLogTest, RecordsAroundMidnightLandInTheFilesOfTheirOwnDates)
{
    const platform::LocalTime start = clock_->localNow();
    const std::int64_t secondsToMidnight = (23 - start.hour) * 3600 + (59 - start.minute) * 60 + (60 - start.second);
    clock_->advance(secondsToMidnight - 1);
    const std::filesystem::path before = todaysLog();
    CLinkcore::MirelLogAdd("before midnight");
    clock_->advance(1);
    const std::filesystem::path after = todaysLog();
    CLinkcore::MirelLogAdd("after midnight");

    ASSERT_NE(before, after);
    const auto beforeLines = readLines(before);
    const auto afterLines = readLines(after);
    ASSERT_EQ(beforeLines.size(), 5u);
    ASSERT_EQ(afterLines.size(), 5u);
    EXPECT_EQ(beforeLines[4], "23:59:59 before midnight");
    EXPECT_EQ(afterLines[4], "00:00:00 after midnight");
    EXPECT_TRUE(afterLines[2].ends_with(" 00:00:00"));
}

TEST_F(ActivityLogTest, SwitchingTheLogOffStopsItAtOnce)
{
    CLinkcore::MirelLogAdd("kept");
    writeInt("Setting", "MIREL Log", 0);
    CLinkcore::MirelLogAdd("dropped");
    writeInt("Setting", "MIREL Log", 1);
    CLinkcore::MirelLogAdd("kept again");
    EXPECT_EQ(logRecords(), (std::vector<std::string>{"kept", "kept again"}));
}

// A failing log is shown once, not for every record; once a record has been written
// again, the next failure is shown again.
TEST_F(ActivityLogTest, AMissingFolderRaisesTheOpenErrorOnceUntilARecordIsWritten)
{
    const auto folder = dir_ / "no such folder";
    writeString("File Path", "MIREL Log File Path", folder.string());
    CLinkcore::MirelLogAdd("one");
    CLinkcore::MirelLogAdd("two");
    EXPECT_EQ(messageBoxes(), std::vector<std::string>{std::string(kOpenError)});
    EXPECT_FALSE(std::filesystem::exists(folder));

    std::filesystem::create_directory(folder);
    CLinkcore::MirelLogAdd("three");
    std::filesystem::remove_all(folder);
    CLinkcore::MirelLogAdd("four");
    CLinkcore::MirelLogAdd("five");
    EXPECT_EQ(messageBoxes(), (std::vector<std::string>{std::string(kOpenError), std::string(kOpenError)}));
}

// A full disk: the day's file leads to /dev/full, which takes no byte.
TEST_F(ActivityLogTest, AFullDiskRaisesTheWriteErrorOnce)
{
    std::filesystem::create_symlink("/dev/full", todaysLog());
    CLinkcore::MirelLogAdd("one");
    CLinkcore::MirelLogAdd("two");
    EXPECT_EQ(messageBoxes(), std::vector<std::string>{"MIREL Log:File Write Error!!"});
}

TEST_F(ActivityLogTest, LoggingOffWithAMissingFolderRaisesNothing)
{
    writeInt("Setting", "MIREL Log", 0);
    writeString("File Path", "MIREL Log File Path", (dir_ / "no such folder").string());
    CLinkcore::MirelLogAdd("ignored");
    EXPECT_TRUE(messageBoxes().empty());
}

TEST_F(ActivityLogTest, AFolderInPlaceOfTheDaysFileIsAnOpenError)
{
    std::filesystem::create_directory(todaysLog());
    CLinkcore::MirelLogAdd("lost");
    EXPECT_EQ(messageBoxes(), std::vector<std::string>{std::string(kOpenError)});
}

TEST_F(ActivityLogTest, ControlCharactersCannotForgeRecords)
{
    // A user ID sent by a client with a line break and a forged record behind it.
    CLinkcore::MirelLogAdd("10.0.0.7 LOGIN \r\n08:00:00 10.0.0.7 LOGIN admin Password OK.\x7f\t\x1b timeout.");
    CLinkcore::MirelLogAdd("10.0.0.7 LOGIN  timeout.");
    EXPECT_EQ(logRecords(),
              (std::vector<std::string>{"10.0.0.7 LOGIN ??08:00:00 10.0.0.7 LOGIN admin Password OK.??? timeout.",
                                        "10.0.0.7 LOGIN  timeout."}));
}

TEST_F(ActivityLogTest, ConcurrentAppendsKeepEveryRecordWhole)
{
    constexpr int kThreads = 4;
    constexpr int kRecords = 200;
    std::vector<std::thread> writers;
    for (int w = 0; w < kThreads; ++w) {
        writers.emplace_back([w] {
            const std::string text = "writer " + std::to_string(w) + " " + std::string(300, static_cast<char>('a' + w));
            for (int i = 0; i < kRecords; ++i) {
                CLinkcore::MirelLogAdd(text.c_str());
            }
        });
    }
    for (std::thread& writer : writers) {
        writer.join();
    }
    const auto lines = readLines(todaysLog());
    ASSERT_EQ(lines.size(), 4u + kThreads * kRecords);
    EXPECT_EQ(lines[0], "#Software: ORVANE MIREL");
    int perWriter[kThreads] = {};
    for (std::size_t i = 4; i < lines.size(); ++i) {
        // "hh:mm:ss writer <w> " and 300 times the writer's letter, nothing else.
        const std::string& line = lines[i];
        ASSERT_EQ(line.size(), 9u + 9u + 300u) << line.substr(0, 40);
        ASSERT_EQ(line.substr(8, 8), " writer ") << line.substr(0, 40);
        const int writer = line[16] - '0';
        ASSERT_TRUE(writer >= 0 && writer < kThreads) << line.substr(0, 40);
        EXPECT_EQ(line.substr(18), std::string(300, static_cast<char>('a' + writer)));
        ++perWriter[writer];
    }
    for (int count : perWriter) {
        EXPECT_EQ(count, kRecords);
    }
}

TEST_F(ActivityLogTest, DateTimeAndFileQueriesFollowTheClockAndTheFileSystem)
{
    const platform::LocalTime now = clock_->localNow();
    unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    CLinkcore::GetDate(&year, &month, &day);
    CLinkcore::GetTime(&hour, &minute, &second);
    EXPECT_EQ(std::vector<int>({int(year), int(month), int(day), int(hour), int(minute), int(second)}),
              std::vector<int>({now.year, now.month, now.day, now.hour, now.minute, now.second}));

    EXPECT_EQ(CLinkcore::FileExist(logFolder().c_str()), 1);
    EXPECT_EQ(CLinkcore::FileExist(todaysLog().c_str()), 0);
    CLinkcore::MirelLogAdd("now it exists");
    EXPECT_EQ(CLinkcore::FileExist(todaysLog().c_str()), 1);
}

} // namespace
} // namespace sessiontest
