// Closing listed applications before sleep and starting listed programs
// after a wake.
#pragma once

#include "app/app_state_win32.h"

namespace dormivel {

void terminateApplications(AppState& state);
void closeApplicationWindow(HWND window, AppState& state);
void executePrograms(AppState& state);

}  // namespace dormivel
