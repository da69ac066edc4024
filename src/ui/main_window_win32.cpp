#include "ui/main_window_win32.h"

#include "app/clock_win32.h"
#include "eventlog/log_text.h"
#include "planner/late_wake_win32.h"
#include "planner/schedule_pass_win32.h"
#include "planner/sleep_guard.h"
#include "planner/wake_health_win32.h"
#include "process/process_control_win32.h"
#include "ui/resource.h"
#include "ui/tray_icon_win32.h"
#include "ui/wake_test_win32.h"

namespace dormivel {
namespace {

UINT gTaskbarCreated = 0;

AppState* stateOf(HWND window) {
    return reinterpret_cast<AppState*>(GetWindowLongPtrW(window, DWLP_USER));
}

void initialise(HWND window, AppState& state) {
    SetWindowLongPtrW(window, DWLP_USER, reinterpret_cast<LONG_PTR>(&state));

    const HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_DORMIVEL));
    SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    SetWindowTextW(window, L"Dormivel " DORMIVEL_VERSION_TEXT);

    INT tabStops[2] = {10, 50};
    SendDlgItemMessageW(window, IDC_UPCOMING_LIST, LB_SETTABSTOPS, 2, reinterpret_cast<LPARAM>(tabStops));

    static const wchar_t* const kSleepWhen[] = {L"Every time this happens", L"Just the next time this happens",
                                                L"Only when I am not present", L"Never"};
    for (const wchar_t* text : kSleepWhen) {
        SendDlgItemMessageW(window, IDC_SLEEP_WHEN, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    }
    EnableWindow(GetDlgItem(window, IDC_SLEEP_WHEN), FALSE);

    SendDlgItemMessageW(window, IDC_SLEEP_METHOD, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"Suspend (S3)"));
    SendDlgItemMessageW(window, IDC_SLEEP_METHOD, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"Hibernate (S4)"));
    SendDlgItemMessageW(window, IDC_SLEEP_METHOD, CB_SETCURSEL, state.options.useHibernate ? 1 : 0, 0);
}

std::wstring widenAnsi(std::string_view text) {
    if (text.empty()) return {};
    const int length = static_cast<int>(text.size());
    std::wstring wide(text.size(), L'\0');
    const int units = MultiByteToWideChar(CP_ACP, 0, text.data(), length, wide.data(), length);
    wide.resize(units > 0 ? static_cast<std::size_t>(units) : 0);
    return wide;
}

// A sleep came while the PC must stay awake: nothing can refuse it, so the
// wake timer is armed to wake the PC again soon after. A sleep just before
// the armed wake-up moves it there too, rather than lose it on the way down.
void armWakeAtSuspend(AppState& state, bool forRecording, FileTime now) {
    const SleepMethod method = state.options.useHibernate ? SleepMethod::hibernate : SleepMethod::suspend;
    const WakeFacts facts = readWakeFacts(method, state.lastResumeArm);
    const std::optional<ArmedWake>& armed = state.wake.armed;
    const std::optional<FileTime> due =
        wakeToArmAtSuspend(forRecording, armed ? std::optional<FileTime>(armed->due) : std::nullopt, now,
                           sleepToExpect(facts.s4, facts.hiberFile));
    if (!due) return;
    if (!forRecording && armed) {
        armWakeTimer(state, ArmedWake{*due, armed->title, armed->planned});
        return;
    }
    const RecordingSet& set = state.plan.previousNow.empty() ? state.plan.previousNext : state.plan.previousNow;
    armWakeTimer(state, ArmedWake{*due, set.empty() ? std::string() : set.front().title, false});
}

void showTrayMenu(HWND window) {
    POINT cursor{};
    GetCursorPos(&cursor);
    const HMENU menu = LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDM_TRAY));
    SetForegroundWindow(window);
    TrackPopupMenu(GetSubMenu(menu, 0), 0, cursor.x, cursor.y, 0, window, nullptr);
    DestroyMenu(menu);
}

void confirmClose(HWND window) {
    const int answer = MessageBoxW(window,
                                   L"Dormivel cannot wake your computer for scheduled recordings if it is not "
                                   L"running. Are you sure you wish to close Dormivel?",
                                   L"Dormivel", MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
    if (answer == IDYES) PostQuitMessage(0);
}

INT_PTR onCommand(HWND window, AppState& state, WPARAM wParam) {
    const UINT id = LOWORD(wParam);
    const UINT code = HIWORD(wParam);
    if (id == IDC_SLEEP_METHOD && code == CBN_SELCHANGE) {
        state.options.useHibernate = SendDlgItemMessageW(window, IDC_SLEEP_METHOD, CB_GETCURSEL, 0, 0) == 1;
        checkWakeHealth(state);
        return TRUE;
    }
    if (id == IDM_TRAY_TEST_WAKE && code == 0) {
        offerWakeTest(window, state);
        return TRUE;
    }
    if (id == IDM_TRAY_CLOSE && code == 0) {
        confirmClose(window);
        return TRUE;
    }
    return FALSE;
}

INT_PTR onTrayCallback(HWND window, LPARAM lParam) {
    switch (static_cast<UINT>(lParam)) {
        case WM_LBUTTONDOWN:
            ShowWindow(window, SW_SHOW);
            return TRUE;
        case WM_RBUTTONUP:
        case WM_CONTEXTMENU:
            showTrayMenu(window);
            return TRUE;
        default:
            return FALSE;
    }
}

bool isResume(WPARAM event) {
    return event == kPowerResumeAutomatic || event == kPowerResumeSuspend || event == kPowerResumeCritical;
}

INT_PTR onPowerBroadcast(HWND window, AppState& state, WPARAM event) {
    const PowerStep step = respondToPowerEvent(state.power, state.plan.keepAwake, static_cast<std::uint32_t>(event));
    state.power = step.flags;
    const PowerActions& actions = step.actions;
    if (actions.refuseQuery) {
        SetWindowLongPtrW(window, DWLP_MSGRESULT, BROADCAST_QUERY_DENY);
        return TRUE;
    }
    if (actions.closeApplications) terminateApplications(state.options.terminateList, state.logFile);
    if (actions.logSuspend) {
        const FileTime now = currentFileTime();
        armWakeAtSuspend(state, actions.armWakeForRecording, now);
        appendEvent(state.logFile, kSystemSuspendBody);
        if (actions.armWakeForRecording && state.wake.armed) {
            appendEvent(state.logFile, formatWakeUpForRecording(formatLogTimestampUtc(
                                           state.wake.armed->due, currentScheduleClock(state).zone)));
        }
        noteSuspend(state.wake, now);
    }
    if (actions.logResume) appendEvent(state.logFile, kSystemResumeBody);
    if (actions.startPrograms) executePrograms(state.options.executeList, state.logFile);
    if (actions.showWokenAgain) {
        showTrayBalloon(state.mainWindow, composeWokenAgainBalloon(state.plan.previousNow, state.plan.previousNext));
    }
    followWakeTestBroadcast(window, state, static_cast<std::uint32_t>(event));
    if (actions.resumed) reportLateWake(state, currentFileTime());
    // The source may have changed while the PC slept.
    if (actions.resumed || actions.powerSourceChanged) applyExecutionState(state);
    if (actions.resumed || actions.powerSourceChanged) checkWakeHealth(state);
    if (isResume(event)) {
        // The folder's notification may not have lived through the sleep (a
        // network share that dropped, a folder replaced meanwhile).
        state.watchRenewalDue = true;
        state.passRequested = true;
    }
    if (actions.logSuspend) flushEventLog(state.logFile);
    return FALSE;
}

// A shutdown, restart or sign-out asks first: while the PC must stay awake
// the answer is no, with a reason Windows shows beside the program, so that
// the person sees what is at stake and decides.
INT_PTR onQueryEndSession(HWND window, AppState& state) {
    const TimeZone zone = currentScheduleClock(state).zone;
    const EndSessionAnswer answer =
        answerEndSessionQuery(state.plan.keepAwake, state.plan.previousNow, state.plan.previousNext,
                              [&zone](FileTime utc) { return tipWakeUp(utc, "", zone).time; });
    if (!answer.allow) {
        const std::wstring reason = widenAnsi(answer.reason);
        state.shutdownBlocked = ShutdownBlockReasonCreate(window, reason.c_str()) != FALSE;
    } else if (state.shutdownBlocked) {
        ShutdownBlockReasonDestroy(window);
        state.shutdownBlocked = false;
    }
    SetWindowLongPtrW(window, DWLP_MSGRESULT, answer.allow ? TRUE : FALSE);
    return TRUE;
}

// The session ends: once this returns the process may be ended at any
// moment, so everything a confirmed close does to the outside happens here.
INT_PTR onEndSession(HWND window, AppState& state, WPARAM ending, LPARAM flags) {
    if (ending == FALSE) return TRUE;
    appendEvent(state.logFile, formatSessionEnd(sessionEndReason(static_cast<std::uint32_t>(flags))));
    closeEventLog(state.logFile);
    removeTrayIcon(window);
    PostQuitMessage(0);
    return TRUE;
}

}  // namespace

UINT taskbarCreatedMessage() {
    if (gTaskbarCreated == 0) gTaskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
    return gTaskbarCreated;
}

HWND createMainWindow(AppState& state) {
    taskbarCreatedMessage();
    return CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_MAIN), nullptr, mainDialogProc,
                              reinterpret_cast<LPARAM>(&state));
}

INT_PTR CALLBACK mainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        initialise(window, *reinterpret_cast<AppState*>(lParam));
        return TRUE;
    }
    AppState* state = stateOf(window);
    if (state == nullptr) return FALSE;
    if (message != 0 && message == gTaskbarCreated) {
        restoreTrayIcon(*state);
        return TRUE;
    }
    switch (message) {
        case WM_CLOSE:
            ShowWindow(window, SW_HIDE);
            return TRUE;
        case WM_COMMAND:
            return onCommand(window, *state, wParam);
        case kTrayCallbackMessage:
            return onTrayCallback(window, lParam);
        case WM_POWERBROADCAST:
            return onPowerBroadcast(window, *state, wParam);
        case WM_TIMER:
            if (wParam != kWakeTestSettleTimer) return FALSE;
            endWakeTestSettle(window, *state);
            return TRUE;
        case WM_QUERYENDSESSION:
            return onQueryEndSession(window, *state);
        case WM_ENDSESSION:
            return onEndSession(window, *state, wParam, lParam);
        case WM_TIMECHANGE:
            // The clock or the time zone changed: the armed wake-up must
            // follow. The pass runs from the main loop, never from here.
            state->passRequested = true;
            state->zoneStale = true;
            return TRUE;
        case kWakeTimerFired:
            // Served here, not by the main loop's wait, so that the pass also
            // runs while a modal loop (a message box, the tray menu) is open.
            state->passRequested = true;
            runRequestedPasses(*state);
            return TRUE;
        case kSleepRequestDone:
            state->power.ownSleepRequested = false;
            followWakeTestRequestReturned(window, *state);
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace dormivel
