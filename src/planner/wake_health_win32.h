// The platform side of the wake-health check: reading its facts, arming the
// wake timer so that the answer counts, and the texts of the tray tip.
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
// is kept for the health check.
void armWakeTimer(AppState& state, const ArmedWake& wake);

// The wake-up as the tray tip names it: the local day's short name and the
// time without seconds in the user's formats, converted by `zone`'s rules for
// that date, as the list and the log convert.
TipWakeUp tipWakeUp(FileTime due, std::string_view title, const TimeZone& zone);

// Reads the facts and assesses them; a change of health is logged and shown
// in a balloon; the tray tip follows.
void checkWakeHealth(AppState& state);

// The tray tip for the health and the wake-up armed with resume, set when it
// changes.
void refreshTrayTip(AppState& state);

// After a resume: the wake-up armed when the system went to sleep, if it
// lay more than two minutes before `resumedAt` and was still ahead at the
// suspend, is logged and shown.
void reportLateWake(AppState& state, FileTime resumedAt);

}  // namespace dormivel
