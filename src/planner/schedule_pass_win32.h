// The schedule pass as the platform carries it out.
#pragma once

#include "app/app_state_win32.h"

namespace dormivel {

// Reads the whole schedule (the stream is rewound by the caller) and brings
// the wake timer, the allow-sleep state, the list and the log up to date.
void runSchedulePass(AppState& state);

}  // namespace dormivel
