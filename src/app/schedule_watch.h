// Watching the schedule file: the folder that is watched, and the settle
// that waits for a rewrite to finish before a pass reads the file. Both are
// pure: the main loop hands in the stamps it read and the times it read
// them at, and carries out what comes back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "schedule/schedule_file.h"

namespace dormivel {

// The folder that holds the file: the full path cut before its final
// component (which starts at `fileNameOffset`). A file in a drive's root
// keeps the separator ("C:\"), since "C:" alone would name that drive's
// current directory; a UNC path keeps its share ("\\server\share\").
std::wstring scheduleDirectory(std::wstring_view fullPath, std::size_t fileNameOffset);

// How long the file's stamp must stay put before a pass reads it, and the
// longest a file that never stays put waits for one: a writer that touches
// the file every second or faster (a guide refresh, a sync or backup tool,
// a virus scanner's rescan) would otherwise hold every pass off for good.
inline constexpr std::uint64_t kSettleIntervalMs = 1000;
inline constexpr std::uint64_t kSettleCapMs = 10000;
// A pass brought by the cap reads a file that is still being written, and
// its read is of no use when a write lands while it runs. The cap then comes
// again this soon, rather than a whole cap later: looked at a moment after
// the look that failed, not at the change notification itself, when a
// writer has only just begun to save.
inline constexpr std::uint64_t kSettleReadAgainMs = 250;

// The settle, kept by the main loop between looks at the file's stamp.
// Times are the platform's millisecond tick count.
struct Settle {
    FileStamp reference;      // the stamp as last looked at
    bool active = false;      // the stamp is to be looked at again
    bool unread = false;      // a change was seen that no pass has read yet
    bool capPassDue = false;  // the pass asked for is the cap's, over a file still changing
    std::uint64_t changedAtMs = 0;
    // When a change still unread gets its pass though the file goes on
    // changing: the cap after the first unread change, or after the last
    // pass that the cap brought while the file went on changing.
    std::uint64_t capAtMs = 0;
};

struct SettleStep {
    bool pass = false;  // run a pass now
    // When to look at the stamp again; none: nothing settles, wait for the
    // folder to change.
    std::optional<std::uint64_t> lookAtMs;
};

// One look at the file's stamp, made when the folder changed or at the
// time the last step asked for. A stamp that differs from the reference is
// a change; a pass follows once the stamp has stayed put for one interval
// after the last change seen, or once a change has waited for a pass for
// the cap. A stamp equal to the reference outside a settle (a write to
// another file of the folder) asks for nothing.
SettleStep settleLook(Settle& settle, const FileStamp& stamp, std::uint64_t nowMs);

// After any pass: whether its read found the file changed under it, and
// kept the plan. When the pass was the cap's the change is unread again and
// the cap comes again kSettleReadAgainMs on; after any other pass the write
// that cut it short settles as any other. The step holds only the next look.
SettleStep settleAfterPass(Settle& settle, bool readCutShort, std::uint64_t nowMs);

// The wait's time-out for a deadline: kWaitForever without one, 0 when it is
// due, otherwise the milliseconds until it.
std::uint32_t timeoutUntil(std::optional<std::uint64_t> deadlineMs, std::uint64_t nowMs);

}  // namespace dormivel
