#pragma once

#include "app/app_state_win32.h"

namespace dormivel {

// Fills the options from the command line; on a bad option or range shows
// the message and returns false.
bool applyOptions(int argc, wchar_t** argv, AppState& state);

}  // namespace dormivel
