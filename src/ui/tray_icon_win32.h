// The notification-area icon of the main window, its balloon and its tip.
#pragma once

#include <windows.h>

#include <string_view>

#include "app/app_state_win32.h"
#include "ui/tray_tip.h"

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

// The wake-up as the tray tip names it: the local day's short name and the
// time without seconds in the user's formats, converted by `zone`'s rules for
// that date, as the list and the log convert.
TipWakeUp tipWakeUp(FileTime due, std::string_view title, const TimeZone& zone);

// The tip for the state's health and the plan's wake-up, set when it
// changes.
void refreshTrayTip(AppState& state);

// The icon again, with the tip it had, after the shell restarted.
void restoreTrayIcon(AppState& state);

}  // namespace dormivel
