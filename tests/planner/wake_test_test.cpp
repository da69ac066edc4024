#include "planner/wake_test.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "planner/pass_decision.h"

namespace dormivel {
namespace {

constexpr FileTime kBase = 134098128000000000ULL;  // 7 December 2026 12:00 UTC
constexpr FileTime kSecond = kTicksPerSecond;

FileTime at(std::int64_t seconds) {
    return static_cast<FileTime>(static_cast<std::int64_t>(kBase) + seconds * static_cast<std::int64_t>(kSecond));
}

// Times as seconds from the base, so the expected texts stay readable.
std::string clock(FileTime t) {
    return "T" + std::to_string(static_cast<std::int64_t>(t - kBase) / static_cast<std::int64_t>(kSecond));
}

Recording rec(std::string title, std::int64_t start, std::int64_t stop) {
    Recording r;
    r.title = std::move(title);
    r.start = at(start);
    r.stop = at(stop);
    return r;
}

WakeTest inPhase(WakeTestPhase phase) {
    return WakeTest{phase, at(120), 0, WakeArmResult::accepted};
}

TEST(WakeTest, WhenATestMayStartAndWhatTheRefusalSays) {
    const std::string refused = "Dormivel cannot test a wake-up now: ";
    struct Case {
        const char* name;
        WakeTestPhase phase;
        bool stayAwake;
        std::optional<FileTime> nextWakeUp;
        RecordingSet recording;
        RecordingSet upcoming;
        std::string text;  // empty: allowed, with the question
    };
    const RecordingSet news = {rec("News", 600, 1800)};
    const Case cases[] = {
        {"nothing planned", WakeTestPhase::idle, false, std::nullopt, {}, {}, ""},
        {"wake-up an hour ahead", WakeTestPhase::idle, false, at(3600), {}, news, ""},
        {"wake-up exactly 5 minutes ahead", WakeTestPhase::idle, false, at(300), {}, news, ""},
        {"wake-up a second short of 5 minutes",
         WakeTestPhase::idle,
         false,
         at(299),
         {},
         news,
         refused + "it wakes the PC at T299 for News, less than 5 minutes from now. Try the test again after that "
                   "recording."},
        {"wake-up passed, the pass not yet run",
         WakeTestPhase::idle,
         false,
         at(-1),
         {},
         {},
         refused + "it wakes the PC at T-1, less than 5 minutes from now. Try the test again after that recording."},
        {"recording now",
         WakeTestPhase::idle,
         true,
         at(7200),
         {rec("Morning Show", -600, 900)},
         {},
         refused + "Kalvor is recording Morning Show until T900, and the PC must stay awake."},
        {"lead time begun",
         WakeTestPhase::idle,
         true,
         at(-30),
         {},
         {rec("News", 30, 1800)},
         refused + "Kalvor starts recording News at T30, and the PC must stay awake."},
        {"awake with no set known",
         WakeTestPhase::idle,
         true,
         std::nullopt,
         {},
         {},
         refused + "a recording runs or starts soon, and the PC must stay awake."},
        {"test requested",
         WakeTestPhase::requested,
         false,
         std::nullopt,
         {},
         {},
         "Dormivel is testing a wake-up already. Its result follows when the PC has woken up."},
        {"test asleep",
         WakeTestPhase::asleep,
         false,
         std::nullopt,
         {},
         {},
         "Dormivel is testing a wake-up already. Its result follows when the PC has woken up."},
        {"test settling",
         WakeTestPhase::settling,
         false,
         std::nullopt,
         {},
         {},
         "Dormivel is testing a wake-up already. Its result follows when the PC has woken up."},
        {"last result shown", WakeTestPhase::reported, false, std::nullopt, {}, {}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const WakeTestOffer offer =
            offerWakeTest(inPhase(c.phase), kBase, c.stayAwake, c.nextWakeUp, c.recording, c.upcoming, clock);
        EXPECT_EQ(offer.allowed, c.text.empty());
        EXPECT_EQ(offer.text, c.text.empty() ? std::string(kWakeTestQuestion) : c.text);
    }
    EXPECT_EQ(kWakeTestQuestion,
              "Dormivel will put the PC to sleep now and wake it in 2 minutes, to test that wake-ups work. Save "
              "your work first. Test now?");
}

TEST(WakeTest, ArmsTwoMinutesAheadWithoutNamingARecording) {
    const ArmedWake wake = wakeTestArming(kBase);
    EXPECT_EQ(wake.due, at(120));
    EXPECT_TRUE(wake.title.empty());
    EXPECT_FALSE(wake.planned);  // the tray tip names the plan's wake-ups only
}

// How a test follows the power broadcasts: a person's resume makes it a wake
// by hand, before or during the settle time; an automatic resume alone
// makes it a wake by itself once the settle time is over; each test reports
// once, and a request that came back without a suspend reports no sleep.
TEST(WakeTest, FollowsTheBroadcastsToOneResult) {
    using enum WakeTestEvent;
    struct Case {
        const char* name;
        std::vector<WakeTestEvent> events;
        WakeTestPhase phase;
        int reports;
        bool automatic;
        bool noSleep;
        bool settleStarted;
    };
    const Case cases[] = {
        {"woke by the timer", {suspend, resumeAutomatic, settledAlone}, WakeTestPhase::reported, 1, true, false, true},
        {"woke by the timer, touched later",
         {suspend, resumeAutomatic, settledAlone, resumeByPerson},
         WakeTestPhase::reported,
         1,
         true,
         false,
         true},
        {"a person's wake: both resumes",
         {suspend, resumeAutomatic, resumeByPerson, settledAlone},
         WakeTestPhase::reported,
         1,
         false,
         false,
         true},
        {"a person's resume alone",
         {suspend, resumeByPerson, resumeAutomatic},
         WakeTestPhase::reported,
         1,
         false,
         false,
         false},
        {"the system says a person is there",
         {suspend, resumeAutomatic, settledWithPerson},
         WakeTestPhase::reported,
         1,
         false,
         false,
         true},
        {"asleep again before the settle ended",
         {suspend, resumeAutomatic, suspend},
         WakeTestPhase::reported,
         1,
         true,
         false,
         true},
        {"the request returned during the sleep",
         {suspend, requestReturned, resumeAutomatic},
         WakeTestPhase::settling,
         0,
         false,
         false,
         true},
        {"the request failed, then a sleep of its own",
         {requestReturned, suspend, resumeAutomatic},
         WakeTestPhase::idle,
         0,
         false,
         true,
         false},
        {"asleep again after the result, before any pass",
         {suspend, resumeAutomatic, settledAlone, suspend, resumeAutomatic, settledAlone},
         WakeTestPhase::idle,
         1,
         true,
         false,
         true},
        {"resumes without a suspend",
         {resumeAutomatic, resumeByPerson, settledAlone},
         WakeTestPhase::requested,
         0,
         false,
         false,
         false},
        {"still asleep", {suspend, settledAlone, requestReturned}, WakeTestPhase::asleep, 0, false, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WakeTest test = inPhase(WakeTestPhase::requested);
        int reports = 0;
        bool automatic = false;
        bool noSleep = false;
        bool settle = false;
        std::int64_t second = 10;
        FileTime firstResume = 0;
        for (const WakeTestEvent event : c.events) {
            const WakeTestStep step = stepWakeTest(test, event, at(second));
            if (firstResume == 0 && step.test.resumedAt != 0) firstResume = at(second);
            test = step.test;
            reports += step.report ? 1 : 0;
            if (step.report) automatic = step.automatic;
            noSleep = noSleep || step.noSleep;
            settle = settle || step.startSettle;
            ++second;
        }
        EXPECT_EQ(test.phase, c.phase);
        EXPECT_EQ(reports, c.reports);
        EXPECT_EQ(automatic, c.automatic);
        EXPECT_EQ(noSleep, c.noSleep);
        EXPECT_EQ(settle, c.settleStarted);
        EXPECT_EQ(test.resumedAt, firstResume) << "the resume judged is the first one";
        EXPECT_EQ(test.due, at(120));
    }
    // No test: nothing happens.
    for (const WakeTestEvent event : {suspend, resumeAutomatic, resumeByPerson, settledAlone, requestReturned}) {
        const WakeTestStep step = stepWakeTest(WakeTest{}, event, kBase);
        EXPECT_EQ(step.test.phase, WakeTestPhase::idle);
        EXPECT_FALSE(step.report || step.noSleep || step.startSettle);
    }
}

TEST(WakeTest, HoldsTheCountdownUntilThePassAfterItsResult) {
    for (const WakeTestPhase phase : {WakeTestPhase::requested, WakeTestPhase::asleep, WakeTestPhase::settling}) {
        WakeTest test = inPhase(phase);
        EXPECT_TRUE(passHeldByWakeTest(test));
        EXPECT_EQ(test.phase, phase);  // the timer's pass during the test leaves it running
    }
    WakeTest test = inPhase(WakeTestPhase::reported);
    EXPECT_TRUE(passHeldByWakeTest(test));
    EXPECT_EQ(test.phase, WakeTestPhase::idle);
    EXPECT_FALSE(passHeldByWakeTest(test));
}

TEST(WakeTest, HowTheResultReads) {
    const WakeHealth healthy{};
    const WakeHealth timersOff{WakeProblem::timersOff, PlanScope::pluggedIn, SleepMethod::suspend};
    struct Case {
        const char* name;
        std::int64_t resumedAt;  // seconds after the base; the time set is at 120
        bool automatic;
        WakeHealth health;
        WakeTestOutcome outcome;
        std::int64_t late;
        std::string balloon;
    };
    const Case cases[] = {
        {"by itself, on time", 124, true, healthy, WakeTestOutcome::onTime, 4,
         "Test wake-up: the PC woke by itself 4 seconds after the time set. Wake-ups work."},
        {"by itself, within the second", 120, true, timersOff, WakeTestOutcome::onTime, 0,
         "Test wake-up: the PC woke by itself at the time set. Wake-ups work."},
        {"by itself, at the tolerance", 240, true, healthy, WakeTestOutcome::onTime, 120,
         "Test wake-up: the PC woke by itself 2 minutes after the time set. Wake-ups work."},
        {"by itself, late", 241, true, healthy, WakeTestOutcome::late, 121,
         "Test wake-up: the PC woke by itself, but 2 minutes after the time set.\nStart Dormivel with a longer lead "
         "time (--leadtime), so that it wakes the PC in time for each recording."},
        {"by itself, an hour late", 120 + 3900, true, healthy, WakeTestOutcome::late, 3900,
         "Test wake-up: the PC woke by itself, but 1 hour 5 minutes after the time set.\nStart Dormivel with a "
         "longer lead time (--leadtime), so that it wakes the PC in time for each recording."},
        {"by itself, before the time set", 60, true, healthy, WakeTestOutcome::early, -60,
         "Test wake-up: the PC woke by itself 1 minute before the time set, so something else woke it (a device, "
         "or another program's wake-up).\nTry the test again."},
        {"by hand, later, plan problem", 480, false, timersOff, WakeTestOutcome::byHand, 360,
         "Test wake-up: the PC did not wake by itself (woken by hand 6 minutes later).\nLikely cause: wake-ups are "
         "off in the power plan.\nTurn them on in Power Options: Change plan settings, Change advanced power "
         "settings, Sleep, Allow wake timers."},
        {"by hand, long before the time set", 1, false, healthy, WakeTestOutcome::byHandEarly, -119,
         "Test wake-up: the PC was woken by hand 1 minute before the time set, so the test could not tell whether "
         "wake-ups work.\nTry again, and leave the PC alone for 2 minutes."},
        {"by hand, at the time set", 120, false, healthy, WakeTestOutcome::byHand, 0,
         "Test wake-up: the PC did not wake by itself (woken by hand at the time set).\nWindows reports no problem, "
         "so the likely cause is the PC's firmware.\nLook for a wake-up setting (wake on RTC) in the firmware "
         "setup."},
        {"by hand, just before the time set", 119, false, timersOff, WakeTestOutcome::byHandEarly, -1,
         "Test wake-up: the PC was woken by hand 1 second before the time set, so the test could not tell whether "
         "wake-ups work.\nTry again, and leave the PC alone for 2 minutes."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const WakeTestResult result = judgeWakeTest(at(120), at(c.resumedAt), c.automatic, c.health);
        EXPECT_EQ(result.outcome, c.outcome);
        EXPECT_EQ(result.lateSeconds, c.late);
        EXPECT_EQ(result.balloon, c.balloon);
    }
    // Part of a second before the time set is before it; the seconds count
    // toward zero.
    const WakeTestResult justBefore = judgeWakeTest(at(120), at(120) - kSecond / 2, true, healthy);
    EXPECT_EQ(justBefore.outcome, WakeTestOutcome::early);
    EXPECT_EQ(justBefore.lateSeconds, 0);
}

// Every cause fits the balloon with the longest wait: with its fix when
// there is room, never cut inside a sentence.
TEST(WakeTest, ByHandBalloonNamesEveryCauseWithinTheLimit) {
    using enum WakeProblem;
    const WakeHealth problems[] = {
        {noSuspend},
        {modernStandby},
        {noHibernate},
        {firmware, PlanScope::none, SleepMethod::suspend},
        {firmware, PlanScope::none, SleepMethod::hibernate},
        {timersOff, PlanScope::both},
        {importantOnly, PlanScope::both},
        {timerIgnored},
        {timerFailed},
    };
    const std::string firmwareSetup = "Look for a wake-up setting (wake on RTC) in the firmware setup.";
    for (const std::int64_t later : {6 * 60, 23 * 3600 + 59 * 60}) {
        for (const WakeHealth& health : problems) {
            const std::string summary = std::string(wakeProblemTip(health)).substr(std::string("Dormivel: ").size());
            // Windows' report on the timer names no fix: the firmware is left.
            const std::string fix = health.problem == timerIgnored ? firmwareSetup : describeWakeProblem(health).fix;
            SCOPED_TRACE(summary + " " + std::to_string(later));
            const std::string balloon = judgeWakeTest(at(120), at(120 + later), false, health).balloon;
            EXPECT_LE(balloon.size(), kBalloonMaxLength);
            EXPECT_NE(balloon.find("\nLikely cause: " + summary + "."), std::string::npos) << balloon;
            EXPECT_EQ(balloon.back(), '.') << balloon;
            // The fix goes only when it does not fit; with a wait of minutes
            // every one fits.
            const bool withFix = balloon.ends_with("\n" + fix);
            EXPECT_EQ(withFix, later < 3600 || health.problem != importantOnly) << balloon;
        }
    }
}

}  // namespace
}  // namespace dormivel
