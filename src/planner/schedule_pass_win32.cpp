#include "planner/schedule_pass_win32.h"

#include <string>

#include "app/clock_win32.h"
#include "eventlog/log_text.h"
#include "planner/countdown_win32.h"
#include "planner/pass_decision.h"
#include "planner/selection.h"
#include "planner/sleep_guard.h"
#include "planner/wake_health_win32.h"
#include "planner/wake_test.h"
#include "schedule/schedule_file_win32.h"
#include "schedule/upcoming_line.h"
#include "ui/resource.h"
#include "ui/tray_icon_win32.h"

namespace dormivel {
namespace {

// Reads the open schedule file to its end into `list`, in chunks; how the
// read went.
ScheduleAccess readScheduleFile(FILE* file, RecordingList& list, const ScheduleClock& clock) {
    const ByteReader fromFile = [file](char* buffer, std::size_t size) -> std::ptrdiff_t {
        const std::size_t got = std::fread(buffer, 1, size, file);
        if (got == 0 && std::ferror(file) != 0) return -1;
        return static_cast<std::ptrdiff_t>(got);
    };
    if (readSchedule(list, fromFile, clock) == ReadStatus::readError) {
        return classifyScheduleError(static_cast<std::uint32_t>(_doserrno));
    }
    return ScheduleAccess::read;
}

void refreshUpcomingList(HWND mainWindow, const RecordingList& list, const Options& options, const TimeZone& zone) {
    const HWND listBox = GetDlgItem(mainWindow, IDC_UPCOMING_LIST);
    // No drawing while the list is rebuilt, and room for every line at once.
    SendMessageW(listBox, WM_SETREDRAW, FALSE, 0);
    SendMessageW(listBox, LB_RESETCONTENT, 0, 0);
    constexpr LPARAM kBytesPerLine = 64;
    SendMessageW(listBox, LB_INITSTORAGE, list.size(), static_cast<LPARAM>(list.size()) * kBytesPerLine);
    for (const Recording& r : list) {
        const std::string line = formatUpcomingLine(r, options, zone);
        SendMessageA(listBox, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
    }
    SendMessageW(listBox, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(listBox, nullptr, TRUE);
}

// Reads the file; on success the recordings read become the plan's. False
// when there is nothing to plan with yet.
bool readIntoPlan(AppState& state, FILE* opened, const ScheduleClock& clock) {
    RecordingList list;
    ScheduleAccess access = ScheduleAccess::read;
    std::uint32_t error = 0;
    FILE* file = opened != nullptr ? opened : openScheduleFile(state.schedulePath, error);
    if (file == nullptr) {
        access = classifyScheduleError(error);
    } else {
        access = readScheduleFile(file, list, clock);
        // Opened for reading only: a failed close loses nothing.
        (void)std::fclose(file);
        // A file written moments ago may have been cut short by its writer.
        if (access == ScheduleAccess::read &&
            !scheduleStandsStill(readScheduleStamp(state.schedulePath), state.settledStamp, currentFileTime())) {
            access = ScheduleAccess::changing;
        }
    }
    const ScheduleReadStep step = onScheduleRead(state.scheduleRead, access, GetTickCount64());
    if (step.logFailure) appendEvent(state.logFile, formatScheduleReadError(step.reason));
    if (step.useRecordings) {
        state.recordings = std::move(list);
        state.recordingsRead = true;
    }
    return state.recordingsRead;
}

}  // namespace

ScheduleClock currentScheduleClock(AppState& state) {
    SYSTEMTIME local;
    GetLocalTime(&local);
    if (state.zoneStale || state.zoneYear != local.wYear) {
        state.zone = currentTimeZone();
        state.zoneYear = local.wYear;
        state.zoneStale = false;
    }
    return ScheduleClock{local.wYear, local.wMonth, state.zone};
}

std::string formatUpcomingLine(const Recording& recording, const Options& options, const TimeZone& zone) {
    const SYSTEMTIME split = toSystemTime(utcToLocalDateTime(recording.start, zone));
    return composeUpcomingLine(isEligible(recording, options, zone), formatLocaleText(split, LocaleText::userTime),
                               recording.title);
}

void applyExecutionState(AppState& state) {
    const bool keepAwake = state.plan.keepAwake;
    const std::uint32_t wanted = executionStateFor(keepAwake, keepAwake ? currentPowerSource() : PowerSource::unknown);
    if (wanted == state.executionState) return;
    state.executionState = wanted;
    // A system that cannot enter away mode may refuse the whole request;
    // staying awake matters more than the away mode.
    if (SetThreadExecutionState(wanted) == 0 && (wanted & kEsAwayModeRequired) != 0) {
        SetThreadExecutionState(wanted & ~kEsAwayModeRequired);
    }
}

void runSchedulePass(AppState& state, FILE* opened) {
    const ScheduleClock clock = currentScheduleClock(state);
    if (!readIntoPlan(state, opened, clock)) return;

    PassInput input;
    input.now = currentFileTime();
    input.zone = clock.zone;
    input.keepAwake = state.plan.keepAwake;
    input.lastWakeTime = state.plan.lastWakeTime;
    input.logOpen = isLogOpen(state.logFile);

    const PassDecision decision =
        decidePass(state.recordings, input, state.options, state.plan.previousNow, state.plan.previousNext);
    refreshUpcomingList(state.mainWindow, state.recordings, state.options, input.zone);
    applyPassDecision(state.plan, decision);
    if (!decision.balloon.empty()) showTrayBalloon(state.mainWindow, decision.balloon);

    if (decision.timer.arm) {
        const TimerArming& arming = decision.timer;
        armWakeTimer(state, ArmedWake{arming.due, arming.title, arming.purpose == ArmingPurpose::wakeUp});
    }
    applyExecutionState(state);
    if (decision.stayAwake) closeCountdowns();

    // The log text is composed now, with the zone of the pass; a countdown
    // that runs out at once asks for sleep inside its creation.
    const std::string fragment = composePassFragment(
        decision, input, [&zone = input.zone](FileTime utc) { return formatLogTimestampUtc(utc, zone); });

    // Whoever ran a wake-up test sees its result before any countdown.
    const bool heldByWakeTest = passHeldByWakeTest(state.wakeTest);
    if (!heldByWakeTest &&
        countdownWanted(decision, state.options, [] { return IsSystemResumeAutomatic() != FALSE; })) {
        openCountdown(state, decision.countdownDeadline);
    }

    if (!fragment.empty()) appendEvent(state.logFile, fragment);

    // Arming the plan's wake-up is the moment to find out whether it can
    // wake the machine; any pass may change the wake-up the tip names.
    if (decision.timer.arm && decision.timer.purpose == ArmingPurpose::wakeUp) {
        checkWakeHealth(state);
    } else {
        refreshTrayTip(state);
    }
}

void runRequestedPasses(AppState& state) {
    if (state.passRunning) return;
    state.passRunning = true;
    while (state.passRequested) {
        state.passRequested = false;
        runSchedulePass(state);
    }
    state.passRunning = false;
}

}  // namespace dormivel
