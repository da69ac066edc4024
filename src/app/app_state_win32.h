// The one application state record: the options, the resources held open
// from start to end, and what the schedule passes carry from one to the next.
#pragma once

#include <windows.h>

#include <cstdio>

#include "app/records.h"
#include "cmdline/options.h"
#include "eventlog/event_log_win32.h"

namespace dormivel {

// The schedule file, opened once for shared reading; every pass rewinds it
// and reads it whole.
struct ScheduleStream {
    FILE* file = nullptr;
};

struct AppState {
    Options options;

    EventLog logFile;
    bool keepAwake = false;           // the allow-sleep state last applied
    bool suspendQueryDenied = false;  // a suspend query was refused
    bool systemSuspended = false;     // between a suspend and its resume
    ScheduleStream scheduleStream;
    HANDLE wakeTimer = nullptr;
    HICON smallIcon = nullptr;
    HWND mainWindow = nullptr;
    FileTime lastWakeTime = 0;  // the wake time last logged
    RecordingSet previousNow;
    RecordingSet previousNext;
};

// Loads the 16-pixel tray icon; a failed load leaves `smallIcon` null.
void initAppState(AppState& state);

// Releases what the state owns, in this order: the wake timer, the icon, the
// previous sets, the schedule stream, the event log (with its stop marker),
// then the option lists. The main window is not the state's to destroy.
void destroyAppState(AppState& state);

}  // namespace dormivel
