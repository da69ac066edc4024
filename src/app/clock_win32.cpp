#include "app/clock_win32.h"

namespace dormivel {
namespace {

ZoneDate toZoneDate(const SYSTEMTIME& t) {
    return ZoneDate{t.wYear, t.wMonth, t.wDayOfWeek, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

ZoneRules toZoneRules(const TIME_ZONE_INFORMATION& info) {
    return ZoneRules{static_cast<std::int32_t>(info.Bias), static_cast<std::int32_t>(info.StandardBias),
                     static_cast<std::int32_t>(info.DaylightBias), toZoneDate(info.StandardDate),
                     toZoneDate(info.DaylightDate)};
}

}  // namespace

TimeZone currentTimeZone() {
    TimeZone zone;
    TIME_ZONE_INFORMATION info{};
    if (GetTimeZoneInformation(&info) != TIME_ZONE_ID_INVALID) zone.rules = toZoneRules(info);

    // Zones whose rules changed over the years have rules per year; the
    // schedule's dates lie within a year of today.
    SYSTEMTIME today;
    GetLocalTime(&today);
    for (int delta = -1; delta <= 1; ++delta) {
        const auto year = static_cast<USHORT>(today.wYear + delta);
        TIME_ZONE_INFORMATION forYear{};
        if (GetTimeZoneInformationForYear(year, nullptr, &forYear) == FALSE) continue;
        const ZoneRules rules = toZoneRules(forYear);
        if (!(rules == zone.rules)) zone.years.push_back(YearZoneRules{year, rules});
    }
    return zone;
}

}  // namespace dormivel
