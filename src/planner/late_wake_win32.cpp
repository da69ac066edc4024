#include "planner/late_wake_win32.h"

#include "eventlog/event_log_win32.h"
#include "eventlog/log_text.h"
#include "planner/schedule_pass_win32.h"
#include "ui/tray_icon_win32.h"

namespace dormivel {

void reportLateWake(AppState& state, FileTime resumedAt) {
    const std::optional<LateWake> late = noteResume(state.wake, resumedAt);
    if (!late) return;
    appendEvent(state.logFile, formatLateWake(formatLogTimestampUtc(late->due, currentScheduleClock(state).zone)));
    showTrayBalloon(state.mainWindow, composeLateWakeBalloon(*late));
}

}  // namespace dormivel
