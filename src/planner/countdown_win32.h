// The sleep countdown window.
#pragma once

#include "app/app_state_win32.h"

namespace dormivel {

// Handed to a new countdown, whose window owns it from its initialisation
// on and frees it when it closes.
struct CountdownParams {
    AppState* appState = nullptr;
    HWND dialog = nullptr;
    FileTime deadline = 0;  // UTC
    std::int32_t lastShown = 0;
    // The suspends and resumes the system had announced when the countdown
    // opened; once that changes, the wake it was made for is over.
    std::uint32_t powerEventsAtOpen = 0;
};

// Opens a countdown to `deadline`; one that has already run out logs,
// requests sleep and closes inside this call.
void openCountdown(AppState& state, FileTime deadline);

// Asks for sleep by the chosen method on a thread of its own, so that the
// window thread answers the system's notifications meanwhile; the main
// window gets kSleepRequestDone when the request has come back. The caller
// has closed the listed applications.
void startSleepRequest(AppState& state);

// Closes every open countdown of this thread without a note and without a
// sleep request.
void closeCountdowns();

INT_PTR CALLBACK countdownDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace dormivel
