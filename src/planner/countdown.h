// Arithmetic of the sleep countdown.
#pragma once

#include <cstdint>
#include <string>

#include "app/records.h"

namespace dormivel {

// Whole seconds from `now` to `deadline`, truncated toward zero (negative
// once the deadline has passed), clamped to the 32-bit range.
std::int32_t remainingSeconds(FileTime deadline, FileTime now);

// "H:MM:SS", the hours without leading zeros: 59 gives "0:00:59", 3725 gives
// "1:02:05", 36000 gives "10:00:00".
std::string formatCountdown(std::int32_t seconds);

}  // namespace dormivel
