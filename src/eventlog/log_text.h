// The texts of the XML event log: the fixed header, the escaping of 8-bit
// text, the elements the program writes, and the check that decides whether
// an existing file may be continued. Nothing here touches a file; the Win32
// layer (event_log_win32.h) renders the timestamps and does the writing.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "app/records.h"
#include "dormivel_version.h"

namespace dormivel {

// The program's version as the root element's attribute carries it.
inline constexpr std::string_view kLogVersion = DORMIVEL_VERSION_TEXT;

// A new log file starts as these bytes: the XML declaration and the root
// start tag, each with CR LF, then the closing root tag with no line end.
inline constexpr std::string_view kLogHeader =
    "<?xml version=\"1.0\" encoding=\"Windows-1252\" standalone=\"yes\" ?>\r\n"
    "<DormivelLog version=\"" DORMIVEL_VERSION_TEXT
    "\">\r\n"
    "</DormivelLog>";

// Every write ends the file with this tag; the next write starts where it
// begins, this many bytes before the end of the file.
inline constexpr std::string_view kLogClosingTag = "</DormivelLog>";

// The part of the header that stays at the start of the file once events
// follow it: declaration and root start tag with their line ends.
inline constexpr std::string_view kLogPrologue = kLogHeader.substr(0, kLogHeader.size() - kLogClosingTag.size());

// The sizes the open decision and the file layer rely on: a 63-byte
// declaration and CR LF, the root start tag (24 bytes around the version)
// and CR LF, then the 14-byte closing tag. The version is written into the
// attribute unescaped, so it must not hold markup.
static_assert(kLogClosingTag.size() == 14);
static_assert(kLogHeader.size() == 63 + 2 + 24 + kLogVersion.size() + 2 + 14);
static_assert(kLogHeader.substr(63 + 2 + 22, kLogVersion.size()) == kLogVersion);
static_assert(kLogHeader.ends_with(kLogClosingTag));
static_assert(!kLogVersion.empty() && kLogVersion.find_first_of("\"&<>") == std::string_view::npos);

// Event bodies written by the log itself and by the power-broadcast and
// countdown code.
inline constexpr std::string_view kDormivelStartBody = "<DormivelStart />";
inline constexpr std::string_view kDormivelStopBody = "<DormivelStop />";
inline constexpr std::string_view kSystemSuspendBody = "<SystemSuspend />";
inline constexpr std::string_view kSystemResumeBody = "<SystemResume />";
inline constexpr std::string_view kSuspendNoteBody = "Next suspend caused by Dormivel.";
// The first Event written to a log that a crash had left torn (see
// findLogRepair).
inline constexpr std::string_view kLogRepairedBody = "<LogRepaired />";

// A read of the schedule file that failed (the file missing, held by another
// program, or an I/O error), logged once at the start of each such episode:
// <ScheduleReadError reason="..." />.
std::string formatScheduleReadError(std::string_view reason);

// Wake health: a machine that cannot wake the PC, by its reason word
// (<WakeUnavailable reason="..." />), and the recovery from it.
std::string formatWakeUnavailable(std::string_view reason);
inline constexpr std::string_view kWakeAvailableBody = "<WakeAvailable />";

// A resume more than two minutes after the wake-up armed for it, from the
// due time already rendered as a log timestamp: <LateWake due="..." />.
std::string formatLateWake(std::string_view dueStamp);

// The wake-up armed at a sleep that came while the PC had to stay awake,
// from its time already rendered as a log timestamp:
// <WakeUpForRecording time="..." />.
std::string formatWakeUpForRecording(std::string_view wakeStamp);

// A wake-up test from the tray menu: the wake-up it armed, and when the PC
// resumed, how many seconds after the time set (negative before it) and
// whether it woke by itself, from times already rendered as log timestamps:
// <WakeTest due="..." /> and
// <WakeTestResult woke="..." late="..." automatic="true|false" />.
std::string formatWakeTest(std::string_view dueStamp);
std::string formatWakeTestResult(std::string_view wokeStamp, std::int64_t lateSeconds, bool automatic);

// The end of the Windows session the program ends with ("shutdown" or
// "logoff"): <SessionEnd reason="..." />.
std::string formatSessionEnd(std::string_view reason);

// Copies `text`, writing & < > " ' as their five predefined entities. Every
// other byte, control bytes and bytes 128..255 included, is copied unchanged.
std::string escapeXml(std::string_view text);

// <Show title="..." start="..." stop="..." channel="..." />, with the title
// escaped and the channel in unsigned decimal. The two timestamp texts are
// rendered by the caller (the platform's locale formatting) and written as
// they are. No line end.
std::string formatShowElement(const Recording& recording, std::string_view startStamp, std::string_view stopStamp);

// The bytes one append writes over the old closing tag: the Event element
// with its timestamp and the body unchanged, CR LF, and a fresh closing tag.
std::string composeEventElement(std::string_view timestamp, std::string_view body);

// Bodies for applications closed and programs started. The class name and
// the path are escaped: they come from other programs and from the command
// line, and an unescaped & < or " in them would leave the whole log
// malformed for every reader.
std::string formatQuitProcessCleanly(std::string_view className, std::uint32_t processId);
std::string formatTerminatedProcessForcefully(std::string_view className, std::uint32_t processId);
std::string formatCreatedProcess(std::string_view path, std::uint32_t processId);

// Pieces of a schedule pass's report. Each starts with CR LF TAB; the report
// as a whole ends with one more CR LF, which the caller adds.
std::string formatNowRecordingBlock(std::span<const std::string> showElements);
std::string formatNextRecordingBlock(std::span<const std::string> showElements);
std::string formatSetWakeUpLine(std::string_view wakeStamp);
std::string_view setAllowSleepLine(bool allow);

// What to do with the file named as the log.
enum class LogOpenDecision {
    startNew,       // write a fresh header (creating or emptying the file)
    append,         // continue the document at its closing tag
    repair,         // a log of this program whose tail is torn: see findLogRepair
    runWithoutLog,  // leave the file exactly as it is and keep no log
};

// Who a file is, independent of how its path is spelled (case, short
// names, relative parts, links): the volume and the file's index on it.
struct FileIdentity {
    bool known = false;
    std::uint32_t volume = 0;
    std::uint64_t index = 0;
};

// True only when both identities are known and equal.
bool sameFile(const FileIdentity& a, const FileIdentity& b);

// What the file layer found at the path named as the log, before writing a
// byte to it.
struct LogFileFacts {
    bool appendLog = false;
    bool exists = false;
    // The path names the schedule file: the log is then never opened, so
    // that the schedule can never be emptied or written to.
    bool isScheduleFile = false;
    // For an existing file when appending: whether its bytes could be read
    // through the handle that would write them, its size, its first bytes
    // (up to kLogPrologue.size()) and its last (up to kLogClosingTag.size()).
    bool contentKnown = false;
    std::uint64_t size = 0;
    std::string_view head;
    std::string_view tail;
};

// Appending overwrites the file's last 14 bytes, so it is done only to a file
// that looks like one this program wrote: at least a whole header long,
// starting with the header's prologue and ending with the closing tag; the
// bytes overwritten are then that tag, which the write puts back at the new
// end. A file that starts with the prologue but does not end with the tag is
// this program's log torn by a crash in the middle of a write: it is to be
// repaired (findLogRepair decides where, or that it is not torn after all).
// Any other non-empty file (foreign, edited, or one whose bytes could not be
// read) is left untouched and the program runs without a log, so no byte
// that somebody else wrote is ever lost. An existing empty file holds
// nothing to lose and gets a fresh header. Without `appendLog`, or when the
// file does not exist, a new log is started, which empties an existing
// file; never the schedule file, though.
LogOpenDecision decideLogOpen(const LogFileFacts& facts);

// Where a torn log is cut back to: the end of its last complete Event (or of
// the prologue when no Event is complete), and what is written there to
// close the document again. Every byte before `cut` stays as it is; the file
// ends right after `closing`.
struct LogRepair {
    std::uint64_t cut = 0;
    std::string_view closing;
};

enum class LogRepairSearch {
    found,        // `repair` says where
    readFurther,  // no complete Event in the tail: hand in a longer one
    notOurs,      // the bytes after the last Event are not a torn write of this program
};

struct LogRepairPoint {
    LogRepairSearch search = LogRepairSearch::notOurs;
    LogRepair repair;
};

// How far back from the end a complete Event is looked for. An Event is a
// few kilobytes at most; a file torn further back than this is left alone.
inline constexpr std::uint64_t kLogRepairReach = std::uint64_t{4} << 20;

// Looks in `tail`, the last tail.size() bytes of a file of `size` bytes that
// starts with the log's prologue, for the end of the last complete Event.
// What follows it must be what a write of this program torn anywhere leaves:
// the start of the next Event, or part of the closing tag, where bytes a
// power cut lost may read as zeros; a closing tag that is whole and followed
// by anything but zeros means the file was edited, not torn, and it is not
// this program's to cut.
LogRepairPoint findLogRepair(std::uint64_t size, std::string_view tail);

}  // namespace dormivel
