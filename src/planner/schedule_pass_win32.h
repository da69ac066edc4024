// The schedule pass as the platform carries it out.
#pragma once

#include <string_view>

#include "app/app_state_win32.h"
#include "schedule/schedule_reader.h"

namespace dormivel {

// Reads the whole schedule (the stream is rewound by the caller) and brings
// the list, the balloon, the wake timer, the allow-sleep state and the log up
// to date.
void runSchedulePass(AppState& state);

// The pass's view of the platform clock: the time-zone bias and the local
// year and month in force.
std::int32_t currentBiasMinutes();
ScheduleClock currentScheduleClock();

// One line of the upcoming list for a recording.
std::string formatUpcomingLine(const Recording& recording, const AppState& state, std::int32_t biasMinutes);

// A balloon on the tray icon, text cut to what the shell's record holds.
void showRecordingBalloon(std::string_view text, const AppState& state);

}  // namespace dormivel
