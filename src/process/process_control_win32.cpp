#include "process/process_control_win32.h"

#include <string>

#include "app/handle_win32.h"
#include "eventlog/log_text.h"
#include "process/process_text.h"

namespace dormivel {
namespace {

// How long a polite WM_QUIT is given, and how long a forced termination may
// take before the process is given up on (a process stuck in the kernel
// must not hold the one thread, and with it every later wake-up).
constexpr DWORD kQuitWaitMs = 5000;
constexpr DWORD kTerminateWaitMs = 3000;

struct Closing {
    const std::vector<std::wstring>* terminateList;
    EventLog* log;
};

void closeApplicationWindow(HWND window, const std::vector<std::wstring>& terminateList, EventLog& log) {
    wchar_t className[64];
    const int length = GetClassNameW(window, className, 64);
    if (length <= 0) return;
    if (!isListedClass(terminateList, std::wstring_view(className, static_cast<std::size_t>(length)))) {
        return;
    }
    const std::string classText = narrowClassName(std::wstring_view(className, static_cast<std::size_t>(length)));

    DWORD processId = 0;
    const DWORD threadId = GetWindowThreadProcessId(window, &processId);
    // Never close ourselves, whatever class names the list holds.
    if (processId == GetCurrentProcessId()) return;

    // One handle from the first look to the end: a process id is reused as
    // soon as its process is gone, so reopening it by id could reach another
    // program. Without the right to terminate, the polite request is all
    // that can be made.
    UniqueHandle process = ownHandle(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId));
    if (!process) process = ownHandle(OpenProcess(SYNCHRONIZE, FALSE, processId));
    if (!process) return;

    PostThreadMessageW(threadId, WM_QUIT, 0, 0);
    if (WaitForSingleObject(process.get(), kQuitWaitMs) == WAIT_OBJECT_0) {
        process.reset();
        appendEvent(log, formatQuitProcessCleanly(classText, processId));
        return;
    }
    const bool ended = TerminateProcess(process.get(), 0) != FALSE &&
                       WaitForSingleObject(process.get(), kTerminateWaitMs) == WAIT_OBJECT_0;
    process.reset();
    if (ended) appendEvent(log, formatTerminatedProcessForcefully(classText, processId));
}

BOOL CALLBACK enumWindow(HWND window, LPARAM context) {
    const auto& closing = *reinterpret_cast<const Closing*>(context);
    closeApplicationWindow(window, *closing.terminateList, *closing.log);
    return TRUE;
}

}  // namespace

void terminateApplications(const std::vector<std::wstring>& terminateList, EventLog& log) {
    Closing closing{&terminateList, &log};
    EnumWindows(enumWindow, reinterpret_cast<LPARAM>(&closing));
}

void executePrograms(const std::vector<std::wstring>& executeList, EventLog& log) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    for (const std::wstring& entry : executeList) {
        PROCESS_INFORMATION created{};
        // The platform may write into the command line it is given.
        std::wstring commandLine = programCommandLine(entry);
        if (!CreateProcessW(entry.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &created)) {
            continue;
        }
        // Neither handle is needed: the program runs on by itself.
        const UniqueHandle process(created.hProcess);
        const UniqueHandle thread(created.hThread);
        appendEvent(log, formatCreatedProcess(narrowProgramPath(entry), created.dwProcessId));
    }
}

}  // namespace dormivel
