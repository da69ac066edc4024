#include "app/filetime.h"

#include <limits>

namespace dormivel {
namespace {

constexpr std::uint64_t kTicksPerMinute = 60 * kTicksPerSecond;
constexpr std::uint64_t kTicksPerHour = 60 * kTicksPerMinute;
constexpr std::uint64_t kTicksPerDay = 24 * kTicksPerHour;
constexpr std::int64_t kSignedTicksPerMinute = 60LL * 10'000'000LL;

bool isLeapYear(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int daysInMonth(int y, int m) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeapYear(y) ? 29 : kDays[m - 1];
}

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
constexpr std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

// Days from 1601-01-01 to 1970-01-01.
constexpr std::int64_t kEpochOffsetDays = -daysFromCivil(1601, 1, 1);

}  // namespace

bool dateTimeToFileTime(const LocalDateTime& dt, FileTime& out) {
    if (dt.year < 1601 || dt.year > 30827) return false;
    if (dt.month < 1 || dt.month > 12) return false;
    if (dt.day < 1 || dt.day > daysInMonth(dt.year, dt.month)) return false;
    if (dt.hour > 23 || dt.minute > 59 || dt.second > 59 || dt.milliseconds > 999) return false;
    const std::int64_t days = daysFromCivil(dt.year, dt.month, dt.day) + kEpochOffsetDays;
    out = static_cast<std::uint64_t>(days) * kTicksPerDay +
          ((dt.hour * 60ULL + dt.minute) * 60ULL + dt.second) * kTicksPerSecond + dt.milliseconds * 10'000ULL;
    return true;
}

LocalDateTime fileTimeToDateTime(FileTime t) {
    const std::uint64_t days = t / kTicksPerDay;
    std::uint64_t rest = t % kTicksPerDay;
    LocalDateTime dt;
    dt.hour = static_cast<std::uint16_t>(rest / kTicksPerHour);
    rest %= kTicksPerHour;
    dt.minute = static_cast<std::uint16_t>(rest / kTicksPerMinute);
    rest %= kTicksPerMinute;
    dt.second = static_cast<std::uint16_t>(rest / kTicksPerSecond);
    rest %= kTicksPerSecond;
    dt.milliseconds = static_cast<std::uint16_t>(rest / 10'000);
    // 1 January 1601 was a Monday.
    dt.dayOfWeek = static_cast<std::uint16_t>((days + 1) % 7);

    // Civil date from days since 1970-01-01 (the inverse of daysFromCivil).
    const std::int64_t z = static_cast<std::int64_t>(days) - kEpochOffsetDays + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2 ? 1 : 0);
    dt.year = static_cast<std::uint16_t>(y);
    dt.month = static_cast<std::uint16_t>(m);
    dt.day = static_cast<std::uint16_t>(d);
    return dt;
}

namespace {

bool shift(FileTime t, std::int64_t deltaTicks, FileTime& out) {
    if (deltaTicks >= 0) {
        const auto d = static_cast<std::uint64_t>(deltaTicks);
        if (t > std::numeric_limits<std::uint64_t>::max() - d) return false;
        out = t + d;
    } else {
        const std::uint64_t d = static_cast<std::uint64_t>(-(deltaTicks + 1)) + 1;
        if (t < d) return false;
        out = t - d;
    }
    return true;
}

}  // namespace

bool localToUtc(FileTime local, std::int32_t biasMinutes, FileTime& utc) {
    return shift(local, static_cast<std::int64_t>(biasMinutes) * kSignedTicksPerMinute, utc);
}

bool utcToLocal(FileTime utc, std::int32_t biasMinutes, FileTime& local) {
    return shift(utc, -static_cast<std::int64_t>(biasMinutes) * kSignedTicksPerMinute, local);
}

LocalDateTime utcToLocalDateTime(FileTime utc, std::int32_t biasMinutes) {
    FileTime local = 0;
    if (!utcToLocal(utc, biasMinutes, local)) {
        local = biasMinutes > 0 ? 0 : std::numeric_limits<FileTime>::max();
    }
    return fileTimeToDateTime(local);
}

}  // namespace dormivel
