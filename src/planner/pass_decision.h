// What one schedule pass decides, computed from plain values; the Win32
// layer carries it out (list box, balloon, timer, execution state, log).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "app/records.h"
#include "app/time_zone.h"
#include "cmdline/options.h"
#include "schedule/schedule_reader.h"

namespace dormivel {

// What a pass leaves behind for the next one: the allow-sleep state last
// applied, the wake time last logged, the sets it found, and the plan's next
// wake-up.
struct PassCarry {
    bool keepAwake = false;
    FileTime lastWakeTime = 0;
    RecordingSet previousNow;
    RecordingSet previousNext;
    std::optional<FileTime> nextWakeUp;
};

// Everything a pass needs besides the recordings: the pass's one `now`, the
// zone's rules, and what the previous pass left behind.
struct PassInput {
    FileTime now = 0;
    TimeZone zone;
    bool keepAwake = false;
    FileTime lastWakeTime = 0;
    bool logOpen = false;
};

// What an arming of the wake timer is for. Every arming is made with resume:
// a sleep that nothing can refuse may come at any moment, and the PC must
// wake again for each of these.
enum class ArmingPurpose : std::uint8_t {
    wakeUp,  // the lead time before the next start: the plan's wake-up
    start,   // the lead time has begun: the next start itself
    stop,    // something records: its earliest stop
};

struct TimerArming {
    bool arm = false;  // false: the timer keeps whatever it had
    FileTime due = 0;  // absolute, UTC
    bool resume = false;
    ArmingPurpose purpose = ArmingPurpose::wakeUp;
    std::string title;  // the recording it is armed for
};

struct PassDecision {
    RecordingSet now;
    RecordingSet next;
    bool nowChanged = false;
    bool nextChanged = false;

    TimerArming timer;
    bool stayAwake = false;
    // stayAwake differs from the state last applied: the execution state is
    // set and, with a log, an allow-sleep line written.
    bool allowSleepChanged = false;

    // The start of the next recording less the lead time, while a next
    // recording is known: the wake-up a sleep must not come too close to.
    std::optional<FileTime> nextWakeUp;

    // The wake line: the plan's wake-up armed, a log open and a new wake time.
    bool logWake = false;
    FileTime lastWakeTime = 0;  // the state's new value

    std::string balloon;  // empty: no balloon

    // While sleep is allowed (nothing records, no lead time has begun), a
    // countdown may put the computer back to sleep at this deadline after an
    // automatic wake. While the computer must stay awake, countdowns that
    // earlier passes opened are closed, without a note and without a sleep
    // request. (Each would also find out at its next tick; closing them at
    // once takes the window away rather than letting it count down to a
    // sleep that will not come.)
    FileTime countdownDeadline = 0;
};

// The longest balloon text the shell's record holds (without its zero).
inline constexpr std::size_t kBalloonMaxLength = 255;

// `heading`, then a line feed and a title per recording, cut after
// kBalloonMaxLength bytes.
std::string balloonText(std::string_view heading, const RecordingSet& set);

PassDecision decidePass(const RecordingList& list, const PassInput& input, const Options& options,
                        const RecordingSet& previousNow, const RecordingSet& previousNext);

// What the state keeps of a decision, for the next pass.
void applyPassDecision(PassCarry& carry, const PassDecision& decision);

// Whether the countdown opens, tested in this order and stopping at the first
// that fails: nothing records and sleep is allowed; the system resumed
// automatically (asked only then); the user did not turn resuspending off.
bool countdownWanted(const PassDecision& decision, const Options& options,
                     const std::function<bool()>& resumedAutomatically);

// Renders a UTC time as a log timestamp (the system locale's date and time).
using LogStampFormatter = std::function<std::string(FileTime utc)>;

// The body of the pass's Event element (empty when there is nothing to log
// or no log is open), with its final line break.
std::string composePassFragment(const PassDecision& decision, const PassInput& input, const LogStampFormatter& stamp);

}  // namespace dormivel
