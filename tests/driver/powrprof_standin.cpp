// A stand-in powrprof.dll for the Win32 tests: SetSuspendState never sleeps
// the computer; it appends its three arguments as one line "H F W\n" (each
// the argument's numeric value) to the file named by the environment
// variable DORMIVEL_SUSPEND_REQUESTS, and reports success. Without the
// variable it records nothing. Wine loads it instead of its own powrprof only
// for dormivel_wintests.exe (a DllOverrides entry that scripts/wine-env.sh
// writes into the prefix); DormivelStandIn, which Wine's own lacks, tells the
// tests which one they got.
#include <windows.h>

extern "C" BOOLEAN WINAPI SetSuspendState(BOOLEAN hibernate, BOOLEAN force, BOOLEAN wakeupEventsDisabled) {
    wchar_t path[MAX_PATH * 4];
    const DWORD length = GetEnvironmentVariableW(L"DORMIVEL_SUSPEND_REQUESTS", path, MAX_PATH * 4);
    if (length == 0 || length >= MAX_PATH * 4) return TRUE;
    const HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return TRUE;
    char line[16];
    const int n = wsprintfA(line, "%u %u %u\n", static_cast<unsigned>(hibernate), static_cast<unsigned>(force),
                            static_cast<unsigned>(wakeupEventsDisabled));
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(n), &written, nullptr);
    CloseHandle(file);
    return TRUE;
}

extern "C" BOOL WINAPI DormivelStandIn() {
    return TRUE;
}
