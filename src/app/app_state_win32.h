// The one application state record: the options, the resources held open
// from start to end, and what the schedule passes carry from one to the next.
#pragma once

#include <windows.h>

#include <string>

#include "app/handle_win32.h"
#include "app/records.h"
#include "app/time_zone.h"
#include "cmdline/options.h"
#include "eventlog/event_log_win32.h"
#include "planner/late_wake.h"
#include "planner/pass_decision.h"
#include "planner/sleep_guard.h"
#include "planner/wake_health.h"
#include "planner/wake_test.h"
#include "schedule/schedule_file.h"
#include "schedule/schedule_reader.h"
#include "ui/power_events.h"

namespace dormivel {

struct AppState {
    Options options;

    EventLog logFile;
    // What the last pass left for the next: keepAwake, lastWakeTime,
    // previousNow, previousNext and the next wake-up.
    PassCarry plan;
    PowerFlags power;  // the bookkeeping of suspend queries, suspends and resumes
    // The schedule file's full path as start-up located it; every pass opens
    // the file by it and closes it again.
    std::wstring schedulePath;
    UniqueHandle wakeTimer;
    HICON smallIcon = nullptr;
    HWND mainWindow = nullptr;

    // The recordings of the last read that worked: a pass whose read fails
    // plans with them, so the plan goes on as it was until a read works.
    RecordingList recordings;
    bool recordingsRead = false;
    ScheduleReadEpisode scheduleRead;
    // The schedule file's stamp as the settle last saw it stand still.
    FileStamp settledStamp;
    // A pass is asked for (the clock or the time zone changed, the wake
    // timer fired, a resume, a settled change): runRequestedPasses runs it.
    // While a pass runs, a request waits for its end, never nests inside it.
    bool passRequested = false;
    bool passRunning = false;
    // A resume was announced: the main loop renews the change notification
    // on the schedule's folder before its next wait.
    bool watchRenewalDue = false;
    // The zone's rules as last read (reading them for other years is slow
    // enough to matter at every pass); read again after a time change and
    // when the local year turns.
    TimeZone zone;
    std::uint16_t zoneYear = 0;
    bool zoneStale = true;

    // Wake health: the state last reported (none before the first check),
    // what the last arming of the plan's wake-up said, the timer's arming
    // and the one in force at the last suspend, and the tip the tray icon
    // shows.
    std::optional<WakeHealth> wakeHealth;
    WakeArmResult lastResumeArm = WakeArmResult::notArmed;
    WakeWatch wake;
    std::string trayTip = "Dormivel";

    // Around sleeps and shutdowns nobody can refuse: the execution state
    // last applied (the process starts with none required), and whether a
    // shutdown is being held off with a reason.
    std::uint32_t executionState = kEsContinuous;
    bool shutdownBlocked = false;

    // The wake-up test from the tray menu, while one is under way.
    WakeTest wakeTest;
};

// Posted to the main window when a sleep request that a countdown or a
// wake-up test made has returned (the computer woke again, or the request
// failed).
inline constexpr UINT kSleepRequestDone = WM_APP + 1;

// Posted to the main window when the wake timer fired; dispatched by the
// main loop and by every modal loop alike.
inline constexpr UINT kWakeTimerFired = WM_APP + 2;

// Loads the 16-pixel tray icon; a failed load leaves `smallIcon` null.
void initAppState(AppState& state);

// Releases what the state owns, in this order: the wake timer, the icon, the
// previous sets, the event log (with its stop marker), then the option
// lists. The main window is not the state's to destroy.
void destroyAppState(AppState& state);

}  // namespace dormivel
