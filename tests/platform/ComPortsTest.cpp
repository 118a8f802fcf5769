// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ComPorts.h"
#include "platform/Profile.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

namespace {

TEST(ComPorts, ProfileMappingWinsOverTheDefaultDevice)
{
    testsupport::TempDir dir;
    platform::SetApplicationProfilePath(dir / "Ondrel.ini");
    EXPECT_EQ(platform::ComPortDevicePath(1), "/dev/ttyS0");
    EXPECT_EQ(platform::ComPortDevicePath(20), "/dev/ttyS19");
    ASSERT_EQ(platform::ApplicationProfile().WriteProfileString("COM Devices", "COM3", "/dev/ttyUSB0"), 1);
    EXPECT_EQ(platform::ComPortDevicePath(3), "/dev/ttyUSB0");
    EXPECT_EQ(platform::ComPortDevicePath(4), "/dev/ttyS3");
    EXPECT_EQ(platform::ComPortDevicePath(0), "");
}

} // namespace
