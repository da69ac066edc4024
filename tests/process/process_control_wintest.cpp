// Closing the listed applications at a suspend and starting the listed
// programs at the wake after it, through dormivel.exe and real helper
// processes.
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/app_state_win32.h"
#include "driver/driver_win32.h"
#include "eventlog/event_log_win32.h"
#include "process/process_control_win32.h"
#include "ui/main_window_win32.h"

namespace {

using driver::DormivelRun;

constexpr DWORD kWait = 10000;
constexpr DWORD kCleanExitCode = 7;  // helper_window.exe after WM_QUIT

std::wstring logPath(const DormivelRun& run) {
    return driver::join(run.dir, L"log.xml");
}

std::string processLine(const char* element, const char* attribute, const std::string& value, DWORD id) {
    return std::string("<") + element + " " + attribute + "=\"" + value + "\" id=\"" + std::to_string(id) + "\" />";
}

// A running helper_window.exe with one top-level window of its class.
struct WindowHelper {
    std::wstring className;
    bool ignoresQuit;
    driver::Process process;
};

bool startHelper(WindowHelper& helper) {
    if (!driver::start(driver::join(driver::binDir(), L"helper_window.exe"),
                       {helper.className, helper.ignoresQuit ? L"ignore" : L"quit"}, L"", helper.process)) {
        return false;
    }
    return driver::waitWindow(helper.process.processId, helper.className, L"", false, kWait) != nullptr;
}

TEST(CloseApplications, SuspendClosesListedWindowsPolitelyOrByForce) {
    struct Case {
        const wchar_t* className;
        bool ignoresQuit;
        const char* element;    // the expected log line; null: left running
        const char* classText;  // the class attribute as logged
    };
    const Case cases[] = {
        {L"DormivelTestPolite", false, "QuitProcessCleanly", "DormivelTestPolite"},
        {L"DormivelTestStubborn", true, "TerminatedProcessForcefully", "DormivelTestStubborn"},
        {L"Dormivel&Test\"Quote<>", false, "QuitProcessCleanly", "Dormivel&amp;Test&quot;Quote&lt;&gt;"},
        // A class name beyond Latin-1 is logged with an empty attribute.
        {L"DormivelTest\u0132\u20AC", false, "QuitProcessCleanly", ""},
        // Listed only in other letter case, or not at all.
        {L"DormivelTestCase", false, nullptr, nullptr},
        {L"DormivelTestUnlisted", false, nullptr, nullptr},
    };
    // An empty entry and a differently cased one among the real ones.
    const std::wstring terminate =
        L"--terminate=DormivelTestPolite,,DormivelTestStubborn,dormiveltestcase,Dormivel&Test\"Quote<>,"
        L"DormivelTest\u0132\u20AC,DORMIVELTESTCASE";

    std::vector<WindowHelper> helpers;
    for (const auto& c : cases) {
        helpers.push_back({c.className, c.ignoresQuit, {}});
        ASSERT_TRUE(startHelper(helpers.back())) << driver::narrow(c.className);
    }
    DormivelRun run;
    ASSERT_TRUE(driver::startDormivel(L"terminate", "header\n", {terminate, L"--logfile=log.xml"}, run));
    ASSERT_FALSE(driver::waitForLogEvents(logPath(run), 1, kWait).empty());

    const ULONGLONG started = GetTickCount64();
    driver::sendPowerBroadcast(run.mainWindow, PBT_APMSUSPEND);
    const ULONGLONG took = GetTickCount64() - started;
    // The stubborn one was given its five seconds.
    EXPECT_GE(took, 4900u);

    std::vector<std::string> expected;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(driver::narrow(cases[i].className));
        WindowHelper& helper = helpers[i];
        if (cases[i].element == nullptr) {
            EXPECT_TRUE(driver::isRunning(helper.process));
            continue;
        }
        expected.push_back(processLine(cases[i].element, "class", cases[i].classText, helper.process.processId));
        DWORD code = 0xDEAD;
        EXPECT_TRUE(driver::waitExit(helper.process, kWait, code));
        EXPECT_EQ(code, helper.ignoresQuit ? 0u : kCleanExitCode);
    }

    // The process lines (in window order, which is the system's) and then the
    // suspend itself.
    std::vector<std::string> events = driver::readLogEvents(logPath(run));
    ASSERT_GE(events.size(), expected.size() + 2);
    EXPECT_EQ(events.back(), "<SystemSuspend />");
    std::vector<std::string> logged(events.end() - static_cast<std::ptrdiff_t>(expected.size()) - 1, events.end() - 1);
    std::sort(logged.begin(), logged.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(logged, expected);

    // A second suspend notification without a resume does nothing, even with
    // listed windows about again.
    WindowHelper again{L"DormivelTestPolite", false, {}};
    ASSERT_TRUE(startHelper(again));
    const std::size_t count = events.size();
    driver::sendPowerBroadcast(run.mainWindow, PBT_APMSUSPEND);
    EXPECT_EQ(driver::readLogEvents(logPath(run)).size(), count);
    EXPECT_TRUE(driver::isRunning(again.process));

    EXPECT_EQ(driver::stopDormivel(run), 0u);
    driver::kill(again.process);
    for (auto& helper : helpers)
        driver::kill(helper.process);
    driver::removeTree(run.dir);
}

// Dormivel's own windows are never closed, whatever the list names: the
// main dialog's class is "#32770" like every dialog's.
TEST(CloseApplications, OwnWindowsAreLeftAlone) {
    const std::wstring dir = driver::makeScratchDir(L"own");
    const std::wstring log = driver::join(dir, L"log.xml");
    dormivel::AppState state;
    state.options.terminateList = {L"#32770", L"DormivelOwnClass"};
    dormivel::openEventLog(log.c_str(), false, state.logFile);
    ASSERT_TRUE(dormivel::isLogOpen(state.logFile));

    const HWND dialog = dormivel::createMainWindow(state);
    ASSERT_NE(dialog, nullptr);
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"DormivelOwnClass";
    ASSERT_NE(RegisterClassW(&windowClass), 0);
    const HWND plain = CreateWindowExW(0, L"DormivelOwnClass", L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                                       GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(plain, nullptr);

    for (const HWND window : {dialog, plain}) {
        const ULONGLONG started = GetTickCount64();
        dormivel::closeApplicationWindow(window, state);
        EXPECT_LT(GetTickCount64() - started, 4000u);  // no wait for ourselves
        EXPECT_TRUE(IsWindow(window));
        MSG quit;
        EXPECT_FALSE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    }
    EXPECT_EQ(driver::readLogEvents(log), std::vector<std::string>{"<DormivelStart />"});

    DestroyWindow(plain);
    DestroyWindow(dialog);
    UnregisterClassW(L"DormivelOwnClass", GetModuleHandleW(nullptr));
    dormivel::closeEventLog(state.logFile);
    driver::removeTree(dir);
}

// The wake starts the listed programs in order: a path with spaces, a path
// beyond Latin-1 and one relative to Dormivel's folder start; a missing file,
// a name without its ".exe" and an empty entry start nothing and log nothing.
TEST(StartPrograms, WakeStartsTheExecuteListInOrder) {
    const std::wstring marker = driver::join(driver::binDir(), L"helper_marker.exe");
    const std::wstring programs = driver::makeScratchDir(L"programs");
    const std::wstring spaced = driver::join(programs, L"with space");
    ASSERT_TRUE(CreateDirectoryW(spaced.c_str(), nullptr));
    const std::wstring spacedProgram = driver::join(spaced, L"marker one.exe");
    const std::wstring wideProgram = driver::join(programs, L"m\u0132.exe");
    ASSERT_TRUE(CopyFileW(marker.c_str(), spacedProgram.c_str(), FALSE));
    ASSERT_TRUE(CopyFileW(marker.c_str(), wideProgram.c_str(), FALSE));

    const std::wstring list =
        spacedProgram + L"," + driver::join(programs, L"missing.exe") + L",marker3,," + L"marker2.exe," + wideProgram;
    DormivelRun run;
    ASSERT_TRUE(driver::startDormivel(L"execute", "header\n", {L"--execute=" + list, L"--logfile=log.xml"}, run));
    ASSERT_TRUE(CopyFileW(marker.c_str(), driver::join(run.dir, L"marker2.exe").c_str(), FALSE));
    ASSERT_TRUE(CopyFileW(marker.c_str(), driver::join(run.dir, L"marker3.exe").c_str(), FALSE));
    ASSERT_FALSE(driver::waitForLogEvents(logPath(run), 1, kWait).empty());
    const std::size_t before = driver::readLogEvents(logPath(run)).size();

    driver::sendPowerBroadcast(run.mainWindow, PBT_APMSUSPEND);
    driver::sendPowerBroadcast(run.mainWindow, PBT_APMRESUMEAUTOMATIC);

    // Each started program writes its pid into "<name>.ran" in Dormivel's
    // folder, its working folder.
    struct Started {
        std::string logged;  // the path as logged
        const wchar_t* markerName;
    };
    const Started started[] = {
        {driver::narrow(spacedProgram), L"marker one.ran"},
        {"marker2.exe", L"marker2.ran"},
        // Characters beyond Latin-1 are narrowed to the byte 0xFF.
        {driver::narrow(programs) + "\\m\xFF.exe", L"m\u0132.ran"},
    };
    std::vector<std::string> expected = {"<SystemSuspend />", "<SystemResume />"};
    for (const auto& s : started) {
        SCOPED_TRACE(driver::narrow(s.markerName));
        std::string pid;
        EXPECT_TRUE(driver::waitUntil(
            [&] { return driver::readFile(driver::join(run.dir, s.markerName), pid) && !pid.empty(); }, kWait));
        expected.push_back("<CreatedProcess path=\"" + s.logged + "\" id=\"" + pid + "\" />");
    }
    const std::vector<std::string> events = driver::readLogEvents(logPath(run));
    ASSERT_GE(events.size(), before);
    EXPECT_EQ(std::vector<std::string>(events.begin() + static_cast<std::ptrdiff_t>(before), events.end()), expected);
    EXPECT_FALSE(driver::fileExists(driver::join(run.dir, L"marker3.ran")));

    EXPECT_EQ(driver::stopDormivel(run), 0u);
    driver::removeTree(run.dir);
    driver::removeTree(programs);
}

}  // namespace
