#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/front_end.h"

namespace {

std::vector<std::string> seen;

TEST(FrontEnd, EmptyHooksAreSkipped)
{
    frontEnd = FrontEnd{};
    PauseFor(100);
    TellUser("text", "caption");
    SUCCEED();
}

TEST(FrontEnd, CallsReachTheHost)
{
    frontEnd = FrontEnd{};
    frontEnd.pause = [](int milliseconds) { seen.push_back(std::to_string(milliseconds)); };
    frontEnd.showMessage = [](const char* text, const char* caption) { seen.push_back(std::string(caption) + "|" + text); };
    PauseFor(16);
    TellUser("読めないファイルです。。。", " ERROR...");
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], "16");
    EXPECT_EQ(seen[1], " ERROR...|読めないファイルです。。。");
    frontEnd = FrontEnd{};
}

}  // namespace
