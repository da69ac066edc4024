// The dialogs of the resource script, created in-process, and the version
// block and manifest of dormivel.exe.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "dormivel_version.h"
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

void expectControls(HWND dialog, const std::vector<Control>& controls) {
    for (const auto& c : controls) {
        SCOPED_TRACE(c.id);
        const HWND control = GetDlgItem(dialog, c.id);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(lstrcmpiW(driver::classOf(control).c_str(), c.className), 0)
            << driver::narrow(driver::classOf(control));
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
    ASSERT_EQ(GetMenuItemCount(popup), 2);
    const std::pair<UINT, const wchar_t*> items[] = {{IDM_TRAY_TEST_WAKE, L"&Test wake-up..."},
                                                     {IDM_TRAY_CLOSE, L"&Close"}};
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(GetMenuItemID(popup, i), items[i].first);
        wchar_t text[32];
        GetMenuStringW(popup, static_cast<UINT>(i), text, 32, MF_BYPOSITION);
        EXPECT_STREQ(text, items[i].second);
    }
    DestroyMenu(menu);

    for (int size : {16, 32, 48}) {
        const HANDLE icon =
            LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_DORMIVEL), IMAGE_ICON, size, size, 0);
        EXPECT_NE(icon, nullptr) << size;
        if (icon != nullptr) DestroyIcon(static_cast<HICON>(icon));
    }
}

// The version resource and the manifest state the version the build was
// configured with, in numbers, flags and text.
TEST(Resources, VersionBlockAndManifestOfTheProgram) {
    const std::wstring exe = driver::dormivelExe();
    DWORD unused = 0;
    const DWORD size = GetFileVersionInfoSizeW(exe.c_str(), &unused);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(exe.c_str(), 0, size, block.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
    const DWORD high = MAKELONG(DORMIVEL_VERSION_MINOR, DORMIVEL_VERSION_MAJOR);
    const DWORD low = MAKELONG(DORMIVEL_VERSION_TWEAK, DORMIVEL_VERSION_PATCH);
    EXPECT_EQ(fixed->dwFileVersionMS, high);
    EXPECT_EQ(fixed->dwFileVersionLS, low);
    EXPECT_EQ(fixed->dwProductVersionMS, high);
    EXPECT_EQ(fixed->dwProductVersionLS, low);
    EXPECT_EQ((fixed->dwFileFlags & VS_FF_PRERELEASE) != 0, DORMIVEL_VERSION_PRERELEASE != 0);

    for (const wchar_t* key : {L"FileVersion", L"ProductVersion"}) {
        SCOPED_TRACE(driver::narrow(key));
        const std::wstring query = std::wstring(L"\\StringFileInfo\\040904b0\\") + key;
        wchar_t* text = nullptr;
        ASSERT_TRUE(VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&text), &length));
        EXPECT_EQ(std::wstring(text), L"" DORMIVEL_VERSION_TEXT);
    }

    const std::unique_ptr<std::remove_pointer_t<HMODULE>, decltype(&FreeLibrary)> module(
        LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE), &FreeLibrary);
    ASSERT_NE(module.get(), nullptr);
    const HRSRC found = FindResourceW(module.get(), CREATEPROCESS_MANIFEST_RESOURCE_ID, RT_MANIFEST);
    ASSERT_NE(found, nullptr);
    const auto* bytes = static_cast<const char*>(LockResource(LoadResource(module.get(), found)));
    ASSERT_NE(bytes, nullptr);
    const std::string manifest(bytes, SizeofResource(module.get(), found));
    const std::string identity = "name=\"Dormivel\" version=\"" + std::to_string(DORMIVEL_VERSION_MAJOR) + "." +
                                 std::to_string(DORMIVEL_VERSION_MINOR) + "." + std::to_string(DORMIVEL_VERSION_PATCH) +
                                 "." + std::to_string(DORMIVEL_VERSION_TWEAK) + "\"";
    EXPECT_NE(manifest.find(identity), std::string::npos) << manifest.substr(0, 300);
}

}  // namespace
