#include "planner/wake_health.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <sstream>

namespace dormivel {
namespace {

using enum WakeProblem;
constexpr FileTime kMinute = 60 * kTicksPerSecond;

// A machine described by changes to a healthy one on mains power with
// everything known: "ac=0 src=battery rtc=s1 method=hibernate", "?" for an
// unknown value, "blank" for nothing known at all.
WakeFacts machine(const std::string& changes) {
    WakeFacts f{
        WakeTimerSetting::on, WakeTimerSetting::on,   PowerSource::mains, true, true, true, SleepState::s4, false,
        SleepMethod::suspend, WakeArmResult::accepted};
    std::istringstream in(changes);
    for (std::string word; in >> word;) {
        const std::string key = word.substr(0, word.find('='));
        const std::string value = word.substr(word.find('=') + 1);
        const auto flag = [&] { return value == "?" ? std::optional<bool>() : std::optional<bool>(value == "1"); };
        const auto setting = [&] {
            return value == "?" ? std::nullopt
                                : wakeTimerSettingFromIndex(static_cast<std::uint32_t>(std::stoul(value)));
        };
        if (word == "blank") f = WakeFacts{};
        if (key == "ac") f.pluggedIn = setting();
        if (key == "dc") f.battery = setting();
        if (key == "src")
            f.source = value == "?"         ? PowerSource::unknown
                       : value == "battery" ? PowerSource::battery
                                            : PowerSource::mains;
        if (key == "s3") f.s3 = flag();
        if (key == "s4") f.s4 = flag();
        if (key == "hib") f.hiberFile = flag();
        if (key == "aoac") f.modernStandby = flag();
        if (key == "rtc")
            f.rtcWake = value == "?" ? SleepState::unknown : sleepStateFromSystemPowerState(value[1] - '0' + 1U);
        if (key == "method") f.method = value == "hibernate" ? SleepMethod::hibernate : SleepMethod::suspend;
        if (key == "arm") f.lastArm = classifyResumeArming(value != "failed", value == "ignored" ? 722 : 0);
    }
    return f;
}

// "ok", or the reason word with the scope or the state it names.
std::string describe(const WakeHealth& h) {
    static const char* const kScopes[] = {"", "/ac", "/dc", "/both"};
    if (h.problem == none) return "ok";
    std::string text(wakeProblemReason(h.problem));
    text += kScopes[static_cast<int>(h.scope)];
    if (h.problem == firmware) text += h.method == SleepMethod::suspend ? "/s3" : "/s4";
    return text;
}

TEST(WakeHealth, RawPlatformValues) {
    EXPECT_EQ(wakeTimerSettingFromIndex(2), WakeTimerSetting::importantOnly);
    EXPECT_EQ(wakeTimerSettingFromIndex(3), std::nullopt);
    EXPECT_EQ(sleepStateFromSystemPowerState(0), SleepState::unknown);  // unspecified
    EXPECT_EQ(sleepStateFromSystemPowerState(1), SleepState::working);
    EXPECT_EQ(sleepStateFromSystemPowerState(5), SleepState::s4);
    EXPECT_EQ(sleepStateFromSystemPowerState(7), SleepState::unknown);
    EXPECT_EQ(classifyResumeArming(true, 0), WakeArmResult::accepted);
    EXPECT_EQ(classifyResumeArming(true, 87), WakeArmResult::accepted);  // junk left by something else
    EXPECT_EQ(classifyResumeArming(true, 50), WakeArmResult::resumeIgnored);
    EXPECT_EQ(classifyResumeArming(true, 722), WakeArmResult::resumeIgnored);
    EXPECT_EQ(classifyResumeArming(false, 722), WakeArmResult::failed);
}

TEST(WakeHealth, EachCauseAloneCausesTogetherAndUnknowns) {
    const std::pair<const char*, const char*> cases[] = {
        {"", "ok"},
        {"method=hibernate", "ok"},
        {"blank", "ok"},
        {"blank method=hibernate", "ok"},
        // the chosen sleep state
        {"s3=0", "nosuspend"},
        {"s3=0 aoac=?", "nosuspend"},
        {"s3=0 aoac=1", "modernstandby"},
        {"aoac=1", "ok"},
        {"s3=? aoac=1", "ok"},
        {"s3=0 method=hibernate", "ok"},
        {"s4=0 method=hibernate", "nohibernate"},
        {"hib=0 method=hibernate", "nohibernate"},
        {"s4=0 hib=0", "ok"},
        // the firmware
        {"rtc=s1", "firmware/s3"},
        {"rtc=s0", "firmware/s3"},
        {"rtc=s3", "ok"},
        {"rtc=?", "ok"},
        {"rtc=s3 method=hibernate", "firmware/s4"},
        {"rtc=s5 method=hibernate", "ok"},
        // the plan, for the source in use
        {"ac=0", "timersoff/ac"},
        {"ac=2", "importantonly/ac"},
        {"dc=0", "ok"},
        {"ac=? dc=0", "ok"},
        {"src=battery dc=0", "timersoff/dc"},
        {"src=battery ac=0", "ok"},
        {"ac=0 dc=0", "timersoff/both"},
        {"ac=0 dc=2", "timersoff/ac"},
        {"src=battery ac=2 dc=2", "importantonly/both"},
        {"src=? ac=0", "ok"},
        {"src=? ac=0 dc=0", "timersoff/both"},
        {"src=? ac=0 dc=2", "importantonly/both"},
        {"src=? ac=0 dc=?", "ok"},
        // the timer's own report
        {"arm=ignored", "timerignored"},
        {"arm=failed", "timerfailed"},
        // together: the first in order is named
        {"arm=ignored ac=0", "timersoff/ac"},
        {"arm=ignored ac=0 rtc=s2", "firmware/s3"},
        {"arm=ignored ac=0 rtc=s2 s3=0 aoac=1", "modernstandby"},
        {"arm=ignored ac=0 rtc=s2 hib=0 method=hibernate", "nohibernate"},
        // Wine's own answers
        {"ac=? dc=? s3=0 rtc=s1 arm=ignored", "nosuspend"},
        {"ac=? dc=? s3=0 rtc=s1 arm=ignored method=hibernate", "firmware/s4"},
    };
    for (const auto& [changes, expected] : cases)
        EXPECT_EQ(describe(assessWakeHealth(machine(changes))), expected) << changes;
}

TEST(WakeHealth, ReasonWordsBalloonsAndTips) {
    const std::tuple<const char*, const char*, const char*> cases[] = {
        // machine, a piece of the fix the balloon names, tip
        {"s3=0", "Choose Hibernate (S4)", "this PC cannot suspend (S3)"},
        {"s3=0 aoac=1", "modern standby", "no wake-ups from modern standby"},
        {"hib=0 method=hibernate", "powercfg /hibernate on", "hibernation is turned off"},
        {"rtc=s1", "firmware setup", "the PC cannot wake from suspend (S3)"},
        {"rtc=s3 method=hibernate", "Choose Suspend (S3)", "the PC cannot wake from hibernation (S4)"},
        {"ac=0", "off in the power plan on plugged-in power", "wake-ups are off in the power plan"},
        {"ac=0 dc=0", "on battery and plugged-in power, so", "wake-ups are off in the power plan"},
        {"src=battery dc=2", "on battery power, so Dormivel's timer will not wake the PC.\nChoose Enable",
         "the power plan allows important wake-ups only"},
        {"ac=2 dc=2", "Sleep, Allow wake timers.", "the power plan allows important wake-ups only"},
        {"arm=ignored", "will not wake the PC", "Windows will not wake the PC for its timer"},
        {"arm=failed", "could not set", "no wake-up timer could be set"},
    };
    for (const auto& [changes, fix, tip] : cases) {
        const WakeHealth health = assessWakeHealth(machine(changes));
        const std::string balloon = wakeProblemBalloon(health);
        EXPECT_NE(balloon.find(fix), std::string::npos) << balloon;
        EXPECT_LT(balloon.size(), 256U) << changes;
        EXPECT_EQ(balloon.back(), '.') << "cut short: " << balloon;
        EXPECT_EQ(std::count(balloon.begin(), balloon.end(), '\n'), 1) << "the cause, then the fix: " << balloon;
        EXPECT_EQ(composeTrayTip(health, TipWakeUp{"Mon", "6:29 AM", "News"}), std::string("Dormivel: ") + tip);
    }
    EXPECT_EQ(wakeProblemBalloon(assessWakeHealth(machine("src=battery dc=0"))),
              "Wake timers are off in the power plan on battery power, so the PC will not wake up for recordings.\n"
              "Turn them on in Power Options: Change plan settings, Change advanced power settings, Sleep, Allow "
              "wake timers.");
    EXPECT_EQ(wakeProblemBalloon({}), "");
}

TEST(WakeHealth, OnlyAChangeShowsAnything) {
    const auto h = [](const char* changes) { return assessWakeHealth(machine(changes)); };
    const std::string offBody = "<WakeUnavailable reason=\"timersoff\" />";
    const std::tuple<std::optional<WakeHealth>, WakeHealth, std::string, bool> cases[] = {
        // previous (none: not yet checked), current, log body, balloon
        {std::nullopt, h(""), "", false},
        {std::nullopt, h("ac=0"), offBody, true},
        {h("ac=0"), h("ac=0"), "", false},
        {h(""), h(""), "", false},
        {h(""), h("ac=0"), offBody, true},
        {h("ac=0"), h("ac=0 dc=0"), offBody, true},               // now both sources
        {h("ac=0 dc=0"), h("ac=0 dc=0 src=battery"), "", false},  // unplugged: the same problem
        {h("ac=0"), h("ac=2"), "<WakeUnavailable reason=\"importantonly\" />", true},
        {h("rtc=s1"), h("rtc=s1 method=hibernate"), "<WakeUnavailable reason=\"firmware\" />", true},
        {h("ac=0"), h(""), "<WakeAvailable />", true},
    };
    for (const auto& [previous, current, logBody, balloon] : cases) {
        const WakeHealthReport report = reportWakeHealthChange(previous, current);
        EXPECT_EQ(report.logBody, logBody) << describe(current);
        EXPECT_EQ(!report.balloon.empty(), balloon) << describe(current);
        if (current.problem != none && balloon) {
            EXPECT_EQ(report.balloon, wakeProblemBalloon(current));
        }
    }
}

TEST(WakeHealth, TipFitsAndCutsOnlyTheTitle) {
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

TEST(WakeHealth, LateWakeAtItsEdges) {
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
TEST(WakeHealth, LateWakeWhicheverComesFirst) {
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

TEST(WakeHealth, LateWakeTexts) {
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
    EXPECT_EQ(composeLateWakeBody("12/07/2025 6:29:00 AM"), "<LateWake due=\"12/07/2025 6:29:00 AM\" />");
    EXPECT_EQ(composeLateWakeBody("a&b"), "<LateWake due=\"a&amp;b\" />");
}

}  // namespace
}  // namespace dormivel
