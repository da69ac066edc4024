// Local dates and times for the native tests, as the platform would give
// them: a broken-down time, and its tick count in UTC under a bias.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "app/filetime.h"

namespace dormivel::test {

inline LocalDateTime localDateTime(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    LocalDateTime dt;
    dt.year = static_cast<std::uint16_t>(y);
    dt.month = static_cast<std::uint16_t>(mo);
    dt.day = static_cast<std::uint16_t>(d);
    dt.hour = static_cast<std::uint16_t>(h);
    dt.minute = static_cast<std::uint16_t>(mi);
    dt.second = static_cast<std::uint16_t>(s);
    return dt;
}

// The UTC ticks of a local date and time under `bias` (UTC = local + bias).
inline FileTime localTicks(int y, int mo, int d, int h, int mi, std::int32_t bias = 0) {
    FileTime local = 0;
    FileTime utc = 0;
    EXPECT_TRUE(dateTimeToFileTime(localDateTime(y, mo, d, h, mi), local));
    EXPECT_TRUE(localToUtc(local, bias, utc));
    return utc;
}

}  // namespace dormivel::test
