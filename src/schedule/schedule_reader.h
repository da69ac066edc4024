// Reader of Kalvor's schedule file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/records.h"
#include "app/time_zone.h"

namespace dormivel {

// The recordings of one read, heap-ordered under isEarlier after a complete
// read (the first entry is the earliest). A deque, not a vector: it grows in
// fixed blocks and never moves what it holds, so a read of n recordings peaks
// at about their own size instead of the three times a doubling array reaches
// while it copies itself into a larger one.
using RecordingList = std::deque<Recording>;

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

// A start or stop as the file writes it, to UTC; `which` decides a time that
// a change of daylight saving skips or repeats (a start is read at its
// earlier instant, a stop at its later one).
bool parseScheduleTime(std::string_view text, const ScheduleClock& clock, FileTime& utc,
                       LocalInstant which = LocalInstant::earlier);

bool parseScheduleLine(std::string_view line, const ScheduleClock& clock, Recording& out);

// Arranges the list as a binary heap, earliest first, by the classic
// bottom-up procedure, so that ties come out the same with every library.
void heapArrange(RecordingList& list);

// The source of the schedule file's bytes. Fills `buffer` with up to `size`
// bytes (size > 0) of the file as the platform's text mode delivers them, and
// returns how many it wrote: 0 at the end of the file, a negative number when
// the read failed (an I/O error, not a parse problem).
using ByteReader = std::function<std::ptrdiff_t(char* buffer, std::size_t size)>;

enum class ReadStatus {
    complete,   // the whole file was read; the list is heap-arranged
    badLine,    // a record line did not parse, or a line was too long; the list
                // holds the recordings before it, in file order
    readError,  // the source failed; what the list holds is unspecified
};

// The longest line the reader accepts, in bytes, not counting the LF that
// ends it (a CR that the platform's text mode leaves in the line counts). It
// holds for the header too. A longer line is a bad line: reading stops as
// soon as a line has grown past the limit, without reading the rest of it,
// so a pass holds at most this much of a line (plus one read of the source)
// whatever the file holds. Schedule lines are well under a kilobyte.
inline constexpr std::size_t kMaxLineLength = std::size_t{64} * 1024;

// The most the reader asks its source for in one call.
inline constexpr std::size_t kReadSize = std::size_t{16} * 1024;

// Empties `list` and fills it with the recordings of the file that `read`
// delivers from its start: the first line is a header and is skipped, empty
// lines are skipped, every other line is a record line. Lines end at LF; the
// last one needs none. Reading stops at the first record line that does not
// parse, or at the first line longer than kMaxLineLength.
ReadStatus readSchedule(RecordingList& list, const ByteReader& read, const ScheduleClock& clock);

// The same over the whole file's bytes, as the platform's text mode delivers
// them.
ReadStatus readSchedule(RecordingList& list, std::string_view bytes, const ScheduleClock& clock);

}  // namespace dormivel
