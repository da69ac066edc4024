// The platform side of the wake-health check: reading its facts, arming the
// wake timer so that the answer counts, and the texts of the tray tip.
#pragma once

#include <windows.h>

#include <string_view>

#include "planner/wake_health.h"

namespace dormivel {

// The active power plan's allow-wake-timers values, the power source and the
// machine's sleep and wake abilities as the platform reports them now, with
// the chosen method and the last arming as given. powrprof.dll's functions
// are looked up at run time, never imported: a system (Wine among them)
// without one, or a call that fails, leaves its values unknown.
WakeFacts readWakeFacts(SleepMethod method, WakeArmResult lastArm);

// Arms `timer` for the absolute UTC time `due` with resume and says whether
// the system will wake for it.
WakeArmResult armWakeTimerWithResume(HANDLE timer, FileTime due);

// The wake-up as the tray tip names it: the local day's short name and the
// time without seconds in the user's formats, converted with the zone rules
// of that date.
TipWakeUp tipWakeUp(FileTime due, std::string_view title);

// Sets the tray icon's tip to `tip`, 8-bit text in the ANSI code page (as
// composeTrayTip makes it); at most kTrayTipMaxBytes of it are used.
bool setTrayTip(HWND mainWindow, std::string_view tip);

}  // namespace dormivel
