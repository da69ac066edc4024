// The tray menu's wake-up test: the PC is put to sleep by the chosen method
// with the wake timer armed two minutes ahead, and the resume tells whether
// a wake-up works on this machine. Whether a test may start, what it arms,
// how it follows the power broadcasts and how its result reads are decided
// here from plain values; the Win32 layer asks, arms, logs and sleeps.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/records.h"
#include "planner/late_wake.h"
#include "planner/sleep_guard.h"
#include "planner/wake_health.h"

namespace dormivel {

// The wake-up lies this far after the moment the test arms it.
inline constexpr FileTime kWakeTestDelay = 120 * kTicksPerSecond;
// No test while the plan's next wake-up lies closer than this: the test's
// sleep and wake-up must be over well before it.
inline constexpr FileTime kWakeTestPlanMargin = 300 * kTicksPerSecond;
// After an automatic resume, how long a person's resume may follow and still
// count as the cause of the wake. Windows sends both notifications back to
// back when a person wakes the PC; after a wake by the timer the second one
// comes only once somebody touches the PC, which may be any time later.
inline constexpr std::uint32_t kWakeTestSettleMs = 5000;

enum class WakeTestPhase : std::uint8_t {
    idle,
    requested,  // armed and sleep requested; the suspend has not come yet
    asleep,     // the suspend notification came
    settling,   // resumed automatically; waiting whether a person's resume follows
    reported,   // the result is out; the next schedule pass, or a sleep, ends the test
};

struct WakeTest {
    WakeTestPhase phase = WakeTestPhase::idle;
    FileTime due = 0;                             // the wake-up the test armed, UTC
    FileTime resumedAt = 0;                       // the first resume after its suspend
    WakeArmResult arm = WakeArmResult::notArmed;  // what the test's own arming reported
};

// What choosing the menu item shows: the question, or why no test can be
// made now (with one OK button).
struct WakeTestOffer {
    bool allowed = false;
    std::string text;
};

inline constexpr std::string_view kWakeTestQuestion =
    "Dormivel will put the PC to sleep now and wake it in 2 minutes, to test that wake-ups work. Save your work "
    "first. Test now?";

// Refused while a test is under way; while the PC must stay awake (naming
// the recording as the shutdown reason does); and while the plan's next
// wake-up lies within kWakeTestPlanMargin of `now` (or has passed).
// `recording` and `upcoming` are the last pass's now and next sets.
WakeTestOffer offerWakeTest(const WakeTest& test, FileTime now, bool stayAwake, std::optional<FileTime> nextWakeUp,
                            const RecordingSet& recording, const RecordingSet& upcoming,
                            const ClockTextFormatter& clockText);

// The test's arming with resume: kWakeTestDelay after `now`, for no
// recording, and not the plan's wake-up (the tray tip does not name it).
ArmedWake wakeTestArming(FileTime now);

// Shown instead of sleeping when the timer could not be armed.
inline constexpr std::string_view kWakeTestTimerFailedText =
    "Dormivel could not set its wake-up timer, so it did not put the PC to sleep. Restarting Dormivel may help.";

// What reaches a test under way. A resume notification other than a
// person's (the automatic one, and the critical one of older systems) is
// `resumeAutomatic`; `resumeByPerson` is PBT_APMRESUMESUSPEND. The settle
// time ends `alone` when the system still says it resumed automatically.
enum class WakeTestEvent : std::uint8_t {
    suspend,
    resumeAutomatic,
    resumeByPerson,
    settledAlone,
    settledWithPerson,
    requestReturned,  // the sleep request came back
};

struct WakeTestStep {
    WakeTest test;
    bool startSettle = false;  // wait kWakeTestSettleMs, then send a settled event
    bool report = false;       // the result is known: judge it
    bool automatic = false;    // with report: the PC woke by itself
    bool noSleep = false;      // the request came back without a suspend
};

// Events outside the phase they belong to change nothing: a test reports
// once. A suspend after the result ends the test.
WakeTestStep stepWakeTest(const WakeTest& test, WakeTestEvent event, FileTime now);

// The schedule pass: true while a test is under way or its result has just
// been shown, so that no countdown puts the PC back to sleep before the
// person who ran the test has seen the result. The first pass after the
// result ends the test (as does a sleep before it: see stepWakeTest).
bool passHeldByWakeTest(WakeTest& test);

enum class WakeTestOutcome : std::uint8_t {
    onTime,       // by itself, at most kLateWakeTolerance after the time set
    late,         // by itself, later than that
    early,        // by itself before the time set: something else woke it
    byHand,       // a person woke it at or after the time set
    byHandEarly,  // a person woke it before the time set: nothing was shown
};

struct WakeTestResult {
    WakeTestOutcome outcome = WakeTestOutcome::onTime;
    std::int64_t lateSeconds = 0;  // from the time set to the resume, negative before it
    std::string balloon;           // at most kBalloonMaxLength bytes
};

// The result of a resume at `resumedAt` for the wake-up due at `due`.
// `health` is the wake-health state of the machine as it is now, with the
// test's own arming as the last arming: when the PC did not wake by itself
// its problem is the most likely cause, and the balloon names it with its
// fix (with no problem known, the firmware).
WakeTestResult judgeWakeTest(FileTime due, FileTime resumedAt, bool automatic, const WakeHealth& health);

// Shown when the sleep request came back without the PC going to sleep.
inline constexpr std::string_view kWakeTestNoSleepBalloon =
    "Test wake-up: Windows did not put the PC to sleep, so no wake-up was tested.";

}  // namespace dormivel
