#include "app/filetime.h"

#include "support/test_time.h"

#include <gtest/gtest.h>

namespace dormivel {
namespace {

LocalDateTime dt(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    return test::localDateTime(y, mo, d, h, mi, s);
}

TEST(FileTime, KnownInstants) {
    struct Case {
        LocalDateTime when;
        FileTime ticks = 0;
    };
    // Values as the platform's SystemTimeToFileTime gives them.
    const Case cases[] = {
        {dt(1601, 1, 1), 0},
        {dt(1970, 1, 1), 116444736000000000ULL},
        {dt(2000, 2, 29, 12, 0, 0), 125962992000000000ULL},
        {dt(2026, 12, 31, 23, 30), 134432334000000000ULL},
    };
    for (const auto& c : cases) {
        FileTime t = 1;
        ASSERT_TRUE(dateTimeToFileTime(c.when, t));
        EXPECT_EQ(t, c.ticks);
        LocalDateTime back = fileTimeToDateTime(c.ticks);
        back.dayOfWeek = 0;
        EXPECT_EQ(back, c.when);
    }
}

TEST(FileTime, RejectsWhatTheSystemRejects) {
    const LocalDateTime bad[] = {
        dt(2026, 0, 1),           dt(2026, 13, 1),  dt(2026, 2, 29),    dt(2026, 4, 31),
        dt(2026, 1, 0),           dt(2026, 1, 32),  dt(2026, 1, 1, 24), dt(2026, 1, 1, 0, 60),
        dt(2026, 1, 1, 0, 0, 60), dt(1600, 12, 31), dt(1900, 2, 29),    dt(30828, 1, 1),
    };
    for (const auto& b : bad) {
        FileTime t = 0;
        EXPECT_FALSE(dateTimeToFileTime(b, t))
            << b.year << "-" << b.month << "-" << b.day << " " << b.hour << ":" << b.minute;
    }
    FileTime t = 0;
    EXPECT_TRUE(dateTimeToFileTime(dt(2000, 2, 29), t));
    EXPECT_TRUE(dateTimeToFileTime(dt(2028, 2, 29, 23, 59, 59), t));
}

TEST(FileTime, DayOfWeek) {
    EXPECT_EQ(fileTimeToDateTime(0).dayOfWeek, 1);  // 1601-01-01 was a Monday
    FileTime t = 0;
    ASSERT_TRUE(dateTimeToFileTime(dt(2026, 12, 7), t));
    EXPECT_EQ(fileTimeToDateTime(t).dayOfWeek, 1);  // a Monday
    ASSERT_TRUE(dateTimeToFileTime(dt(2026, 12, 6), t));
    EXPECT_EQ(fileTimeToDateTime(t).dayOfWeek, 0);
}

TEST(FileTime, BiasShiftsBothWays) {
    FileTime local = 0;
    ASSERT_TRUE(dateTimeToFileTime(dt(2026, 7, 1, 0, 30), local));
    FileTime utc = 0;
    ASSERT_TRUE(localToUtc(local, -120, utc));  // Berlin in summer
    EXPECT_EQ(fileTimeToDateTime(utc).day, 30);
    EXPECT_EQ(fileTimeToDateTime(utc).hour, 22);
    FileTime again = 0;
    ASSERT_TRUE(utcToLocal(utc, -120, again));
    EXPECT_EQ(again, local);
    EXPECT_EQ(utcToLocalDateTime(utc, -120).hour, 0);
    // Shifting before 1601 fails rather than wrapping.
    EXPECT_FALSE(localToUtc(0, -60, utc));
    EXPECT_FALSE(utcToLocal(~0ULL, -60, utc));
}

}  // namespace
}  // namespace dormivel
