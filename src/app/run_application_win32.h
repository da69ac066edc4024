// Start-up and the main wait loop.
#pragma once

#include "app/app_state_win32.h"

namespace dormivel {

// The road from the command line to WM_QUIT: 0 after a normal quit, -1 after
// a start-up failure (a message box has then been shown).
int runApplication(AppState& state, int argc, wchar_t** argv);

}  // namespace dormivel
