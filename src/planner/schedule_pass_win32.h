// The schedule pass as the platform carries it out.
#pragma once

#include <cstdio>
#include <string_view>

#include "app/app_state_win32.h"
#include "schedule/schedule_reader.h"

namespace dormivel {

// Reads the whole schedule and brings the list, the balloon, the wake timer,
// the allow-sleep state, the open countdowns and the log up to date. The
// file is opened by its path and closed again, unless start-up hands over
// the stream it opened (`opened`, closed here). A read that fails leaves the
// plan to the recordings of the last read that worked.
void runSchedulePass(AppState& state, FILE* opened = nullptr);

// Runs the pass asked for in `passRequested`, and one more for each request
// made while it ran (from a message dispatched inside it), one after the
// other. Called while a pass runs, it returns at once: that pass's caller
// runs the request when it ends.
void runRequestedPasses(AppState& state);

// Tells the system what the state's allow-sleep decision needs: nothing
// while sleep is allowed; while the PC must stay awake, the system required,
// with away mode unless it runs on battery. Called again when the power
// source changes; does nothing when the flags are those applied last.
void applyExecutionState(AppState& state);

// The pass's view of the platform clock: the local year and month, and the
// zone's rules (kept in the state, read again when stale).
ScheduleClock currentScheduleClock(AppState& state);

// One line of the upcoming list for a recording.
std::string formatUpcomingLine(const Recording& recording, const Options& options, const TimeZone& zone);

}  // namespace dormivel
