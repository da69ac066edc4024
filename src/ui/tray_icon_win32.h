// The notification-area icon of the main window, its balloon and its tip.
#pragma once

#include <windows.h>

#include <string_view>

namespace dormivel {

// The callback message the icon sends to the main window for mouse input.
inline constexpr UINT kTrayCallbackMessage = WM_USER;

// Adds the icon (identifier 0) to `window`, with the tip "Dormivel".
void addTrayIcon(HWND window, HICON icon);
void removeTrayIcon(HWND window);

// A balloon on the icon, the text cut to what the shell's record holds.
void showTrayBalloon(HWND window, std::string_view text);

// Sets the icon's tip to `tip`, 8-bit text in the ANSI code page; at most
// 127 bytes of it are used, which always fit the tip field.
bool setTrayTip(HWND window, std::string_view tip);

}  // namespace dormivel
