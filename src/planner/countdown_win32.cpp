#include "planner/countdown_win32.h"

#include <commctrl.h>
#include <powrprof.h>

#include "app/clock_win32.h"
#include "eventlog/log_text.h"
#include "planner/countdown.h"
#include "ui/resource.h"

namespace dormivel {
namespace {

constexpr UINT_PTR kTimerId = 0;
constexpr UINT kTickMs = 100;

CountdownParams* paramsOf(HWND window) {
    return reinterpret_cast<CountdownParams*>(GetWindowLongPtrW(window, DWLP_USER));
}

// One tick; at expiry the window is closed and the record freed, so the
// caller must not touch either afterwards.
void tick(CountdownParams& params) {
    const std::int32_t remaining = remainingSeconds(params.deadline, currentFileTime());
    if (remaining <= 0) {
        appendEvent(params.appState->logFile, kSuspendNoteBody);
        KillTimer(params.dialog, kTimerId);
        SetSuspendState(params.appState->options.useHibernate ? TRUE : FALSE, FALSE, FALSE);
        SendMessageW(params.dialog, WM_CLOSE, 0, 0);
        return;
    }
    if (remaining != params.lastShown) {
        params.lastShown = remaining;
        SendDlgItemMessageW(params.dialog, IDC_COUNTDOWN_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(remaining), 0);
        SetDlgItemTextA(params.dialog, IDC_COUNTDOWN_CLOCK, formatCountdown(remaining).c_str());
    }
}

}  // namespace

void openCountdown(AppState& state, FileTime deadline) {
    bool attached = false;
    auto* params = new CountdownParams{&state, nullptr, deadline, 0, &attached};
    CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_COUNTDOWN), nullptr, countdownDialogProc,
                       reinterpret_cast<LPARAM>(params));
    // A window that never came to be never took the record over.
    if (!attached) delete params;
}

INT_PTR CALLBACK countdownDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            auto* params = reinterpret_cast<CountdownParams*>(lParam);
            SetWindowLongPtrW(window, DWLP_USER, reinterpret_cast<LONG_PTR>(params));
            params->dialog = window;
            if (params->attached != nullptr) *params->attached = true;
            params->attached = nullptr;
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
            if (CountdownParams* params = paramsOf(window)) {
                SetWindowLongPtrW(window, DWLP_USER, 0);
                DestroyWindow(params->dialog);
                delete params;
            }
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace dormivel
