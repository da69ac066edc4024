// Arithmetic of the sleep countdown.
#pragma once

#include <cstdint>
#include <string>

#include <optional>

#include "app/records.h"
#include "planner/wake_health.h"

namespace dormivel {

// Whole seconds from `now` to `deadline`, truncated toward zero (negative
// once the deadline has passed), clamped to the 32-bit range.
std::int32_t remainingSeconds(FileTime deadline, FileTime now);

// What one tick of an open countdown does.
enum class CountdownStep {
    none,          // the display already shows the remaining seconds
    show,          // show the remaining seconds
    requestSleep,  // log the note, close the listed applications, ask for sleep, close
    closeQuietly,  // close without the note and without a sleep request
};

// What the countdown knows at a tick besides the time: whether the program
// still allows sleep (the last pass's decision), and the count of suspends
// and resumes the system announced when the countdown opened and now.
struct CountdownTickInput {
    FileTime deadline = 0;
    FileTime now = 0;
    std::int32_t lastShown = 0;
    bool sleepAllowed = true;
    std::uint32_t powerEventsAtOpen = 0;
    std::uint32_t powerEventsNow = 0;
    // The next wake-up of the last pass's plan, and the sleeping method: a
    // sleep that would come too close to that wake-up is not requested.
    std::optional<FileTime> nextWakeUp;
    SleepMethod method = SleepMethod::suspend;
};

// A countdown is made for one decision: sleep was allowed when a pass opened
// it after an automatic wake. Applications cannot refuse a sleep request, so
// the countdown looks again at every tick: once the program no longer allows
// sleep, or the system has suspended or resumed since it opened (the wake it
// was made for is over), it closes without a note and without a request.
// Otherwise it asks for sleep when less than a whole second is left, unless
// the next wake-up lies so close that the sleep could swallow it: then it
// closes quietly too.
CountdownStep decideCountdownTick(const CountdownTickInput& tick);

// "H:MM:SS", the hours without leading zeros: 59 gives "0:00:59", 3725 gives
// "1:02:05", 36000 gives "10:00:00".
std::string formatCountdown(std::int32_t seconds);

}  // namespace dormivel
