// The dialogs of the resource script, created in-process.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>

#include <gtest/gtest.h>

#include "driver/driver_win32.h"
#include "ui/resource.h"

namespace {

INT_PTR CALLBACK plainDialogProc(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG;
}

struct Control {
    int id;
    const wchar_t* className;
    const wchar_t* text;  // null: not checked
};

std::wstring classOf(HWND window) {
    wchar_t name[64];
    GetClassNameW(window, name, 64);
    return name;
}

void expectControls(HWND dialog, const std::vector<Control>& controls) {
    for (const auto& c : controls) {
        SCOPED_TRACE(c.id);
        const HWND control = GetDlgItem(dialog, c.id);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(lstrcmpiW(classOf(control).c_str(), c.className), 0) << driver::narrow(classOf(control));
        if (c.text != nullptr) {
            EXPECT_EQ(driver::windowText(control), c.text);
        }
    }
}

TEST(Resources, CountdownDialog) {
    const HWND dialog =
        CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_COUNTDOWN), nullptr, plainDialogProc, 0);
    ASSERT_NE(dialog, nullptr);
    expectControls(dialog, {{IDC_COUNTDOWN_PROGRESS, L"msctls_progress32", nullptr},
                            {IDC_COUNTDOWN_CLOCK, L"Static", L"00:00:00"},
                            {IDCANCEL, L"Button", L"Cancel"}});
    const LONG style = GetWindowLongW(dialog, GWL_STYLE);
    EXPECT_TRUE(style & WS_VISIBLE);
    EXPECT_FALSE((style & WS_CAPTION) == WS_CAPTION);
    EXPECT_TRUE(GetWindowLongW(dialog, GWL_EXSTYLE) & WS_EX_TOPMOST);
    const LONG barStyle = GetWindowLongW(GetDlgItem(dialog, IDC_COUNTDOWN_PROGRESS), GWL_STYLE);
    EXPECT_TRUE(barStyle & PBS_VERTICAL);
    EXPECT_TRUE(barStyle & PBS_SMOOTH);
    DestroyWindow(dialog);
}

TEST(Resources, MainDialog) {
    const HWND dialog =
        CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_MAIN), nullptr, plainDialogProc, 0);
    ASSERT_NE(dialog, nullptr);
    expectControls(dialog, {{IDC_UPCOMING_LIST, L"ListBox", nullptr},
                            {IDC_SLEEP_WHEN, L"ComboBox", nullptr},
                            {IDC_SLEEP_METHOD, L"ComboBox", nullptr}});
    const LONG style = GetWindowLongW(dialog, GWL_STYLE);
    EXPECT_FALSE(style & WS_VISIBLE);
    EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    const LONG listStyle = GetWindowLongW(GetDlgItem(dialog, IDC_UPCOMING_LIST), GWL_STYLE);
    EXPECT_TRUE(listStyle & LBS_NOSEL);
    EXPECT_TRUE(listStyle & LBS_USETABSTOPS);
    EXPECT_FALSE(listStyle & LBS_SORT);

    // The texts of the static controls and group boxes.
    std::vector<std::wstring> texts;
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        texts.push_back(driver::windowText(child));
    }
    for (const wchar_t* expected : {L"Upcoming Recordings", L"Options", L"Sleep after all recordings have finished:",
                                    L"Use this method for sleeping:"}) {
        EXPECT_NE(std::find(texts.begin(), texts.end(), expected), texts.end()) << driver::narrow(expected);
    }
    DestroyWindow(dialog);
}

TEST(Resources, TrayMenuAndIcon) {
    const HMENU menu = LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDM_TRAY));
    ASSERT_NE(menu, nullptr);
    const HMENU popup = GetSubMenu(menu, 0);
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(GetMenuItemCount(popup), 1);
    EXPECT_EQ(GetMenuItemID(popup, 0), static_cast<UINT>(IDM_TRAY_CLOSE));
    wchar_t text[32];
    GetMenuStringW(popup, 0, text, 32, MF_BYPOSITION);
    EXPECT_STREQ(text, L"&Close");
    DestroyMenu(menu);

    for (int size : {16, 32, 48}) {
        const HANDLE icon =
            LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_DORMIVEL), IMAGE_ICON, size, size, 0);
        EXPECT_NE(icon, nullptr) << size;
        if (icon != nullptr) DestroyIcon(static_cast<HICON>(icon));
    }
}

}  // namespace
