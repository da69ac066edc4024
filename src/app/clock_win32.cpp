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

std::string formatLocaleText(const SYSTEMTIME& local, LocaleText what) {
    const bool isLog = what == LocaleText::logDate || what == LocaleText::logTime;
    const LCID locale = isLog ? LOCALE_SYSTEM_DEFAULT : LOCALE_USER_DEFAULT;
    const DWORD flags =
        isLog ? LOCALE_NOUSEROVERRIDE | LOCALE_USE_CP_ACP : (what == LocaleText::userTime ? TIME_NOSECONDS : 0U);
    const char* const picture = what == LocaleText::userDay ? "ddd" : nullptr;
    const bool isDate = what == LocaleText::logDate || what == LocaleText::userDay;
    const auto format = [&](char* text, int size) {
        return isDate ? GetDateFormatA(locale, flags, &local, picture, text, size)
                      : GetTimeFormatA(locale, flags, &local, picture, text, size);
    };
    // Every common format fits the buffer; a longer one is asked for its size.
    char buffer[80];
    int written = format(buffer, static_cast<int>(sizeof buffer));
    if (written > 0) return std::string(buffer, static_cast<std::size_t>(written - 1));
    const int needed = format(nullptr, 0);
    if (needed <= 1) return {};
    std::string text(static_cast<std::size_t>(needed), '\0');
    written = format(text.data(), needed);
    text.resize(written > 0 ? static_cast<std::size_t>(written - 1) : 0);
    return text;
}

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
