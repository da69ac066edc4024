// The tray menu's wake-up test, carried out: the question, the sleep with
// the wake timer armed two minutes ahead, and the result after the resume.
#pragma once

#include <windows.h>

#include <cstdint>

#include "app/app_state_win32.h"
#include "planner/wake_test.h"

namespace dormivel {

// The main window's timer that ends the settle time after an automatic
// resume.
inline constexpr UINT_PTR kWakeTestSettleTimer = 1;

// "&Test wake-up...": asks (or says why not), then closes the listed
// applications, arms the wake timer, logs the test and asks for sleep
// without blocking the window.
void offerWakeTest(HWND window, AppState& state);

// A power broadcast's code as a test under way sees it; called after the
// suspend and resume bookkeeping and before the late-wake report, which the
// test's own result replaces for its wake-up.
void followWakeTestBroadcast(HWND window, AppState& state, std::uint32_t code);

// The settle timer ran out, or the sleep request came back.
void endWakeTestSettle(HWND window, AppState& state);
void followWakeTestRequestReturned(HWND window, AppState& state);

}  // namespace dormivel
