// The sleep countdown window.
#pragma once

#include "app/app_state_win32.h"

namespace dormivel {

// Handed to a new countdown, which owns and frees it from its creation on.
struct CountdownParams {
    AppState* appState = nullptr;
    HWND dialog = nullptr;
    FileTime deadline = 0;  // UTC
    std::int32_t lastShown = 0;
    // Set by the window when it takes the record over, so that the creator
    // can free a record whose window was never created.
    bool* attached = nullptr;
};

// Opens a countdown to `deadline`; one that has already run out logs,
// requests sleep and closes inside this call.
void openCountdown(AppState& state, FileTime deadline);

INT_PTR CALLBACK countdownDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace dormivel
