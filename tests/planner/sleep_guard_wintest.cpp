// Sleeps and shutdowns the program cannot refuse, through dormivel.exe's
// main window: the stand-in powrprof.dll records every arming of the wake
// timer with its resume flag and every execution state, and plays the power
// source; the test sends the notifications Windows would send.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/clock_win32.h"
#include "driver/driver_win32.h"
#include "support/schedule_file_win32.h"
#include "support/stand_in_win32.h"
#include "support/system_time_win32.h"

namespace dormivel {
namespace {

namespace test = dormivel::test;

// A recording that started a minute ago and runs for half an hour.
std::string recordingNow(const char* title) {
    const SYSTEMTIME start = test::addSeconds(test::wholeMinute(test::localNow()), -60);
    return test::scheduleFile({{start, test::addSeconds(start, 1800), 3, title}});
}

std::string tomorrow(const char* title) {
    const SYSTEMTIME start = test::addSeconds(test::wholeMinute(test::localNow()), 86400);
    return test::scheduleFile({{start, test::addSeconds(start, 1800), 3, title}});
}

// The body of the last Event holding `text` is the one at `index`.
std::ptrdiff_t indexOf(const std::vector<std::string>& events, const std::string& text) {
    const auto it = std::find_if(events.begin(), events.end(),
                                 [&](const std::string& e) { return e.find(text) != std::string::npos; });
    return it == events.end() ? -1 : it - events.begin();
}

// During a recording on mains power: away mode; a sleep nobody refused is
// answered by a wake-up with resume within the margin, logged right after
// the suspend; a shutdown query is refused; on battery the away mode goes;
// the session's end is logged before the stop marker.
TEST(SleepGuard, SleepAndShutdownDuringARecording) {
    driver::ScratchDir dir(L"sleepguard");
    const test::StandInFile machine(test::kPowerMachine, dir.file(L"machine.txt"));
    const test::StandInFile armings(L"DORMIVEL_TIMER_ARMINGS", dir.file(L"armings.txt"));
    const test::StandInFile states(L"DORMIVEL_EXECUTION_STATES", dir.file(L"states.txt"));
    ASSERT_TRUE(machine.set("source=mains\n"));
    driver::DormivelRun run;
    ASSERT_TRUE(driver::startDormivel(L"sleepguard-run", recordingNow("Morning News"), {L"--logfile=log.xml"}, run));
    driver::waitForEventHolding(run.logPath(), "<SetAllowSleep allow=\"false\" />", driver::kTimeoutMs);
    EXPECT_EQ(states.last(), "80000041");
    EXPECT_TRUE(armings.last().ends_with(" 1")) << armings.last();  // the stop, with resume

    const FileTime sent = currentFileTime();
    driver::sendPowerBroadcast(run.mainWindow, PBT_APMSUSPEND);
    std::vector<std::string> events =
        driver::waitForEventHolding(run.logPath(), "<WakeUpForRecording time=\"", driver::kTimeoutMs);
    const std::ptrdiff_t suspend = indexOf(events, "<SystemSuspend />");
    ASSERT_GE(suspend, 0);
    EXPECT_EQ(indexOf(events, "<WakeUpForRecording"), suspend + 1);
    // The last arming: with resume, within a minute of the notification.
    const std::string last = armings.last();
    ASSERT_TRUE(last.ends_with(" 1")) << last;
    const FileTime armed = std::stoull(last.substr(0, last.size() - 2));
    EXPECT_GT(armed, sent);
    EXPECT_LE(armed, currentFileTime() + 60 * kTicksPerSecond);
    std::uint64_t due = 0;
    ASSERT_TRUE(driver::timerDueTime(L"Dormivel", due));
    EXPECT_LT((due > armed ? due - armed : armed - due), kTicksPerSecond);
    driver::sendPowerBroadcast(run.mainWindow, PBT_APMRESUMEAUTOMATIC);

    EXPECT_EQ(SendMessageW(run.mainWindow, WM_QUERYENDSESSION, 0, 0), FALSE);

    ASSERT_TRUE(machine.set("source=battery\n"));
    driver::sendPowerBroadcast(run.mainWindow, PBT_APMPOWERSTATUSCHANGE);
    EXPECT_TRUE(driver::waitUntil([&] { return states.last() == "80000001"; }, driver::kTimeoutMs)) << states.last();

    SendMessageW(run.mainWindow, WM_ENDSESSION, TRUE, 0);
    DWORD code = 0;
    EXPECT_TRUE(driver::waitExit(run.process, driver::kTimeoutMs, code));
    EXPECT_EQ(code, 0u);
    events = driver::readLogEvents(run.logPath());
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events[events.size() - 2], "<SessionEnd reason=\"shutdown\" />");
    EXPECT_EQ(events.back(), "<DormivelStop />");
}

// With nothing to record soon: the query is allowed, nothing asks the
// system to stay awake, and a sign-out is logged as such.
TEST(SleepGuard, ShutdownAllowedWhenNothingRecords) {
    driver::ScratchDir dir(L"sleepguard-idle");
    const test::StandInFile states(L"DORMIVEL_EXECUTION_STATES", dir.file(L"states.txt"));
    driver::DormivelRun run;
    ASSERT_TRUE(driver::startDormivel(L"sleepguard-idle-run", tomorrow("Alpha"), {L"--logfile=log.xml"}, run));
    driver::waitForEventHolding(run.logPath(), "<SetWakeUp", driver::kTimeoutMs);
    EXPECT_EQ(SendMessageW(run.mainWindow, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), TRUE);
    driver::sendPowerBroadcast(run.mainWindow, PBT_APMSUSPEND);
    SendMessageW(run.mainWindow, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    DWORD code = 0;
    EXPECT_TRUE(driver::waitExit(run.process, driver::kTimeoutMs, code));
    const std::vector<std::string> events = driver::readLogEvents(run.logPath());
    EXPECT_EQ(indexOf(events, "<WakeUpForRecording"), -1);
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events[events.size() - 2], "<SessionEnd reason=\"logoff\" />");
    EXPECT_TRUE(states.lines().empty());
}

}  // namespace
}  // namespace dormivel
