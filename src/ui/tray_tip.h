// The tray icon's tip: the next wake-up and the recording it is for, or what
// keeps the PC from waking.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "planner/wake_health.h"

namespace dormivel {

// The notification icon's tip holds 128 UTF-16 units with its terminator.
// The tip is built as 8-bit text of at most this many bytes: every ANSI code
// page (single-byte, double-byte, or UTF-8) turns each byte or byte sequence
// into at most as many UTF-16 units as it has bytes, so the converted tip
// always fits.
inline constexpr std::size_t kTrayTipMaxBytes = 127;

// The next wake-up armed with resume, as the tip names it: day and time
// already formatted by the platform, the recording's title as read.
struct TipWakeUp {
    std::string day;
    std::string time;
    std::string title;
};

// "Dormivel: next wake-up <day> <time> for <title>" when healthy with a
// wake-up armed; the problem's short text when unhealthy; "Dormivel"
// otherwise. A title too long for the tip is cut and ends in "..."; the
// fixed words are never cut. At most kTrayTipMaxBytes bytes.
std::string composeTrayTip(const WakeHealth& health, const std::optional<TipWakeUp>& next);

}  // namespace dormivel
