#include "app/run_application_win32.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "app/handle_win32.h"
#include "app/schedule_watch.h"
#include "cmdline/apply_options_win32.h"
#include "planner/schedule_pass_win32.h"
#include "planner/sleep_guard.h"
#include "planner/wake_health_win32.h"
#include "schedule/schedule_file_win32.h"
#include "ui/main_window_win32.h"
#include "ui/resource.h"
#include "ui/tray_icon_win32.h"
#include "ui/warning_win32.h"

namespace dormivel {
namespace {

// Keyboard, mouse move, mouse button, posted message, timer, paint, sent
// message and hot-key input.
constexpr DWORD kWakeMask =
    QS_KEY | QS_MOUSEMOVE | QS_MOUSEBUTTON | QS_POSTMESSAGE | QS_TIMER | QS_PAINT | QS_SENDMESSAGE | QS_HOTKEY;

// Finds the schedule file through the system's search order. The first call
// uses the usual MAX_PATH buffer; a longer path is fetched again with the
// size the system asked for rather than cut short.
bool locateScheduleFile(const wchar_t* name, std::wstring& fullPath, std::size_t& fileNameOffset) {
    if (name == nullptr || *name == L'\0') return false;
    // The path may grow between two calls (a folder renamed meanwhile); a
    // few attempts are enough for any real change.
    constexpr int kAttempts = 4;
    std::vector<wchar_t> buffer(MAX_PATH);
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        wchar_t* filePart = nullptr;
        const DWORD length =
            SearchPathW(nullptr, name, nullptr, static_cast<DWORD>(buffer.size()), buffer.data(), &filePart);
        if (length == 0) return false;
        if (length < buffer.size()) {
            fullPath.assign(buffer.data(), length);
            fileNameOffset = filePart != nullptr ? static_cast<std::size_t>(filePart - buffer.data()) : length;
            return true;
        }
        buffer.assign(length + 1, L'\0');
    }
    return false;
}

// Writers are seen by the modification time, and by names: a writer that
// saves a new file and renames it over the old one, or deletes the file and
// writes it again, changes no modification time in the folder.
constexpr DWORD kWatchedChanges = FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_FILE_NAME;

// The change notification on the schedule's folder. One that cannot be
// re-armed (its folder deleted or replaced, a network share gone across a
// sleep) is closed and created again; until that works the handle is
// empty, and the loop looks at the file's stamp at the failed reads' retry
// interval instead.
struct FolderWatch {
    std::wstring directory;
    UniqueChangeNotification handle;
    std::uint64_t retryAtMs = 0;  // the next attempt while the handle is empty
};

void renewWatch(FolderWatch& watch, std::uint64_t nowMs) {
    watch.handle.reset();
    watch.handle = ownHandle<ChangeNotificationCloser>(
        FindFirstChangeNotificationW(watch.directory.c_str(), FALSE, kWatchedChanges));
    if (!watch.handle) watch.retryAtMs = nowMs + kScheduleRetryMs;
}

VOID CALLBACK postWakeTimerFired(PVOID window, BOOLEAN /*timedOut*/) {
    PostMessageW(static_cast<HWND>(window), kWakeTimerFired, 0, 0);
}

// The wake timer's one waiter, on the thread pool; empty when none could be
// registered, and the loop then waits on the timer itself.
UniqueWait startWakeTimerWaiter(const AppState& state) {
    HANDLE wait = nullptr;
    if (RegisterWaitForSingleObject(&wait, state.wakeTimer.get(), postWakeTimerFired, state.mainWindow, INFINITE,
                                    WT_EXECUTEINWAITTHREAD) == FALSE) {
        return nullptr;
    }
    return UniqueWait(wait);
}

// Removes and dispatches the queued messages; false at WM_QUIT, with the
// messages behind it left unhandled.
bool dispatchMessages(const AppState& state) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) return false;
        if (!IsDialogMessageW(state.mainWindow, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return true;
}

// The main loop. One thread runs every pass, every window and every
// decision, and it idles in one place: a MsgWaitForMultipleObjects wait on
// the folder's change notification and the thread's message queue, whose
// time-out is the earliest deadline the loop owns: the settle's next look at
// the file's stamp, the retry of a failed read, and the next attempt to
// create a notification that could not be renewed. Without any of them the
// wait has no time-out, so the idle program polls nothing. Nothing sleeps:
// a file that keeps changing is looked at when its deadline comes, and in
// between timers, messages and broadcasts are served as at any other time.
// After every pass the settle is told whether a write cut its read short;
// when that pass was the cap's, the cap comes again a moment later.
//
// The wake timer is not in the wait. A thread-pool wait is its only waiter
// (the timer is auto-reset, so a second waiter would take its signal), and
// posts kWakeTimerFired to the main window, whose procedure runs the pass.
// A posted message is dispatched by this loop and by every modal loop alike
// (the close confirmation, the tray menu, any message box), so a due timer
// is served within moments whichever loop runs. Passes never overlap: all
// run on this thread through runRequestedPasses, and one asked for while
// another runs waits for its end.
int mainLoop(AppState& state, FolderWatch& watch, FileStamp reference) {
    UniqueWait timerWaiter = startWakeTimerWaiter(state);
    Settle settle;
    settle.reference = reference;
    std::optional<std::uint64_t> settleLookAt;
    const auto lookAtStamp = [&](std::uint64_t nowMs) {
        const SettleStep step = settleLook(settle, readScheduleStamp(state.schedulePath), nowMs);
        settleLookAt = step.lookAtMs;
        if (step.pass) {
            state.passRequested = true;
            state.settledStamp = settle.reference;
        }
    };
    for (;;) {
        const std::uint64_t now = GetTickCount64();
        if (state.watchRenewalDue) {
            state.watchRenewalDue = false;
            renewWatch(watch, now);
        }
        if (!watch.handle && watch.retryAtMs <= now) {
            renewWatch(watch, now);
            lookAtStamp(now);
        }
        if (settleLookAt && *settleLookAt <= now) lookAtStamp(now);
        if (waitTimeoutMs(state.scheduleRead, now) == 0) state.passRequested = true;
        if (state.passRequested) {
            runRequestedPasses(state);
            settleLookAt = settleAfterPass(settle, state.scheduleRead.changing, GetTickCount64()).lookAtMs;
            continue;
        }

        HANDLE handles[2];
        DWORD count = 0;
        const bool waitsOnTimer = timerWaiter == nullptr;
        if (waitsOnTimer) handles[count++] = state.wakeTimer.get();
        const bool watching = static_cast<bool>(watch.handle);
        const DWORD watchIndex = count;
        if (watching) handles[count++] = watch.handle.get();
        const std::uint32_t timeout = std::min({waitTimeoutMs(state.scheduleRead, now), timeoutUntil(settleLookAt, now),
                                                watching ? kWaitForever : timeoutUntil(watch.retryAtMs, now)});

        const DWORD result = MsgWaitForMultipleObjects(count, handles, FALSE, timeout, kWakeMask);
        if (waitsOnTimer && result == WAIT_OBJECT_0) {
            state.passRequested = true;
        } else if (watching && result == WAIT_OBJECT_0 + watchIndex) {
            // Re-armed before the stamp is looked at: a change made while the
            // look or its pass runs signals again, rather than falling
            // between this signal and the next arming.
            const std::uint64_t at = GetTickCount64();
            if (FindNextChangeNotification(watch.handle.get()) == FALSE) renewWatch(watch, at);
            lookAtStamp(at);
        } else if (result == WAIT_OBJECT_0 + count && !dispatchMessages(state)) {
            timerWaiter.reset();  // before the window its callback posts to goes
            removeTrayIcon(state.mainWindow);
            DestroyWindow(state.mainWindow);
            state.mainWindow = nullptr;
            watch.handle.reset();
            return 0;
        }
    }
}

// Asks Windows to start the program again, with the same options, after an
// update restart (and after a crash or a hang): a PC that records must not
// stay without its wake-ups until somebody starts it by hand. Looked up at
// run time: where the platform has no such service nothing changes.
void registerForRestart(int argc, wchar_t** argv) {
    using RegisterRestartFn = HRESULT(WINAPI*)(PCWSTR, DWORD);
    const auto registerRestart = reinterpret_cast<RegisterRestartFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "RegisterApplicationRestart")));
    if (registerRestart == nullptr) return;
    std::vector<std::wstring_view> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.emplace_back(argv[i]);
    const std::optional<std::wstring> line = restartCommandLine(arguments);
    if (line) registerRestart(line->c_str(), 0);
}

}  // namespace

int runApplication(AppState& state, int argc, wchar_t** argv) {
    if (!applyOptions(argc, argv, state)) return -1;

    SetLastError(ERROR_SUCCESS);
    state.wakeTimer.reset(CreateWaitableTimerW(nullptr, FALSE, L"Dormivel"));
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        showStartupWarning(L"An instance of Dormivel is already running.");
        return -1;
    }
    if (state.wakeTimer == nullptr) {
        // Waiting on a null handle would fail at once, forever.
        showStartupWarning(L"Unable to create the wake timer.");
        return -1;
    }

    std::wstring schedulePath;
    std::size_t fileNameOffset = 0;
    if (!locateScheduleFile(state.options.scheduleFilePath, schedulePath, fileNameOffset)) {
        showStartupWarning(L"Unable to locate schedule file.");
        return -1;
    }

    // Found and opened once here; every later pass opens it by its path.
    state.schedulePath = schedulePath;
    std::uint32_t openError = 0;
    FILE* const firstRead = openScheduleFile(schedulePath, openError);
    if (firstRead == nullptr) {
        showStartupWarning(L"Unable to open schedule file.");
        return -1;
    }

    FolderWatch watch;
    watch.directory = scheduleDirectory(schedulePath, fileNameOffset);
    watch.handle = ownHandle<ChangeNotificationCloser>(
        FindFirstChangeNotificationW(watch.directory.c_str(), FALSE, kWatchedChanges));
    if (!watch.handle) {
        (void)std::fclose(firstRead);
        showStartupWarning(L"Failed to monitor schedule file.");
        return -1;
    }

    state.mainWindow = createMainWindow(state);
    if (state.mainWindow == nullptr) {
        (void)std::fclose(firstRead);
        showStartupWarning(L"Unable to create the main window.");
        return -1;
    }
    addTrayIcon(state.mainWindow, state.smallIcon);
    registerForRestart(argc, argv);

    if (state.options.logFilePath != nullptr) {
        openEventLog(state.options.logFilePath, state.options.appendLog, state.logFile, schedulePath.c_str());
    }

    const FileStamp reference = readScheduleStamp(schedulePath);
    runSchedulePass(state, firstRead);
    // Whether a wake-up can happen at all is said at once, also when the
    // first pass armed none.
    if (!state.wakeHealth) checkWakeHealth(state);

    return mainLoop(state, watch, reference);
}

}  // namespace dormivel
