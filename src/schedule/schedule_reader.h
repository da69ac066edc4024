// Reader of Kalvor's schedule file.
#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

#include "app/records.h"
#include "app/time_zone.h"

namespace dormivel {

// The recordings of one read, heap-ordered under isEarlier after a complete
// read (the first entry is the earliest).
using RecordingList = std::vector<Recording>;

// What the reader needs from the platform, captured once by the caller: the
// current local year and month (for the year rule) and the zone's rules, by
// which each date is converted to UTC.
struct ScheduleClock {
    std::uint16_t year = 2026;
    std::uint16_t month = 1;
    TimeZone zone;
};

bool isEarlier(const Recording& a, const Recording& b);

std::vector<std::string_view> splitFields(std::string_view line);

bool parseScheduleTime(std::string_view text, const ScheduleClock& clock, FileTime& utc);

bool parseScheduleLine(std::string_view line, const ScheduleClock& clock, Recording& out);

// Arranges the list as a binary heap, earliest first, by the classic
// bottom-up procedure, so that ties come out the same with every library.
void heapArrange(RecordingList& list);

// Empties `list` and fills it from `in`. False when a record line failed: the
// list then holds the recordings before it, in file order.
bool readSchedule(RecordingList& list, std::istream& in, const ScheduleClock& clock);

}  // namespace dormivel
