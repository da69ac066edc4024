#include "app/time_zone.h"

#include <optional>

namespace dormivel {
namespace {

constexpr int kDaysPerWeek = 7;
constexpr std::uint16_t kLastWeek = 5;

const ZoneRules& rulesFor(const TimeZone& zone, std::uint16_t year) {
    for (const YearZoneRules& entry : zone.years) {
        if (entry.year == year) return entry.rules;
    }
    return zone.rules;
}

bool hasDaylightSaving(const ZoneRules& rules) {
    return rules.daylightDate.month != 0 && rules.standardDate.month != 0;
}

// The local instant of a change in `year` (in the local time of the side it
// leaves), or none when the change does not happen in that year.
std::optional<FileTime> changeInYear(const ZoneDate& date, std::uint16_t year) {
    LocalDateTime when;
    when.year = year;
    when.month = date.month;
    when.hour = date.hour;
    when.minute = date.minute;
    when.second = date.second;
    when.milliseconds = date.milliseconds;
    if (date.year != 0) {
        if (date.year != year) return std::nullopt;
        when.day = date.day;
    } else {
        // The first such weekday of the month, then whole weeks on; the
        // fifth week means the last one the month has.
        when.day = 1;
        FileTime first = 0;
        if (!dateTimeToFileTime(when, first)) return std::nullopt;
        const int firstWeekday = fileTimeToDateTime(first).dayOfWeek;
        int day = 1 + (date.dayOfWeek % kDaysPerWeek - firstWeekday + kDaysPerWeek) % kDaysPerWeek;
        const int week = date.day < 1 ? 1 : (date.day > kLastWeek ? kLastWeek : date.day);
        day += kDaysPerWeek * (week - 1);
        while (day > 28) {
            LocalDateTime probe = when;
            probe.day = static_cast<std::uint16_t>(day);
            FileTime ignored = 0;
            if (dateTimeToFileTime(probe, ignored)) break;
            day -= kDaysPerWeek;
        }
        when.day = static_cast<std::uint16_t>(day);
    }
    FileTime local = 0;
    if (!dateTimeToFileTime(when, local)) return std::nullopt;
    return local;
}

// Whether `t` lies in daylight time, given the two changes of its year on
// the same scale as `t`. In the southern hemisphere daylight saving starts
// late in the year and ends early in the next, so the interval wraps.
bool inDaylightTime(FileTime t, FileTime starts, FileTime ends) {
    if (starts < ends) return starts <= t && t < ends;
    return !(ends <= t && t < starts);
}

bool shiftMinutes(FileTime t, std::int32_t minutes, FileTime& out) {
    return localToUtc(t, minutes, out);
}

}  // namespace

TimeZone fixedBiasZone(std::int32_t biasMinutes) {
    TimeZone zone;
    zone.rules.bias = biasMinutes;
    return zone;
}

std::int32_t biasAtUtc(const TimeZone& zone, FileTime utc) {
    if (zone.years.empty() && !hasDaylightSaving(zone.rules)) return zone.rules.bias + zone.rules.standardBias;
    // The year is taken from local standard time, the scale the rules of a
    // year are written in.
    FileTime standardLocal = 0;
    const ZoneRules& base = zone.rules;
    if (!utcToLocal(utc, base.bias + base.standardBias, standardLocal)) standardLocal = utc;
    const ZoneRules& rules = rulesFor(zone, fileTimeToDateTime(standardLocal).year);
    const std::int32_t standard = rules.bias + rules.standardBias;
    if (!hasDaylightSaving(rules)) return standard;
    const std::int32_t daylight = rules.bias + rules.daylightBias;

    const std::uint16_t year = fileTimeToDateTime(standardLocal).year;
    const std::optional<FileTime> startsLocal = changeInYear(rules.daylightDate, year);
    const std::optional<FileTime> endsLocal = changeInYear(rules.standardDate, year);
    FileTime starts = 0;
    FileTime ends = 0;
    if (!startsLocal || !endsLocal || !shiftMinutes(*startsLocal, standard, starts) ||
        !shiftMinutes(*endsLocal, daylight, ends)) {
        return standard;
    }
    return inDaylightTime(utc, starts, ends) ? daylight : standard;
}

ZoneYear zoneYear(const TimeZone& zone, std::uint16_t year) {
    const ZoneRules& rules = rulesFor(zone, year);
    ZoneYear laid;
    laid.year = year;
    laid.standard = rules.bias + rules.standardBias;
    laid.daylight = rules.bias + rules.daylightBias;
    if (!hasDaylightSaving(rules)) return laid;
    const std::optional<FileTime> starts = changeInYear(rules.daylightDate, year);
    const std::optional<FileTime> ends = changeInYear(rules.standardDate, year);
    if (!starts || !ends) return laid;
    laid.changes = true;
    laid.starts = *starts;
    laid.ends = *ends;
    return laid;
}

bool localToUtc(FileTime local, const ZoneYear& year, FileTime& utc, LocalInstant which) {
    // On the wall clock daylight time runs from the start (written in
    // standard time) up to the end (written in daylight time). The skipped
    // hour after the start and the repeated hour before the end both fall
    // inside, so both are read as daylight time: the earlier instant.
    bool daylightTime = year.changes && inDaylightTime(local, year.starts, year.ends);
    const std::int64_t changeMinutes = static_cast<std::int64_t>(year.standard) - year.daylight;
    if (daylightTime && which == LocalInstant::later && changeMinutes > 0) {
        // The later instant of those two hours is standard time.
        const auto shift = static_cast<FileTime>(changeMinutes) * 60 * kTicksPerSecond;
        const bool skipped = local >= year.starts && local - year.starts < shift;
        const bool repeated = local < year.ends && year.ends - local <= shift;
        daylightTime = !skipped && !repeated;
    }
    return shiftMinutes(local, daylightTime ? year.daylight : year.standard, utc);
}

bool localToUtc(FileTime local, const TimeZone& zone, FileTime& utc) {
    if (zone.years.empty() && !hasDaylightSaving(zone.rules)) {
        return shiftMinutes(local, zone.rules.bias + zone.rules.standardBias, utc);
    }
    return localToUtc(local, zoneYear(zone, fileTimeToDateTime(local).year), utc);
}

bool utcToLocal(FileTime utc, const TimeZone& zone, FileTime& local) {
    return utcToLocal(utc, biasAtUtc(zone, utc), local);
}

LocalDateTime utcToLocalDateTime(FileTime utc, const TimeZone& zone) {
    return utcToLocalDateTime(utc, biasAtUtc(zone, utc));
}

}  // namespace dormivel
