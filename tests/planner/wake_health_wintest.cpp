// The wake-health facts as the platform gives them, read in-process through
// the stand-in powrprof.dll beside the test program, which plays the machine
// described in the file named by DORMIVEL_POWER_MACHINE; the arming helper;
// the tip's day and time.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/clock_win32.h"
#include "driver/driver_win32.h"
#include "planner/wake_health_win32.h"
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

TEST(WakeHealthPlatform, TheTipsDayAndTimeAndTheTipSet) {
    const SYSTEMTIME local{2025, 12, 1, 8, 6, 29, 0, 0};  // Monday 8 December 2025, 6:29
    SYSTEMTIME utc{};
    FILETIME due{};
    ASSERT_TRUE(TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc) && SystemTimeToFileTime(&utc, &due));
    const TipWakeUp tip = tipWakeUp(fromFileTime(due), "News");
    EXPECT_EQ(tip.day + "|" + tip.time + "|" + tip.title, "Mon|6:29 AM|News");  // the prefix's English (US) formats

    AppState state;
    state.mainWindow = createMainWindow(state);
    ASSERT_NE(state.mainWindow, nullptr);
    addTrayIcon(state.mainWindow, state.smallIcon);
    EXPECT_TRUE(setTrayTip(state.mainWindow, std::string(200, '\xE9')));  // cut to the field
    removeTrayIcon(state.mainWindow);
    DestroyWindow(state.mainWindow);
}

}  // namespace
}  // namespace dormivel
