#include "ui/tray_tip.h"

#include <gtest/gtest.h>

#include <string>

namespace dormivel {
namespace {

TEST(TrayTip, FitsAndCutsOnlyTheTitle) {
    const auto tip = [](const std::string& time, const std::string& title) {
        return composeTrayTip({}, TipWakeUp{"Mon", time, title});
    };
    EXPECT_EQ(tip("6:29 AM", "Morning News"), "Dormivel: next wake-up Mon 6:29 AM for Morning News");
    EXPECT_EQ(composeTrayTip({}, std::nullopt), "Dormivel");
    EXPECT_EQ(tip("6:29 AM", ""), "Dormivel: next wake-up Mon 6:29 AM");

    const std::string head = "Dormivel: next wake-up Mon 6:29 AM for ";
    const std::string fits(kTrayTipMaxBytes - head.size(), 'x');
    EXPECT_EQ(tip("6:29 AM", fits), head + fits);
    EXPECT_EQ(tip("6:29 AM", fits + "y"), head + fits.substr(0, fits.size() - 3) + "...");
    EXPECT_EQ(tip("6:29 AM", std::string(1000, '\xE9')).size(), kTrayTipMaxBytes);
    // A time text leaving room for four bytes of title: one and "..."; for
    // three, the title goes; with no room at all, the plain name.
    const std::string time(kTrayTipMaxBytes - 27 - 5 - 4, 't');  // "Dormivel: next wake-up Mon ", " for "
    EXPECT_EQ(tip(time, "Title"), "Dormivel: next wake-up Mon " + time + " for T...");
    EXPECT_EQ(tip(time + "t", "Title"), "Dormivel: next wake-up Mon " + time + "t");
    EXPECT_EQ(tip(time + std::string(9, 't'), "Title").size(), kTrayTipMaxBytes);
    EXPECT_EQ(tip(time + std::string(10, 't'), "Title"), "Dormivel");
}

}  // namespace
}  // namespace dormivel
