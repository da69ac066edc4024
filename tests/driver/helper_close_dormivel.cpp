// Ends a running dormivel.exe the way a confirmed close does: WM_QUIT to the
// thread of its main window. Exit code 0 when one was found, 1 otherwise.
#include <windows.h>

#include "support/dormivel_exe.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const HWND window = FindWindowW(L"#32770", dormivel::test::kMainWindowTitle);
    if (window == nullptr) return 1;
    const DWORD thread = GetWindowThreadProcessId(window, nullptr);
    return PostThreadMessageW(thread, WM_QUIT, 0, 0) ? 0 : 1;
}
