#include "app/run_application_win32.h"

#include <share.h>
#include <sys/stat.h>

#include <vector>

#include "cmdline/apply_options_win32.h"
#include "planner/schedule_pass_win32.h"
#include "ui/main_window_win32.h"
#include "ui/resource.h"

namespace dormivel {
namespace {

// Keyboard, mouse move, mouse button, posted message, timer, paint, sent
// message and hot-key input.
constexpr DWORD kWakeMask =
    QS_KEY | QS_MOUSEMOVE | QS_MOUSEBUTTON | QS_POSTMESSAGE | QS_TIMER | QS_PAINT | QS_SENDMESSAGE | QS_HOTKEY;

// Last-modification time of the open schedule file, in seconds.
bool scheduleModificationTime(const ScheduleStream& stream, __time64_t& out) {
    struct _stat64i32 status {};
    if (_fstat64i32(_fileno(stream.file), &status) != 0) return false;
    out = status.st_mtime;
    return true;
}

void rewindAndPass(AppState& state) {
    std::rewind(state.scheduleStream.file);  // also clears end-of-file and error
    runSchedulePass(state);
}

// Finds the schedule file through the system's search order. The first call
// uses the usual MAX_PATH buffer; a longer path is fetched again with the
// size the system asked for rather than cut short.
bool locateScheduleFile(const wchar_t* name, std::wstring& fullPath, std::size_t& fileNameOffset) {
    if (name == nullptr || *name == L'\0') return false;
    std::vector<wchar_t> buffer(MAX_PATH);
    for (int attempt = 0; attempt < 4; ++attempt) {
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

// The folder that holds the file: the path cut before its final component.
// A file in a drive's root keeps its separator ("C:\"), since "C:" alone
// would name the drive's current directory instead.
std::wstring scheduleDirectory(const std::wstring& fullPath, std::size_t fileNameOffset) {
    if (fileNameOffset == 0 || fileNameOffset > fullPath.size()) return fullPath;
    std::wstring dir = fullPath.substr(0, fileNameOffset - 1);
    if (dir.empty() || dir.back() == L':') dir = fullPath.substr(0, fileNameOffset);
    return dir;
}

// The one-second settle: a pass only once the file's modification time has
// stayed the same for a whole second.
void settleAndPass(AppState& state, __time64_t& reference) {
    __time64_t current = 0;
    if (!scheduleModificationTime(state.scheduleStream, current) || current == reference) return;
    do {
        reference = current;
        Sleep(1000);
        if (!scheduleModificationTime(state.scheduleStream, current)) current = reference;
    } while (current != reference);
    rewindAndPass(state);
}

int mainLoop(AppState& state, HANDLE changeNotification, __time64_t reference) {
    const HANDLE handles[2] = {state.wakeTimer, changeNotification};
    for (;;) {
        const DWORD result = MsgWaitForMultipleObjects(2, handles, FALSE, INFINITE, kWakeMask);
        if (result == WAIT_OBJECT_0) {
            rewindAndPass(state);
        } else if (result == WAIT_OBJECT_0 + 1) {
            settleAndPass(state, reference);
            FindNextChangeNotification(changeNotification);
        } else if (result == WAIT_OBJECT_0 + 2) {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                if (msg.message == WM_QUIT) {
                    removeTrayIcon(state);
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

}  // namespace

void showStartupWarning(const wchar_t* text) {
    MessageBoxW(nullptr, text, L"Dormivel", MB_OK | MB_ICONWARNING);
}

int runApplication(AppState& state, int argc, wchar_t** argv) {
    if (!applyOptions(argc, argv, state)) return -1;

    SetLastError(ERROR_SUCCESS);
    state.wakeTimer = CreateWaitableTimerW(nullptr, FALSE, L"Dormivel");
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

    state.scheduleStream.file = _wfsopen(schedulePath.c_str(), L"rtS", _SH_DENYNO);
    if (state.scheduleStream.file == nullptr) {
        showStartupWarning(L"Unable to open schedule file.");
        return -1;
    }

    const std::wstring directory = scheduleDirectory(schedulePath, fileNameOffset);
    const HANDLE changeNotification =
        FindFirstChangeNotificationW(directory.c_str(), FALSE, FILE_NOTIFY_CHANGE_LAST_WRITE);
    if (changeNotification == INVALID_HANDLE_VALUE) {
        showStartupWarning(L"Failed to monitor schedule file.");
        return -1;
    }

    state.mainWindow = createMainWindow(state);
    if (state.mainWindow == nullptr) {
        FindCloseChangeNotification(changeNotification);
        showStartupWarning(L"Unable to create the main window.");
        return -1;
    }
    addTrayIcon(state);

    if (state.options.logFilePath != nullptr) {
        openEventLog(state.options.logFilePath, state.options.appendLog, state.logFile);
    }

    __time64_t reference = 0;
    scheduleModificationTime(state.scheduleStream, reference);
    rewindAndPass(state);

    return mainLoop(state, changeNotification, reference);
}

}  // namespace dormivel
