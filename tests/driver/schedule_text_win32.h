// Schedule files and log texts for driver tests that run on real time:
// local times a given number of seconds from now, Kalvor's line format, and
// the English (United States) log timestamps the test prefix's system locale
// gives.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "driver/driver_win32.h"

namespace driver {

inline constexpr std::int64_t kTicksPerSecond = 10'000'000;

inline std::int64_t toTicks(const SYSTEMTIME& t) {
    FILETIME f;
    SystemTimeToFileTime(&t, &f);
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(f.dwHighDateTime) << 32) | f.dwLowDateTime);
}

inline SYSTEMTIME fromTicks(std::int64_t ticks) {
    const auto u = static_cast<std::uint64_t>(ticks);
    const FILETIME f{static_cast<DWORD>(u & 0xFFFFFFFFu), static_cast<DWORD>(u >> 32)};
    SYSTEMTIME t;
    FileTimeToSystemTime(&f, &t);
    return t;
}

// The local time now, and a local time on a whole minute.
inline SYSTEMTIME localNow() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    return t;
}

inline SYSTEMTIME wholeMinute(const SYSTEMTIME& t) {
    SYSTEMTIME m = t;
    m.wSecond = 0;
    m.wMilliseconds = 0;
    return fromTicks(toTicks(m));  // recomputes the day of the week
}

inline SYSTEMTIME addSeconds(const SYSTEMTIME& t, std::int64_t seconds) {
    return fromTicks(toTicks(t) + seconds * kTicksPerSecond);
}

// "Mon 12/07 14:05", as Kalvor writes a start or stop.
inline std::string scheduleTime(const SYSTEMTIME& t) {
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    char text[64];
    (void)std::snprintf(text, sizeof text, "%s %02u/%02u %02u:%02u", kDays[t.wDayOfWeek % 7], t.wMonth, t.wDay, t.wHour,
                        t.wMinute);
    return text;
}

struct ScheduleEntry {
    SYSTEMTIME start;
    SYSTEMTIME stop;
    int channel;
    std::string title;
    bool manual = false;
    bool favorite = false;
};

inline std::string scheduleFile(const std::vector<ScheduleEntry>& entries) {
    std::string text = "Id\tStart\tStop\tLength\tChannel name\tChannel\tTitle\tManual\tFavorite\r\n";
    int id = 1;
    for (const auto& e : entries) {
        text += std::to_string(id++) + "\t" + scheduleTime(e.start) + "\t" + scheduleTime(e.stop) + "\t1:00\tName\t" +
                std::to_string(e.channel) + "\t" + e.title + "\t" + (e.manual ? "true" : "false") + "\t" +
                (e.favorite ? "true" : "false") + "\r\n";
    }
    return text;
}

// "12/7/2026 2:05:00 PM": the short date and the time with seconds of an
// English (United States) locale.
inline std::string enUsStamp(const SYSTEMTIME& t) {
    const unsigned hour12 = t.wHour % 12 == 0 ? 12 : t.wHour % 12;
    char text[64];
    (void)std::snprintf(text, sizeof text, "%u/%u/%u %u:%02u:%02u %s", t.wMonth, t.wDay, t.wYear, hour12, t.wMinute,
                        t.wSecond, t.wHour < 12 ? "AM" : "PM");
    return text;
}

// "2:05 PM": the time without seconds of the same locale.
inline std::string enUsShortTime(const SYSTEMTIME& t) {
    const unsigned hour12 = t.wHour % 12 == 0 ? 12 : t.wHour % 12;
    char text[32];
    (void)std::snprintf(text, sizeof text, "%u:%02u %s", hour12, t.wMinute, t.wHour < 12 ? "AM" : "PM");
    return text;
}

inline std::string showElement(const ScheduleEntry& e) {
    return "<Show title=\"" + e.title + "\" start=\"" + enUsStamp(wholeMinute(e.start)) + "\" stop=\"" +
           enUsStamp(wholeMinute(e.stop)) + "\" channel=\"" + std::to_string(e.channel) + "\" />";
}

}  // namespace driver

namespace driver {

// The upcoming list once the first pass has filled it with `count` lines.
inline std::vector<std::string> waitForListLines(HWND mainWindow, std::size_t count, DWORD timeoutMs) {
    std::vector<std::string> lines;
    waitUntil(
        [&] {
            lines = listBoxLines(GetDlgItem(mainWindow, 1004));
            return lines.size() >= count;
        },
        timeoutMs);
    return lines;
}

}  // namespace driver
