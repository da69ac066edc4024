// The platform side of the wake-health check: reading its facts, and arming
// the wake timer so that the answer counts.
#pragma once

#include <windows.h>

#include <string_view>

#include "app/app_state_win32.h"
#include "planner/wake_health.h"

namespace dormivel {

// Mains or battery, as the platform reports it now; unknown when it cannot
// tell (a desktop without a battery may say either).
PowerSource currentPowerSource();

// The active power plan's allow-wake-timers values, the power source and the
// machine's sleep and wake abilities as the platform reports them now, with
// the chosen method and the last arming as given. The plan's and the
// capabilities' functions are looked up in powrprof.dll at run time: a
// system (Wine among them) without one of them, or a call that fails,
// leaves its values unknown.
WakeFacts readWakeFacts(SleepMethod method, WakeArmResult lastArm);

// Arms `timer` for the absolute UTC time `due` with resume and says whether
// the system will wake for it.
WakeArmResult armWakeTimerWithResume(HANDLE timer, FileTime due);

// The one arming of the state's wake timer: always with resume. It becomes
// the state's armed wake-up; what the system said of the plan's own wake-up
// is kept for the health check. Returns what the system said.
WakeArmResult armWakeTimer(AppState& state, const ArmedWake& wake);

// Reads the facts and assesses them; a change of health is logged and shown
// in a balloon; the tray tip follows.
void checkWakeHealth(AppState& state);

}  // namespace dormivel
