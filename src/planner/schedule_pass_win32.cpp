#include "planner/schedule_pass_win32.h"

#include <shellapi.h>

#include <cstdio>
#include <string>

#include "app/clock_win32.h"
#include "planner/countdown_win32.h"
#include "planner/pass_decision.h"
#include "planner/selection.h"
#include "schedule/upcoming_line.h"
#include "ui/resource.h"

namespace dormivel {
namespace {

// The schedule file in chunks, as the runtime's text mode delivers it.
ByteReader scheduleFileReader(FILE* file) {
    return [file](char* buffer, std::size_t size) -> std::ptrdiff_t {
        const std::size_t got = std::fread(buffer, 1, size, file);
        if (got == 0 && std::ferror(file) != 0) return -1;
        return static_cast<std::ptrdiff_t>(got);
    };
}

void refreshUpcomingList(const AppState& state, const RecordingList& list, std::int32_t biasMinutes) {
    const HWND listBox = GetDlgItem(state.mainWindow, IDC_UPCOMING_LIST);
    SendMessageW(listBox, LB_RESETCONTENT, 0, 0);
    for (const Recording& r : list) {
        const std::string line = formatUpcomingLine(r, state, biasMinutes);
        SendMessageA(listBox, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
    }
}

void armWakeTimer(const AppState& state, const TimerArming& arming) {
    LARGE_INTEGER due;
    due.QuadPart = static_cast<LONGLONG>(arming.due);  // positive: absolute UTC
    SetWaitableTimer(state.wakeTimer, &due, 0, nullptr, nullptr, arming.resume ? TRUE : FALSE);
}

}  // namespace

std::int32_t currentBiasMinutes() {
    // The bias exactly as the platform's own conversion applies it now.
    FILETIME utc;
    GetSystemTimeAsFileTime(&utc);
    FILETIME local;
    if (!FileTimeToLocalFileTime(&utc, &local)) return 0;
    const auto difference = static_cast<std::int64_t>(fromFileTime(utc) - fromFileTime(local));
    return static_cast<std::int32_t>(difference / (60 * 10'000'000LL));
}

ScheduleClock currentScheduleClock() {
    SYSTEMTIME local;
    GetLocalTime(&local);
    return ScheduleClock{local.wYear, local.wMonth, currentBiasMinutes()};
}

std::string formatUpcomingLine(const Recording& recording, const AppState& state, std::int32_t biasMinutes) {
    const FILETIME start = toFileTime(recording.start);
    FILETIME localStart;
    SYSTEMTIME split{};
    FileTimeToLocalFileTime(&start, &localStart);
    FileTimeToSystemTime(&localStart, &split);
    char time[128];
    const int length = GetTimeFormatA(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &split, nullptr, time, sizeof time);
    const std::string_view timeText(time, length > 0 ? static_cast<std::size_t>(length - 1) : 0);
    return composeUpcomingLine(isEligible(recording, state.options, biasMinutes), timeText, recording.title);
}

void showRecordingBalloon(std::string_view text, const AppState& state) {
    NOTIFYICONDATAA data{};
    data.cbSize = NOTIFYICONDATAA_V2_SIZE;
    data.hWnd = state.mainWindow;
    data.uID = 0;
    data.uFlags = NIF_INFO;
    const std::size_t length = text.size() < sizeof data.szInfo ? text.size() : sizeof data.szInfo - 1;
    text.copy(data.szInfo, length);
    data.uTimeout = 0;
    lstrcpynA(data.szInfoTitle, "Dormivel", sizeof data.szInfoTitle);
    data.dwInfoFlags = NIIF_INFO;
    Shell_NotifyIconA(NIM_MODIFY, &data);
}

void runSchedulePass(AppState& state) {
    RecordingList list;
    if (readSchedule(list, scheduleFileReader(state.scheduleStream.file), currentScheduleClock()) ==
        ReadStatus::readError) {
        list.clear();
    }

    PassInput input;
    input.now = currentFileTime();
    input.biasMinutes = currentBiasMinutes();
    input.keepAwake = state.keepAwake;
    input.lastWakeTime = state.lastWakeTime;
    input.logOpen = isLogOpen(state.logFile);

    const PassDecision decision = decidePass(list, input, state.options, state.previousNow, state.previousNext);
    refreshUpcomingList(state, list, input.biasMinutes);

    if (decision.nowChanged) state.previousNow = decision.now;
    if (decision.nextChanged) state.previousNext = decision.next;
    if (!decision.balloon.empty()) showRecordingBalloon(decision.balloon, state);

    if (decision.timer.arm) armWakeTimer(state, decision.timer);
    state.lastWakeTime = decision.lastWakeTime;

    if (decision.allowSleepChanged) {
        state.keepAwake = decision.stayAwake;
        SetThreadExecutionState(decision.stayAwake ? ES_CONTINUOUS | ES_SYSTEM_REQUIRED : ES_CONTINUOUS);
    }

    // The log text is composed now, with the bias in force during the pass;
    // a countdown that runs out at once sleeps inside its creation.
    const std::string fragment = composePassFragment(decision, input, formatLogTimestampUtc);

    if (countdownWanted(decision, state.options, [] { return IsSystemResumeAutomatic() != FALSE; })) {
        openCountdown(state, decision.countdownDeadline);
    }

    if (!fragment.empty()) appendEvent(state.logFile, fragment);
}

}  // namespace dormivel
