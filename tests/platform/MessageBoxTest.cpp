// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/MessageBox.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(MessageBox, ReplacedHandlerReceivesTheTextAndCanBeRestored)
{
    std::vector<std::string> shown;
    auto previous = platform::SetMessageBoxHandler([&](std::string_view text) { shown.emplace_back(text); });
    platform::ShowMessageBox("Error opening COM port");
    platform::ShowMessageBox("Network connection error.");
    auto mine = platform::SetMessageBoxHandler(std::move(previous));
    EXPECT_TRUE(static_cast<bool>(mine));
    EXPECT_EQ(shown, (std::vector<std::string>{"Error opening COM port", "Network connection error."}));

    testing::internal::CaptureStderr();
    platform::ShowMessageBox("MIREL Log:File Open Error!!");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "MIREL Log:File Open Error!!\n");
    EXPECT_EQ(shown.size(), 2u);
}

TEST(MessageBox, TitledBoxesReachTheirOwnHandlerOrFallBackToTheText)
{
    std::vector<std::string> texts;
    std::vector<std::string> titled;
    auto previous = platform::SetMessageBoxHandler([&](std::string_view text) { texts.emplace_back(text); });

    platform::ShowMessageBox("There are same User ID.", "", platform::MessageBoxIcon::Exclamation);
    EXPECT_EQ(texts, std::vector<std::string>{"There are same User ID."});

    auto previousTitled = platform::SetTitledMessageBoxHandler(
        [&](std::string_view text, std::string_view title, platform::MessageBoxIcon icon) {
            titled.push_back(std::string(title) + "|" + std::string(text) + "|" +
                             std::to_string(static_cast<int>(icon)));
        });
    platform::ShowMessageBox(" There are invalid character(s) in Password.", "Password Check",
                             platform::MessageBoxIcon::Exclamation);
    platform::ShowMessageBox("Network connection error.");
    EXPECT_EQ(titled, std::vector<std::string>{"Password Check| There are invalid character(s) in Password.|1"});
    EXPECT_EQ(texts.size(), 2u);

    platform::SetTitledMessageBoxHandler(std::move(previousTitled));
    platform::SetMessageBoxHandler(std::move(previous));
}

} // namespace
