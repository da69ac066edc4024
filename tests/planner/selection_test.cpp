#include "planner/selection.h"

#include "../app/test_time.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/filetime.h"

namespace dormivel {
namespace {

constexpr FileTime kMinute = 60 * kTicksPerSecond;

// 1 June 2026 at hh:mm local time, as UTC under `bias`; a day of 2 is the
// next day.
FileTime at(int h, int mi, std::int32_t bias = 0, int day = 1) {
    return testing::localTicks(2026, 6, day, h, mi, bias);
}

Recording rec(FileTime start, FileTime stop, const std::string& title, bool manual = false, bool favorite = false) {
    Recording r;
    r.start = start;
    r.stop = stop;
    r.channel = 1;
    r.title = title;
    r.isManual = manual;
    r.isFavorite = favorite;
    return r;
}

std::vector<std::string> titles(const RecordingSet& set) {
    std::vector<std::string> out;
    for (const Recording& r : set)
        out.push_back(r.title);
    return out;
}

TEST(ContainsHour, BoundsFirstInclusiveLastExclusive) {
    struct Case {
        HourRange range;
        std::vector<int> inside;
    };
    const Case cases[] = {
        {{1, 6}, {1, 2, 3, 4, 5}},
        {{22, 2}, {0, 1, 22, 23}},
        {{5, 5}, {}},
        {{0, 0}, {}},
        {{0, 24}, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23}},
        {{23, 24}, {23}},
        {{24, 0}, {}},
        {{23, 0}, {23}},
    };
    for (const Case& c : cases) {
        std::vector<int> got;
        for (int h = 0; h < 24; ++h) {
            if (containsHour(c.range, static_cast<std::uint8_t>(h))) got.push_back(h);
        }
        EXPECT_EQ(got, c.inside) << int(c.range.first) << "-" << int(c.range.last);
    }
}

TEST(RangesContainHour, AnyRangeOfTheList) {
    const HourRangeList ranges = {{1, 3}, {5, 5}, {22, 2}};
    const std::vector<std::pair<int, bool>> cases = {{0, true},  {1, true},   {2, true}, {3, false},
                                                     {5, false}, {21, false}, {23, true}};
    for (const auto& [hour, inside] : cases) {
        EXPECT_EQ(rangesContainHour(ranges, static_cast<std::uint8_t>(hour)), inside) << hour;
    }
    for (int h = 0; h < 24; ++h)
        EXPECT_FALSE(rangesContainHour({}, static_cast<std::uint8_t>(h)));
}

TEST(StartHour, LocalHourUnderTheBias) {
    const std::vector<std::pair<std::int32_t, int>> cases = {{0, 3}, {-120, 5}, {300, 22}, {-330, 9}};
    const FileTime utc = at(3, 30);  // 03:30 UTC
    for (const auto& [bias, hour] : cases) {
        EXPECT_EQ(startHour(rec(utc, utc, "x"), fixedBiasZone(bias)), hour) << bias;
    }
}

TEST(IsEligible, FlagsChooseTheRangeLists) {
    struct Case {
        const char* what;
        HourRangeList manual, favorite, ir;
        int hour, minute;
        bool isManual, isFavorite;
        bool eligible;
    };
    const Case cases[] = {
        {"ir 05:59 in 1-6", {}, {}, {{1, 6}}, 5, 59, false, false, false},
        {"ir 06:00 after 1-6", {}, {}, {{1, 6}}, 6, 0, false, false, true},
        {"ir 00:59 before 1-6", {}, {}, {{1, 6}}, 0, 59, false, false, true},
        {"manual never tried against ir", {}, {}, {{1, 6}}, 3, 0, true, false, true},
        {"favorite never tried against ir", {}, {}, {{0, 24}}, 3, 0, false, true, true},
        {"manual 22:00 in 22-2", {{22, 2}}, {}, {}, 22, 0, true, false, false},
        {"manual 23:15 in 22-2", {{22, 2}}, {}, {}, 23, 15, true, false, false},
        {"manual 00:30 in 22-2", {{22, 2}}, {}, {}, 0, 30, true, false, false},
        {"manual 01:59 in 22-2", {{22, 2}}, {}, {}, 1, 59, true, false, false},
        {"manual 02:00 after 22-2", {{22, 2}}, {}, {}, 2, 0, true, false, true},
        {"ir unaffected by manual ranges", {{0, 24}}, {}, {}, 12, 0, false, false, true},
        {"favorite unaffected by manual ranges", {{0, 24}}, {}, {}, 12, 0, false, true, true},
        {"manual unaffected by favorite ranges", {}, {{0, 24}}, {}, 12, 0, true, false, true},
        {"favorite in its range", {}, {{10, 14}}, {}, 12, 0, false, true, false},
        {"both flags, manual range", {{12, 13}}, {}, {}, 12, 0, true, true, false},
        {"both flags, favorite range", {}, {{12, 13}}, {}, 12, 0, true, true, false},
        {"both flags, ir range only", {}, {}, {{0, 24}}, 12, 0, true, true, true},
        {"empty range excludes nothing", {{5, 5}}, {{5, 5}}, {{5, 5}}, 5, 0, true, true, true},
        {"empty ir range", {}, {}, {{5, 5}}, 5, 0, false, false, true},
    };
    for (const Case& c : cases) {
        Options options;
        options.noManualRanges = c.manual;
        options.noFavoriteRanges = c.favorite;
        options.noIrRanges = c.ir;
        const Recording r = rec(at(c.hour, c.minute), at(23, 59), "x", c.isManual, c.isFavorite);
        EXPECT_EQ(isEligible(r, options, TimeZone{}), c.eligible) << c.what;
    }
}

TEST(IsEligible, NoRangesEverythingEligible) {
    const Options options;
    for (int kind = 0; kind < 4; ++kind) {
        for (int h = 0; h < 24; ++h) {
            EXPECT_TRUE(
                isEligible(rec(at(h, 0), at(h, 0), "x", (kind & 1) != 0, (kind & 2) != 0), options, TimeZone{}));
        }
    }
}

TEST(IsEligible, JudgedByTheLocalStartHour) {
    Options options;
    options.noIrRanges = {{1, 6}};
    // 20:00 UTC is 02:00 local under a bias of -360 minutes.
    const Recording r = rec(at(20, 0), at(21, 0), "x");
    EXPECT_TRUE(isEligible(r, options, TimeZone{}));
    EXPECT_FALSE(isEligible(r, options, fixedBiasZone(-360)));
}

TEST(SelectNow, StartInclusiveStopExclusive) {
    const RecordingList list = {
        rec(at(20, 0), at(21, 0), "starts now"),  rec(at(19, 0), at(20, 0), "stops now"),
        rec(at(19, 0), at(22, 0), "running"),     rec(at(20, 1), at(22, 0), "later"),
        rec(at(18, 0), at(19, 0), "over"),        rec(at(19, 30), at(21, 0), "excluded", true),
        rec(at(20, 0), at(20, 0), "zero length"),
    };
    Options options;
    options.noManualRanges = {{19, 20}};
    RecordingSet now = {rec(1, 2, "stale")};
    selectNowRecordings(list, at(20, 0), options, TimeZone{}, now);
    EXPECT_EQ(titles(now), (std::vector<std::string>{"starts now", "running"}));
}

TEST(SelectNow, PastMidnightJudgedByTheStartHour) {
    const RecordingList list = {rec(at(23, 30), at(0, 30, 0, 2), "late film")};
    Options options;
    RecordingSet now;
    options.noIrRanges = {{0, 1}};
    selectNowRecordings(list, at(0, 15, 0, 2), options, TimeZone{}, now);
    EXPECT_EQ(titles(now), (std::vector<std::string>{"late film"}));
    options.noIrRanges = {{23, 24}};
    selectNowRecordings(list, at(0, 15, 0, 2), options, TimeZone{}, now);
    EXPECT_TRUE(now.empty());
}

TEST(SelectNext, EarliestStartAfterNowWithAllTies) {
    struct Case {
        const char* what;
        RecordingList list;
        HourRangeList manual;
        std::vector<std::string> next;
    };
    const Case cases[] = {
        {"ties kept in list order",
         {rec(at(21, 0), at(22, 0), "C"), rec(at(20, 0), at(21, 0), "A"), rec(at(20, 0), at(20, 30), "B")},
         {},
         {"A", "B"}},
        {"started is never next, even running",
         {rec(at(17, 0), at(21, 0), "running"), rec(at(18, 0), at(18, 30), "starts now"),
          rec(at(22, 0), at(23, 0), "D")},
         {},
         {"D"}},
        {"start equal to now is not next",
         {rec(at(18, 0), at(19, 0), "now"), rec(at(18, 0) + 1, at(19, 0), "one tick later")},
         {},
         {"one tick later"}},
        {"excluded earliest skipped",
         {rec(at(19, 0), at(20, 0), "manual", true), rec(at(20, 0), at(21, 0), "ir"),
          rec(at(20, 0), at(21, 0), "manual later", true)},
         {{19, 21}},
         {"ir"}},
        {"all future excluded",
         {rec(at(19, 0), at(20, 0), "m1", true), rec(at(20, 0), at(21, 0), "m2", true)},
         {{0, 24}},
         {}},
        {"empty list", {}, {}, {}},
        {"later tie after a new best",
         {rec(at(22, 0), at(23, 0), "X"), rec(at(22, 0), at(23, 0), "Y"), rec(at(21, 0), at(22, 0), "Z"),
          rec(at(22, 0), at(23, 0), "W"), rec(at(21, 0), at(21, 5), "V")},
         {},
         {"Z", "V"}},
    };
    for (const Case& c : cases) {
        Options options;
        options.noManualRanges = c.manual;
        RecordingSet next = {rec(1, 2, "stale")};
        selectNextRecordings(c.list, at(18, 0), options, TimeZone{}, next);
        EXPECT_EQ(titles(next), c.next) << c.what;
    }
}

TEST(SameRecordingSet, StartStopChannelTitleInOrder) {
    const Recording a = rec(at(20, 0), at(21, 0), "A");
    const Recording b = rec(at(20, 0), at(21, 0), "B");
    Recording aFlags = a;
    aFlags.isManual = true;
    aFlags.isFavorite = true;
    Recording aChannel = a;
    aChannel.channel = 2;
    Recording aStop = a;
    aStop.stop += kMinute;
    Recording aStart = a;
    aStart.start -= kMinute;
    const Recording aLower = rec(at(20, 0), at(21, 0), "a");

    struct Case {
        const char* what;
        RecordingSet x, y;
        bool same;
    };
    const Case cases[] = {
        {"both empty", {}, {}, true},
        {"equal", {a, b}, {a, b}, true},
        {"flags ignored", {a, b}, {aFlags, b}, true},
        {"order matters", {a, b}, {b, a}, false},
        {"length matters", {a}, {a, b}, false},
        {"empty versus one", {}, {a}, false},
        {"channel", {a}, {aChannel}, false},
        {"stop", {a}, {aStop}, false},
        {"start", {a}, {aStart}, false},
        {"title case", {a}, {aLower}, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(sameRecordingSet(c.x, c.y), c.same) << c.what;
        EXPECT_EQ(sameRecordingSet(c.y, c.x), c.same) << c.what;
    }
}

}  // namespace
}  // namespace dormivel
