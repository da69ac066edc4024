#include "planner/late_wake.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <tuple>
#include <utility>

namespace dormivel {
namespace {

constexpr FileTime kMinute = 60 * kTicksPerSecond;

TEST(LateWake, AtItsEdges) {
    constexpr FileTime due = 134098128000000000ULL;
    const ArmedWake armed{due, "Morning News"};
    const std::optional<FileTime> hourBefore = due - 60 * kMinute;
    const std::tuple<const char*, std::optional<ArmedWake>, std::optional<FileTime>, FileTime, FileTime> cases[] = {
        // armed wake-up, suspend moment, resume moment, how late (0: not late)
        {"exactly two minutes", armed, hourBefore, due + 2 * kMinute, 0},
        {"two minutes and a tick", armed, hourBefore, due + 2 * kMinute + 1, 2 * kMinute + 1},
        {"on time", armed, hourBefore, due, 0},
        {"woken before the armed time", armed, hourBefore, due - kMinute, 0},
        {"no wake armed", std::nullopt, hourBefore, due + 30 * kMinute, 0},
        {"suspend moment unknown", armed, std::nullopt, due + 30 * kMinute, 0},
        {"due at the suspend", armed, due, due + 30 * kMinute, 0},
        {"already past at the suspend", armed, due + kMinute, due + 30 * kMinute, 0},
        {"a tick ahead at the suspend", armed, due - 1, due + 30 * kMinute, 30 * kMinute},
    };
    for (const auto& [name, wake, suspendedAt, resumedAt, lateBy] : cases) {
        const std::optional<LateWake> late = findLateWake(wake, suspendedAt, resumedAt);
        EXPECT_EQ(late ? late->lateBy : 0, lateBy) << name;
        EXPECT_TRUE(!late || (late->due == due && late->title == "Morning News")) << name;
    }
}

// After a late wake the timer is already signalled: the pass it starts may
// run before the resume notification and arm the next wake-up. Either way
// the resume is judged against the wake-up the PC slept through.
TEST(LateWake, WhicheverComesFirst) {
    constexpr FileTime due = 134098128000000000ULL;
    const ArmedWake slept{due, "Morning News"};
    const ArmedWake tomorrow{due + 1440 * kMinute, "Evening News", true};
    struct Case {
        const char* name;
        bool passFirst;
        FileTime resumedAt;
        FileTime lateBy;  // 0: not late
    };
    const Case cases[] = {
        {"late, the pass first", true, due + 7 * kMinute, 7 * kMinute},
        {"late, the resume first", false, due + 7 * kMinute, 7 * kMinute},
        {"on time, the pass first", true, due + kMinute, 0},
        {"on time, the resume first", false, due + kMinute, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WakeWatch watch;
        noteArming(watch, slept);
        noteSuspend(watch, due - 60 * kMinute);
        if (c.passFirst) noteArming(watch, tomorrow);
        const std::optional<LateWake> late = noteResume(watch, c.resumedAt);
        if (!c.passFirst) noteArming(watch, tomorrow);
        EXPECT_EQ(late ? late->lateBy : 0, c.lateBy);
        EXPECT_TRUE(!late || late->title == "Morning News");
        // The suspend is forgotten: a second resume reports nothing.
        EXPECT_FALSE(noteResume(watch, c.resumedAt + kMinute));
        EXPECT_EQ(watch.armed->due, tomorrow.due);
    }
}

TEST(LateWake, Balloon) {
    const std::pair<FileTime, const char*> cases[] = {
        {2 * kMinute + 1, "2 minutes"},
        {59 * kMinute + 59 * kTicksPerSecond, "59 minutes"},
        {60 * kMinute, "1 hour"},
        {61 * kMinute, "1 hour 1 minute"},
        {125 * kMinute + 1, "2 hours 5 minutes"},
        {kMinute * 49 * 60, "49 hours"},
    };
    for (const auto& [lateBy, words] : cases)
        EXPECT_EQ(composeLateWakeBalloon({0, lateBy, "Morning News"}),
                  std::string("The PC woke up ") + words + " late for Morning News.");
    const std::string cut = composeLateWakeBalloon({0, 3 * kMinute, std::string(300, 'x')});
    EXPECT_EQ(cut.size(), 255U);
    EXPECT_TRUE(cut.ends_with("xx....")) << cut;
}

}  // namespace
}  // namespace dormivel
