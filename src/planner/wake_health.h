// Wake health: whether a wake-up armed with resume can really wake this
// machine, worked out from facts the platform reports, and what to log and
// show in a balloon when that changes. Every fact may be unknown, and an
// unknown fact never raises a warning.
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

// The tray tip's short text for the problem; empty when healthy.
std::string_view wakeProblemTip(const WakeHealth& health);

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

}  // namespace dormivel
