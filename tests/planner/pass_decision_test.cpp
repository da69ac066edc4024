#include "planner/pass_decision.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace dormivel {
namespace {

constexpr FileTime kSecond = 10'000'000;
// 7 December 2026 12:00 UTC.
constexpr FileTime kBase = 134098128000000000ULL;

FileTime at(std::int64_t seconds) {
    return kBase + static_cast<FileTime>(seconds * static_cast<std::int64_t>(kSecond));
}

Recording rec(const char* title, std::int64_t start, std::int64_t stop, std::uint16_t channel = 5) {
    Recording r;
    r.title = title;
    r.start = at(start);
    r.stop = at(stop);
    r.channel = channel;
    return r;
}

// Log stamps as seconds from the base, so expected texts stay readable.
std::string stamp(FileTime t) {
    return "T" + std::to_string((static_cast<std::int64_t>(t) - static_cast<std::int64_t>(kBase)) /
                                static_cast<std::int64_t>(kSecond));
}

std::string show(const char* title, int start, int stop, int channel = 5) {
    return "\r\n\t\t<Show title=\"" + std::string(title) + "\" start=\"T" + std::to_string(start) + "\" stop=\"T" +
           std::to_string(stop) + "\" channel=\"" + std::to_string(channel) + "\" />";
}

struct PassResult {
    PassDecision decision;
    std::string fragment;
};

PassResult pass(PassCarry& carried, const RecordingList& list, std::int64_t nowSeconds, const Options& options,
                bool logOpen = true) {
    PassInput input;
    input.now = at(nowSeconds);
    input.keepAwake = carried.keepAwake;
    input.lastWakeTime = carried.lastWakeTime;
    input.logOpen = logOpen;
    PassResult r{decidePass(list, input, options, carried.previousNow, carried.previousNext), {}};
    r.fragment = composePassFragment(r.decision, input, stamp);
    applyPassDecision(carried, r.decision);
    return r;
}

// R1 stops after an automatic wake, so a countdown may open; half a minute
// later R2's lead time begins: that pass keeps the computer awake and closes
// the countdown, which would otherwise put it to sleep just before R2.
TEST(PassDecision, ALeadTimeThatBeginsClosesOpenCountdowns) {
    const RecordingList list = {rec("R1", 1000, 2000), rec("R2", 2090, 3000)};
    Options options;
    options.warnTime = 60;
    PassCarry carried;
    PassResult p = pass(carried, list, 1500, options);
    EXPECT_TRUE(p.decision.stayAwake);  // recording: no countdown may stay
    p = pass(carried, list, 2000, options);
    EXPECT_FALSE(p.decision.stayAwake);  // a countdown may open
    EXPECT_EQ(p.decision.countdownDeadline, at(2060));
    p = pass(carried, list, 2030, options);  // R2.start - 60
    EXPECT_TRUE(p.decision.stayAwake);       // the countdown closes
    EXPECT_EQ(p.decision.timer.due, at(2090));
    EXPECT_TRUE(p.decision.timer.resume);
}

TEST(PassDecision, OneRecordingFollowedByAnother) {
    // R runs from +1000 s to +2000 s, S from +5000 s to +6000 s; lead 60 s.
    const RecordingList list = {rec("R", 1000, 2000), rec("S", 5000, 6000, 7)};
    const Options options;
    PassCarry carried;

    // 1. Before R: R is next; wake at R.start - 60 with resume; sleep allowed.
    PassResult p = pass(carried, list, 0, options);
    EXPECT_FALSE(p.decision.nowChanged);
    EXPECT_TRUE(p.decision.nextChanged);
    EXPECT_EQ(p.decision.balloon, "Kalvor next recording:\nR");
    EXPECT_TRUE(p.decision.timer.arm);
    EXPECT_EQ(p.decision.timer.due, at(940));
    EXPECT_TRUE(p.decision.timer.resume);
    EXPECT_FALSE(p.decision.stayAwake);
    EXPECT_FALSE(p.decision.allowSleepChanged);
    EXPECT_FALSE(p.decision.stayAwake);
    EXPECT_EQ(p.fragment, "\r\n\t<NextRecording>" + show("R", 1000, 2000) +
                              "\r\n\t</NextRecording>\r\n\t<SetWakeUp time=\"T940\" />\r\n");

    // 2. The wake at R.start - 60: the lead time has begun; arm R.start
    // (with resume: a sleep nobody can refuse may still come), stay awake;
    // no wake line, no balloon.
    p = pass(carried, list, 940, options);
    EXPECT_FALSE(p.decision.nextChanged);
    EXPECT_TRUE(p.decision.balloon.empty());
    EXPECT_EQ(p.decision.timer.due, at(1000));
    EXPECT_TRUE(p.decision.timer.resume);
    EXPECT_TRUE(p.decision.stayAwake);
    EXPECT_FALSE(p.decision.logWake);
    EXPECT_TRUE(p.decision.stayAwake);
    EXPECT_EQ(p.fragment, "\r\n\t<SetAllowSleep allow=\"false\" />\r\n");

    // 3. R starts: now {R}, next {S}; arm R.stop; the next block but no wake
    // line and no next balloon while something records.
    p = pass(carried, list, 1000, options);
    EXPECT_TRUE(p.decision.nowChanged);
    EXPECT_TRUE(p.decision.nextChanged);
    EXPECT_EQ(p.decision.balloon, "Kalvor now recording:\nR");
    EXPECT_EQ(p.decision.timer.due, at(2000));
    EXPECT_TRUE(p.decision.timer.resume);
    EXPECT_FALSE(p.decision.allowSleepChanged);
    EXPECT_EQ(p.fragment, "\r\n\t<NowRecording>" + show("R", 1000, 2000) + "\r\n\t</NowRecording>" +
                              "\r\n\t<NextRecording>" + show("S", 5000, 6000, 7) + "\r\n\t</NextRecording>\r\n");

    // 4. R stops: an empty now block, the wake for S, sleep allowed again,
    // and a countdown may follow an automatic wake.
    p = pass(carried, list, 2000, options);
    EXPECT_TRUE(p.decision.nowChanged);
    EXPECT_FALSE(p.decision.nextChanged);
    EXPECT_TRUE(p.decision.balloon.empty());
    EXPECT_EQ(p.decision.timer.due, at(4940));
    EXPECT_TRUE(p.decision.timer.resume);
    EXPECT_FALSE(p.decision.stayAwake);
    EXPECT_EQ(p.decision.countdownDeadline, at(2060));
    EXPECT_EQ(p.fragment,
              "\r\n\t<NowRecording>\r\n\t</NowRecording>\r\n\t<SetWakeUp time=\"T4940\" />"
              "\r\n\t<SetAllowSleep allow=\"true\" />\r\n");

    // 5. Nothing passed since: no Event at all.
    p = pass(carried, list, 2500, options);
    EXPECT_EQ(p.fragment, "");
    EXPECT_EQ(p.decision.timer.due, at(4940));
}

TEST(PassDecision, EmptyScheduleDoesNothing) {
    PassCarry carried;
    const PassResult p = pass(carried, {}, 0, Options{});
    EXPECT_FALSE(p.decision.timer.arm);
    EXPECT_FALSE(p.decision.stayAwake);
    EXPECT_FALSE(p.decision.allowSleepChanged);
    EXPECT_TRUE(p.decision.balloon.empty());
    EXPECT_EQ(p.fragment, "");
}

// Every arming carries resume: a sleep that nobody can refuse may come in
// any state, and the PC must wake again for what comes next. Only the
// plan's own wake-up is logged and named in the tip.
TEST(PassDecision, EveryArmingWakesThePC) {
    struct Case {
        const char* name;
        std::int32_t leadTime;
        std::int64_t now;
        RecordingList list;
        FileTime due;
        ArmingPurpose purpose;
        const char* title;
        bool stayAwake;
        bool wakeLine;
        std::optional<FileTime> nextWakeUp;
    };
    const RecordingList r = {rec("R", 1000, 2000)};
    const RecordingList rs = {rec("R", 1000, 2000), rec("S", 5000, 6000)};
    const RecordingList overlapping = {rec("R", 1000, 2000), rec("S", 1500, 3000)};
    const Case cases[] = {
        {"well before", 60, 0, r, at(940), ArmingPurpose::wakeUp, "R", false, true, at(940)},
        {"one tick before the wake", 60, 939, r, at(940), ArmingPurpose::wakeUp, "R", false, true, at(940)},
        {"exactly at the wake", 60, 940, r, at(1000), ArmingPurpose::start, "R", true, false, at(940)},
        {"inside the lead time", 60, 970, r, at(1000), ArmingPurpose::start, "R", true, false, at(940)},
        {"zero lead", 0, 0, r, at(1000), ArmingPurpose::wakeUp, "R", false, true, at(1000)},
        {"zero lead one second before", 0, 999, r, at(1000), ArmingPurpose::wakeUp, "R", false, true, at(1000)},
        {"negative lead wakes after the start", -60, 0, r, at(1060), ArmingPurpose::wakeUp, "R", false, true, at(1060)},
        {"lead longer than the wait", 5000, 0, r, at(1000), ArmingPurpose::start, "R", true, false, at(-4000)},
        {"recording, nothing after", 60, 1000, r, at(2000), ArmingPurpose::stop, "R", true, false, std::nullopt},
        {"recording, the next later", 60, 1000, rs, at(2000), ArmingPurpose::stop, "R", true, false, at(4940)},
        {"recording, the next starts before the stop", 60, 1000, overlapping, at(2000), ArmingPurpose::stop, "R", true,
         false, at(1440)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Options options;
        options.leadTime = c.leadTime;
        PassCarry carried;
        const PassResult p = pass(carried, c.list, c.now, options);
        EXPECT_TRUE(p.decision.timer.arm);
        EXPECT_EQ(p.decision.timer.due, c.due);
        EXPECT_TRUE(p.decision.timer.resume);
        EXPECT_EQ(p.decision.timer.purpose, c.purpose);
        EXPECT_EQ(p.decision.timer.title, c.title);
        EXPECT_EQ(p.decision.stayAwake, c.stayAwake);
        EXPECT_EQ(p.decision.logWake, c.wakeLine);
        EXPECT_EQ(p.fragment.find("SetWakeUp") != std::string::npos, c.wakeLine);
        EXPECT_EQ(p.decision.nextWakeUp, c.nextWakeUp);
    }
}

TEST(PassDecision, EarliestStopOfSeveralRunningRecordings) {
    const RecordingList list = {rec("A", 0, 3600), rec("B", 0, 1800)};
    PassCarry carried;
    PassResult p = pass(carried, list, 10, Options{});
    EXPECT_EQ(p.decision.now.size(), 2u);
    EXPECT_EQ(p.decision.timer.due, at(1800));
    EXPECT_EQ(p.decision.balloon, "Kalvor now recording:\nA\nB");
    p = pass(carried, list, 1800, Options{});
    ASSERT_EQ(p.decision.now.size(), 1u);
    EXPECT_EQ(p.decision.now[0].title, "A");
    EXPECT_EQ(p.decision.timer.due, at(3600));
    EXPECT_TRUE(p.decision.stayAwake);
    EXPECT_EQ(p.fragment, "\r\n\t<NowRecording>" + show("A", 0, 3600) + "\r\n\t</NowRecording>\r\n");
}

TEST(PassDecision, KindFlagChangeAloneWritesNothing) {
    PassCarry carried;
    RecordingList list = {rec("R", 1000, 2000)};
    pass(carried, list, 0, Options{});
    list[0].isFavorite = true;
    const PassResult p = pass(carried, list, 10, Options{});
    EXPECT_FALSE(p.decision.nextChanged);
    EXPECT_EQ(p.fragment, "");
}

TEST(PassDecision, RemovingTheLastRecordingLeavesTheTimerAlone) {
    PassCarry carried;
    pass(carried, {rec("R", 1000, 2000)}, 0, Options{});
    const PassResult p = pass(carried, {}, 10, Options{});
    EXPECT_TRUE(p.decision.nextChanged);
    EXPECT_FALSE(p.decision.timer.arm);
    EXPECT_EQ(p.fragment, "\r\n\t<NextRecording>\r\n\t</NextRecording>\r\n");
}

TEST(PassDecision, WakeLineOnlyForANewWakeTimeAndOnlyWithALog) {
    PassCarry carried;
    const RecordingList list = {rec("R", 1000, 2000)};
    PassResult p = pass(carried, list, 0, Options{});
    EXPECT_TRUE(p.decision.logWake);
    // The same wake time again (a pass after an unrelated file change).
    carried.previousNext.clear();
    p = pass(carried, list, 5, Options{});
    EXPECT_FALSE(p.decision.logWake);

    // Without a log: no fragment, and the logged wake time stays as it was.
    PassCarry unlogged;
    p = pass(unlogged, list, 0, Options{}, false);
    EXPECT_TRUE(p.decision.timer.arm);
    EXPECT_FALSE(p.decision.logWake);
    EXPECT_EQ(p.decision.lastWakeTime, 0u);
    EXPECT_EQ(p.fragment, "");
}

TEST(PassDecision, NextBalloonListsTiesAndIsCut) {
    PassCarry carried;
    const std::string longTitle(300, 'x');
    const RecordingList list = {rec("First", 1000, 2000), rec(longTitle.c_str(), 1000, 2500)};
    const PassResult p = pass(carried, list, 0, Options{});
    EXPECT_EQ(p.decision.balloon.size(), kBalloonMaxLength);
    EXPECT_EQ(p.decision.balloon.substr(0, 29), "Kalvor next recording:\nFirst\n");
}

TEST(PassDecision, CountdownIsAskedForInOrder) {
    struct Case {
        const char* name;
        bool recording;
        bool noResuspend;
        bool resumedAutomatically;
        bool asked;
        bool wanted;
    };
    const Case cases[] = {
        {"automatic wake, idle", false, false, true, true, true},
        {"user wake, idle", false, false, false, true, false},
        {"noresuspend", false, true, true, true, false},
        {"recording", true, false, true, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Options options;
        options.noResuspend = c.noResuspend;
        options.warnTime = 30;
        PassCarry carried;
        const RecordingList list = {c.recording ? rec("R", 0, 1000) : rec("R", 5000, 6000)};
        const PassResult p = pass(carried, list, 100, options);
        bool asked = false;
        EXPECT_EQ(countdownWanted(p.decision, options,
                                  [&] {
                                      asked = true;
                                      return c.resumedAutomatically;
                                  }),
                  c.wanted);
        EXPECT_EQ(asked, c.asked);
        EXPECT_EQ(p.decision.countdownDeadline, at(130));
    }
}

TEST(PassDecision, ZeroAndNegativeWarningTimes) {
    for (const std::int32_t warn : {0, -5}) {
        Options options;
        options.warnTime = warn;
        PassCarry carried;
        const PassResult p = pass(carried, {}, 100, options);
        EXPECT_EQ(p.decision.countdownDeadline, at(100 + warn));
    }
}

}  // namespace
}  // namespace dormivel
