// The event log as dormivel.exe writes it, read as another program would.
#include <gtest/gtest.h>

#include "driver/driver_win32.h"
#include "eventlog/xml_check.h"
#include "support/dormivel_exe.h"
#include "support/log_lines.h"
#include "support/registry_override_win32.h"
#include "support/schedule_file_win32.h"

namespace {

namespace test = dormivel::test;

const std::string kPrologue(dormivel::test::kExpectedLogPrologue);
const std::string kClosing(dormivel::test::kExpectedLogClosingTag);
const std::string kEmptySchedule = "header\n";

// Counts the Event elements once the file is complete.
std::size_t eventCount(const std::string& log) {
    return driver::logEvents(log).size();
}

TEST(LogRun, NewLogHoldsStartAndStop) {
    driver::DormivelRun run;
    ASSERT_TRUE(driver::startDormivel(L"log-new", kEmptySchedule, {L"--logfile=log.xml"}, run));
    const std::wstring path = run.logPath();
    std::string log = driver::waitForLog(
        path, [](const std::string& l) { return eventCount(l) == 1; }, 10000);
    EXPECT_EQ(xmlcheck::check(log).error, "");
    EXPECT_EQ(driver::stopDormivel(run), 0u);
    ASSERT_TRUE(driver::readFile(path, log));

    ASSERT_TRUE(log.starts_with(kPrologue));
    ASSERT_TRUE(log.ends_with(kClosing));
    EXPECT_EQ(driver::logEvents(log), (std::vector<std::string>{"<DormivelStart />", "<DormivelStop />"}));
    // Nothing but the two events stands between the prologue and the tag.
    std::string rest = log.substr(kPrologue.size(), log.size() - kPrologue.size() - kClosing.size());
    for (const char* body : {"<DormivelStart />", "<DormivelStop />"}) {
        ASSERT_TRUE(rest.starts_with("<Event time=\""));
        const std::size_t end = rest.find("</Event>\r\n");
        ASSERT_NE(end, std::string::npos);
        EXPECT_EQ(rest.substr(rest.find("\">") + 2, end - rest.find("\">") - 2), body);
        rest = rest.substr(end + 10);
    }
    EXPECT_EQ(rest, "");
    EXPECT_EQ(xmlcheck::check(log).error, "");
}

TEST(LogRun, AppendKeepsEveryEarlierByte) {
    driver::DormivelRun first;
    ASSERT_TRUE(driver::startDormivel(L"log-append", kEmptySchedule, {L"--logfile=log.xml"}, first));
    EXPECT_EQ(driver::stopDormivel(first), 0u);
    const std::wstring path = first.logPath();
    std::string earlier;
    ASSERT_TRUE(driver::readFile(path, earlier));

    driver::Process second;
    ASSERT_TRUE(driver::start(driver::dormivelExe(), {L"--logfile=log.xml", L"--appendlog"}, first.dir, second));
    driver::DormivelRun run;
    run.process = second;
    ASSERT_NE(driver::waitMainWindow(second.processId, driver::kStartTimeoutMs), nullptr);
    EXPECT_EQ(driver::stopDormivel(run), 0u);
    std::string log;
    ASSERT_TRUE(driver::readFile(path, log));
    // Everything but the old closing tag is kept as it was.
    const std::string kept = earlier.substr(0, earlier.size() - kClosing.size());
    ASSERT_TRUE(log.starts_with(kept));
    // The new start event begins right where the old stop event's line ended.
    EXPECT_EQ(driver::logEvents(log.substr(kept.size())),
              (std::vector<std::string>{"<DormivelStart />", "<DormivelStop />"}));
    EXPECT_EQ(driver::logEvents(log), (std::vector<std::string>{"<DormivelStart />", "<DormivelStop />",
                                                                "<DormivelStart />", "<DormivelStop />"}));
    EXPECT_EQ(xmlcheck::check(log).error, "");
}

// A log torn by a crash or a power cut in the middle of a write, continued
// with --appendlog: cut back to its last complete Event, closed again, and
// the repair logged first. Every byte before the cut stays as it was.
TEST(LogRun, TornLogIsRepairedWhenAppending) {
    driver::DormivelRun first;
    ASSERT_TRUE(driver::startDormivel(L"log-torn", kEmptySchedule, {L"--logfile=log.xml"}, first));
    EXPECT_EQ(driver::stopDormivel(first), 0u);
    std::string intact;
    ASSERT_TRUE(driver::readFile(first.logPath(), intact));
    ASSERT_TRUE(intact.ends_with("</Event>\r\n" + kClosing));
    // The end of the last complete Event, where the repair cuts.
    const std::string kept = intact.substr(0, intact.size() - kClosing.size() - 2);
    const std::string open = intact.substr(0, intact.size() - kClosing.size());

    struct Case {
        const char* what;
        std::string torn;
    };
    const Case cases[] = {
        {"inside an Event", open + "<Event time=\"12/7/2026 1:00:00 PM\"><SystemSusp"},
        {"inside the closing tag", intact.substr(0, intact.size() - 5)},
        {"zeros of a lost write", open + std::string(512, '\0')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(driver::writeFile(first.logPath(), c.torn));
        driver::DormivelRun run;
        ASSERT_TRUE(
            driver::start(driver::dormivelExe(), {L"--logfile=log.xml", L"--appendlog"}, first.dir, run.process));
        ASSERT_NE(driver::waitMainWindow(run.process.processId, driver::kStartTimeoutMs), nullptr);
        EXPECT_EQ(driver::stopDormivel(run), 0u);
        std::string log;
        ASSERT_TRUE(driver::readFile(first.logPath(), log));
        EXPECT_TRUE(log.starts_with(kept));
        EXPECT_EQ(driver::logEvents(log.substr(kept.size())),
                  (std::vector<std::string>{"<LogRepaired />", "<DormivelStart />", "<DormivelStop />"}));
        EXPECT_EQ(driver::logEvents(log),
                  (std::vector<std::string>{"<DormivelStart />", "<DormivelStop />", "<LogRepaired />",
                                            "<DormivelStart />", "<DormivelStop />"}));
        EXPECT_TRUE(log.ends_with(kClosing));
        EXPECT_EQ(xmlcheck::check(log).error, "");
    }
}

struct OpenCase {
    const wchar_t* name;
    std::vector<std::wstring> args;
    bool existing;         // a log.xml is there before the start
    std::string before;    // its bytes
    bool expectLog;        // log.xml holds a fresh log afterwards
    bool expectUntouched;  // log.xml is exactly as before
};

TEST(LogRun, OpeningModes) {
    const std::string foreign = "<notes>mine</notes>\r\n";
    const OpenCase cases[] = {
        {L"append-missing", {L"--logfile=log.xml", L"--appendlog"}, false, "", true, false},
        {L"new-empties", {L"--logfile=log.xml"}, true, foreign, true, false},
        {L"append-foreign-kept", {L"--logfile=log.xml", L"--appendlog"}, true, foreign, false, true},
        {L"append-short-kept", {L"--logfile=log.xml", L"-a"}, true, "</Dormi", false, true},
        {L"empty-path", {L"--logfile="}, false, "", false, false},
        {L"missing-folder", {L"--logfile=no such folder\\log.xml"}, false, "", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(driver::narrow(c.name));
        driver::DormivelRun run;
        run.dir = driver::makeScratchDir(c.name);
        const std::wstring path = run.logPath();
        if (c.existing) {
            ASSERT_TRUE(driver::writeFile(path, c.before));
        }
        ASSERT_TRUE(driver::writeFile(driver::join(run.dir, L"schedule.txt"), kEmptySchedule));
        ASSERT_TRUE(driver::start(driver::dormivelExe(), c.args, run.dir, run.process));
        // The program runs on whether or not it has a log.
        run.mainWindow = driver::waitMainWindow(run.process.processId, driver::kStartTimeoutMs);
        ASSERT_NE(run.mainWindow, nullptr);
        EXPECT_EQ(driver::stopDormivel(run), 0u);
        std::string after;
        const bool exists = driver::readFile(path, after);
        if (c.expectLog) {
            EXPECT_TRUE(after.starts_with(kPrologue));
            EXPECT_EQ(driver::logEvents(after), (std::vector<std::string>{"<DormivelStart />", "<DormivelStop />"}));
        } else if (c.expectUntouched) {
            EXPECT_EQ(after, c.before);
        } else {
            EXPECT_FALSE(exists);
        }
    }
}

// A log path that names the schedule file, in any spelling, is never
// opened: the schedule keeps every byte and the program runs and plans
// without a log.
TEST(LogRun, LogPathNamingTheScheduleLeavesItUntouched) {
    const SYSTEMTIME start = test::addSeconds(test::wholeMinute(test::localNow()), 86400);
    const std::string schedule = test::scheduleFile({{start, test::addSeconds(start, 1800), 2, "Kept"}});
    const std::vector<std::vector<std::wstring>> cases = {
        {L"--logfile=schedule.txt"},
        {L"--logfile=SCHEDULE.TXT", L"--appendlog"},
        {L"--logfile=.\\sub\\..\\schedule.txt"},
        {L"-l", L"./Schedule.txt", L"-a"},
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(driver::narrow(args[0] + (args.size() > 1 ? L" " + args[1] : L"")));
        driver::DormivelRun run;
        ASSERT_TRUE(driver::startDormivel(L"log-schedule", schedule, args, run));
        EXPECT_EQ(driver::waitForListLines(run.mainWindow, 1, 10000).size(), 1u) << "no pass ran";
        EXPECT_EQ(driver::stopDormivel(run), 0u);
        std::string after;
        ASSERT_TRUE(driver::readFile(driver::join(run.dir, L"schedule.txt"), after));
        EXPECT_EQ(after, schedule);
        driver::removeTree(run.dir);
    }
}

// The log's timestamps follow the system locale, never the user's own
// regional settings.
TEST(LogRun, TimestampsIgnoreTheUsersFormats) {
    driver::DormivelRun run;
    DWORD code = dormivel::test::kNotExited;
    bool started = false;
    {
        dormivel::test::RegistryOverride formats(L"Control Panel\\International");
        ASSERT_TRUE(formats.isOpen());
        ASSERT_TRUE(formats.setString(L"sTimeFormat", L"HH.mm.ss"));
        ASSERT_TRUE(formats.setString(L"sShortDate", L"yyyy-MM-dd"));
        started = driver::startDormivel(L"log-locale", kEmptySchedule, {L"--logfile=log.xml"}, run);
        if (started) code = driver::stopDormivel(run);
    }
    ASSERT_TRUE(started);
    EXPECT_EQ(code, 0u);

    std::string log;
    ASSERT_TRUE(driver::readFile(run.logPath(), log));
    const std::size_t at = log.find("<Event time=\"");
    ASSERT_NE(at, std::string::npos);
    const std::string stamp = log.substr(at + 13, log.find('"', at + 13) - at - 13);
    // English (United States): M/d/yyyy h:mm:ss AM or PM.
    EXPECT_NE(stamp.find('/'), std::string::npos) << stamp;
    EXPECT_TRUE(stamp.ends_with(" AM") || stamp.ends_with(" PM")) << stamp;
    EXPECT_EQ(stamp.find('-'), std::string::npos) << stamp;
    EXPECT_EQ(stamp.find('.'), std::string::npos) << stamp;
}

}  // namespace
