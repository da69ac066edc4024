// dormivel.exe and a schedule file that its writer replaces, deletes or
// holds: the program holds no handle to it between passes, and a read that
// fails keeps the plan until a read works again.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "driver/driver_win32.h"
#include "driver/schedule_text_win32.h"

namespace {

using driver::ScheduleEntry;

constexpr DWORD kWait = 10000;

// The Event bodies once one of them holds `text`.
std::vector<std::string> waitForEventWith(const driver::DormivelRun& run, const std::string& text) {
    return driver::waitForEventHolding(run.logPath(), text, kWait);
}

bool anyEventHolds(const std::vector<std::string>& events, const std::string& text) {
    return std::any_of(events.begin(), events.end(),
                       [&](const std::string& e) { return e.find(text) != std::string::npos; });
}

std::size_t eventsHolding(const std::vector<std::string>& events, const std::string& text) {
    return static_cast<std::size_t>(std::count_if(
        events.begin(), events.end(), [&](const std::string& e) { return e.find(text) != std::string::npos; }));
}

const std::string kEmptyNext = "<NextRecording>\r\n\t</NextRecording>";
const std::string kEmptyNow = "<NowRecording>\r\n\t</NowRecording>";

ScheduleEntry tomorrow(int minutes, const char* title) {
    const SYSTEMTIME start = driver::addSeconds(driver::wholeMinute(driver::localNow()), 86400 + 60 * minutes);
    return {start, driver::addSeconds(start, 1800), 4, title};
}

// A save by rename, as careful writers do it: the new content goes into a
// file beside the schedule, which is then renamed over it. Wine refuses the
// rename while any process has the file open (Windows does not, given delete
// sharing), so it is tried again for a moment in case it meets a pass.
bool saveByRename(const std::wstring& schedule, const std::string& content) {
    const std::wstring fresh = schedule + L".new";
    if (!driver::writeFile(fresh, content)) return false;
    return driver::waitUntil(
        [&] { return MoveFileExW(fresh.c_str(), schedule.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE; }, 3000);
}

TEST(ScheduleFile, ReplacedByRenameOrDeletedAndWrittenAgain) {
    driver::DormivelRun run;
    ASSERT_TRUE(driver::startDormivel(L"file-replace", driver::scheduleFile({tomorrow(0, "Alpha")}),
                                      {L"--logfile=log.xml"}, run));
    const std::wstring schedule = driver::join(run.dir, L"schedule.txt");
    ASSERT_TRUE(anyEventHolds(waitForEventWith(run, "Alpha"), "<NextRecording>"));

    ASSERT_TRUE(saveByRename(schedule, driver::scheduleFile({tomorrow(10, "Bravo")})));
    EXPECT_TRUE(anyEventHolds(waitForEventWith(run, "Bravo"), "<NextRecording>")) << "the renamed file was not read";

    ASSERT_TRUE(DeleteFileW(schedule.c_str()));
    ASSERT_TRUE(driver::writeFile(schedule, driver::scheduleFile({tomorrow(20, "Charlie")})));
    const std::vector<std::string> events = waitForEventWith(run, "Charlie");
    std::string seen;
    for (const std::string& e : events)
        seen += e + "\n";
    EXPECT_TRUE(anyEventHolds(events, "Charlie")) << "the file written again was not read; the log:\n" << seen;
    // The plan never went empty on the way.
    EXPECT_FALSE(anyEventHolds(events, kEmptyNext));
    EXPECT_FALSE(anyEventHolds(events, "SetAllowSleep"));
    EXPECT_EQ(driver::stopDormivel(run), 0u);
    driver::removeTree(run.dir);
}

// The schedule's writer holds it while a recording runs: opened without
// sharing and locked whole (Wine enforces the sharing, not the lock). The
// passes meanwhile keep the plan: the computer stays awake and one error is
// logged; once the writer lets go, the retry reads what it wrote.
TEST(ScheduleFile, HeldByItsWriterDuringARecording) {
    const SYSTEMTIME start = driver::wholeMinute(driver::localNow());
    const ScheduleEntry running{start, driver::addSeconds(start, 600), 3, "Running"};
    driver::DormivelRun run;
    ASSERT_TRUE(driver::startDormivel(L"file-held", driver::scheduleFile({running}), {L"--logfile=log.xml"}, run));
    ASSERT_TRUE(anyEventHolds(waitForEventWith(run, "allow=\"false\""), "Running"));

    const std::wstring schedule = driver::join(run.dir, L"schedule.txt");
    const HANDLE held = CreateFileW(schedule.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    OVERLAPPED whole{};
    EXPECT_TRUE(LockFileEx(held, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD, &whole));
    const std::string rewritten = driver::scheduleFile({running, tomorrow(0, "Later")});
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(held, rewritten.data(), static_cast<DWORD>(rewritten.size()), &written, nullptr));
    SetEndOfFile(held);
    const std::vector<std::string> whileHeld = waitForEventWith(run, "<ScheduleReadError reason=\"");
    UnlockFileEx(held, 0, MAXDWORD, MAXDWORD, &whole);
    CloseHandle(held);
    // Refused at the open (no sharing) or at the read (the lock), as the
    // platform's timing has it.
    EXPECT_TRUE(anyEventHolds(whileHeld, "<ScheduleReadError reason=\"denied\" />") ||
                anyEventHolds(whileHeld, "<ScheduleReadError reason=\"locked\" />"))
        << (whileHeld.empty() ? std::string() : whileHeld.back());

    const std::vector<std::string> events = waitForEventWith(run, "Later");
    EXPECT_TRUE(anyEventHolds(events, "Later")) << "the read was not tried again after the writer let go";
    EXPECT_EQ(eventsHolding(events, "<ScheduleReadError"), 1u);
    EXPECT_FALSE(anyEventHolds(events, "allow=\"true\""));
    EXPECT_FALSE(anyEventHolds(events, kEmptyNow));
    EXPECT_EQ(driver::stopDormivel(run), 0u);
    driver::removeTree(run.dir);
}

}  // namespace

namespace {

// Memory follows the recordings, not the file: a line far longer than any
// schedule line is a bad line, and reading stops there, so a schedule with a
// 100 MB line or one of 2 GB leaves the program running, logging and
// planning with the recordings before it.
TEST(ScheduleFile, HugeLinesAndFilesEndTheReadNotTheProgram) {
    const std::string head = driver::scheduleFile({tomorrow(0, "Before the flood")});
    struct Case {
        const wchar_t* name;
        std::uint64_t zeros;  // a hole of NUL bytes at the end (sparse), or
        std::size_t line;     // a line of this many bytes, then a recording
    };
    const Case cases[] = {{L"file-100mb-line", 0, 100u << 20}, {L"file-2gb", 2ULL << 30, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(driver::narrow(c.name));
        driver::DormivelRun run;
        run.dir = driver::makeScratchDir(c.name);
        const std::wstring schedule = driver::join(run.dir, L"schedule.txt");
        if (c.line > 0) {
            ASSERT_TRUE(driver::writeFile(schedule, head + std::string(c.line, 'x') + "\r\n" +
                                                        driver::scheduleFile({tomorrow(5, "Never read")})));
        } else {
            ASSERT_TRUE(driver::writeFile(schedule, head));
            const HANDLE file = CreateFileW(schedule.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            ASSERT_NE(file, INVALID_HANDLE_VALUE);
            LARGE_INTEGER size;
            size.QuadPart = static_cast<LONGLONG>(head.size() + c.zeros);
            EXPECT_TRUE(SetFilePointerEx(file, size, nullptr, FILE_BEGIN) && SetEndOfFile(file));
            CloseHandle(file);
        }
        ASSERT_TRUE(driver::start(driver::dormivelExe(), {L"--logfile=log.xml"}, run.dir, run.process));
        run.mainWindow = driver::waitMainWindow(run.process.processId, 15000);
        ASSERT_NE(run.mainWindow, nullptr);
        const std::vector<std::string> events = waitForEventWith(run, "Before the flood");
        EXPECT_TRUE(anyEventHolds(events, "<SetWakeUp time=")) << "no wake-up planned";
        EXPECT_FALSE(anyEventHolds(events, "Never read"));
        EXPECT_EQ(driver::waitForListLines(run.mainWindow, 1, 5000).size(), 1u);
        EXPECT_TRUE(driver::isRunning(run.process));
        EXPECT_EQ(driver::stopDormivel(run), 0u);
    }
}

}  // namespace
