// Calendar arithmetic on FILETIME-style tick counts, done without the
// platform so that the same code runs natively and on Windows.
#pragma once

#include <cstdint>

#include "app/records.h"

namespace dormivel {

// A broken-down date and time, laid out like the platform's SYSTEMTIME.
struct LocalDateTime {
    std::uint16_t year = 1601;
    std::uint16_t month = 1;      // 1..12
    std::uint16_t dayOfWeek = 0;  // 0 = Sunday; ignored on input
    std::uint16_t day = 1;        // 1..31
    std::uint16_t hour = 0;
    std::uint16_t minute = 0;
    std::uint16_t second = 0;
    std::uint16_t milliseconds = 0;

    friend bool operator==(const LocalDateTime&, const LocalDateTime&) = default;
};

// The conversion from a broken-down time to ticks. Rejects exactly what the
// platform's SystemTimeToFileTime rejects: a year outside 1601..30827, a month
// outside 1..12, a day the month does not have (leap years included), an hour
// above 23, minutes or seconds above 59, milliseconds above 999.
bool dateTimeToFileTime(const LocalDateTime& dt, FileTime& out);

// The inverse: splits a tick count (any value) into a broken-down time, with
// the day of the week filled in.
LocalDateTime fileTimeToDateTime(FileTime t);

// The time-zone bias in force, in minutes, as the platform gives it:
// UTC = local + bias. Berlin in winter is -60, New York in winter +300.
// Both conversions use it the way the platform's LocalFileTimeToFileTime
// and FileTimeToLocalFileTime do: one bias for every date.
bool localToUtc(FileTime local, std::int32_t biasMinutes, FileTime& utc);
bool utcToLocal(FileTime utc, std::int32_t biasMinutes, FileTime& local);

// Convenience: the broken-down local time of a UTC tick count under a bias.
// A tick count that would fall outside the representable range is clamped.
LocalDateTime utcToLocalDateTime(FileTime utc, std::int32_t biasMinutes);

}  // namespace dormivel
