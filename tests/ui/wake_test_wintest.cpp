// The tray menu's wake-up test through dormivel.exe's main window: the
// stand-in powrprof.dll takes the sleep request, plays the suspend and an
// automatic resume (DORMIVEL_WAKE=automatic: the resume notification alone,
// and IsSystemResumeAutomatic saying TRUE from then on), and records every
// arming of the wake timer.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/clock_win32.h"
#include "driver/driver_win32.h"
#include "eventlog/event_log_win32.h"
#include "support/schedule_file_win32.h"
#include "support/stand_in_win32.h"
#include "support/system_time_win32.h"
#include "ui/resource.h"

namespace dormivel {
namespace {

namespace test = dormivel::test;
using test::StandInFile;

constexpr DWORD kWait = driver::kTimeoutMs;

// An environment variable for every process started while the object lives.
struct EnvironmentValue {
    EnvironmentValue(const wchar_t* name, const wchar_t* value) : name_(name) { SetEnvironmentVariableW(name, value); }
    EnvironmentValue(const EnvironmentValue&) = delete;
    EnvironmentValue& operator=(const EnvironmentValue&) = delete;
    ~EnvironmentValue() { SetEnvironmentVariableW(name_, nullptr); }

private:
    const wchar_t* name_;
};

std::string startingIn(int seconds, const char* title) {
    const SYSTEMTIME start = test::addSeconds(test::wholeMinute(test::localNow()), seconds);
    return test::scheduleFile({{start, test::addSeconds(start, 1800), 3, title}});
}

// The element names of the Event bodies, in file order.
std::vector<std::string> kinds(const std::vector<std::string>& events) {
    std::vector<std::string> out;
    out.reserve(events.size());
    for (const std::string& event : events)
        out.push_back(event.substr(0, event.find_first_of(" />")));
    return out;
}

std::string attribute(const std::string& element, const std::string& name) {
    const std::string key = name + "=\"";
    const std::size_t begin = element.find(key);
    if (begin == std::string::npos) return {};
    const std::size_t end = element.find('"', begin + key.size());
    return element.substr(begin + key.size(), end - begin - key.size());
}

// A visible dialog of the process that is not a message box: a countdown.
bool countdownOpen(const driver::Process& process) {
    const HWND window = driver::findWindow(process.processId, L"#32770", L"", true);
    return window != nullptr && GetDlgItem(window, 0xFFFF) == nullptr;
}

HWND openWakeTestQuestion(const driver::DormivelRun& run, driver::MessageBoxInfo& box) {
    if (!PostMessageW(run.mainWindow, WM_COMMAND, MAKEWPARAM(IDM_TRAY_TEST_WAKE, 0), 0)) return nullptr;
    if (!driver::waitMessageBox(run.process.processId, L"Dormivel", kWait, box)) return nullptr;
    return box.window;
}

// Yes: the listed application is closed, the test is logged before the
// sleep request with the wake-up it armed two minutes ahead, the stand-in's
// automatic resume gives a result by itself, the pass after it arms the
// plan's wake-up again and opens no countdown, although the system now says
// it resumed automatically (a later wake of the same kind does open one).
TEST(WakeTestRun, FromTheTrayMenuToItsResult) {
    driver::ScratchDir dir(L"waketest");
    const StandInFile requests(L"DORMIVEL_SUSPEND_REQUESTS", dir.file(L"requests.txt"));
    const StandInFile armings(L"DORMIVEL_TIMER_ARMINGS", dir.file(L"armings.txt"));
    const EnvironmentValue wake(L"DORMIVEL_WAKE", L"automatic");
    driver::Process helper;
    ASSERT_TRUE(
        driver::start(driver::helperExe(L"helper_window.exe"), {L"DormivelTestWakeTest", L"quit"}, L"", helper));
    ASSERT_NE(driver::waitWindow(helper.processId, L"DormivelTestWakeTest", L"", false, kWait), nullptr);

    driver::DormivelRun run;
    ASSERT_TRUE(driver::startDormivel(L"waketest-run", startingIn(86400, "Evening News"),
                                      {L"--logfile=log.xml", L"--terminate=DormivelTestWakeTest"}, run));
    driver::waitForEventHolding(run.logPath(), "<SetWakeUp", kWait);
    const std::string planArming = armings.last();
    ASSERT_TRUE(planArming.ends_with(" 1")) << planArming;
    const std::size_t armedBefore = armings.lines().size();

    driver::MessageBoxInfo box;
    ASSERT_NE(openWakeTestQuestion(run, box), nullptr);
    EXPECT_EQ(box.text,
              L"Dormivel will put the PC to sleep now and wake it in 2 minutes, to test that wake-ups work. Save your "
              L"work first. Test now?");
    std::vector<int> buttons = box.buttons;
    std::sort(buttons.begin(), buttons.end());
    EXPECT_EQ(buttons, (std::vector<int>{IDYES, IDNO}));
    EXPECT_EQ(GetWindow(box.window, GW_OWNER), run.mainWindow);
    EXPECT_TRUE(requests.lines().empty());
    const FileTime pressed = currentFileTime();
    driver::pressButton(box.window, IDYES);

    const std::vector<std::string> events = driver::waitForEventHolding(run.logPath(), "<WakeTestResult", kWait);
    const FileTime judged = currentFileTime();
    const std::vector<std::string> all = kinds(events);
    const auto from = std::find(all.begin(), all.end(), "<QuitProcessCleanly");
    ASSERT_NE(from, all.end()) << "the listed application was not closed";
    EXPECT_EQ(std::vector<std::string>(from, all.end()),
              (std::vector<std::string>{"<QuitProcessCleanly", "<WakeTest", "<SystemSuspend", "<SystemResume",
                                        "<WakeTestResult"}));
    EXPECT_FALSE(driver::isRunning(helper));
    EXPECT_EQ(requests.lines(), std::vector<std::string>{"0 0 0"});

    // The test's arming: with resume, two minutes after the answer, and the
    // time the log names.
    const std::vector<std::string> armed = armings.lines();
    ASSERT_GT(armed.size(), armedBefore);
    const std::string& testArming = armed[armedBefore];
    ASSERT_TRUE(testArming.ends_with(" 1")) << testArming;
    const FileTime due = std::stoull(testArming.substr(0, testArming.size() - 2));
    EXPECT_GE(due, pressed + 120 * kTicksPerSecond);
    EXPECT_LE(due, judged + 120 * kTicksPerSecond);
    const auto element = [&](const char* kind) {
        return events[static_cast<std::size_t>(std::find(all.begin(), all.end(), kind) - all.begin())];
    };
    EXPECT_EQ(element("<WakeTest"), "<WakeTest due=\"" + formatLogTimestampUtc(due, currentTimeZone()) + "\" />");
    const std::string result = element("<WakeTestResult");
    EXPECT_EQ(attribute(result, "automatic"), "true") << result;
    // The stand-in wakes at once: about two minutes before the time set.
    const int late = std::stoi(attribute(result, "late"));
    EXPECT_LE(late, -110) << result;
    EXPECT_GE(late, -120) << result;

    // The pass after the result arms the plan's wake-up again; once the
    // window has answered a message sent after that, the pass is over.
    EXPECT_TRUE(driver::waitUntil([&] { return armings.last() == planArming; }, kWait)) << armings.last();
    SendMessageW(run.mainWindow, WM_NULL, 0, 0);
    EXPECT_FALSE(countdownOpen(run.process)) << "a countdown opened after the test";

    // Without a test, the same automatic wake and a pass open a countdown.
    driver::sendPowerBroadcast(run.mainWindow, PBT_APMSUSPEND);
    driver::sendPowerBroadcast(run.mainWindow, PBT_APMRESUMEAUTOMATIC);
    SendMessageW(run.mainWindow, WM_TIMECHANGE, 0, 0);
    EXPECT_TRUE(driver::waitUntil([&] { return countdownOpen(run.process); }, kWait));

    EXPECT_EQ(driver::stopDormivel(run), 0u);
    driver::kill(helper);
}

// While something records, the item says why no test can be made, with one
// OK button, and nothing else happens.
TEST(WakeTestRun, RefusedWhileARecordingRuns) {
    driver::ScratchDir dir(L"waketest-refused");
    const StandInFile requests(L"DORMIVEL_SUSPEND_REQUESTS", dir.file(L"requests.txt"));
    driver::DormivelRun run;
    ASSERT_TRUE(
        driver::startDormivel(L"waketest-refused-run", startingIn(-60, "Morning News"), {L"--logfile=log.xml"}, run));
    driver::waitForEventHolding(run.logPath(), "<SetAllowSleep allow=\"false\" />", kWait);
    const std::size_t before = driver::readLogEvents(run.logPath()).size();

    driver::MessageBoxInfo box;
    ASSERT_NE(openWakeTestQuestion(run, box), nullptr);
    EXPECT_EQ(box.text.rfind(L"Dormivel cannot test a wake-up now: Kalvor is recording Morning News until ", 0), 0u)
        << driver::narrow(box.text);
    EXPECT_TRUE(box.text.ends_with(L", and the PC must stay awake.")) << driver::narrow(box.text);
    EXPECT_EQ(box.buttons, std::vector<int>{IDOK});
    driver::pressButton(box.window, IDOK);
    EXPECT_TRUE(driver::waitUntil([&] { return !IsWindow(box.window); }, kWait));

    EXPECT_EQ(driver::readLogEvents(run.logPath()).size(), before);
    EXPECT_TRUE(requests.lines().empty());
    EXPECT_EQ(driver::stopDormivel(run), 0u);
}

}  // namespace
}  // namespace dormivel
