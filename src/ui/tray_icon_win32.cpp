#include "ui/main_window_win32.h"

#include <shellapi.h>

namespace dormivel {

void addTrayIcon(const AppState& state) {
    NOTIFYICONDATAW data{};
    data.cbSize = NOTIFYICONDATAW_V2_SIZE;
    data.hWnd = state.mainWindow;
    data.uID = 0;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = WM_USER;
    data.hIcon = state.smallIcon;
    wcsncpy_s(data.szTip, L"Dormivel", _TRUNCATE);
    Shell_NotifyIconW(NIM_ADD, &data);
}

void removeTrayIcon(const AppState& state) {
    NOTIFYICONDATAA data{};
    data.cbSize = NOTIFYICONDATAA_V2_SIZE;
    data.hWnd = state.mainWindow;
    data.uID = 0;
    Shell_NotifyIconA(NIM_DELETE, &data);
}

}  // namespace dormivel
