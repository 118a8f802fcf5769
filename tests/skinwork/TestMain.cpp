// SPDX-License-Identifier: GPL-3.0-or-later
// The control tests need a QApplication; they run on the offscreen platform
// (set by CTest, and here as well so that a test discovery run finds no display).
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
