#include "ui/tray_icon_win32.h"

#include <shellapi.h>

#include <iterator>

#include "app/clock_win32.h"
#include "planner/schedule_pass_win32.h"

namespace dormivel {
namespace {

// The record of the program's one icon (identifier 0), in the V2 layout of
// the wide or the 8-bit form, with the flags of what it changes.
template <typename Record>
Record iconRecord(HWND window, UINT flags) {
    Record data{};
    if constexpr (sizeof(data.szTip[0]) == sizeof(wchar_t)) {
        data.cbSize = NOTIFYICONDATAW_V2_SIZE;
    } else {
        data.cbSize = NOTIFYICONDATAA_V2_SIZE;
    }
    data.hWnd = window;
    data.uID = 0;
    data.uFlags = flags;
    return data;
}

}  // namespace

void addTrayIcon(HWND window, HICON icon) {
    NOTIFYICONDATAW data = iconRecord<NOTIFYICONDATAW>(window, NIF_MESSAGE | NIF_ICON | NIF_TIP);
    data.uCallbackMessage = kTrayCallbackMessage;
    data.hIcon = icon;
    wcsncpy_s(data.szTip, L"Dormivel", _TRUNCATE);
    Shell_NotifyIconW(NIM_ADD, &data);
}

void removeTrayIcon(HWND window) {
    NOTIFYICONDATAA data = iconRecord<NOTIFYICONDATAA>(window, 0);
    Shell_NotifyIconA(NIM_DELETE, &data);
}

void showTrayBalloon(HWND window, std::string_view text) {
    NOTIFYICONDATAA data = iconRecord<NOTIFYICONDATAA>(window, NIF_INFO);
    const std::size_t length = text.size() < sizeof data.szInfo ? text.size() : sizeof data.szInfo - 1;
    text.copy(data.szInfo, length);
    data.uTimeout = 0;
    lstrcpynA(data.szInfoTitle, "Dormivel", sizeof data.szInfoTitle);
    data.dwInfoFlags = NIIF_INFO;
    Shell_NotifyIconA(NIM_MODIFY, &data);
}

bool setTrayTip(HWND window, std::string_view tip) {
    NOTIFYICONDATAW data = iconRecord<NOTIFYICONDATAW>(window, NIF_TIP);
    // No ANSI code page turns a byte into more than one UTF-16 unit, so the
    // bytes kept always fit the field with its terminator.
    constexpr std::size_t kMaxBytes = std::size(data.szTip) - 1;
    const int bytes = static_cast<int>(tip.size() < kMaxBytes ? tip.size() : kMaxBytes);
    const int units =
        bytes > 0 ? MultiByteToWideChar(CP_ACP, 0, tip.data(), bytes, data.szTip, static_cast<int>(kMaxBytes)) : 0;
    data.szTip[units > 0 ? units : 0] = L'\0';
    return Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

TipWakeUp tipWakeUp(FileTime due, std::string_view title, const TimeZone& zone) {
    TipWakeUp tip;
    tip.title = title;
    const SYSTEMTIME local = toSystemTime(utcToLocalDateTime(due, zone));
    tip.day = formatLocaleText(local, LocaleText::userDay);
    tip.time = formatLocaleText(local, LocaleText::userTime);
    return tip;
}

void refreshTrayTip(AppState& state) {
    std::optional<TipWakeUp> next;
    const std::optional<ArmedWake>& armed = state.wake.armed;
    if (armed && armed->planned && armed->due > currentFileTime()) {
        next = tipWakeUp(armed->due, armed->title, currentScheduleClock(state).zone);
    }
    const std::string tip = composeTrayTip(state.wakeHealth.value_or(WakeHealth{}), next);
    if (tip == state.trayTip) return;
    state.trayTip = tip;
    setTrayTip(state.mainWindow, tip);
}

void restoreTrayIcon(AppState& state) {
    addTrayIcon(state.mainWindow, state.smallIcon);
    if (state.trayTip != "Dormivel") setTrayTip(state.mainWindow, state.trayTip);
}

}  // namespace dormivel
