#include "planner/countdown_win32.h"

#include <commctrl.h>
#include <powrprof.h>

#include <memory>

#include "app/clock_win32.h"
#include "app/handle_win32.h"
#include "eventlog/log_text.h"
#include "planner/countdown.h"
#include "planner/sleep_guard.h"
#include "process/process_control_win32.h"
#include "ui/resource.h"

namespace dormivel {
namespace {

constexpr UINT_PTR kTimerId = 0;
constexpr UINT kTickMs = 100;

CountdownParams* paramsOf(HWND window) {
    return reinterpret_cast<CountdownParams*>(GetWindowLongPtrW(window, DWLP_USER));
}

struct SleepRequest {
    HWND notify = nullptr;
    BOOLEAN hibernate = FALSE;
};

// The sleep request blocks until the computer has woken again. It is made
// on a thread of its own, so that the window thread goes on handling
// messages: the system announces the suspend to the windows while the
// request runs, and waits only moments for them to answer.
DWORD WINAPI requestSleep(LPVOID context) {
    const std::unique_ptr<const SleepRequest> request(static_cast<const SleepRequest*>(context));
    SetSuspendState(request->hibernate, FALSE, FALSE);
    if (request->notify != nullptr) PostMessageW(request->notify, kSleepRequestDone, 0, 0);
    return 0;
}

// One tick; when the countdown ends the window is closed and the record
// freed, so the caller must not touch either afterwards.
void tick(CountdownParams& params) {
    AppState& state = *params.appState;
    const SleepMethod method = state.options.useHibernate ? SleepMethod::hibernate : SleepMethod::suspend;
    const CountdownTickInput input{
        params.deadline,          currentFileTime(),       params.lastShown,      !state.plan.keepAwake,
        params.powerEventsAtOpen, state.power.powerEvents, state.plan.nextWakeUp, method};
    const std::int32_t remaining = remainingSeconds(input.deadline, input.now);
    switch (decideCountdownTick(input)) {
        case CountdownStep::none:
            break;
        case CountdownStep::show:
            params.lastShown = remaining;
            SendDlgItemMessageW(params.dialog, IDC_COUNTDOWN_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(remaining), 0);
            SetDlgItemTextA(params.dialog, IDC_COUNTDOWN_CLOCK, formatCountdown(remaining).c_str());
            break;
        case CountdownStep::requestSleep:
            appendEvent(state.logFile, kSuspendNoteBody);
            KillTimer(params.dialog, kTimerId);
            // The listed applications are closed before the request: the
            // suspend notification comes too late for a polite close.
            terminateApplications(state.options.terminateList, state.logFile);
            // The window goes before the computer does; the record goes with
            // it, the state stays.
            SendMessageW(params.dialog, WM_CLOSE, 0, 0);
            // Closing them may take seconds: the next wake-up, and whether a
            // pass meanwhile kept the PC awake, are looked at once more.
            if (!state.plan.keepAwake && !sleepWouldMissWakeUp(state.plan.nextWakeUp, currentFileTime(), method)) {
                startSleepRequest(state);
            }
            break;
        case CountdownStep::closeQuietly:
            KillTimer(params.dialog, kTimerId);
            SendMessageW(params.dialog, WM_CLOSE, 0, 0);
            break;
    }
}

BOOL CALLBACK closeIfCountdown(HWND window, LPARAM) {
    if (GetWindowLongPtrW(window, DWLP_DLGPROC) == reinterpret_cast<LONG_PTR>(&countdownDialogProc)) {
        SendMessageW(window, WM_CLOSE, 0, 0);
    }
    return TRUE;
}

}  // namespace

void startSleepRequest(AppState& state) {
    auto request = std::make_unique<SleepRequest>(
        SleepRequest{state.mainWindow, static_cast<BOOLEAN>(state.options.useHibernate ? TRUE : FALSE)});
    state.power.ownSleepRequested = true;
    // The thread owns the request once it runs; a thread that could not be
    // made leaves it here, and the request is made from this one rather than
    // not at all.
    if (ownHandle(CreateThread(nullptr, 0, requestSleep, request.get(), 0, nullptr))) {
        (void)request.release();
        return;
    }
    requestSleep(request.release());
}

void openCountdown(AppState& state, FileTime deadline) {
    // The window takes the record out of `params` at its initialisation; a
    // window that never came to be leaves it here, to be freed on return.
    auto params =
        std::make_unique<CountdownParams>(CountdownParams{&state, nullptr, deadline, 0, state.power.powerEvents});
    CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_COUNTDOWN), nullptr, countdownDialogProc,
                       reinterpret_cast<LPARAM>(&params));
}

void closeCountdowns() {
    EnumThreadWindows(GetCurrentThreadId(), closeIfCountdown, 0);
}

INT_PTR CALLBACK countdownDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            CountdownParams* params = reinterpret_cast<std::unique_ptr<CountdownParams>*>(lParam)->release();
            SetWindowLongPtrW(window, DWLP_USER, reinterpret_cast<LONG_PTR>(params));
            params->dialog = window;
            const std::int32_t remaining = remainingSeconds(params->deadline, currentFileTime());
            SendDlgItemMessageW(window, IDC_COUNTDOWN_PROGRESS, PBM_SETRANGE32, 0, remaining);
            SetTimer(window, kTimerId, kTickMs, nullptr);
            tick(*params);
            return TRUE;
        }
        case WM_TIMER:
            if (CountdownParams* params = paramsOf(window)) tick(*params);
            return TRUE;
        case WM_COMMAND:
            if (HIWORD(wParam) == 0 && LOWORD(wParam) == IDCANCEL) {
                SendMessageW(window, WM_CLOSE, 0, 0);
                return TRUE;
            }
            return FALSE;
        case WM_CLOSE:
            if (const std::unique_ptr<CountdownParams> params{paramsOf(window)}) {
                SetWindowLongPtrW(window, DWLP_USER, 0);
                DestroyWindow(params->dialog);
            }
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace dormivel
