#include "planner/wake_health.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "ui/tray_tip.h"

namespace dormivel {
namespace {

using enum WakeProblem;

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

}  // namespace
}  // namespace dormivel
