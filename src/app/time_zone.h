// Local wall-clock time under a time zone's rules: the bias of standard time
// and the dates on which daylight saving starts and ends, laid out the way
// the platform's time-zone information gives them. Each conversion uses the
// rules of the date converted, not those in force at the moment of
// conversion, so a recording after the next daylight-saving change is
// woken at its own wall-clock time.
#pragma once

#include <cstdint>
#include <vector>

#include "app/filetime.h"
#include "app/records.h"

namespace dormivel {

// One change between standard and daylight time, as the platform's zone
// information holds it.
struct ZoneDate {
    // 0: the change recurs every year (month, the week of the month and a
    // day of the week); otherwise it is an absolute date in that year only.
    std::uint16_t year = 0;
    std::uint16_t month = 0;      // 1..12; 0 means the zone has no daylight saving
    std::uint16_t dayOfWeek = 0;  // 0 = Sunday (recurring form)
    // Recurring form: the week of the month, 1..5, where 5 is the last such
    // day of the month. Absolute form: the day of the month.
    std::uint16_t day = 0;
    std::uint16_t hour = 0;
    std::uint16_t minute = 0;
    std::uint16_t second = 0;
    std::uint16_t milliseconds = 0;

    friend bool operator==(const ZoneDate&, const ZoneDate&) = default;
};

// The rules of one year. All biases in minutes, UTC = local + bias + the
// standard or daylight bias in force.
struct ZoneRules {
    std::int32_t bias = 0;
    std::int32_t standardBias = 0;
    std::int32_t daylightBias = 0;
    ZoneDate standardDate;  // daylight saving ends, in local daylight time
    ZoneDate daylightDate;  // daylight saving starts, in local standard time

    friend bool operator==(const ZoneRules&, const ZoneRules&) = default;
};

struct YearZoneRules {
    std::uint16_t year = 0;
    ZoneRules rules;
};

struct TimeZone {
    ZoneRules rules;                   // every year not listed below
    std::vector<YearZoneRules> years;  // years whose rules differ
};

// A zone without daylight saving: one bias for every date.
TimeZone fixedBiasZone(std::int32_t biasMinutes);

// The whole bias (minutes, UTC = local + bias) in force at a UTC instant.
std::int32_t biasAtUtc(const TimeZone& zone, FileTime utc);

// Which instant a wall-clock time that the autumn change repeats (or the
// spring change skips) stands for: the earlier one (daylight time) for a
// start, so that the wake-up is never late; the later one (standard time)
// for a stop, so that the PC is never let sleep while the recording may
// still run.
enum class LocalInstant : std::uint8_t { earlier, later };

// A local wall-clock time to UTC with the rules of its own date; a time that
// the spring change skips, or that the autumn change repeats, is read as the
// earlier of its two possible instants. False where the result would leave
// the range of tick counts.
bool localToUtc(FileTime local, const TimeZone& zone, FileTime& utc);

// The rules of one local year, laid out for converting many of its times:
// the two biases and, where daylight saving starts and ends in that year,
// the local instants of the two changes.
struct ZoneYear {
    std::uint16_t year = 0;
    std::int32_t standard = 0;  // whole bias, minutes
    std::int32_t daylight = 0;  // whole bias, minutes
    bool changes = false;       // false: standard time all year
    FileTime starts = 0;        // local standard time
    FileTime ends = 0;          // local daylight time
};

ZoneYear zoneYear(const TimeZone& zone, std::uint16_t year);

// As localToUtc with the zone, for a local time in the year given, at the
// instant asked for.
bool localToUtc(FileTime local, const ZoneYear& year, FileTime& utc, LocalInstant which = LocalInstant::earlier);

// UTC to the local wall-clock time in force at that instant.
bool utcToLocal(FileTime utc, const TimeZone& zone, FileTime& local);

// The broken-down local time of a UTC tick count; clamped like the fixed-bias
// form when it would leave the range.
LocalDateTime utcToLocalDateTime(FileTime utc, const TimeZone& zone);

}  // namespace dormivel
