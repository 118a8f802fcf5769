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

} // namespace
