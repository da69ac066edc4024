// The lines of the upcoming-recordings list.
#pragma once

#include <string>
#include <string_view>

namespace dormivel {

// "*" for a recording Dormivel acts on, a blank for one an hour filter
// excludes; then a TAB, the local start time in the user's format, a TAB and
// the title byte for byte.
std::string composeUpcomingLine(bool eligible, std::string_view startTime, std::string_view title);

}  // namespace dormivel
