// Closing the listed applications at a suspend and starting the listed
// programs at the wake after it, through dormivel.exe and real helper
// processes.
#include <windows.h>

#include <algorithm>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "driver/driver_win32.h"
#include "support/dormivel_exe.h"
#include "support/log_lines.h"

namespace {

using dormivel::test::kHelperWindowQuitCode;
using dormivel::test::processLine;
using driver::DormivelRun;

constexpr DWORD kWait = driver::kTimeoutMs;

// A running helper_window.exe with one top-level window of its class,
// killed at the end of the test whatever happened.
struct WindowHelper {
    std::wstring className;
    bool ignoresQuit = false;
    driver::Process process;

    WindowHelper(std::wstring name, bool ignores) : className(std::move(name)), ignoresQuit(ignores) {}
    WindowHelper(const WindowHelper&) = delete;
    WindowHelper& operator=(const WindowHelper&) = delete;
    ~WindowHelper() { driver::kill(process); }

    bool start() {
        if (!driver::start(driver::helperExe(L"helper_window.exe"), {className, ignoresQuit ? L"ignore" : L"quit"}, L"",
                           process)) {
            return false;
        }
        return driver::waitWindow(process.processId, className, L"", false, kWait) != nullptr;
    }
};

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

    std::deque<WindowHelper> helpers;
    for (const auto& c : cases) {
        ASSERT_TRUE(helpers.emplace_back(c.className, c.ignoresQuit).start()) << driver::narrow(c.className);
    }
    DormivelRun run;
    ASSERT_TRUE(driver::startDormivel(L"terminate", "header\n", {terminate, L"--logfile=log.xml"}, run));
    ASSERT_FALSE(driver::waitForLogEvents(run.logPath(), 1, kWait).empty());

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
        expected.push_back(
            processLine(cases[i].element, "class", cases[i].classText, std::to_string(helper.process.processId)));
        DWORD code = dormivel::test::kNotExited;
        EXPECT_TRUE(driver::waitExit(helper.process, kWait, code));
        EXPECT_EQ(code, helper.ignoresQuit ? 0u : kHelperWindowQuitCode);
    }

    // The process lines (in window order, which is the system's) and then the
    // suspend itself.
    std::vector<std::string> events = driver::readLogEvents(run.logPath());
    ASSERT_GE(events.size(), expected.size() + 2);
    EXPECT_EQ(events.back(), "<SystemSuspend />");
    std::vector<std::string> logged(events.end() - static_cast<std::ptrdiff_t>(expected.size()) - 1, events.end() - 1);
    std::sort(logged.begin(), logged.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(logged, expected);

    // A second suspend notification without a resume does nothing, even with
    // listed windows about again.
    WindowHelper again(L"DormivelTestPolite", false);
    ASSERT_TRUE(again.start());
    const std::size_t count = events.size();
    driver::sendPowerBroadcast(run.mainWindow, PBT_APMSUSPEND);
    EXPECT_EQ(driver::readLogEvents(run.logPath()).size(), count);
    EXPECT_TRUE(driver::isRunning(again.process));

    EXPECT_EQ(driver::stopDormivel(run), 0u);
}

BOOL CALLBACK collectDialogOwner(HWND window, LPARAM context) {
    if (driver::classOf(window) == L"#32770") {
        DWORD processId = 0;
        GetWindowThreadProcessId(window, &processId);
        reinterpret_cast<std::vector<DWORD>*>(context)->push_back(processId);
    }
    return TRUE;
}

// Dormivel's own windows are never closed, whatever the list names: its main
// window's class is "#32770" like every dialog's. Were it asked to quit, it
// would wait five seconds for itself and then end itself.
TEST(CloseApplications, OwnWindowsAreLeftAlone) {
    DormivelRun run;
    ASSERT_TRUE(driver::startDormivel(L"own", "header\n", {L"--terminate=#32770", L"--logfile=log.xml"}, run));
    const std::vector<std::string> before = driver::waitForLogEvents(run.logPath(), 1, kWait);
    ASSERT_FALSE(before.empty());
    // No other process may own a dialog now, or this would close it.
    std::vector<DWORD> owners;
    EnumWindows(collectDialogOwner, reinterpret_cast<LPARAM>(&owners));
    ASSERT_EQ(owners, std::vector<DWORD>{run.process.processId});

    const ULONGLONG started = GetTickCount64();
    driver::sendPowerBroadcast(run.mainWindow, PBT_APMSUSPEND);
    EXPECT_LT(GetTickCount64() - started, 4000u);
    EXPECT_TRUE(driver::isRunning(run.process));
    EXPECT_TRUE(IsWindow(run.mainWindow));
    std::vector<std::string> expected = before;
    expected.push_back("<SystemSuspend />");
    EXPECT_EQ(driver::readLogEvents(run.logPath()), expected);

    EXPECT_EQ(driver::stopDormivel(run), 0u);
}

// The wake starts the listed programs in order: a path with spaces, a path
// beyond Latin-1 and one relative to Dormivel's folder start; a missing file,
// a name without its ".exe" and an empty entry start nothing and log nothing.
TEST(StartPrograms, WakeStartsTheExecuteListInOrder) {
    const std::wstring marker = driver::helperExe(L"helper_marker.exe");
    const driver::ScratchDir programs(L"programs");
    const std::wstring spaced = programs.file(L"with space");
    ASSERT_TRUE(CreateDirectoryW(spaced.c_str(), nullptr));
    const std::wstring spacedProgram = driver::join(spaced, L"marker one.exe");
    const std::wstring wideProgram = programs.file(L"m\u0132.exe");
    ASSERT_TRUE(CopyFileW(marker.c_str(), spacedProgram.c_str(), FALSE));
    ASSERT_TRUE(CopyFileW(marker.c_str(), wideProgram.c_str(), FALSE));

    const std::wstring list =
        spacedProgram + L"," + programs.file(L"missing.exe") + L",marker3,," + L"marker2.exe," + wideProgram;
    DormivelRun run;
    ASSERT_TRUE(driver::startDormivel(L"execute", "header\n", {L"--execute=" + list, L"--logfile=log.xml"}, run));
    ASSERT_TRUE(CopyFileW(marker.c_str(), driver::join(run.dir, L"marker2.exe").c_str(), FALSE));
    ASSERT_TRUE(CopyFileW(marker.c_str(), driver::join(run.dir, L"marker3.exe").c_str(), FALSE));
    ASSERT_FALSE(driver::waitForLogEvents(run.logPath(), 1, kWait).empty());
    const std::size_t before = driver::readLogEvents(run.logPath()).size();

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
        {driver::narrow(programs.path()) + "\\m\xFF.exe", L"m\u0132.ran"},
    };
    std::vector<std::string> expected = {"<SystemSuspend />", "<SystemResume />"};
    for (const auto& s : started) {
        SCOPED_TRACE(driver::narrow(s.markerName));
        const std::string pid = driver::waitForFileText(driver::join(run.dir, s.markerName), kWait);
        EXPECT_FALSE(pid.empty());
        expected.push_back(processLine("CreatedProcess", "path", s.logged, pid));
    }
    const std::vector<std::string> events = driver::readLogEvents(run.logPath());
    ASSERT_GE(events.size(), before);
    EXPECT_EQ(std::vector<std::string>(events.begin() + static_cast<std::ptrdiff_t>(before), events.end()), expected);
    EXPECT_FALSE(driver::fileExists(driver::join(run.dir, L"marker3.ran")));

    EXPECT_EQ(driver::stopDormivel(run), 0u);
}

}  // namespace
