// SPDX-License-Identifier: GPL-3.0-or-later
// The dialog tests run inside one QApplication, on the offscreen platform that CTest
// sets. Listing the tests (as the build does to register them) needs no display, so
// it runs without one.
#include <QApplication>

#include <gmock/gmock.h>

#include <memory>
#include <string_view>

int main(int argc, char** argv)
{
    bool listing = false;
    for (int i = 1; i < argc; ++i) {
        listing = listing || std::string_view(argv[i]) == "--gtest_list_tests";
    }
    std::unique_ptr<QApplication> application;
    if (!listing) {
        application = std::make_unique<QApplication>(argc, argv);
    }
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
