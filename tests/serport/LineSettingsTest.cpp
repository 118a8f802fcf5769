// SPDX-License-Identifier: GPL-3.0-or-later
#include "LineSettings.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

using serport::LineSettings;
using serport::Parity;
using serport::StopBits;

termios Blank()
{
    termios tio{};
    tio.c_cflag = CS8 | CREAD | CLOCAL | HUPCL;
    cfsetispeed(&tio, B38400);
    cfsetospeed(&tio, B38400);
    return tio;
}

TEST(LineSettings, CodesBecomeTypedValues)
{
    struct Row {
        unsigned code;
        Parity parity;
    };
    for (const Row& row : {Row{0, Parity::None}, Row{1, Parity::Odd}, Row{2, Parity::Even}, Row{3, Parity::Mark},
                           Row{4, Parity::Space}, Row{5, Parity::None}, Row{0xFFFFFFFF, Parity::None}}) {
        EXPECT_EQ(serport::ParityFromCode(row.code), row.parity) << "code " << row.code;
    }
    EXPECT_EQ(serport::StopBitsFromCount(1), StopBits::One);
    EXPECT_EQ(serport::StopBitsFromCount(2), StopBits::Two);
    EXPECT_EQ(serport::StopBitsFromCount(0), StopBits::One);
    EXPECT_EQ(serport::MakeLineSettings(4800, 2, 7, 2), (LineSettings{4800, 7, Parity::Even, StopBits::Two}));
}

TEST(LineSettings, ParityMapsOntoControlFlags)
{
    struct Row {
        Parity parity;
        tcflag_t flags;
    };
    for (const Row& row : {Row{Parity::None, 0}, Row{Parity::Odd, PARENB | PARODD}, Row{Parity::Even, PARENB},
                           Row{Parity::Mark, PARENB | CMSPAR | PARODD}, Row{Parity::Space, PARENB | CMSPAR}}) {
        // Start from every parity so that no flag of an earlier setting survives.
        for (const tcflag_t before : {tcflag_t{0}, tcflag_t{PARENB | PARODD | CMSPAR}}) {
            termios tio = Blank();
            tio.c_cflag |= before;
            serport::ApplyLineSettings(tio, LineSettings{9600, 8, row.parity, StopBits::One});
            EXPECT_EQ(tio.c_cflag & (PARENB | PARODD | CMSPAR), row.flags) << static_cast<int>(row.parity);
            EXPECT_EQ(tio.c_cflag & (CREAD | CLOCAL | HUPCL), tcflag_t{CREAD | CLOCAL | HUPCL});
        }
    }
}

TEST(LineSettings, SpeedSizeAndStopBits)
{
    termios tio = Blank();
    serport::ApplyLineSettings(tio, LineSettings{4800, 7, Parity::None, StopBits::Two});
    EXPECT_EQ(cfgetospeed(&tio), speed_t{B4800});
    EXPECT_EQ(cfgetispeed(&tio), speed_t{B4800});
    EXPECT_EQ(tio.c_cflag & CSIZE, tcflag_t{CS7});
    EXPECT_NE(tio.c_cflag & CSTOPB, 0u);

    serport::ApplyLineSettings(tio, LineSettings{115200, 5, Parity::None, StopBits::One});
    EXPECT_EQ(cfgetospeed(&tio), speed_t{B115200});
    EXPECT_EQ(tio.c_cflag & CSIZE, tcflag_t{CS5});
    EXPECT_EQ(tio.c_cflag & CSTOPB, 0u);
}

TEST(LineSettings, UnsupportedValuesLeaveTheDeviceSettingsAndAreReported)
{
    termios tio = Blank();
    EXPECT_FALSE(serport::ApplyLineSettings(tio, LineSettings{12345, 9, Parity::Even, StopBits::One}));
    EXPECT_FALSE(serport::HasLineSettings(tio, LineSettings{12345, 8, Parity::Even, StopBits::One}));
    EXPECT_FALSE(serport::ApplyLineSettings(tio, LineSettings{9600, 9, Parity::Even, StopBits::One}));
    EXPECT_FALSE(serport::HasLineSettings(tio, LineSettings{4800, 8, Parity::Even, StopBits::One}))
        << "the speed read back is not the one asked for";
    EXPECT_TRUE(serport::HasLineSettings(tio, LineSettings{9600, 8, Parity::Even, StopBits::One}));
    tio = Blank();
    EXPECT_FALSE(serport::ApplyLineSettings(tio, LineSettings{12345, 9, Parity::Even, StopBits::One}));
    EXPECT_EQ(cfgetospeed(&tio), speed_t{B38400});
    EXPECT_EQ(tio.c_cflag & CSIZE, tcflag_t{CS8});
    EXPECT_EQ(tio.c_cflag & (PARENB | PARODD), tcflag_t{PARENB});

    speed_t speed{};
    EXPECT_FALSE(serport::SpeedForBaud(0, speed));
    EXPECT_FALSE(serport::SpeedForBaud(4000001, speed));
    ASSERT_TRUE(serport::SpeedForBaud(50, speed));
    EXPECT_EQ(speed, speed_t{B50});
    ASSERT_TRUE(serport::SpeedForBaud(4000000, speed));
    EXPECT_EQ(speed, speed_t{B4000000});
}

TEST(LineSettings, CharacterTimeCountsEveryBitOnTheLine)
{
    using std::chrono::nanoseconds;
    // 1 start + 8 data + 1 stop = 10 bits at 9600 baud.
    EXPECT_EQ(serport::CharacterTime(LineSettings{9600, 8, Parity::None, StopBits::One}), nanoseconds(1'041'666));
    // 1 start + 7 data + parity + 2 stop = 11 bits at 4800 baud.
    EXPECT_EQ(serport::CharacterTime(LineSettings{4800, 7, Parity::Odd, StopBits::Two}), nanoseconds(2'291'666));
    // An unusable size counts as 8 data bits; a rate of 0 has no line time.
    EXPECT_EQ(serport::CharacterTime(LineSettings{10, 0, Parity::None, StopBits::One}), nanoseconds(1'000'000'000));
    EXPECT_EQ(serport::CharacterTime(LineSettings{0, 8, Parity::None, StopBits::One}), nanoseconds(0));
}

} // namespace
