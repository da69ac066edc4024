// The stand-in powrprof.dll in the build folder, which the Win32 tests and
// dormivel.exe load instead of the system's: the power notifications its
// SetSuspendState sends to the calling process's windows. (Which one
// dormivel.exe loads shows in the wake-health tests: beside the tests it
// plays the machine file, elsewhere it gives Wine's own answers.)
#include <windows.h>
#include <powrprof.h>

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "driver/driver_win32.h"

namespace {

std::vector<WPARAM> gReceived;

LRESULT CALLBACK recordPowerBroadcast(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_POWERBROADCAST) {
        gReceived.push_back(wParam);
        return TRUE;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

DWORD WINAPI requestSleep(void*) {
    return SetSuspendState(TRUE, FALSE, FALSE);
}

// The lines of a file, each run of equal lines (one per window) as one.
std::vector<std::string> distinctLines(const std::wstring& path) {
    std::vector<std::string> lines;
    std::string bytes;
    driver::readFile(path, bytes);
    std::istringstream in(bytes);
    for (std::string line; std::getline(in, line);) {
        if (lines.empty() || lines.back() != line) lines.push_back(line);
    }
    return lines;
}

TEST(PowrprofStandIn, NotifiesTheCallingProcesssWindowsAroundASleep) {
    const std::wstring dir = driver::makeScratchDir(L"standin-notify");
    const std::wstring requests = driver::join(dir, L"requests.txt");
    const std::wstring notifications = driver::join(dir, L"notifications.txt");
    ASSERT_TRUE(SetEnvironmentVariableW(L"DORMIVEL_SUSPEND_REQUESTS", requests.c_str()));
    ASSERT_TRUE(SetEnvironmentVariableW(L"DORMIVEL_SUSPEND_NOTIFICATIONS", notifications.c_str()));
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = recordPowerBroadcast;
    windowClass.lpszClassName = L"DormivelPowerWatcher";
    ASSERT_NE(RegisterClassW(&windowClass), 0);
    const HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                                        nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);

    // Requested from another thread while this one serves its messages:
    // every notification is answered, suspend first.
    const HANDLE worker = CreateThread(nullptr, 0, requestSleep, nullptr, 0, nullptr);
    ASSERT_NE(worker, nullptr);
    while (MsgWaitForMultipleObjects(1, &worker, FALSE, 15000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
    }
    DWORD result = 0;
    EXPECT_TRUE(GetExitCodeThread(worker, &result) && result == TRUE);
    CloseHandle(worker);
    EXPECT_EQ(gReceived, (std::vector<WPARAM>{PBT_APMSUSPEND, PBT_APMRESUMEAUTOMATIC, PBT_APMRESUMESUSPEND}));
    EXPECT_EQ(distinctLines(notifications), (std::vector<std::string>{"4 answered", "18 answered", "7 answered"}));

    // Requested on the thread that owns the window: it cannot answer while
    // it waits for the call, so every notification runs out its time-out.
    DeleteFileW(notifications.c_str());
    gReceived.clear();
    ASSERT_TRUE(SetEnvironmentVariableW(L"DORMIVEL_SUSPEND_TIMEOUT_MS", L"200"));
    EXPECT_TRUE(SetSuspendState(FALSE, FALSE, FALSE));
    EXPECT_TRUE(gReceived.empty()) << "the stand-in served this thread's messages while it waited";
    EXPECT_EQ(distinctLines(notifications), (std::vector<std::string>{"4 timeout", "18 timeout", "7 timeout"}));
    EXPECT_EQ(distinctLines(requests), (std::vector<std::string>{"1 0 0", "0 0 0"}));

    DestroyWindow(window);
    for (const wchar_t* variable :
         {L"DORMIVEL_SUSPEND_REQUESTS", L"DORMIVEL_SUSPEND_NOTIFICATIONS", L"DORMIVEL_SUSPEND_TIMEOUT_MS"})
        SetEnvironmentVariableW(variable, nullptr);
    driver::removeTree(dir);
}

}  // namespace
