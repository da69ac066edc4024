// A program Dormivel starts after a wake: writes its process id into
// "<own file name without extension>.ran" in the current folder and exits.
#include <windows.h>

#include <cstdio>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    wchar_t path[MAX_PATH * 4];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH * 4);
    if (length == 0 || length >= MAX_PATH * 4) return 2;
    const wchar_t* name = path;
    for (const wchar_t* p = path; *p != L'\0'; ++p) {
        if (*p == L'\\' || *p == L'/') name = p + 1;
    }
    wchar_t marker[MAX_PATH * 4];
    lstrcpynW(marker, name, MAX_PATH * 4 - 8);
    wchar_t* dot = nullptr;
    for (wchar_t* p = marker; *p != L'\0'; ++p) {
        if (*p == L'.') dot = p;
    }
    if (dot != nullptr) *dot = L'\0';
    lstrcatW(marker, L".ran");

    char text[16];
    const int size = std::snprintf(text, sizeof text, "%lu", GetCurrentProcessId());
    const HANDLE file =
        CreateFileW(marker, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 3;
    DWORD written = 0;
    WriteFile(file, text, static_cast<DWORD>(size), &written, nullptr);
    CloseHandle(file);
    return 0;
}
