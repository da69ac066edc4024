// A stand-in for an application that Dormivel closes before sleep:
// registers the window class named by its first argument and creates one
// hidden top-level window of it.
//   helper_window.exe <class> quit    ends its message loop on WM_QUIT and
//                                     exits with code 7
//   helper_window.exe <class> ignore  reads WM_QUIT and carries on
#include <windows.h>

#include <cstdlib>

#include "support/dormivel_exe.h"

namespace {

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    if (__argc < 3) return 2;
    const wchar_t* className = __wargv[1];
    const bool ignoreQuit = lstrcmpW(__wargv[2], L"ignore") == 0;

    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = className;
    if (RegisterClassW(&windowClass) == 0) return 3;
    if (CreateWindowExW(0, className, L"helper", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr, instance,
                        nullptr) == nullptr) {
        return 4;
    }

    MSG msg;
    for (;;) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == -1) return 5;
        if (got == 0) {
            if (ignoreQuit) continue;
            return static_cast<int>(dormivel::test::kHelperWindowQuitCode);
        }
        DispatchMessageW(&msg);
    }
}
