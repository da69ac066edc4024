// The schedule file as each pass meets it: its stamp, how a read went, and
// what a pass does when the file cannot be read.
#pragma once

#include <cstdint>
#include <string_view>

namespace dormivel {

// What the settle compares: whether the file exists, and its
// last-modification time at the file system's own resolution (100 ns on
// NTFS), so that a file replaced or rewritten within the same second as the
// last change is still seen to change.
struct FileStamp {
    bool present = false;
    std::uint64_t modified = 0;

    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

// How a pass's read of the schedule file went.
enum class ScheduleAccess {
    read,      // read to its end (a line that does not parse still counts as read)
    changing,  // read, but the file was changed moments ago: the read may be cut off
    missing,   // the file, its folder or its network share is not there
    denied,    // another program holds it without sharing, or no access right
    locked,    // a byte range is locked by another program
    failed,    // any other I/O error while opening or reading
};

// The platform's error code of a failed open or read, classified.
ScheduleAccess classifyScheduleError(std::uint32_t platformError);

// The word the log names a failed read by.
std::string_view scheduleAccessReason(ScheduleAccess access);

// How long after a failed read the pass is tried again.
inline constexpr std::uint64_t kScheduleRetryMs = 2000;

// A writer that saves the file in place cuts it short for a moment, and a
// read then holds only its first lines: a plan made from it would miss the
// recordings after the cut. The settle waits until the file has stood still
// for this long before its pass; any other pass (the timer's, a retry's)
// takes what it read only from a file that has stood still as long, or that
// the settle has seen stand still, and otherwise keeps the plan and reads
// again when the interval is up.
inline constexpr std::uint64_t kScheduleStillMs = 1000;

// Whether a read made at `now` may be planned with: the file is the one the
// settle last saw stand still (`settled`), or nothing has changed it for
// kScheduleStillMs. A stamp later than `now` (the clock was set back since
// the write) counts as standing still, as does a file that is not there.
bool scheduleStandsStill(const FileStamp& current, const FileStamp& settled, std::uint64_t nowTicks);

// A run of failed reads, from the first failure to the next read that works,
// and a read that is to be made again because the file was changing.
struct ScheduleReadEpisode {
    bool failing = false;         // the failure has been logged
    bool retrying = false;        // a read is due at retryAtMs
    bool changing = false;        // the last read was of a file changing meanwhile
    std::uint64_t retryAtMs = 0;  // on the platform's millisecond tick count
};

struct ScheduleReadStep {
    // The recordings just read replace the plan; otherwise the plan stays as
    // the last successful read left it.
    bool useRecordings = true;
    bool logFailure = false;  // the first failure of an episode
    std::string_view reason;
};

// What a pass does after its read; starts or ends an episode. A read that
// fails changes nothing of the plan: it is logged once per episode and tried
// again kScheduleRetryMs later, until it works. A read of a changing file
// changes nothing either, is not logged, and is made again kScheduleStillMs
// later.
ScheduleReadStep onScheduleRead(ScheduleReadEpisode& episode, ScheduleAccess access, std::uint64_t nowMs);

// The time-out of the main loop's wait: no time-out (the idle program must
// not poll) unless a retry is pending, then the milliseconds until it (0 when
// it is due).
inline constexpr std::uint32_t kWaitForever = 0xFFFFFFFFU;
std::uint32_t waitTimeoutMs(const ScheduleReadEpisode& episode, std::uint64_t nowMs);

}  // namespace dormivel
