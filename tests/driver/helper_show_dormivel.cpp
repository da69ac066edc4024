// Shows a running dormivel.exe's main window the way a left click on its
// tray icon does. Exit code 0 when one was found, 1 otherwise.
#include <windows.h>

#include "support/dormivel_exe.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const HWND window = FindWindowW(L"#32770", dormivel::test::kMainWindowTitle);
    if (window == nullptr) return 1;
    SendMessageW(window, WM_USER, 0, WM_LBUTTONDOWN);
    return IsWindowVisible(window) ? 0 : 1;
}
