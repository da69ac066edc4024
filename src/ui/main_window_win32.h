// The hidden main window behind the tray icon.
#pragma once

#include "app/app_state_win32.h"

namespace dormivel {

// Creates the main dialog hidden, with the state as its creation parameter.
HWND createMainWindow(AppState& state);

INT_PTR CALLBACK mainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The shell's "TaskbarCreated" message, registered before any window exists.
UINT taskbarCreatedMessage();

}  // namespace dormivel
