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
    read,     // read to its end (a line that does not parse still counts as read)
    missing,  // the file, its folder or its network share is not there
    denied,   // another program holds it without sharing, or no access right
    locked,   // a byte range is locked by another program
    failed,   // any other I/O error while opening or reading
};

// The platform's error code of a failed open or read, classified.
ScheduleAccess classifyScheduleError(std::uint32_t platformError);

// The word the log names a failed read by.
std::string_view scheduleAccessReason(ScheduleAccess access);

// How long after a failed read the pass is tried again.
inline constexpr std::uint64_t kScheduleRetryMs = 2000;

// A run of failed reads, from the first failure to the next read that works.
struct ScheduleReadEpisode {
    bool failing = false;
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
// again kScheduleRetryMs later, until it works.
ScheduleReadStep onScheduleRead(ScheduleReadEpisode& episode, ScheduleAccess access, std::uint64_t nowMs);

// The time-out of the main loop's wait: no time-out (the idle program must
// not poll) unless a retry is pending, then the milliseconds until it (0 when
// it is due).
inline constexpr std::uint32_t kWaitForever = 0xFFFFFFFFU;
std::uint32_t waitTimeoutMs(const ScheduleReadEpisode& episode, std::uint64_t nowMs);

}  // namespace dormivel
