// The main loop under load, driven as a user and a busy writer would: a
// schedule that keeps changing, modal loops left open, and a watched folder
// that is replaced across a sleep. Every wait is on a condition with a
// deadline; the times measured are printed with each assertion.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "driver/driver_win32.h"
#include "support/schedule_file_win32.h"
#include "ui/resource.h"

namespace {

namespace test = dormivel::test;
using driver::DormivelRun;

const std::string kAllowSleepFalse = "<SetAllowSleep allow=\"false\" />";

// How late, in milliseconds, the moment now is after the local time `t`.
std::int64_t msAfter(const SYSTEMTIME& t) {
    return (test::toTicks(test::localNow()) - test::toTicks(t)) / (test::kTicksPerSecond / 1000);
}

std::size_t countHolding(const std::vector<std::string>& events, const std::string& text) {
    std::size_t n = 0;
    for (const std::string& e : events) {
        if (e.find(text) != std::string::npos) ++n;
    }
    return n;
}

// Starts dormivel.exe with a log and the lead time of `r`, and waits for the
// first pass's Event.
void startForLeadTime(const wchar_t* name, const test::SoonRecording& r, DormivelRun& run) {
    ASSERT_TRUE(driver::startDormivel(name, test::scheduleFile({r.entry}),
                                      {L"--logfile=log.xml", L"--leadtime=" + std::to_wstring(r.leadSeconds)}, run));
    ASSERT_GE(driver::waitForLogEvents(run.logPath(), 2, driver::kTimeoutMs).size(), 2u) << "no first pass";
}

// Waits past the wake-up of `r` for the pass that forbids sleep; the delay
// after the wake-up in milliseconds, or -1 when none came.
std::int64_t waitForStayAwake(const DormivelRun& run, const test::SoonRecording& r) {
    const DWORD deadline = static_cast<DWORD>(std::max<std::int64_t>(0, -msAfter(r.wake)) + 10000);
    const std::vector<std::string> events = driver::waitForEventHolding(run.logPath(), kAllowSleepFalse, deadline);
    return countHolding(events, kAllowSleepFalse) > 0 ? msAfter(r.wake) : -1;
}

// Rewrites the schedule in place every half second for `totalMs`, each
// version with a new title beside the recording at the same start
// ("Rewrite N"), so that every pass that reads a new version logs it.
std::jthread rewriteEveryHalfSecond(const std::wstring& path, const test::ScheduleEntry& entry, ULONGLONG totalMs,
                                    std::atomic<int>& writes) {
    return std::jthread([=, &writes] {
        const ULONGLONG began = GetTickCount64();
        for (ULONGLONG at = 0; at < totalMs; at += 500) {
            const ULONGLONG now = GetTickCount64() - began;
            if (now < at) Sleep(static_cast<DWORD>(at - now));  // the writer's pace, not a wait for a condition
            test::ScheduleEntry beside = entry;
            beside.channel = 22;
            beside.title = "Rewrite " + std::to_string(writes + 1);
            if (driver::writeFile(path, test::scheduleFile({entry, beside}))) ++writes;
        }
    });
}

// A schedule rewritten every half second for 30 s, while a recording's lead
// time begins 15 s in: the timer's pass still comes on time (with the plan
// it has: a file changed moments ago may be cut short, and only the
// settle's passes read it), and a pass reads the file by the settle's cap of
// 10 s rather than after the last write. Once the writes stop, one pass
// reads the last version.
TEST(MainLoop, ScheduleThatNeverSettlesStillServesTheLeadTime) {
    const test::SoonRecording r = test::recordingWakingSoon("Lead Begins", 15);
    DormivelRun run;
    startForLeadTime(L"loop-rewrites", r, run);
    const std::wstring log = run.logPath();

    std::atomic<int> writes{0};
    const ULONGLONG began = GetTickCount64();
    std::jthread writer = rewriteEveryHalfSecond(driver::join(run.dir, L"schedule.txt"), r.entry, 30000, writes);
    const std::vector<std::string> firstRead = driver::waitForEventHolding(log, "Rewrite ", 15000);
    const ULONGLONG readAfter = GetTickCount64() - began;
    EXPECT_GT(countHolding(firstRead, "Rewrite "), 0u) << "no pass while the file kept changing";
    EXPECT_LE(readAfter, 12000u) << "the first pass read the file " << readAfter << " ms after the writes began";

    const std::int64_t late = waitForStayAwake(run, r);
    EXPECT_GE(late, 0) << "no pass forbade sleep within 10 s of the lead time";
    EXPECT_LE(late, 1500) << "sleep forbidden " << late << " ms after the lead time began";
    std::printf("[ figures  ] first pass %llu ms into the writes; stay-awake %lld ms after the lead time\n", readAfter,
                static_cast<long long>(late));

    // Passes that read the file during the writes: at the caps, never one a
    // write; once the writes stop, one reads the last version.
    const std::size_t duringWrites = countHolding(driver::readLogEvents(log), "Rewrite ");
    writer.join();
    const std::string last = "Rewrite " + std::to_string(writes);
    const std::vector<std::string> events = driver::waitForEventHolding(log, last, 10000);
    EXPECT_EQ(countHolding(events, last), 1u) << "the last version was not read once";
    EXPECT_GE(duringWrites, 1u);
    EXPECT_GE(countHolding(events, "Rewrite "), 3u) << "the caps at 10 and 20 s, and the last version";
    EXPECT_LE(countHolding(events, "Rewrite "), 10u) << "of " << writes << " writes";
    EXPECT_EQ(driver::stopDormivel(run), 0u);
}

// The modal loops a user can leave open: the close confirmation and the
// tray menu. A lead time that begins meanwhile gets its pass within about a
// second; answering No (or leaving the menu) keeps the program running.
TEST(MainLoop, ModalLoopsLeftOpenStillServeTheLeadTime) {
    struct Case {
        const char* name;
        std::function<HWND(const DormivelRun&)> open;
        std::function<void(HWND)> close;
    };
    const Case cases[] = {
        {"close confirmation",
         [](const DormivelRun& run) {
             PostMessageW(run.mainWindow, WM_COMMAND, MAKEWPARAM(IDM_TRAY_CLOSE, 0), 0);
             driver::MessageBoxInfo box;
             return driver::waitMessageBox(run.process.processId, L"Dormivel", driver::kTimeoutMs, box) ? box.window
                                                                                                        : nullptr;
         },
         [](HWND box) { driver::pressButton(box, IDNO); }},
        {"tray menu",
         [](const DormivelRun& run) {
             PostMessageW(run.mainWindow, WM_USER, 0, WM_RBUTTONUP);
             return driver::waitWindow(run.process.processId, L"#32768", L"", true, driver::kTimeoutMs);
         },
         [](HWND menu) { PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 0); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const test::SoonRecording r = test::recordingWakingSoon("Left Open", 5);
        DormivelRun run;
        startForLeadTime(L"loop-modal", r, run);
        const HWND modal = c.open(run);
        ASSERT_NE(modal, nullptr);
        ASSERT_GT(-msAfter(r.wake), 500) << "opened too late to show anything";

        const std::int64_t late = waitForStayAwake(run, r);
        EXPECT_TRUE(IsWindowVisible(modal)) << "closed meanwhile";
        EXPECT_GE(late, 0) << "no pass while the " << c.name << " was open";
        EXPECT_LE(late, 1500) << "sleep forbidden " << late << " ms after the lead time began";
        std::printf("[ figures  ] %s: stay-awake %lld ms after the lead time\n", c.name, static_cast<long long>(late));

        c.close(modal);
        EXPECT_TRUE(driver::waitUntil([&] { return !IsWindowVisible(modal); }, driver::kTimeoutMs));
        EXPECT_TRUE(driver::isRunning(run.process));
        EXPECT_EQ(driver::stopDormivel(run), 0u);
    }
}

// The watched folder replaced while the computer sleeps (a network share
// that reconnects, a sync tool that re-creates it): the resume renews the
// watch and runs a pass, which reads the new folder's file, and later
// writes there are seen again.
TEST(MainLoop, ResumeRenewsTheWatchAndRunsAPass) {
    const SYSTEMTIME start = test::addSeconds(test::wholeMinute(test::localNow()), 7200);
    const auto version = [&](const char* title) {
        return test::scheduleFile({{start, test::addSeconds(start, 600), 4, title}});
    };
    DormivelRun run;
    run.dir = driver::makeScratchDir(L"loop-resume");
    const std::wstring folder = driver::join(run.dir, L"kalvor");
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring schedule = driver::join(folder, L"schedule.txt");
    ASSERT_TRUE(driver::writeFile(schedule, version("Before")));
    ASSERT_TRUE(driver::start(driver::dormivelExe(), {L"--schedfile=" + schedule}, run.dir, run.process));
    run.mainWindow = driver::waitMainWindow(run.process.processId, driver::kStartTimeoutMs);
    ASSERT_NE(run.mainWindow, nullptr);
    const auto listShows = [&](const std::string& title) {
        return driver::waitUntil(
            [&] {
                const std::vector<std::string> lines =
                    driver::listBoxLines(GetDlgItem(run.mainWindow, IDC_UPCOMING_LIST));
                return lines.size() == 1 && lines[0].ends_with("\t" + title);
            },
            driver::kTimeoutMs);
    };
    ASSERT_TRUE(listShows("Before"));

    ASSERT_TRUE(MoveFileW(folder.c_str(), driver::join(run.dir, L"kalvor-old").c_str()));
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    ASSERT_TRUE(driver::writeFile(schedule, version("Replaced")));
    driver::sendPowerBroadcast(run.mainWindow, PBT_APMSUSPEND);
    driver::sendPowerBroadcast(run.mainWindow, PBT_APMRESUMEAUTOMATIC);
    EXPECT_TRUE(listShows("Replaced")) << "no pass after the resume";

    ASSERT_TRUE(driver::writeFile(schedule, version("Written Later")));
    EXPECT_TRUE(listShows("Written Later")) << "the new folder is not watched";
    EXPECT_EQ(driver::stopDormivel(run), 0u);
}

}  // namespace
