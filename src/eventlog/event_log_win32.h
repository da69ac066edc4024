// The XML event log file: opening, appending one Event element at a time,
// closing, and the locale-formatted timestamps written into it.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "app/handle_win32.h"
#include "app/records.h"
#include "app/time_zone.h"

namespace dormivel {

// The open log file's handle, empty while no log is open. An owner that goes
// without closeEventLog closes the file without its stop marker, as a crash
// would leave it.
struct EventLog {
    UniqueHandle handle;
};

bool isLogOpen(const EventLog& log);

// Closes any open log, then opens or creates the file at `path` and writes
// the start marker. A null path does nothing at all. A file that cannot be
// opened, the schedule file at `schedulePath` under any spelling of its
// path, or an existing file that is not a log of this program when
// appending (see decideLogOpen), leaves no log open. A log of this program
// that a crash left torn is cut back to its last complete Event (see
// findLogRepair), and its first new Event says so.
void openEventLog(const wchar_t* path, bool appendLog, EventLog& log, const wchar_t* schedulePath = nullptr);

// Writes one Event element, stamped with the current local date and time,
// over the closing tag and ends the file with a fresh one. False without an
// open log or when the write failed.
bool appendEvent(EventLog& log, std::string_view body);

// Has the system write what the log holds to the disk, so that a power cut
// in the sleep that follows loses none of it; nothing without an open log.
void flushEventLog(EventLog& log);

// Writes the stop marker, flushes and closes the file; nothing without an
// open log.
void closeEventLog(EventLog& log);

// "<short date> <time>" in the system default locale without user overrides,
// in the ANSI code page. A null `local` means the current local time.
std::string formatLogTimestamp(const SYSTEMTIME* local);

// The same for a UTC tick count, converted to the local time in force at
// that instant under the zone's rules. Empty when the value cannot be shown.
std::string formatLogTimestampUtc(FileTime utc, const TimeZone& zone);

// The Show element of one recording, its start and stop in local time under
// the zone in force.
std::string formatShowElement(const Recording& recording);

}  // namespace dormivel
