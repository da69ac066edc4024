// Selection of the recordings running now and starting next, under the
// hour filters.
#pragma once

#include <cstdint>

#include "app/records.h"
#include "app/time_zone.h"
#include "cmdline/options.h"
#include "schedule/schedule_reader.h"

namespace dormivel {

bool containsHour(const HourRange& range, std::uint8_t hour);
bool rangesContainHour(const HourRangeList& ranges, std::uint8_t hour);

// The local hour (0..23) of the recording's start: the wall-clock hour
// written in the schedule file, whatever changes of daylight saving lie
// between now and then.
std::uint8_t startHour(const Recording& recording, const TimeZone& zone);

bool isEligible(const Recording& recording, const Options& options, const TimeZone& zone);

void selectNowRecordings(const RecordingList& list, FileTime now, const Options& options, const TimeZone& zone,
                         RecordingSet& out);
void selectNextRecordings(const RecordingList& list, FileTime now, const Options& options, const TimeZone& zone,
                          RecordingSet& out);

// Equal length and equal recordings in order; a recording compares by start,
// stop, channel and title only.
bool sameRecordingSet(const RecordingSet& a, const RecordingSet& b);

}  // namespace dormivel
