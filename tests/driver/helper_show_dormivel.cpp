// Acts on a running dormivel.exe as a person at its tray icon would. Exit
// code 0 when it was done, 1 otherwise.
//   helper_show_dormivel.exe            shows the main window, as a left click
//   helper_show_dormivel.exe menu X Y   opens the tray menu with the cursor
//                                       at X, Y (screen coordinates)
//   helper_show_dormivel.exe menu-off   closes it again
//   helper_show_dormivel.exe wake-test  chooses "&Test wake-up..." and
//                                       answers Yes
#include <windows.h>

#include "support/dormivel_exe.h"
#include "ui/resource.h"

namespace {

// A visible message box of the process, captioned "Dormivel".
HWND waitQuestion(DWORD processId) {
    for (int i = 0; i < 500; ++i) {
        for (HWND box = FindWindowW(L"#32770", L"Dormivel"); box != nullptr;
             box = FindWindowExW(nullptr, box, L"#32770", L"Dormivel")) {
            DWORD owner = 0;
            GetWindowThreadProcessId(box, &owner);
            if (owner == processId && IsWindowVisible(box)) return box;
        }
        Sleep(20);
    }
    return nullptr;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const HWND window = FindWindowW(L"#32770", dormivel::test::kMainWindowTitle);
    if (window == nullptr) return 1;
    if (__argc >= 4 && lstrcmpW(__wargv[1], L"menu") == 0) {
        SetCursorPos(_wtoi(__wargv[2]), _wtoi(__wargv[3]));
        return PostMessageW(window, WM_USER, 0, WM_RBUTTONUP) ? 0 : 1;
    }
    if (__argc >= 2 && lstrcmpW(__wargv[1], L"menu-off") == 0) {
        // The window's default handling ends the menu's own loop.
        SendMessageW(window, WM_CANCELMODE, 0, 0);
        return 0;
    }
    if (__argc >= 2 && lstrcmpW(__wargv[1], L"wake-test") == 0) {
        DWORD processId = 0;
        GetWindowThreadProcessId(window, &processId);
        if (!PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDM_TRAY_TEST_WAKE, 0), 0)) return 1;
        const HWND question = waitQuestion(processId);
        if (question == nullptr) return 1;
        SendMessageW(GetDlgItem(question, IDYES), BM_CLICK, 0, 0);
        return 0;
    }
    SendMessageW(window, WM_USER, 0, WM_LBUTTONDOWN);
    return IsWindowVisible(window) ? 0 : 1;
}
