#include "app/time_zone.h"

#include <gtest/gtest.h>

#include "test_time.h"

namespace dormivel {
namespace {

using testing::localDateTime;

FileTime at(int y, int mo, int d, int h, int mi) {
    FileTime t = 0;
    EXPECT_TRUE(dateTimeToFileTime(localDateTime(y, mo, d, h, mi), t));
    return t;
}

ZoneDate recurring(int month, int week, int hour) {
    ZoneDate date;
    date.month = static_cast<std::uint16_t>(month);
    date.dayOfWeek = 0;  // Sunday
    date.day = static_cast<std::uint16_t>(week);
    date.hour = static_cast<std::uint16_t>(hour);
    return date;
}

TimeZone zone(std::int32_t bias, ZoneDate daylightStarts, ZoneDate daylightEnds) {
    TimeZone z;
    z.rules.bias = bias;
    z.rules.daylightBias = -60;
    z.rules.daylightDate = daylightStarts;
    z.rules.standardDate = daylightEnds;
    return z;
}

// Central Europe: last Sunday of March 02:00 to last Sunday of October 03:00.
const TimeZone kBerlin = zone(-60, recurring(3, 5, 2), recurring(10, 5, 3));
// US Eastern: second Sunday of March 02:00 to first Sunday of November 02:00.
const TimeZone kNewYork = zone(300, recurring(3, 2, 2), recurring(11, 1, 2));
// Sydney: daylight saving across the turn of the year, first Sunday of
// October 02:00 to first Sunday of April 03:00.
const TimeZone kSydney = zone(-600, recurring(10, 1, 2), recurring(4, 1, 3));

TEST(TimeZone, LocalWallClockToUtcByTheRulesOfItsDate) {
    struct Case {
        const char* name;
        const TimeZone* zone;
        FileTime local;
        FileTime utc;
    };
    const Case cases[] = {
        {"Berlin winter", &kBerlin, at(2026, 12, 21, 20, 0), at(2026, 12, 21, 19, 0)},
        {"Berlin summer", &kBerlin, at(2026, 7, 1, 12, 0), at(2026, 7, 1, 10, 0)},
        {"before the spring change", &kBerlin, at(2026, 3, 29, 1, 59), at(2026, 3, 29, 0, 59)},
        {"skipped hour, its start", &kBerlin, at(2026, 3, 29, 2, 0), at(2026, 3, 29, 0, 0)},
        {"skipped hour", &kBerlin, at(2026, 3, 29, 2, 30), at(2026, 3, 29, 0, 30)},
        {"after the spring change", &kBerlin, at(2026, 3, 29, 3, 0), at(2026, 3, 29, 1, 0)},
        {"repeated hour", &kBerlin, at(2026, 10, 25, 2, 30), at(2026, 10, 25, 0, 30)},
        {"after the autumn change", &kBerlin, at(2026, 10, 25, 3, 0), at(2026, 10, 25, 2, 0)},
        {"New York skipped hour", &kNewYork, at(2026, 3, 8, 2, 30), at(2026, 3, 8, 6, 30)},
        {"New York before", &kNewYork, at(2026, 3, 8, 1, 59), at(2026, 3, 8, 6, 59)},
        {"New York repeated hour", &kNewYork, at(2026, 11, 1, 1, 30), at(2026, 11, 1, 5, 30)},
        {"New York after", &kNewYork, at(2026, 11, 1, 2, 0), at(2026, 11, 1, 7, 0)},
        {"Sydney summer in January", &kSydney, at(2026, 1, 15, 12, 0), at(2026, 1, 15, 1, 0)},
        {"Sydney winter", &kSydney, at(2026, 6, 15, 12, 0), at(2026, 6, 15, 2, 0)},
        {"Sydney skipped hour", &kSydney, at(2026, 10, 4, 2, 30), at(2026, 10, 3, 15, 30)},
        {"Sydney repeated hour", &kSydney, at(2026, 4, 5, 2, 30), at(2026, 4, 4, 15, 30)},
        {"Sydney after the end", &kSydney, at(2026, 4, 5, 3, 0), at(2026, 4, 4, 17, 0)},
        {"Sydney New Year's Eve", &kSydney, at(2026, 12, 31, 23, 0), at(2026, 12, 31, 12, 0)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FileTime utc = 0;
        ASSERT_TRUE(localToUtc(c.local, *c.zone, utc));
        EXPECT_EQ(utc, c.utc);
    }
}

// A stop is read at the later instant of a time the autumn change repeats
// or the spring change skips (standard time); every other time converts as
// a start does.
TEST(TimeZone, LaterInstantOfTheTwoHoursAroundAChange) {
    struct Case {
        const char* name;
        const TimeZone* zone;
        FileTime local;
        FileTime earlier;
        FileTime later;
    };
    const Case cases[] = {
        {"Berlin repeated hour", &kBerlin, at(2026, 10, 25, 2, 30), at(2026, 10, 25, 0, 30), at(2026, 10, 25, 1, 30)},
        {"Berlin repeated hour's start", &kBerlin, at(2026, 10, 25, 2, 0), at(2026, 10, 25, 0, 0),
         at(2026, 10, 25, 1, 0)},
        {"Berlin before the repeated hour", &kBerlin, at(2026, 10, 25, 1, 59), at(2026, 10, 24, 23, 59),
         at(2026, 10, 24, 23, 59)},
        {"Berlin after the repeated hour", &kBerlin, at(2026, 10, 25, 3, 0), at(2026, 10, 25, 2, 0),
         at(2026, 10, 25, 2, 0)},
        {"Berlin skipped hour", &kBerlin, at(2026, 3, 29, 2, 30), at(2026, 3, 29, 0, 30), at(2026, 3, 29, 1, 30)},
        {"Berlin after the skipped hour", &kBerlin, at(2026, 3, 29, 3, 0), at(2026, 3, 29, 1, 0),
         at(2026, 3, 29, 1, 0)},
        {"Berlin summer", &kBerlin, at(2026, 7, 1, 12, 0), at(2026, 7, 1, 10, 0), at(2026, 7, 1, 10, 0)},
        {"New York repeated hour", &kNewYork, at(2026, 11, 1, 1, 30), at(2026, 11, 1, 5, 30), at(2026, 11, 1, 6, 30)},
        {"Sydney repeated hour", &kSydney, at(2026, 4, 5, 2, 30), at(2026, 4, 4, 15, 30), at(2026, 4, 4, 16, 30)},
        {"Sydney skipped hour", &kSydney, at(2026, 10, 4, 2, 30), at(2026, 10, 3, 15, 30), at(2026, 10, 3, 16, 30)},
        {"Sydney summer in January", &kSydney, at(2026, 1, 15, 12, 0), at(2026, 1, 15, 1, 0), at(2026, 1, 15, 1, 0)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ZoneYear year = zoneYear(*c.zone, fileTimeToDateTime(c.local).year);
        FileTime utc = 0;
        ASSERT_TRUE(localToUtc(c.local, year, utc, LocalInstant::earlier));
        EXPECT_EQ(utc, c.earlier);
        ASSERT_TRUE(localToUtc(c.local, year, utc, LocalInstant::later));
        EXPECT_EQ(utc, c.later);
    }
}

TEST(TimeZone, UtcToTheWallClockInForce) {
    struct Case {
        const char* name;
        const TimeZone* zone;
        FileTime utc;
        FileTime local;
    };
    const Case cases[] = {
        {"last standard minute", &kBerlin, at(2026, 3, 29, 0, 59), at(2026, 3, 29, 1, 59)},
        {"first daylight minute", &kBerlin, at(2026, 3, 29, 1, 0), at(2026, 3, 29, 3, 0)},
        {"last daylight minute", &kBerlin, at(2026, 10, 25, 0, 59), at(2026, 10, 25, 2, 59)},
        {"first standard minute", &kBerlin, at(2026, 10, 25, 1, 0), at(2026, 10, 25, 2, 0)},
        {"New York in summer", &kNewYork, at(2026, 7, 4, 16, 0), at(2026, 7, 4, 12, 0)},
        {"Sydney, UTC still in the old year", &kSydney, at(2026, 12, 31, 14, 0), at(2027, 1, 1, 1, 0)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FileTime local = 0;
        ASSERT_TRUE(utcToLocal(c.utc, *c.zone, local));
        EXPECT_EQ(local, c.local);
    }
}

// Every wall-clock minute of a year that exists once comes back unchanged,
// so the list and the log show the time the file holds.
TEST(TimeZone, WallClockTimesComeBackUnchanged) {
    for (const TimeZone* z : {&kBerlin, &kNewYork, &kSydney}) {
        for (FileTime local = at(2026, 1, 1, 0, 0); local < at(2027, 1, 1, 0, 0); local += kTicksPerSecond * 15 * 60) {
            FileTime utc = 0;
            FileTime back = 0;
            ASSERT_TRUE(localToUtc(local, *z, utc));
            ASSERT_TRUE(utcToLocal(utc, *z, back));
            // Only the skipped hour cannot come back: it never shows on a clock.
            const bool skipped = (z == &kBerlin && local >= at(2026, 3, 29, 2, 0) && local < at(2026, 3, 29, 3, 0)) ||
                                 (z == &kNewYork && local >= at(2026, 3, 8, 2, 0) && local < at(2026, 3, 8, 3, 0)) ||
                                 (z == &kSydney && local >= at(2026, 10, 4, 2, 0) && local < at(2026, 10, 4, 3, 0));
            if (!skipped) {
                ASSERT_EQ(back, local) << fileTimeToDateTime(local).month << "/" << fileTimeToDateTime(local).day;
            }
        }
    }
}

TEST(TimeZone, RuleForms) {
    // The fifth week is the last one a month has: February 2026 has four
    // Sundays, the last on the 22nd.
    TimeZone lastOfFebruary = zone(0, recurring(2, 5, 0), recurring(11, 1, 0));
    FileTime utc = 0;
    ASSERT_TRUE(localToUtc(at(2026, 2, 21, 12, 0), lastOfFebruary, utc));
    EXPECT_EQ(utc, at(2026, 2, 21, 12, 0));
    ASSERT_TRUE(localToUtc(at(2026, 2, 22, 12, 0), lastOfFebruary, utc));
    EXPECT_EQ(utc, at(2026, 2, 22, 11, 0));

    // A year with rules of its own; the others keep the general rules.
    TimeZone changed = kBerlin;
    YearZoneRules noDaylightIn2027;
    noDaylightIn2027.year = 2027;
    noDaylightIn2027.rules.bias = -60;
    changed.years.push_back(noDaylightIn2027);
    ASSERT_TRUE(localToUtc(at(2027, 7, 1, 12, 0), changed, utc));
    EXPECT_EQ(utc, at(2027, 7, 1, 11, 0));
    ASSERT_TRUE(localToUtc(at(2026, 7, 1, 12, 0), changed, utc));
    EXPECT_EQ(utc, at(2026, 7, 1, 10, 0));
    EXPECT_EQ(biasAtUtc(changed, at(2027, 7, 1, 10, 0)), -60);

    // Absolute dates apply in their own year only.
    TimeZone once = kBerlin;
    once.rules.daylightDate = {2026, 5, 0, 10, 4, 0, 0, 0};
    once.rules.standardDate = {2026, 8, 0, 20, 4, 0, 0, 0};
    ASSERT_TRUE(localToUtc(at(2026, 5, 10, 3, 59), once, utc));
    EXPECT_EQ(utc, at(2026, 5, 10, 2, 59));
    ASSERT_TRUE(localToUtc(at(2026, 5, 10, 4, 0), once, utc));
    EXPECT_EQ(utc, at(2026, 5, 10, 2, 0));
    ASSERT_TRUE(localToUtc(at(2027, 7, 1, 12, 0), once, utc));
    EXPECT_EQ(utc, at(2027, 7, 1, 11, 0));

    // A fixed bias, and the ends of the range.
    EXPECT_EQ(biasAtUtc(fixedBiasZone(300), at(2026, 7, 1, 0, 0)), 300);
    EXPECT_FALSE(localToUtc(0, kBerlin, utc));
    EXPECT_FALSE(utcToLocal(~0ULL, kBerlin, utc));
}

}  // namespace
}  // namespace dormivel
