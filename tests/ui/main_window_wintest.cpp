// The main window and its tray icon, driven as a user and as the system
// would: tray callbacks, the close box, the close command with its
// confirmation, the sleeping-method list and the power broadcasts.
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/app_state_win32.h"
#include "driver/driver_win32.h"
#include "support/dormivel_exe.h"
#include "support/log_lines.h"
#include "support/schedule_file_win32.h"
#include "ui/main_window_win32.h"
#include "ui/resource.h"

namespace {

using dormivel::test::scheduleLine;
using driver::DormivelRun;

constexpr DWORD kWait = driver::kTimeoutMs;

const std::vector<std::wstring> kSleepWhenItems = {L"Every time this happens", L"Just the next time this happens",
                                                   L"Only when I am not present", L"Never"};
const std::vector<std::wstring> kSleepMethodItems = {L"Suspend (S3)", L"Hibernate (S4)"};

// A recording that started a minute ago and stops in an hour: the
// computer must stay awake.
std::string recordingNowSchedule() {
    return "header\n" + scheduleLine("1", -1, 60, 5, "Running Now");
}

// Recordings hours away: sleep is allowed.
std::string laterSchedule() {
    return "header\n" + scheduleLine("1", 180, 240, 5, "Later On") + scheduleLine("2", 300, 360, 7, "Much Later");
}

std::wstring markerProgram() {
    return driver::helperExe(L"helper_marker.exe");
}

// Starts dormivel.exe with a log and waits until its first schedule pass
// has written its Event, so that the pass's decision is in force.
void startLogged(const wchar_t* name, const std::string& schedule, std::vector<std::wstring> args, DormivelRun& run) {
    args.push_back(L"--logfile=log.xml");
    ASSERT_TRUE(driver::startDormivel(name, schedule, args, run));
    ASSERT_GE(driver::waitForLogEvents(run.logPath(), 2, kWait).size(), 2u) << "no Event from the first pass";
}

void finish(DormivelRun& run) {
    EXPECT_EQ(driver::stopDormivel(run), 0u);
}

std::vector<std::string> eventsAfter(const DormivelRun& run, std::size_t count) {
    const std::vector<std::string> events = driver::readLogEvents(run.logPath());
    if (events.size() <= count) return {};
    return std::vector<std::string>(events.begin() + static_cast<std::ptrdiff_t>(count), events.end());
}

std::string createdProcessLine(const std::wstring& path, const std::string& id) {
    return dormivel::test::processLine("CreatedProcess", "path", driver::narrow(path), id);
}

// The id attribute of a process line.
std::string idOf(const std::string& line) {
    const std::string key = "id=\"";
    const std::size_t begin = line.find(key);
    if (begin == std::string::npos) return {};
    const std::size_t end = line.find('"', begin + key.size());
    return line.substr(begin + key.size(), end - begin - key.size());
}

bool isDefaultButton(HWND dialog, int id) {
    return (GetWindowLongW(GetDlgItem(dialog, id), GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON;
}

// --- The window as the user sees it -------------------------------------

TEST(MainWindow, InitialStateFollowsTheCommandLine) {
    struct Case {
        std::vector<std::wstring> args;
        LRESULT method;
    };
    const Case cases[] = {{{}, 0}, {{L"--usehiber"}, 1}, {{L"-h"}, 1}, {{L"--usehiber=0"}, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.empty() ? std::string("no options") : driver::narrow(c.args[0]));
        DormivelRun run;
        ASSERT_TRUE(driver::startDormivel(L"initial", "header\n", c.args, run));
        EXPECT_EQ(driver::windowText(run.mainWindow), dormivel::test::kMainWindowTitle);
        EXPECT_FALSE(IsWindowVisible(run.mainWindow));

        const HWND when = GetDlgItem(run.mainWindow, IDC_SLEEP_WHEN);
        EXPECT_EQ(driver::comboItems(when), kSleepWhenItems);
        EXPECT_FALSE(IsWindowEnabled(when));
        EXPECT_EQ(SendMessageW(when, CB_GETCURSEL, 0, 0), CB_ERR);

        const HWND method = GetDlgItem(run.mainWindow, IDC_SLEEP_METHOD);
        EXPECT_EQ(driver::comboItems(method), kSleepMethodItems);
        EXPECT_TRUE(IsWindowEnabled(method));
        EXPECT_EQ(SendMessageW(method, CB_GETCURSEL, 0, 0), c.method);
        finish(run);
    }
}

TEST(MainWindow, TrayClickShowsAndCloseBoxOnlyHides) {
    DormivelRun run;
    ASSERT_TRUE(driver::startDormivel(L"show", "header\n", {}, run));
    const HWND window = run.mainWindow;

    // Mouse messages other than the left button press leave it hidden.
    for (const LPARAM other : {WM_MOUSEMOVE, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_RBUTTONDOWN}) {
        SendMessageW(window, WM_USER, 0, other);
        EXPECT_FALSE(IsWindowVisible(window)) << other;
    }
    SendMessageW(window, WM_USER, 0, WM_LBUTTONDOWN);
    EXPECT_TRUE(IsWindowVisible(window));
    SendMessageW(window, WM_USER, 0, WM_LBUTTONDOWN);  // already shown: stays shown
    EXPECT_TRUE(IsWindowVisible(window));

    SendMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_TRUE(IsWindow(window));  // hidden, not destroyed
    EXPECT_TRUE(driver::isRunning(run.process));

    SendMessageW(window, WM_USER, 0, WM_LBUTTONDOWN);  // the same window again
    EXPECT_TRUE(IsWindowVisible(window));
    finish(run);
}

TEST(MainWindow, CloseCommandAsksAndOnlyYesEnds) {
    DormivelRun run;
    startLogged(L"close", laterSchedule(), {}, run);

    // No: everything stays as it was.
    ASSERT_TRUE(PostMessageW(run.mainWindow, WM_COMMAND, MAKEWPARAM(IDM_TRAY_CLOSE, 0), 0));
    driver::MessageBoxInfo box;
    ASSERT_TRUE(driver::waitMessageBox(run.process.processId, L"Dormivel", kWait, box));
    EXPECT_EQ(box.text,
              L"Dormivel cannot wake your computer for scheduled recordings if it is not running. Are you sure you "
              L"wish to close Dormivel?");
    std::vector<int> buttons = box.buttons;
    std::sort(buttons.begin(), buttons.end());
    EXPECT_EQ(buttons, (std::vector<int>{IDYES, IDNO}));
    EXPECT_TRUE(isDefaultButton(box.window, IDNO));
    EXPECT_FALSE(isDefaultButton(box.window, IDYES));
    EXPECT_EQ(GetWindow(box.window, GW_OWNER), run.mainWindow);
    driver::pressButton(box.window, IDNO);
    EXPECT_TRUE(driver::waitUntil([&] { return !IsWindow(box.window); }, kWait));
    EXPECT_TRUE(driver::isRunning(run.process));
    EXPECT_TRUE(IsWindow(run.mainWindow));
    EXPECT_FALSE(IsWindowVisible(run.mainWindow));
    const std::size_t eventsBefore = driver::readLogEvents(run.logPath()).size();

    // Yes: the program ends with exit code 0 and the stop marker closes the log.
    ASSERT_TRUE(PostMessageW(run.mainWindow, WM_COMMAND, MAKEWPARAM(IDM_TRAY_CLOSE, 0), 0));
    ASSERT_TRUE(driver::waitMessageBox(run.process.processId, L"Dormivel", kWait, box));
    driver::pressButton(box.window, IDYES);
    DWORD code = dormivel::test::kNotExited;
    EXPECT_TRUE(driver::waitExit(run.process, kWait, code));
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(eventsAfter(run, eventsBefore), std::vector<std::string>{"<DormivelStop />"});
}

// The right button (or the keyboard's context menu) opens the menu at the
// cursor; its last item, "&Close", leads to the same confirmation.
TEST(MainWindow, TrayMenuOffersClose) {
    DormivelRun run;
    ASSERT_TRUE(driver::startDormivel(L"menu", "header\n", {}, run));
    for (const LPARAM opener : {WM_RBUTTONUP, WM_CONTEXTMENU}) {
        SCOPED_TRACE(opener);
        POINT cursor{};
        GetCursorPos(&cursor);
        // Posted: the menu runs its own loop inside the handling.
        ASSERT_TRUE(PostMessageW(run.mainWindow, WM_USER, 0, opener));
        const HWND menu = driver::waitWindow(run.process.processId, L"#32768", L"", true, kWait);
        ASSERT_NE(menu, nullptr);
        RECT where{};
        GetWindowRect(menu, &where);
        EXPECT_EQ(where.left, cursor.x);
        EXPECT_EQ(where.top, cursor.y);

        PostMessageW(menu, WM_KEYDOWN, VK_DOWN, 0);
        PostMessageW(menu, WM_KEYDOWN, VK_DOWN, 0);
        PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0);
        driver::MessageBoxInfo box;
        ASSERT_TRUE(driver::waitMessageBox(run.process.processId, L"Dormivel", kWait, box));
        EXPECT_EQ(box.text.rfind(L"Dormivel cannot wake your computer", 0), 0u);
        driver::pressButton(box.window, IDNO);
        EXPECT_TRUE(driver::waitUntil([&] { return !IsWindow(box.window); }, kWait));
        EXPECT_TRUE(driver::isRunning(run.process));
    }
    finish(run);
}

// After the shell restarts it sends "TaskbarCreated"; the icon is added
// again. The icon's presence is seen by deleting it from outside: a delete
// succeeds only while the shell holds the icon.
TEST(MainWindow, TaskbarCreatedAddsTheIconAgain) {
    DormivelRun run;
    ASSERT_TRUE(driver::startDormivel(L"taskbar", "header\n", {}, run));
    const auto deleteIcon = [&] {
        NOTIFYICONDATAW data{};
        data.cbSize = sizeof data;
        data.hWnd = run.mainWindow;
        data.uID = 0;
        return Shell_NotifyIconW(NIM_DELETE, &data) != FALSE;
    };
    // Added at start-up, right after the window was created.
    EXPECT_TRUE(driver::waitUntil(deleteIcon, kWait));
    EXPECT_FALSE(deleteIcon());  // now gone
    const UINT taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
    ASSERT_NE(taskbarCreated, 0u);
    SendMessageW(run.mainWindow, taskbarCreated, 0, 0);
    EXPECT_TRUE(deleteIcon());  // back again
    SendMessageW(run.mainWindow, taskbarCreated, 0, 0);
    EXPECT_TRUE(driver::isRunning(run.process));
    finish(run);
}

// The choice of sleeping method lives in the state the window was created
// with; only the method list's own change notification writes it.
TEST(MainWindow, SleepingMethodListWritesUseHibernate) {
    dormivel::AppState state;
    state.options.useHibernate = true;
    const HWND window = dormivel::createMainWindow(state);
    ASSERT_NE(window, nullptr);
    const HWND method = GetDlgItem(window, IDC_SLEEP_METHOD);
    EXPECT_EQ(SendMessageW(method, CB_GETCURSEL, 0, 0), 1);

    struct Case {
        const char* what;
        int control;
        WORD code;
        LRESULT selection;  // set beforehand without notification
        bool expected;
    };
    const Case cases[] = {
        {"suspend chosen", IDC_SLEEP_METHOD, CBN_SELCHANGE, 0, false},
        {"list box notification with the same code", IDC_UPCOMING_LIST, LBN_SELCHANGE, 1, false},
        {"the other combo's change", IDC_SLEEP_WHEN, CBN_SELCHANGE, 1, false},
        {"another notification of the method list", IDC_SLEEP_METHOD, CBN_DROPDOWN, 1, false},
        {"hibernate chosen", IDC_SLEEP_METHOD, CBN_SELCHANGE, 1, true},
        {"list box notification again", IDC_UPCOMING_LIST, LBN_SELCHANGE, 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SendMessageW(method, CB_SETCURSEL, static_cast<WPARAM>(c.selection), 0);
        SendMessageW(window, WM_COMMAND, MAKEWPARAM(c.control, c.code),
                     reinterpret_cast<LPARAM>(GetDlgItem(window, c.control)));
        EXPECT_EQ(state.options.useHibernate, c.expected);
    }

    // A user's key press in the list notifies the window the same way.
    SendMessageW(method, CB_SETCURSEL, 0, 0);
    state.options.useHibernate = false;
    SendMessageW(method, WM_KEYDOWN, VK_DOWN, 0);
    EXPECT_EQ(SendMessageW(method, CB_GETCURSEL, 0, 0), 1);
    EXPECT_TRUE(state.options.useHibernate);
    SendMessageW(method, WM_KEYDOWN, VK_UP, 0);
    EXPECT_FALSE(state.options.useHibernate);

    DestroyWindow(window);
}

// --- Power broadcasts ------------------------------------------------------

TEST(PowerBroadcast, SuspendQueryIsRefusedOnlyWhileARecordingRuns) {
    struct Case {
        const wchar_t* name;
        std::string schedule;
        bool refused;
    };
    const Case cases[] = {
        {L"recording", recordingNowSchedule(), true},
        {L"idle", laterSchedule(), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(driver::narrow(c.name));
        DormivelRun run;
        startLogged(c.name, c.schedule, {L"--execute=" + markerProgram()}, run);
        const std::size_t before = driver::readLogEvents(run.logPath()).size();
        const LRESULT answer = driver::sendPowerBroadcast(run.mainWindow, PBT_APMQUERYSUSPEND);
        if (c.refused) {
            EXPECT_EQ(answer, BROADCAST_QUERY_DENY);
            // The query failed because of the refusal: the notification only
            // clears the flag, the next one is somebody else's and starts the
            // programs.
            driver::sendPowerBroadcast(run.mainWindow, PBT_APMQUERYSUSPENDFAILED);
            EXPECT_EQ(eventsAfter(run, before), std::vector<std::string>{});
        } else {
            EXPECT_NE(answer, BROADCAST_QUERY_DENY);
        }
        driver::sendPowerBroadcast(run.mainWindow, PBT_APMQUERYSUSPENDFAILED);
        const std::vector<std::string> added = eventsAfter(run, before);
        ASSERT_EQ(added.size(), 1u);
        EXPECT_EQ(added[0], createdProcessLine(markerProgram(), idOf(added[0])));
        EXPECT_EQ(driver::waitForFileText(driver::join(run.dir, L"helper_marker.ran"), kWait), idOf(added[0]));
        finish(run);
    }
}

// One sleep logs one suspend and one resume, whichever resume code comes
// first, and starts the programs once; later resume codes and codes of
// other power events do nothing.
TEST(PowerBroadcast, FirstResumeCodeAfterASuspendActsOnce) {
    DormivelRun run;
    startLogged(L"resume", laterSchedule(), {L"--execute=" + markerProgram()}, run);
    const std::wstring marker = driver::join(run.dir, L"helper_marker.ran");
    const WPARAM resumeCodes[] = {PBT_APMRESUMESUSPEND, PBT_APMRESUMEAUTOMATIC, PBT_APMRESUMECRITICAL};
    constexpr WPARAM kOtherCodes[] = {PBT_APMPOWERSTATUSCHANGE, PBT_POWERSETTINGCHANGE, 3, 5};

    // Resume codes without a suspend before them.
    std::size_t before = driver::readLogEvents(run.logPath()).size();
    for (const WPARAM code : resumeCodes)
        driver::sendPowerBroadcast(run.mainWindow, code);
    for (const WPARAM code : kOtherCodes)
        driver::sendPowerBroadcast(run.mainWindow, code);
    EXPECT_EQ(eventsAfter(run, before), std::vector<std::string>{});

    for (const WPARAM first : resumeCodes) {
        SCOPED_TRACE(first);
        DeleteFileW(marker.c_str());
        before = driver::readLogEvents(run.logPath()).size();
        EXPECT_NE(driver::sendPowerBroadcast(run.mainWindow, PBT_APMSUSPEND), BROADCAST_QUERY_DENY);
        driver::sendPowerBroadcast(run.mainWindow, PBT_APMSUSPEND);  // a second one does nothing
        driver::sendPowerBroadcast(run.mainWindow, first);
        for (const WPARAM code : resumeCodes)
            driver::sendPowerBroadcast(run.mainWindow, code);
        for (const WPARAM code : kOtherCodes)
            driver::sendPowerBroadcast(run.mainWindow, code);

        const std::vector<std::string> added = eventsAfter(run, before);
        ASSERT_EQ(added.size(), 3u);
        EXPECT_EQ(added[0], "<SystemSuspend />");
        EXPECT_EQ(added[1], "<SystemResume />");
        EXPECT_EQ(added[2], createdProcessLine(markerProgram(), idOf(added[2])));
        EXPECT_EQ(driver::waitForFileText(marker, kWait), idOf(added[2]));
    }
    finish(run);
}

}  // namespace
