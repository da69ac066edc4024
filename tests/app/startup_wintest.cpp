// Start-up and shutdown of dormivel.exe, driven as a user would.
#include <gtest/gtest.h>

#include <memory>

#include "driver/driver_win32.h"
#include "support/dormivel_exe.h"
#include "support/refused_start_win32.h"
#include "support/schedule_file_win32.h"

namespace {

namespace test = dormivel::test;
using dormivel::test::kExitCodeMinusOne;
using driver::DormivelRun;

const std::string kEmptySchedule = "header\n";

struct StartupFailure {
    const wchar_t* name;
    bool writeSchedule;
    std::vector<std::wstring> args;
    const wchar_t* message;
};

TEST(Startup, FailuresShowTheirMessageAndExitMinusOne) {
    const StartupFailure cases[] = {
        {L"missing", false, {}, L"Unable to locate schedule file."},
        {L"empty-name", true, {L"--schedfile="}, L"Unable to locate schedule file."},
        {L"absent-name", true, {L"-s"}, L"Unable to locate schedule file."},
        {L"other-name", true, {L"--schedfile=elsewhere.txt"}, L"Unable to locate schedule file."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(driver::narrow(c.name));
        const driver::ScratchDir dir(c.name);
        if (c.writeSchedule) {
            ASSERT_TRUE(driver::writeFile(dir.file(L"schedule.txt"), kEmptySchedule));
        }
        EXPECT_TRUE(test::isRefusedStart(driver::runToStartupWarning(c.args, dir.path()), c.message));
    }
}

TEST(Startup, SecondInstanceIsRefusedAndTheFirstKeepsItsTimer) {
    DormivelRun first;
    ASSERT_TRUE(driver::startDormivel(L"first", kEmptySchedule, {}, first));

    driver::Process second;
    ASSERT_TRUE(driver::start(driver::dormivelExe(), {}, first.dir, second));
    driver::MessageBoxInfo box;
    ASSERT_TRUE(driver::waitMessageBox(second.processId, L"Dormivel", 15000, box));
    EXPECT_EQ(box.text, L"An instance of Dormivel is already running.");
    driver::pressButton(box.window, IDOK);
    DWORD code = 0;
    ASSERT_TRUE(driver::waitExit(second, 10000, code));
    EXPECT_EQ(code, kExitCodeMinusOne);
    driver::kill(second);

    // The first instance runs on, and the named timer is still there.
    EXPECT_TRUE(driver::isRunning(first.process));
    HANDLE timer = OpenWaitableTimerW(SYNCHRONIZE, FALSE, L"Dormivel");
    EXPECT_NE(timer, nullptr);
    if (timer != nullptr) CloseHandle(timer);

    EXPECT_EQ(driver::stopDormivel(first), 0u);
    // With the first instance gone, so is its timer.
    timer = OpenWaitableTimerW(SYNCHRONIZE, FALSE, L"Dormivel");
    EXPECT_EQ(timer, nullptr);
    if (timer != nullptr) CloseHandle(timer);
}

TEST(Startup, FullPathIsUsedAsGiven) {
    const driver::ScratchDir elsewhere(L"elsewhere");
    const std::wstring path = elsewhere.file(L"kalvor schedule.txt");
    ASSERT_TRUE(driver::writeFile(path, kEmptySchedule));
    DormivelRun run;
    // The working folder holds a schedule.txt too; the named file is used.
    ASSERT_TRUE(driver::startDormivel(L"fullpath", kEmptySchedule, {L"--schedfile=" + path}, run));
    EXPECT_TRUE(driver::isRunning(run.process));
    EXPECT_EQ(driver::stopDormivel(run), 0u);
}

TEST(Startup, ScheduleStaysOpenToOtherProcesses) {
    DormivelRun run;
    ASSERT_TRUE(driver::startDormivel(L"sharing", kEmptySchedule, {}, run));
    const std::wstring path = driver::join(run.dir, L"schedule.txt");
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file, "x", 1, &written, nullptr));
    EXPECT_EQ(written, 1u);
    CloseHandle(file);
    EXPECT_EQ(driver::stopDormivel(run), 0u);
}

TEST(Startup, QuitMessageEndsWithExitCodeZero) {
    DormivelRun run;
    ASSERT_TRUE(driver::startDormivel(L"quit", kEmptySchedule, {}, run));
    EXPECT_FALSE(IsWindowVisible(run.mainWindow));  // created hidden
    EXPECT_EQ(driver::stopDormivel(run), 0u);
}

}  // namespace

namespace {

// Another kind of object already holds the timer's name: the timer cannot be
// created, and waiting on no timer would spin; the start-up refuses instead.
TEST(Startup, TimerThatCannotBeCreatedIsAStartupFailure) {
    const std::unique_ptr<void, decltype(&CloseHandle)> squatter(CreateMutexW(nullptr, FALSE, L"Dormivel"),
                                                                 &CloseHandle);
    ASSERT_NE(squatter.get(), nullptr);
    const driver::ScratchDir dir(L"notimer");
    ASSERT_TRUE(driver::writeFile(dir.file(L"schedule.txt"), kEmptySchedule));
    EXPECT_TRUE(test::isRefusedStart(driver::runToStartupWarning({}, dir.path()), L"Unable to create the wake timer."));
}

// A schedule path longer than MAX_PATH is used whole, not cut short.
TEST(Startup, ScheduleBeyondMaxPathIsFound) {
    driver::DormivelRun run;
    run.dir = driver::makeScratchDir(L"longpath");
    std::wstring dir = run.dir;
    while (dir.size() < 300) {
        dir = driver::join(dir, L"a-rather-long-folder-name-for-the-schedule");
        ASSERT_TRUE(CreateDirectoryW(dir.c_str(), nullptr)) << GetLastError();
    }
    const std::wstring path = driver::join(dir, L"schedule.txt");
    ASSERT_GT(path.size(), static_cast<std::size_t>(MAX_PATH));
    const SYSTEMTIME start = test::addSeconds(test::wholeMinute(test::localNow()), 7200);
    ASSERT_TRUE(driver::writeFile(path, test::scheduleFile({{start, test::addSeconds(start, 600), 1, "Deep"}})));
    ASSERT_TRUE(driver::start(driver::dormivelExe(), {L"--schedfile=" + path}, run.dir, run.process));
    run.mainWindow = driver::waitMainWindow(run.process.processId, 15000);
    EXPECT_NE(run.mainWindow, nullptr);
    EXPECT_EQ(driver::findWindow(run.process.processId, L"#32770", L"Dormivel", true), nullptr);
    // The file at the long path is the one read.
    const std::vector<std::string> lines = driver::waitForListLines(run.mainWindow, 1, 10000);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(lines[0].ends_with("\tDeep"));
    EXPECT_EQ(driver::stopDormivel(run), 0u);
}

}  // namespace
