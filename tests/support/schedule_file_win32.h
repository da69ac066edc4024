// Schedule files for Win32 tests that run on real time (recordings at local
// times a given number of seconds or minutes from now), and the texts the
// program shows for them under the test prefix's English (United States)
// system locale.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/schedule_text.h"
#include "support/system_time_win32.h"

namespace dormivel::test {

struct ScheduleEntry {
    SYSTEMTIME start;
    SYSTEMTIME stop;
    int channel;
    std::string title;
    bool manual = false;
    bool favorite = false;
};

// "Mon 12/07 14:05", as Kalvor writes a start or stop.
inline std::string scheduleTime(const SYSTEMTIME& t) {
    return scheduleDateTime(toLocalDateTime(t));
}

// The same for the local time `minutesFromNow` minutes from now, on its
// whole minute; crossing midnight or a month's end is the calendar's
// business, not the caller's.
inline std::string scheduleTime(int minutesFromNow) {
    return scheduleTime(addSeconds(wholeMinute(localNow()), static_cast<std::int64_t>(minutesFromNow) * 60));
}

// A whole schedule file with CR LF line ends, the entries numbered from 1.
inline std::string scheduleFile(const std::vector<ScheduleEntry>& entries) {
    std::string text = std::string(kScheduleHeader) + "\r\n";
    int id = 1;
    for (const auto& e : entries) {
        text += scheduleRecordLine({.id = std::to_string(id++),
                                    .start = scheduleTime(e.start),
                                    .stop = scheduleTime(e.stop),
                                    .channel = std::to_string(e.channel),
                                    .title = e.title,
                                    .manual = e.manual ? "true" : "false",
                                    .favorite = e.favorite ? "true" : "false"}) +
                "\r\n";
    }
    return text;
}

// One LF-ended record line for a recording from `startMinutes` to
// `stopMinutes` from now (not manual, not favourite).
inline std::string scheduleLine(const std::string& id, int startMinutes, int stopMinutes, int channel,
                                const std::string& title) {
    return scheduleRecordLine({.id = id,
                               .start = scheduleTime(startMinutes),
                               .stop = scheduleTime(stopMinutes),
                               .length = "x",
                               .channelName = "chan",
                               .channel = std::to_string(channel),
                               .title = title}) +
           "\n";
}

inline std::string enUsStamp(const SYSTEMTIME& t) {
    return enUsStamp(toLocalDateTime(t));
}

inline std::string enUsShortTime(const SYSTEMTIME& t) {
    return enUsShortTime(toLocalDateTime(t));
}

// The Show element the log holds for an entry (times on their minute).
inline std::string showElement(const ScheduleEntry& e) {
    return "<Show title=\"" + e.title + "\" start=\"" + enUsStamp(wholeMinute(e.start)) + "\" stop=\"" +
           enUsStamp(wholeMinute(e.stop)) + "\" channel=\"" + std::to_string(e.channel) + "\" />";
}

// A recording at a whole minute that leaves at least 11 s of lead time, and
// the lead time that puts its wake-up `wakeInSeconds` from now.
struct SoonRecording {
    ScheduleEntry entry;
    std::int64_t leadSeconds = 0;
    SYSTEMTIME wake{};
};

inline SoonRecording recordingWakingSoon(const char* title, std::int64_t wakeInSeconds) {
    const SYSTEMTIME now = localNow();
    SYSTEMTIME start = addSeconds(wholeMinute(now), 60);
    while (toTicks(start) - toTicks(now) < (wakeInSeconds + 11) * kTicksPerSecond) {
        start = addSeconds(start, 60);
    }
    const std::int64_t lead = (toTicks(start) - toTicks(now)) / kTicksPerSecond - wakeInSeconds;
    return {{start, addSeconds(start, 600), 21, title}, lead, addSeconds(start, -lead)};
}

}  // namespace dormivel::test
