// The late wake-up as the platform reports it: in the log and a balloon.
#pragma once

#include "app/app_state_win32.h"

namespace dormivel {

// After a resume: the wake-up armed when the system went to sleep, if it
// lay more than two minutes before `resumedAt` and was still ahead at the
// suspend, is logged and shown.
void reportLateWake(AppState& state, FileTime resumedAt);

}  // namespace dormivel
