#include "app/run_application_win32.h"

#include <vector>

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
constexpr DWORD kSettleIntervalMs = 1000;

void settleAndPass(AppState& state, FileStamp& reference) {
    settleAndPass(
        reference, [&state] { return readScheduleStamp(state.schedulePath); }, [] { Sleep(kSettleIntervalMs); },
        [&state, &reference] {
            state.settledStamp = reference;
            runSchedulePass(state);
        });
}

int mainLoop(AppState& state, HANDLE changeNotification, FileStamp reference) {
    const HANDLE handles[2] = {state.wakeTimer.get(), changeNotification};
    for (;;) {
        // A pass a window asked for, or the retry of a failed read.
        const std::uint32_t timeout = waitTimeoutMs(state.scheduleRead, GetTickCount64());
        if (state.passRequested || timeout == 0) {
            state.passRequested = false;
            runSchedulePass(state);
            continue;
        }
        const DWORD result = MsgWaitForMultipleObjects(2, handles, FALSE, timeout, kWakeMask);
        if (result == WAIT_OBJECT_0) {
            runSchedulePass(state);
        } else if (result == WAIT_OBJECT_0 + 1) {
            // Re-armed before the settle looks at the file: a change made
            // while the settle or its pass runs signals again, rather than
            // falling between this signal and the next arming.
            FindNextChangeNotification(changeNotification);
            settleAndPass(state, reference);
        } else if (result == WAIT_OBJECT_0 + 2) {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                if (msg.message == WM_QUIT) {
                    removeTrayIcon(state.mainWindow);
                    DestroyWindow(state.mainWindow);
                    state.mainWindow = nullptr;
                    FindCloseChangeNotification(changeNotification);
                    return 0;
                }
                if (!IsDialogMessageW(state.mainWindow, &msg)) {
                    TranslateMessage(&msg);
                    DispatchMessageW(&msg);
                }
            }
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

    const std::wstring directory = scheduleDirectory(schedulePath, fileNameOffset);
    const HANDLE changeNotification = FindFirstChangeNotificationW(directory.c_str(), FALSE, kWatchedChanges);
    if (changeNotification == INVALID_HANDLE_VALUE) {
        (void)std::fclose(firstRead);
        showStartupWarning(L"Failed to monitor schedule file.");
        return -1;
    }

    state.mainWindow = createMainWindow(state);
    if (state.mainWindow == nullptr) {
        (void)std::fclose(firstRead);
        FindCloseChangeNotification(changeNotification);
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

    return mainLoop(state, changeNotification, reference);
}

}  // namespace dormivel
