// The platform's FILETIME and the program's tick counts, which are the same
// 64-bit number split in two; the zone's rules as the platform gives them.
#pragma once

#include <windows.h>

#include <string>

#include "app/filetime.h"
#include "app/records.h"
#include "app/time_zone.h"

namespace dormivel {

inline FileTime fromFileTime(const FILETIME& t) {
    return (static_cast<FileTime>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

inline FILETIME toFileTime(FileTime t) {
    return FILETIME{static_cast<DWORD>(t & 0xFFFFFFFFU), static_cast<DWORD>(t >> 32)};
}

// The current UTC time.
inline FileTime currentFileTime() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return fromFileTime(now);
}

inline SYSTEMTIME toSystemTime(const LocalDateTime& t) {
    return SYSTEMTIME{t.year, t.month, t.dayOfWeek, t.day, t.hour, t.minute, t.second, t.milliseconds};
}

// The texts a local time is shown in. The log's date and time follow the
// system locale without user overrides, so that a log reads the same
// whoever changes their formats; what the user sees follows their own.
enum class LocaleText {
    logDate,   // the system's short date
    logTime,   // the system's time with seconds
    userTime,  // the user's time without seconds
    userDay,   // the user's short day name ("Mon")
};

// The one place a time becomes locale text; empty when the platform cannot
// format it.
std::string formatLocaleText(const SYSTEMTIME& local, LocaleText what);

// The rules of the time zone in force: this year's, and those of the year
// before and after where the platform knows rules that differ by year.
TimeZone currentTimeZone();

}  // namespace dormivel
