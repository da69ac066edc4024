// The platform's SYSTEMTIME for the Win32 tests: to and from tick counts
// (signed, so that tests can subtract them), the local time now, whole
// minutes, and the core's broken-down time with the same fields.
#pragma once

#include <windows.h>

#include <cstdint>

#include "app/clock_win32.h"
#include "app/filetime.h"

namespace dormivel::test {

inline constexpr std::int64_t kTicksPerSecond = static_cast<std::int64_t>(dormivel::kTicksPerSecond);

inline std::int64_t toTicks(const SYSTEMTIME& t) {
    FILETIME f{};
    SystemTimeToFileTime(&t, &f);
    return static_cast<std::int64_t>(fromFileTime(f));
}

inline SYSTEMTIME fromTicks(std::int64_t ticks) {
    const FILETIME f = toFileTime(static_cast<FileTime>(ticks));
    SYSTEMTIME t{};
    FileTimeToSystemTime(&f, &t);
    return t;
}

inline SYSTEMTIME localNow() {
    SYSTEMTIME t{};
    GetLocalTime(&t);
    return t;
}

// `t` with its seconds and milliseconds cleared.
inline SYSTEMTIME wholeMinute(const SYSTEMTIME& t) {
    SYSTEMTIME m = t;
    m.wSecond = 0;
    m.wMilliseconds = 0;
    return fromTicks(toTicks(m));  // recomputes the day of the week
}

inline SYSTEMTIME addSeconds(const SYSTEMTIME& t, std::int64_t seconds) {
    return fromTicks(toTicks(t) + seconds * kTicksPerSecond);
}

inline LocalDateTime toLocalDateTime(const SYSTEMTIME& t) {
    LocalDateTime dt;
    dt.year = t.wYear;
    dt.month = t.wMonth;
    dt.dayOfWeek = t.wDayOfWeek;
    dt.day = t.wDay;
    dt.hour = t.wHour;
    dt.minute = t.wMinute;
    dt.second = t.wSecond;
    dt.milliseconds = t.wMilliseconds;
    return dt;
}

}  // namespace dormivel::test
