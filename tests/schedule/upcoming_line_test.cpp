#include "schedule/upcoming_line.h"

#include <gtest/gtest.h>

namespace dormivel {
namespace {

TEST(UpcomingLine, MarkTimeAndTitle) {
    EXPECT_EQ(composeUpcomingLine(true, "11:30 PM", "News"), "*\t11:30 PM\tNews");
    EXPECT_EQ(composeUpcomingLine(false, "07:05", "News"), " \t07:05\tNews");
    // Titles pass byte for byte, TABs and bytes above 127 included.
    EXPECT_EQ(composeUpcomingLine(true, "7:05 AM", "a\tb \xE9&<"), "*\t7:05 AM\ta\tb \xE9&<");
    EXPECT_EQ(composeUpcomingLine(true, "", ""), "*\t\t");
}

}  // namespace
}  // namespace dormivel
