#include "eventlog/event_log_win32.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "app/clock_win32.h"
#include "app/handle_win32.h"
#include "eventlog/log_text.h"

namespace dormivel {

namespace {

bool writeBytes(HANDLE file, std::string_view bytes) {
    DWORD written = 0;
    const DWORD size = static_cast<DWORD>(bytes.size());
    return WriteFile(file, bytes.data(), size, &written, nullptr) != FALSE && written == size;
}

bool moveTo(HANDLE file, std::uint64_t offset) {
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(file, position, nullptr, FILE_BEGIN) != FALSE;
}

// Up to `count` bytes from `offset`; shorter when the read fails.
std::string readBytesAt(HANDLE file, std::uint64_t offset, std::size_t count) {
    if (!moveTo(file, offset)) return {};
    std::string bytes(count, '\0');
    DWORD read = 0;
    if (ReadFile(file, bytes.data(), static_cast<DWORD>(count), &read, nullptr) == FALSE) return {};
    bytes.resize(read);
    return bytes;
}

// Cuts this program's torn log back to its last complete Event and closes
// the document again, reading the file's tail in growing windows until a
// complete Event is in sight. False, with no byte changed, when the tail is
// not a torn write of this program or cannot be read; false too when the
// closing cannot be written, and then the file is not appended to.
bool repairTornLog(HANDLE file, std::uint64_t size) {
    constexpr std::uint64_t kFirstWindow = std::uint64_t{64} << 10;
    for (std::uint64_t window = kFirstWindow;; window *= 2) {
        const auto n = static_cast<std::size_t>(std::min({size, window, kLogRepairReach}));
        const std::string tail = readBytesAt(file, size - n, n);
        if (tail.size() != n) return false;
        const LogRepairPoint point = findLogRepair(size, tail);
        if (point.search == LogRepairSearch::found) {
            return moveTo(file, point.repair.cut) && writeBytes(file, point.repair.closing) &&
                   SetEndOfFile(file) != FALSE && FlushFileBuffers(file) != FALSE;
        }
        if (point.search == LogRepairSearch::notOurs || n == size) return false;
    }
}

// Who the file at `path` is; unknown when it cannot be opened (it does not
// exist, for one).
FileIdentity identityOf(const wchar_t* path) {
    const UniqueHandle file =
        ownHandle(CreateFileW(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file) return {};
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileInformationByHandle(file.get(), &info) == FALSE) return {};
    return FileIdentity{true, info.dwVolumeSerialNumber,
                        (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

}  // namespace

bool isLogOpen(const EventLog& log) {
    return static_cast<bool>(log.handle);
}

void openEventLog(const wchar_t* path, bool appendLog, EventLog& log, const wchar_t* schedulePath) {
    if (path == nullptr) return;
    closeEventLog(log);

    LogFileFacts facts;
    facts.appendLog = appendLog;
    facts.exists = GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
    facts.isScheduleFile =
        facts.exists && schedulePath != nullptr && sameFile(identityOf(path), identityOf(schedulePath));

    // When appending, the head and the tail are read through the handle that
    // would write, so that what is judged is what will be written to.
    UniqueHandle owned;
    std::string head;
    std::string tail;
    if (facts.appendLog && facts.exists && !facts.isScheduleFile) {
        owned = ownHandle(
            CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    }
    // The log takes the handle over by a move; whatever is left in `owned`
    // closes on the way out.
    const HANDLE file = owned ? owned.get() : INVALID_HANDLE_VALUE;
    if (file != INVALID_HANDLE_VALUE) {
        LARGE_INTEGER fileSize;
        if (GetFileSizeEx(file, &fileSize) != FALSE && fileSize.QuadPart >= 0) {
            facts.size = static_cast<std::uint64_t>(fileSize.QuadPart);
            const auto headSize = static_cast<std::size_t>(std::min<std::uint64_t>(facts.size, kLogPrologue.size()));
            const auto tailSize = static_cast<std::size_t>(std::min<std::uint64_t>(facts.size, kLogClosingTag.size()));
            head = readBytesAt(file, 0, headSize);
            tail = readBytesAt(file, facts.size - tailSize, tailSize);
            facts.contentKnown = head.size() == headSize && tail.size() == tailSize;
            facts.head = head;
            facts.tail = tail;
        }
    }

    bool repaired = false;
    switch (decideLogOpen(facts)) {
        case LogOpenDecision::append:
            log.handle = std::move(owned);
            break;
        case LogOpenDecision::repair:
            if (repairTornLog(file, facts.size)) {
                log.handle = std::move(owned);
                repaired = true;
            }
            break;
        case LogOpenDecision::startNew:
            if (file != INVALID_HANDLE_VALUE) {
                // An existing empty file kept open for appending: the header
                // goes at its start.
                if (moveTo(file, 0) && writeBytes(file, kLogHeader)) log.handle = std::move(owned);
            } else {
                // CREATE_ALWAYS empties a file that exists.
                log.handle =
                    ownHandle(CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr));
                if (isLogOpen(log) && !writeBytes(log.handle.get(), kLogHeader)) log.handle.reset();
            }
            break;
        case LogOpenDecision::runWithoutLog:
            break;
    }
    if (repaired) appendEvent(log, kLogRepairedBody);
    if (isLogOpen(log)) appendEvent(log, kDormivelStartBody);
}

bool appendEvent(EventLog& log, std::string_view body) {
    if (!isLogOpen(log)) return false;
    // Each write starts where the closing tag begins. Should the move fail,
    // nothing is written: bytes after the tag would leave the file malformed.
    LARGE_INTEGER distance;
    distance.QuadPart = -static_cast<LONGLONG>(kLogClosingTag.size());
    if (SetFilePointerEx(log.handle.get(), distance, nullptr, FILE_END) == FALSE) return false;
    return writeBytes(log.handle.get(), composeEventElement(formatLogTimestamp(nullptr), body));
}

void flushEventLog(EventLog& log) {
    if (isLogOpen(log)) FlushFileBuffers(log.handle.get());
}

void closeEventLog(EventLog& log) {
    if (!isLogOpen(log)) return;
    appendEvent(log, kDormivelStopBody);
    flushEventLog(log);
    log.handle.reset();
}

std::string formatLogTimestamp(const SYSTEMTIME* local) {
    // One reading of the clock for both texts, so that date and time agree
    // around midnight.
    SYSTEMTIME now;
    if (local == nullptr) {
        GetLocalTime(&now);
        local = &now;
    }
    std::string stamp = formatLocaleText(*local, LocaleText::logDate);
    stamp += ' ';
    stamp += formatLocaleText(*local, LocaleText::logTime);
    return stamp;
}

std::string formatLogTimestampUtc(FileTime utc, const TimeZone& zone) {
    FileTime local = 0;
    SYSTEMTIME when;
    if (!utcToLocal(utc, zone, local)) return {};
    const FILETIME localTime = toFileTime(local);
    // The platform's own splitting, which refuses values it cannot show.
    if (FileTimeToSystemTime(&localTime, &when) == FALSE) return {};
    return formatLogTimestamp(&when);
}

std::string formatShowElement(const Recording& recording) {
    const TimeZone zone = currentTimeZone();
    return formatShowElement(recording, formatLogTimestampUtc(recording.start, zone),
                             formatLogTimestampUtc(recording.stop, zone));
}

}  // namespace dormivel
