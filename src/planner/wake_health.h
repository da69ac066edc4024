// Wake health: whether a wake-up armed with resume can really wake this
// machine, worked out from facts the platform reports; what to log, show in
// a balloon and put in the tray tip when that changes; and whether a resume
// came late for the wake-up that was armed. Every fact may be unknown, and
// an unknown fact never raises a warning.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/records.h"

namespace dormivel {

// The power plan's "Allow wake timers" setting, as its value index.
enum class WakeTimerSetting : std::uint8_t {
    off = 0,
    on = 1,
    importantOnly = 2,  // "Important wake timers only": leaves out ordinary applications' timers
};

// 0, 1 and 2 as above; any other index is a value this code does not know.
std::optional<WakeTimerSetting> wakeTimerSettingFromIndex(std::uint32_t index);

enum class PowerSource : std::uint8_t { unknown, mains, battery };

// A system sleep state, for the deepest state the real-time clock can wake
// the machine from. `working` (S0) means it cannot wake it from any.
enum class SleepState : std::uint8_t { unknown, working, s1, s2, s3, s4, s5 };

// The platform's SYSTEM_POWER_STATE numbering: 0 unspecified (unknown),
// 1 working, 2..4 sleeping S1..S3, 5 hibernate (S4), 6 shutdown (S5);
// anything else is unknown.
SleepState sleepStateFromSystemPowerState(std::uint32_t value);

// The sleeping method chosen in the main window: suspend (S3) or
// hibernate (S4).
enum class SleepMethod : std::uint8_t { suspend, hibernate };

// What the last arming of the wake timer WITH resume reported.
enum class WakeArmResult : std::uint8_t {
    notArmed,       // none yet (or nothing known)
    accepted,       // armed, and nothing said against waking
    resumeIgnored,  // armed, but the system says it will not wake for it
    failed,         // the timer was not armed at all
};

// What SetWaitableTimer with resume reported: its result, and the last
// error it left (set to 0 before the call). A success that leaves
// ERROR_NOT_SUPPORTED (50) or ERROR_TIMER_RESUME_IGNORED (722) armed the
// timer but will not wake the system for it.
WakeArmResult classifyResumeArming(bool succeeded, std::uint32_t lastError);

struct WakeFacts {
    std::optional<WakeTimerSetting> pluggedIn;  // the active plan's AC value
    std::optional<WakeTimerSetting> battery;    // its DC value
    PowerSource source = PowerSource::unknown;
    std::optional<bool> s3;
    std::optional<bool> s4;
    std::optional<bool> hiberFile;
    SleepState rtcWake = SleepState::unknown;
    std::optional<bool> modernStandby;
    SleepMethod method = SleepMethod::suspend;
    WakeArmResult lastArm = WakeArmResult::notArmed;
};

enum class WakeProblem : std::uint8_t {
    none,           // available, as far as the facts tell
    noSuspend,      // suspend chosen, no S3
    modernStandby,  // suspend chosen, no S3, modern standby instead
    noHibernate,    // hibernate chosen, no S4 or no hibernation file
    firmware,       // the real-time clock cannot wake from the chosen state
    timersOff,      // the power plan does not allow wake timers
    importantOnly,  // the power plan allows important wake timers only
    timerIgnored,   // the timer was armed, the system will not wake for it
    timerFailed,    // the timer could not be armed
};

// Which of the plan's two values a plan problem is about.
enum class PlanScope : std::uint8_t { none, pluggedIn, battery, both };

// The health state. Only the fields that matter to `problem` are set (the
// others keep their defaults), so two states compare equal exactly when
// they describe the same problem in the same words.
struct WakeHealth {
    WakeProblem problem = WakeProblem::none;
    PlanScope scope = PlanScope::none;          // timersOff and importantOnly
    SleepMethod method = SleepMethod::suspend;  // firmware: the state it cannot wake from

    friend bool operator==(const WakeHealth&, const WakeHealth&) = default;
};

WakeHealth assessWakeHealth(const WakeFacts& facts);

// The stable reason word of `<WakeUnavailable reason="..." />`; empty for
// WakeProblem::none.
std::string_view wakeProblemReason(WakeProblem problem);

// A problem in words: its cause, and what to do about it (both empty when
// healthy).
struct WakeProblemWords {
    std::string cause;
    std::string fix;
};
WakeProblemWords describeWakeProblem(const WakeHealth& health);

// The balloon naming the cause and its fix on two lines (at most
// kBalloonMaxLength bytes); empty when healthy.
std::string wakeProblemBalloon(const WakeHealth& health);

// What a change of health shows. Empty strings: nothing.
struct WakeHealthReport {
    std::string logBody;  // the Event body
    std::string balloon;
};

// `previous` is empty before the first check. Only a change shows anything:
// a new or different problem logs `<WakeUnavailable reason="..." />` and
// shows its balloon; a recovery from a problem logs `<WakeAvailable />` and
// shows a short balloon; a first check that finds no problem shows nothing.
WakeHealthReport reportWakeHealthChange(const std::optional<WakeHealth>& previous, const WakeHealth& current);

// The notification icon's tip holds 128 UTF-16 units with its terminator.
// The tip is built as 8-bit text of at most this many bytes: every ANSI code
// page (single-byte, double-byte, or UTF-8) turns each byte or byte sequence
// into at most as many UTF-16 units as it has bytes, so the converted tip
// always fits.
inline constexpr std::size_t kTrayTipMaxBytes = 127;

// The next wake-up armed with resume, as the tip names it: day and time
// already formatted by the platform, the recording's title as read.
struct TipWakeUp {
    std::string day;
    std::string time;
    std::string title;
};

// "Dormivel: next wake-up <day> <time> for <title>" when healthy with a
// wake-up armed; the problem's short text when unhealthy; "Dormivel"
// otherwise. A title too long for the tip is cut and ends in "..."; the
// fixed words are never cut. At most kTrayTipMaxBytes bytes.
std::string composeTrayTip(const WakeHealth& health, const std::optional<TipWakeUp>& next);

// The wake timer's arming with resume: when, and for which recording.
// `planned` marks the plan's own wake-up a lead time before a recording,
// which the tray tip names; the armings for a start or a stop, and the
// wake-up after a sleep during a recording, are not named there.
struct ArmedWake {
    FileTime due = 0;
    std::string title;
    bool planned = true;
};

inline constexpr FileTime kLateWakeTolerance = 120 * kTicksPerSecond;

struct LateWake {
    FileTime due = 0;
    FileTime lateBy = 0;  // ticks from `due` to the resume
    std::string title;
};

// The wake-ups a late resume is judged against: the timer's arming now,
// and the one that was in force when the system went to sleep. The pass
// that a signalled timer starts may run before the resume notification
// and arm the next wake-up; the resume still compares with the wake-up the
// PC slept through.
struct WakeWatch {
    std::optional<ArmedWake> armed;
    std::optional<ArmedWake> atSuspend;
    std::optional<FileTime> suspendedAt;
};

void noteArming(WakeWatch& watch, const ArmedWake& wake);
void noteSuspend(WakeWatch& watch, FileTime suspendedAt);
// The late wake at a resume, if any; the suspend is then forgotten.
std::optional<LateWake> noteResume(WakeWatch& watch, FileTime resumedAt);

// A late wake: the armed wake-up was still ahead at the suspend (strictly
// after it), and the resume came more than kLateWakeTolerance after it.
// Nothing without an armed wake-up or a known suspend moment, and nothing
// for a resume before the due time (somebody woke the PC).
std::optional<LateWake> findLateWake(const std::optional<ArmedWake>& armed, std::optional<FileTime> suspendedAt,
                                     FileTime resumedAt);

// <LateWake due="..." />, from the due time already rendered as a log
// timestamp.
std::string composeLateWakeBody(std::string_view dueStamp);

// "The PC woke up 7 minutes late for <title>." (minutes, or hours and
// minutes), the title cut to keep it within kBalloonMaxLength bytes.
std::string composeLateWakeBalloon(const LateWake& late);

}  // namespace dormivel
