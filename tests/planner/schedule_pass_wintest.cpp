// The schedule pass at work in dormivel.exe, on real time: the wake timer,
// the allow-sleep state and what reaches the log and the upcoming list.
#include <gtest/gtest.h>

#include <algorithm>

#include "driver/driver_win32.h"
#include "driver/schedule_text_win32.h"
#include "eventlog/xml_check.h"
#include "support/registry_override_win32.h"

namespace {

using driver::ScheduleEntry;

// The Event bodies once there are at least `count` of them; every read of
// the file on the way must be a well-formed document.
std::vector<std::string> waitForEvents(const driver::DormivelRun& run, std::size_t count, DWORD timeoutMs) {
    std::string malformed;
    const std::string log = driver::waitForLog(
        run.logPath(),
        [&](const std::string& l) {
            if (!l.empty()) {
                const auto r = xmlcheck::check(l);
                if (!r.error.empty()) malformed = r.error + " at " + std::to_string(r.offset);
            }
            return driver::logEvents(l).size() >= count;
        },
        timeoutMs);
    EXPECT_EQ(malformed, "");
    return driver::logEvents(log);
}

std::string block(const char* element, const std::vector<ScheduleEntry>& entries) {
    std::string text = std::string("\r\n\t<") + element + ">";
    for (const auto& e : entries)
        text += "\r\n\t\t" + driver::showElement(e);
    return text + "\r\n\t</" + element + ">";
}

std::string wakeLine(const SYSTEMTIME& wake) {
    return "\r\n\t<SetWakeUp time=\"" + driver::enUsStamp(wake) + "\" />";
}

const std::string kAllowSleepFalse = "\r\n\t<SetAllowSleep allow=\"false\" />";
const std::string kAllowSleepTrue = "\r\n\t<SetAllowSleep allow=\"true\" />";

using driver::recordingWakingSoon;
using driver::SoonRecording;

TEST(SchedulePass, WakeUpThenStayAwakeThroughTheLeadTime) {
    const SoonRecording r = recordingWakingSoon("Morning News & \"More\"", 4);
    driver::DormivelRun run;
    ASSERT_TRUE(driver::startDormivel(L"pass-wake", driver::scheduleFile({r.entry}),
                                      {L"--logfile=log.xml", L"--leadtime=" + std::to_wstring(r.leadSeconds)}, run));
    ScheduleEntry logged = r.entry;
    logged.title = "Morning News &amp; &quot;More&quot;";

    // The first pass: the next block and the wake-up, sleep still allowed.
    std::vector<std::string> events = waitForEvents(run, 2, 10000);
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events[0], "<DormivelStart />");
    EXPECT_EQ(events[1], block("NextRecording", {logged}) + wakeLine(r.wake) + "\r\n");
    EXPECT_EQ(driver::waitForListLines(run.mainWindow, 1, 5000),
              std::vector<std::string>{"*\t" + driver::enUsShortTime(r.entry.start) + "\t" + r.entry.title});

    // The timer fires at the wake-up: the lead time has begun, so the
    // computer must stay awake until the start; no second wake line.
    events = waitForEvents(run, 3, 15000);
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events[2], kAllowSleepFalse + "\r\n");
    EXPECT_EQ(driver::stopDormivel(run), 0u);
    driver::removeTree(run.dir);
}

// A recording running at start-up, then its end. The timer's pass at a
// recording's stop is the same pass as one over a schedule in which the
// recording has ended, so the end comes by a rewrite rather than by waiting
// for the clock.
TEST(SchedulePass, RecordingAtStartUpThenItsEnd) {
    const SYSTEMTIME start = driver::wholeMinute(driver::localNow());
    const ScheduleEntry running{start, driver::addSeconds(start, 600), 3, "Running"};
    const ScheduleEntry later{driver::addSeconds(start, 3600), driver::addSeconds(start, 7200), 4, "Later"};
    driver::DormivelRun run;
    ASSERT_TRUE(
        driver::startDormivel(L"pass-now", driver::scheduleFile({running, later}), {L"--logfile=log.xml"}, run));

    std::vector<std::string> events = waitForEvents(run, 2, 10000);
    ASSERT_GE(events.size(), 2u);
    // While something records: the now block, the next block, no wake line.
    EXPECT_EQ(events[1],
              block("NowRecording", {running}) + block("NextRecording", {later}) + kAllowSleepFalse + "\r\n");

    // It ended a minute ago: an empty now block, the wake-up for the later
    // recording (60 s lead), and sleep allowed again.
    const ScheduleEntry ended{driver::addSeconds(start, -600), driver::addSeconds(start, -60), 3, "Running"};
    ASSERT_TRUE(driver::writeFile(driver::join(run.dir, L"schedule.txt"), driver::scheduleFile({ended, later})));
    events = waitForEvents(run, 3, 10000);
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events[2], "\r\n\t<NowRecording>\r\n\t</NowRecording>" + wakeLine(driver::addSeconds(later.start, -60)) +
                             kAllowSleepTrue + "\r\n");
    EXPECT_EQ(driver::stopDormivel(run), 0u);
    driver::removeTree(run.dir);
}

// Three rewrites in quick succession give one pass, over the last content:
// the settle waits until the file has stayed put for a second. (The counts
// of sleeps and passes for every sequence of stamps, writes to other files
// that run none, and no pass following, are the native tests' business: an
// Event can show that a pass ran, never that none did.) A machine that
// delays the writes by most of that second makes them separate rewrites,
// each rightly with a pass of its own; then only the last content is
// checked.
TEST(SchedulePass, RewritesSettleIntoOnePass) {
    driver::DormivelRun run;
    ASSERT_TRUE(driver::startDormivel(L"pass-settle", "header\r\n", {L"--logfile=log.xml"}, run));
    ASSERT_EQ(waitForEvents(run, 1, 10000).size(), 1u);  // an empty schedule logs no pass
    const std::wstring schedule = driver::join(run.dir, L"schedule.txt");
    const SYSTEMTIME base = driver::addSeconds(driver::wholeMinute(driver::localNow()), 7200);
    std::vector<ScheduleEntry> written;
    const ULONGLONG first = GetTickCount64();
    for (int i = 0; i < 3; ++i) {
        written.push_back({driver::addSeconds(base, std::int64_t{60} * i),
                           driver::addSeconds(base, std::int64_t{60} * i + 600), 9,
                           "Version " + std::to_string(i + 1)});
        ASSERT_TRUE(driver::writeFile(schedule, driver::scheduleFile({written.back()})));
    }
    const ULONGLONG spread = GetTickCount64() - first;
    const std::string last =
        block("NextRecording", {written.back()}) + wakeLine(driver::addSeconds(written.back().start, -60)) + "\r\n";
    const std::vector<std::string> events = driver::waitForEventHolding(run.logPath(), "Version 3", 10000);
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back(), last);
    constexpr ULONGLONG kQuickMs = 500;
    if (spread < kQuickMs) {
        EXPECT_EQ(events.size(), 2u) << "the three writes took " << spread << " ms";
    }
    EXPECT_EQ(driver::stopDormivel(run), 0u);
}

// Recordings tomorrow at fixed hours, in descending file order so that the
// heap arrangement shows (5,4,3,2,1 comes out as 1,2,3,5,4).
std::vector<ScheduleEntry> filteredDay() {
    SYSTEMTIME day = driver::addSeconds(driver::localNow(), 86400);
    day.wHour = day.wMinute = day.wSecond = day.wMilliseconds = 0;
    day = driver::fromTicks(driver::toTicks(day));
    auto at = [&](int hour, int minute) { return driver::addSeconds(day, hour * 3600 + minute * 60); };
    return {
        {at(23, 0), at(23, 30), 1, "E other 23:00"},
        {at(8, 0), at(8, 30), 2, "D both 08:00", true, true},
        {at(7, 5), at(7, 30), 3, "C other 07:05"},
        {at(5, 59), at(6, 30), 4, "B favorite 05:59", false, true},
        {at(3, 0), at(3, 30), 5, "A manual 03:00", true, false},
    };
}

struct ListCase {
    const wchar_t* name;
    std::vector<std::wstring> filters;
    const char* marks;  // for A, B, C, E, D (list order)
};

TEST(SchedulePass, UpcomingListMarksAndOrder) {
    const ListCase cases[] = {
        {L"no filters", {}, "*****"},
        {L"nomanual", {L"--nomanual=1-6"}, " ****"},
        {L"nofavorite", {L"--nofavorite=5-6"}, "* ***"},
        {L"noir", {L"--noir=22-2,7-8"}, "**  *"},
        {L"both flags", {L"--nofavorite=8-9"}, "**** "},
        {L"all day", {L"--nomanual", L"--noir", L"--nofavorite"}, "     "},
    };
    const std::vector<ScheduleEntry> day = filteredDay();
    const std::vector<std::size_t> listOrder = {4, 3, 2, 0, 1};
    for (const auto& c : cases) {
        SCOPED_TRACE(driver::narrow(c.name));
        driver::DormivelRun run;
        ASSERT_TRUE(driver::startDormivel(L"pass-list", driver::scheduleFile(day), c.filters, run));
        const std::vector<std::string> lines = driver::waitForListLines(run.mainWindow, 5, 10000);
        ASSERT_EQ(lines.size(), 5u);
        for (std::size_t i = 0; i < 5; ++i) {
            const ScheduleEntry& e = day[listOrder[i]];
            EXPECT_EQ(lines[i], std::string(1, c.marks[i]) + "\t" + driver::enUsShortTime(e.start) + "\t" + e.title);
        }
        EXPECT_EQ(driver::stopDormivel(run), 0u);
        driver::removeTree(run.dir);
    }
}

// The list follows the user's own time format; the log does not.
TEST(SchedulePass, ListFollowsTheUsersTimeFormat) {
    dormivel::test::RegistryOverride formats(L"Control Panel\\International");
    ASSERT_TRUE(formats.isOpen());
    ASSERT_TRUE(formats.setString(L"sTimeFormat", L"HH:mm:ss"));

    const std::vector<ScheduleEntry> day = filteredDay();
    driver::DormivelRun run;
    const bool started =
        driver::startDormivel(L"pass-format", driver::scheduleFile({day[4], day[0]}), {L"--logfile=log.xml"}, run);
    std::vector<std::string> lines;
    std::vector<std::string> events;
    if (started) {
        lines = driver::waitForListLines(run.mainWindow, 2, 10000);
        events = waitForEvents(run, 2, 10000);
        driver::stopDormivel(run);
    }
    formats.restore();
    ASSERT_TRUE(started);

    EXPECT_EQ(lines, (std::vector<std::string>{"*\t03:00\t" + day[4].title, "*\t23:00\t" + day[0].title}));
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events[1], block("NextRecording", {day[4]}) + wakeLine(driver::addSeconds(day[4].start, -60)) + "\r\n");
    driver::removeTree(run.dir);
}

}  // namespace

namespace {

// Run by its own CTest entry with TZ=Europe/Berlin: the file's wall-clock
// times come back unchanged in the list and the log, also for a summer date
// read in winter, because both conversions use the bias in force.
TEST(DaylightSavingZone, WallClockTimesInListAndLog) {
    TIME_ZONE_INFORMATION zone{};
    GetTimeZoneInformation(&zone);
    ASSERT_EQ(zone.Bias, -60) << "run with TZ=Europe/Berlin";
    ASSERT_NE(zone.DaylightBias, 0);  // a zone with daylight saving

    const SYSTEMTIME now = driver::localNow();
    SYSTEMTIME summer = now;
    summer.wMonth = 7;
    summer.wDay = 1;
    summer.wHour = 14;
    summer.wMinute = 5;
    summer = driver::wholeMinute(summer);
    SYSTEMTIME tomorrow = driver::addSeconds(now, 86400);
    tomorrow.wHour = 14;
    tomorrow.wMinute = 5;
    tomorrow = driver::wholeMinute(tomorrow);
    const ScheduleEntry inSummer{summer, driver::addSeconds(summer, 3600), 1, "Summer"};
    const ScheduleEntry next{tomorrow, driver::addSeconds(tomorrow, 3600), 2, "Tomorrow"};

    driver::DormivelRun run;
    ASSERT_TRUE(
        driver::startDormivel(L"pass-zone", driver::scheduleFile({inSummer, next}), {L"--logfile=log.xml"}, run));
    const std::vector<std::string> lines = driver::waitForListLines(run.mainWindow, 2, 10000);
    const std::vector<std::string> events = waitForEvents(run, 2, 10000);
    ASSERT_EQ(lines.size(), 2u);
    std::vector<std::string> sorted = lines;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, (std::vector<std::string>{"*\t2:05 PM\tSummer", "*\t2:05 PM\tTomorrow"}));
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events[1], block("NextRecording", {next}) + wakeLine(driver::addSeconds(next.start, -60)) + "\r\n");

    // dormivel.exe itself ran in the zone: its Event stamps are local time.
    std::string log;
    ASSERT_TRUE(driver::readFile(run.logPath(), log));
    const std::size_t at = log.find("<Event time=\"");
    ASSERT_NE(at, std::string::npos);
    // The date and hour of the start event are Berlin's, not UTC's.
    const std::string stamp = log.substr(at + 13, log.find('"', at + 13) - at - 13);
    const std::string localStamp = driver::enUsStamp(driver::localNow());
    EXPECT_EQ(stamp.substr(0, stamp.find(':')), localStamp.substr(0, localStamp.find(':')));
    SYSTEMTIME utc;
    GetSystemTime(&utc);
    EXPECT_NE(utc.wHour, driver::localNow().wHour);
    EXPECT_EQ(driver::stopDormivel(run), 0u);
    driver::removeTree(run.dir);
}

}  // namespace

namespace {

// UTC ticks of a local wall-clock time by the zone's rules for its date, as
// the platform converts it.
std::int64_t utcOfLocal(const SYSTEMTIME& local) {
    SYSTEMTIME utc;
    if (TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc) == FALSE) return 0;
    return driver::toTicks(utc);
}

// Run by its own CTest entry in a zone whose daylight saving starts a few
// days from today (scripts/with-dst-ahead.sh). A recording on the day after
// the change is woken for at its own wall-clock time: the wake timer's due
// time, read from outside, is an hour earlier than a conversion with the bias
// in force today would make it.
TEST(DaylightSavingChange, WakeUpByTheRulesOfTheRecordingsDate) {
    // Both biases by the same conversion, which no clock reading can jitter.
    const SYSTEMTIME now = driver::wholeMinute(driver::localNow());
    const std::int64_t biasNow = utcOfLocal(now) - driver::toTicks(now);
    // The first day ahead whose evening lies under another bias.
    SYSTEMTIME evening{};
    bool found = false;
    for (int day = 1; day <= 10 && !found; ++day) {
        evening = driver::addSeconds(now, std::int64_t{86400} * day);
        evening.wHour = 20;
        evening.wMinute = 0;
        evening = driver::wholeMinute(evening);
        found = utcOfLocal(evening) - driver::toTicks(evening) != biasNow;
    }
    ASSERT_TRUE(found) << "the zone has no change in the next ten days; run through scripts/with-dst-ahead.sh";
    const std::int64_t hour = 3600 * driver::kTicksPerSecond;
    ASSERT_EQ(biasNow - (utcOfLocal(evening) - driver::toTicks(evening)), hour) << "expected a spring change";

    const ScheduleEntry after{evening, driver::addSeconds(evening, 3600), 6, "After the change"};
    driver::DormivelRun run;
    ASSERT_TRUE(driver::startDormivel(L"pass-dst", driver::scheduleFile({after}), {L"--logfile=log.xml"}, run));
    const std::vector<std::string> events = waitForEvents(run, 2, 10000);
    ASSERT_GE(events.size(), 2u);
    // The log and the list show the wall-clock time written in the file.
    EXPECT_EQ(events[1], block("NextRecording", {after}) + wakeLine(driver::addSeconds(evening, -60)) + "\r\n");
    EXPECT_EQ(driver::waitForListLines(run.mainWindow, 1, 5000),
              std::vector<std::string>{"*\t8:00 PM\tAfter the change"});

    std::uint64_t due = 0;
    ASSERT_TRUE(driver::timerDueTime(L"Dormivel", due));
    const std::int64_t expected = utcOfLocal(evening) - 60 * driver::kTicksPerSecond;
    EXPECT_LT(std::llabs(static_cast<std::int64_t>(due) - expected), 5 * driver::kTicksPerSecond)
        << "off by " << (static_cast<std::int64_t>(due) - expected) / driver::kTicksPerSecond << " s";
    EXPECT_EQ(driver::stopDormivel(run), 0u);
    driver::removeTree(run.dir);
}

// When the clock or the time zone changes, the platform tells every
// top-level window; the armed wake-up must follow. Here a stale arming is
// made from outside, as a clock change would leave it, and the
// notification brings the right one back.
TEST(SchedulePass, TimeChangeReArmsTheWakeUp) {
    const SYSTEMTIME start = driver::addSeconds(driver::wholeMinute(driver::localNow()), 86400);
    driver::DormivelRun run;
    ASSERT_TRUE(driver::startDormivel(
        L"pass-timechange", driver::scheduleFile({{start, driver::addSeconds(start, 1800), 1, "News"}}), {}, run));
    ASSERT_EQ(driver::waitForListLines(run.mainWindow, 1, 10000).size(), 1u);
    // Read from outside, the due time carries the reading's own jitter.
    const auto nearDue = [](std::uint64_t a, std::int64_t b) {
        return std::llabs(static_cast<std::int64_t>(a) - b) < driver::kTicksPerSecond;
    };
    const std::int64_t armed = utcOfLocal(start) - 60 * driver::kTicksPerSecond;
    // The pass fills the list before it arms the timer.
    std::uint64_t due = 0;
    ASSERT_TRUE(driver::waitUntil([&] { return driver::timerDueTime(L"Dormivel", due) && nearDue(due, armed); }, 5000));

    const HANDLE timer = OpenWaitableTimerW(TIMER_MODIFY_STATE, FALSE, L"Dormivel");
    ASSERT_NE(timer, nullptr);
    LARGE_INTEGER stale;
    stale.QuadPart = armed + 3600LL * driver::kTicksPerSecond;
    ASSERT_TRUE(SetWaitableTimer(timer, &stale, 0, nullptr, nullptr, FALSE));
    CloseHandle(timer);

    ASSERT_TRUE(driver::timerDueTime(L"Dormivel", due));
    ASSERT_FALSE(nearDue(due, armed));

    SendMessageW(run.mainWindow, WM_TIMECHANGE, 0, 0);
    EXPECT_TRUE(driver::waitUntil([&] { return driver::timerDueTime(L"Dormivel", due) && nearDue(due, armed); }, 5000))
        << "still armed " << (static_cast<std::int64_t>(due) - armed) / driver::kTicksPerSecond << " s off";
    EXPECT_EQ(driver::stopDormivel(run), 0u);
    driver::removeTree(run.dir);
}

}  // namespace
