// The wake-health facts as the platform gives them, read in-process through
// the stand-in powrprof.dll beside the test program, which plays the machine
// described in the file named by DORMIVEL_POWER_MACHINE; the arming helper;
// the tip's day and time.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/clock_win32.h"
#include "driver/driver_win32.h"
#include "eventlog/event_log_win32.h"
#include "planner/schedule_pass_win32.h"
#include "planner/wake_health_win32.h"
#include "schedule/schedule_file_win32.h"
#include "support/schedule_file_win32.h"
#include "support/stand_in_win32.h"
#include "support/system_time_win32.h"
#include "ui/main_window_win32.h"
#include "ui/tray_icon_win32.h"

namespace dormivel {
namespace {

bool underWine() {
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

std::string describe(const WakeFacts& f) {
    static const char* const kStates[] = {"?", "s0", "s1", "s2", "s3", "s4", "s5"};
    const auto setting = [](std::optional<WakeTimerSetting> s) {
        return !s ? std::string("?") : std::to_string(static_cast<int>(*s));
    };
    const auto flag = [](std::optional<bool> b) { return !b ? std::string("?") : std::string(*b ? "1" : "0"); };
    return "ac=" + setting(f.pluggedIn) + " dc=" + setting(f.battery) + " s3=" + flag(f.s3) + " s4=" + flag(f.s4) +
           " hiberfile=" + flag(f.hiberFile) + " rtc=" + kStates[static_cast<int>(f.rtcWake)] +
           " aoac=" + flag(f.modernStandby);
}

TEST(WakeHealthFacts, ReadThroughTheStandInPlayingSeveralMachines) {
    const std::wstring dir = driver::makeScratchDir(L"wakefacts");
    const std::wstring machine = driver::join(dir, L"machine.txt");
    ASSERT_TRUE(SetEnvironmentVariableW(L"DORMIVEL_POWER_MACHINE", machine.c_str()));
    struct Case {
        const char* machine;  // null: no file
        const char* facts;
    };
    const Case cases[] = {
        {nullptr, "ac=1 dc=1 s3=1 s4=1 hiberfile=1 rtc=s4 aoac=0"},
        {"ac=0\r\ndc=2\r\n", "ac=0 dc=2 s3=1 s4=1 hiberfile=1 rtc=s4 aoac=0"},
        {"ac=fail\ndc=7\n", "ac=? dc=? s3=1 s4=1 hiberfile=1 rtc=s4 aoac=0"},
        {"scheme=fail\ns3=0\naoac=1\nrtcwake=2\n", "ac=? dc=? s3=0 s4=1 hiberfile=1 rtc=s1 aoac=1"},
        {"caps=fail\n", "ac=1 dc=1 s3=? s4=? hiberfile=? rtc=? aoac=?"},
        {"s4=0\nhiberfile=0\nrtcwake=0", "ac=1 dc=1 s3=1 s4=0 hiberfile=0 rtc=? aoac=0"},
        {"rtcwake=4\nac=2\n", "ac=2 dc=1 s3=1 s4=1 hiberfile=1 rtc=s3 aoac=0"},
    };
    // One file rewritten between reads: the stand-in reads it at every call.
    for (const Case& c : cases) {
        DeleteFileW(machine.c_str());
        if (c.machine != nullptr) {
            ASSERT_TRUE(driver::writeFile(machine, c.machine));
        }
        const WakeFacts facts = readWakeFacts(SleepMethod::hibernate, WakeArmResult::resumeIgnored);
        EXPECT_EQ(describe(facts), c.facts) << (c.machine != nullptr ? c.machine : "no file");
        EXPECT_EQ(facts.method, SleepMethod::hibernate);
        EXPECT_EQ(facts.lastArm, WakeArmResult::resumeIgnored);
        if (underWine()) {
            EXPECT_EQ(facts.source, PowerSource::mains);  // Wine's GetSystemPowerStatus
        }
    }
    ASSERT_TRUE(driver::writeFile(machine, "ac=0\n"));
    EXPECT_EQ(assessWakeHealth(readWakeFacts(SleepMethod::suspend, WakeArmResult::accepted)),
              (WakeHealth{WakeProblem::timersOff, PlanScope::pluggedIn}));
    SetEnvironmentVariableW(L"DORMIVEL_POWER_MACHINE", nullptr);
    driver::removeTree(dir);
}

// The stand-in plays whether the system wakes for a timer armed with resume
// (under Wine the platform itself always says it will not).
TEST(WakeHealthPlatform, ArmingWithResume) {
    EXPECT_EQ(armWakeTimerWithResume(nullptr, 0), WakeArmResult::failed);
    const HANDLE timer = CreateWaitableTimerW(nullptr, FALSE, nullptr);
    ASSERT_NE(timer, nullptr);
    const std::wstring dir = driver::makeScratchDir(L"wakearm");
    const std::wstring machine = driver::join(dir, L"machine.txt");
    ASSERT_TRUE(SetEnvironmentVariableW(L"DORMIVEL_POWER_MACHINE", machine.c_str()));
    const FileTime due = currentFileTime() + 3600 * kTicksPerSecond;
    EXPECT_EQ(armWakeTimerWithResume(timer, due), WakeArmResult::accepted);
    ASSERT_TRUE(driver::writeFile(machine, "timer=ignored\n"));
    EXPECT_EQ(armWakeTimerWithResume(timer, due), WakeArmResult::resumeIgnored);
    SetEnvironmentVariableW(L"DORMIVEL_POWER_MACHINE", nullptr);
    CloseHandle(timer);
    driver::removeTree(dir);
}

namespace test = dormivel::test;

std::size_t count(const std::vector<std::string>& events, const std::string& text) {
    return static_cast<std::size_t>(std::count_if(
        events.begin(), events.end(), [&](const std::string& e) { return e.find(text) != std::string::npos; }));
}

// The Event bodies once one holds `text`.
std::vector<std::string> waitForEventWith(const std::wstring& log, const std::string& text) {
    return driver::waitForEventHolding(log, text, 10000);
}

std::string tomorrowAt(int minutes, const char* title) {
    const SYSTEMTIME start = test::addSeconds(test::wholeMinute(test::localNow()), 86400 + 60 * minutes);
    return test::scheduleFile({{start, test::addSeconds(start, 1800), 3, title}});
}

// dormivel.exe on a machine whose power plan turns wake timers off on mains
// power: one warning however many passes arm a wake-up, the recovery once
// they are turned on again, then hibernation chosen without a hibernation
// file.
TEST(WakeHealth, PlanWarnedOnceThenRecoveredThenHibernationNamed) {
    driver::ScratchDir machineDir(L"wake-machine");
    const test::StandInFile machine(test::kPowerMachine, machineDir.file(L"machine.txt"));
    ASSERT_TRUE(machine.set("ac=0\n"));
    driver::DormivelRun run;
    ASSERT_TRUE(driver::startDormivel(L"wake-plan", tomorrowAt(0, "Alpha"), {L"--logfile=log.xml"}, run));
    std::vector<std::string> events = waitForEventWith(run.logPath(), "<WakeUnavailable");
    EXPECT_EQ(count(events, "<WakeUnavailable reason=\"timersoff\" />"), 1u);

    // More passes that arm a wake-up say nothing more.
    const std::wstring schedule = driver::join(run.dir, L"schedule.txt");
    for (const char* title : {"Bravo", "Charlie"}) {
        ASSERT_TRUE(driver::writeFile(schedule, tomorrowAt(title[0] - 'A', title)));
        events = waitForEventWith(run.logPath(), title);
    }
    EXPECT_EQ(count(events, "<WakeUnavailable"), 1u);

    // Turned on again; the power source's change is a moment to look.
    ASSERT_TRUE(machine.set("ac=1\n"));
    driver::sendPowerBroadcast(run.mainWindow, PBT_APMPOWERSTATUSCHANGE);
    events = waitForEventWith(run.logPath(), "<WakeAvailable />");
    EXPECT_EQ(count(events, "<WakeAvailable />"), 1u);

    ASSERT_TRUE(machine.set("hiberfile=0\n"));
    const HWND method = GetDlgItem(run.mainWindow, 1008);
    SendMessageW(method, CB_SETCURSEL, 1, 0);
    SendMessageW(run.mainWindow, WM_COMMAND, MAKEWPARAM(1008, CBN_SELCHANGE), reinterpret_cast<LPARAM>(method));
    events = waitForEventWith(run.logPath(), "<WakeUnavailable reason=\"nohibernate\" />");
    EXPECT_EQ(count(events, "<WakeUnavailable"), 2u);
    EXPECT_EQ(driver::stopDormivel(run), 0u);
}

// Without the stand-in beside it, dormivel.exe meets Wine's own answers (no
// power plan to read, no S3, the clock waking from S1 only): it keeps running
// and logs what it concludes exactly once.
TEST(WakeHealth, WinesOwnAnswersAreLoggedOnce) {
    driver::DormivelRun run;
    run.dir = driver::makeScratchDir(L"wake-wine");
    const std::wstring exe = driver::join(run.dir, L"dormivel.exe");
    ASSERT_TRUE(CopyFileW(driver::dormivelExe().c_str(), exe.c_str(), FALSE));
    ASSERT_TRUE(driver::writeFile(driver::join(run.dir, L"schedule.txt"), tomorrowAt(0, "Alpha")));
    ASSERT_TRUE(driver::start(exe, {L"--logfile=log.xml"}, run.dir, run.process));
    run.mainWindow = driver::waitMainWindow(run.process.processId, 15000);
    ASSERT_NE(run.mainWindow, nullptr);
    std::vector<std::string> events = waitForEventWith(run.logPath(), "<WakeUnavailable");
    EXPECT_EQ(count(events, "<WakeUnavailable reason=\"nosuspend\" />"), 1u);

    ASSERT_TRUE(driver::writeFile(driver::join(run.dir, L"schedule.txt"), tomorrowAt(5, "Bravo")));
    waitForEventWith(run.logPath(), "Bravo");
    driver::sendPowerBroadcast(run.mainWindow, PBT_APMPOWERSTATUSCHANGE);
    ASSERT_TRUE(driver::writeFile(driver::join(run.dir, L"schedule.txt"), tomorrowAt(10, "Charlie")));
    events = waitForEventWith(run.logPath(), "Charlie");
    EXPECT_EQ(count(events, "<WakeUnavailable"), 1u);
    EXPECT_EQ(count(events, "<WakeAvailable"), 0u);
    EXPECT_EQ(driver::stopDormivel(run), 0u);
}

// In-process, with the program's own main window and tray icon: the tip
// follows the health and the armed wake-up, and a resume notification after
// a sleep through the armed time reports the late wake, also when the
// signalled timer's pass runs before it.
TEST(WakeHealth, TipAndLateWakeThroughTheMainWindow) {
    driver::ScratchDir dir(L"wake-inprocess");
    const test::StandInFile machine(test::kPowerMachine, dir.file(L"machine.txt"));
    AppState state;
    initAppState(state);
    state.schedulePath = dir.file(L"schedule.txt");
    ASSERT_TRUE(driver::writeFile(state.schedulePath, tomorrowAt(0, "Evening News")));
    // As the settle leaves it: the file seen standing still.
    state.settledStamp = readScheduleStamp(state.schedulePath);
    state.wakeTimer.reset(CreateWaitableTimerW(nullptr, FALSE, nullptr));
    state.mainWindow = createMainWindow(state);
    ASSERT_NE(state.mainWindow, nullptr);
    addTrayIcon(state.mainWindow, state.smallIcon);
    const std::wstring log = dir.file(L"log.xml");
    openEventLog(log.c_str(), false, state.logFile);

    // The day and time in the prefix's English (US) formats; a tip too long
    // for its field is cut, not refused.
    const SYSTEMTIME monday{2025, 12, 1, 8, 6, 29, 0, 0};  // Monday 8 December 2025, 6:29
    SYSTEMTIME mondayUtc{};
    FILETIME mondayDue{};
    ASSERT_TRUE(TzSpecificLocalTimeToSystemTime(nullptr, &monday, &mondayUtc) &&
                SystemTimeToFileTime(&mondayUtc, &mondayDue));
    const TipWakeUp tip = tipWakeUp(fromFileTime(mondayDue), "News", currentTimeZone());
    EXPECT_EQ(tip.day + "|" + tip.time + "|" + tip.title, "Mon|6:29 AM|News");
    EXPECT_TRUE(setTrayTip(state.mainWindow, std::string(200, '\xE9')));

    ASSERT_TRUE(machine.set("ac=0\n"));
    checkWakeHealth(state);
    EXPECT_EQ(state.trayTip, "Dormivel: wake-ups are off in the power plan");

    ASSERT_TRUE(machine.set("ac=1\n"));
    const FileTime due = currentFileTime() + 86400 * kTicksPerSecond;
    state.wake.armed = ArmedWake{due, "Morning News"};
    checkWakeHealth(state);
    const TipWakeUp when = tipWakeUp(due, "", currentTimeZone());
    EXPECT_EQ(state.trayTip, "Dormivel: next wake-up " + when.day + " " + when.time + " for Morning News");

    // Asleep from ten minutes ago through a wake-up armed for five minutes
    // ago: the resume now is late. A second sleep through no armed time is
    // not.
    const FileTime now = currentFileTime();
    const FileTime armed = now - 300 * kTicksPerSecond;
    state.wake.armed = ArmedWake{armed, "Morning News"};
    driver::sendPowerBroadcast(state.mainWindow, PBT_APMSUSPEND);
    state.wake.suspendedAt = now - 600 * kTicksPerSecond;
    driver::sendPowerBroadcast(state.mainWindow, PBT_APMRESUMEAUTOMATIC);
    driver::sendPowerBroadcast(state.mainWindow, PBT_APMSUSPEND);
    driver::sendPowerBroadcast(state.mainWindow, PBT_APMRESUMESUSPEND);

    // A third sleep through an armed time; the signalled timer's pass runs
    // before the resume notification and arms tomorrow's wake-up.
    const FileTime armedAgain = now - 200 * kTicksPerSecond;
    armWakeTimer(state, ArmedWake{armedAgain, "Morning News"});
    driver::sendPowerBroadcast(state.mainWindow, PBT_APMSUSPEND);
    state.wake.suspendedAt = now - 600 * kTicksPerSecond;
    runSchedulePass(state);
    ASSERT_TRUE(state.wake.armed);
    EXPECT_GT(state.wake.armed->due, now);
    driver::sendPowerBroadcast(state.mainWindow, PBT_APMRESUMEAUTOMATIC);

    std::string bytes;
    ASSERT_TRUE(driver::readFile(log, bytes));
    const std::vector<std::string> events = driver::logEvents(bytes);
    EXPECT_EQ(count(events, "<WakeUnavailable reason=\"timersoff\" />"), 1u);
    EXPECT_EQ(count(events, "<WakeAvailable />"), 1u);
    const std::string lateWake = "<LateWake due=\"" + formatLogTimestampUtc(armed, currentTimeZone()) + "\" />";
    EXPECT_EQ(count(events, lateWake), 1u) << bytes;
    const std::string lateAgain = "<LateWake due=\"" + formatLogTimestampUtc(armedAgain, currentTimeZone()) + "\" />";
    EXPECT_EQ(count(events, lateAgain), 1u) << bytes;
    EXPECT_EQ(count(events, "<LateWake"), 2u);

    removeTrayIcon(state.mainWindow);
    DestroyWindow(state.mainWindow);
    state.mainWindow = nullptr;
    destroyAppState(state);
}

}  // namespace
}  // namespace dormivel
