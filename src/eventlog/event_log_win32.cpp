#include "eventlog/event_log_win32.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "app/clock_win32.h"
#include "eventlog/log_text.h"

namespace dormivel {

namespace {

constexpr DWORD kLocaleFlags = LOCALE_NOUSEROVERRIDE | LOCALE_USE_CP_ACP;

using LocaleFormatter = int(WINAPI*)(LCID, DWORD, const SYSTEMTIME*, LPCSTR, LPSTR, int);

// One GetDateFormatA / GetTimeFormatA text, without its terminating zero.
std::string formatWithLocale(LocaleFormatter format, const SYSTEMTIME& when) {
    const int needed = format(LOCALE_SYSTEM_DEFAULT, kLocaleFlags, &when, nullptr, nullptr, 0);
    if (needed <= 1) return {};
    std::string text(static_cast<std::size_t>(needed), '\0');
    const int written = format(LOCALE_SYSTEM_DEFAULT, kLocaleFlags, &when, nullptr, text.data(), needed);
    text.resize(written > 0 ? static_cast<std::size_t>(written - 1) : 0);
    return text;
}

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

// Opens an existing file for continuing it. Reads the head and the tail of
// the file through the same handle, so that what is judged is what will be
// written to; returns INVALID_HANDLE_VALUE when the file is to stay as it is.
HANDLE openForAppending(const wchar_t* path) {
    HANDLE file = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return file;

    LARGE_INTEGER fileSize;
    if (GetFileSizeEx(file, &fileSize) == FALSE || fileSize.QuadPart < 0) {
        CloseHandle(file);
        return INVALID_HANDLE_VALUE;
    }
    const auto size = static_cast<std::uint64_t>(fileSize.QuadPart);
    const auto headSize = static_cast<std::size_t>(std::min<std::uint64_t>(size, kLogPrologue.size()));
    const auto tailSize = static_cast<std::size_t>(std::min<std::uint64_t>(size, kLogClosingTag.size()));
    const std::string head = readBytesAt(file, 0, headSize);
    const std::string tail = readBytesAt(file, size - tailSize, tailSize);

    switch (decideLogOpen(true, true, size, head, tail)) {
        case LogOpenDecision::append:
            return file;
        case LogOpenDecision::startNew:
            // The file is empty: the header goes at its start.
            if (moveTo(file, 0) && writeBytes(file, kLogHeader)) return file;
            break;
        case LogOpenDecision::runWithoutLog:
            break;
    }
    CloseHandle(file);
    return INVALID_HANDLE_VALUE;
}

}  // namespace

bool isLogOpen(const EventLog& log) {
    return log.handle != INVALID_HANDLE_VALUE;
}

void openEventLog(const wchar_t* path, bool appendLog, EventLog& log) {
    if (path == nullptr) return;
    closeEventLog(log);

    const bool fileExists = GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
    if (appendLog && fileExists) {
        log.handle = openForAppending(path);
    } else {
        // A new log; CREATE_ALWAYS empties a file that exists.
        log.handle = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (isLogOpen(log)) writeBytes(log.handle, kLogHeader);
    }
    if (isLogOpen(log)) appendEvent(log, kDormivelStartBody);
}

bool appendEvent(EventLog& log, std::string_view body) {
    if (!isLogOpen(log)) return false;
    // Each write starts where the closing tag begins. Should the move fail,
    // nothing is written: bytes after the tag would leave the file malformed.
    LARGE_INTEGER distance;
    distance.QuadPart = -static_cast<LONGLONG>(kLogClosingTag.size());
    if (SetFilePointerEx(log.handle, distance, nullptr, FILE_END) == FALSE) return false;
    return writeBytes(log.handle, composeEventElement(formatLogTimestamp(nullptr), body));
}

void closeEventLog(EventLog& log) {
    if (!isLogOpen(log)) return;
    appendEvent(log, kDormivelStopBody);
    CloseHandle(log.handle);
    log.handle = INVALID_HANDLE_VALUE;
}

std::string formatLogTimestamp(const SYSTEMTIME* local) {
    // One reading of the clock for both texts, so that date and time agree
    // around midnight.
    SYSTEMTIME now;
    if (local == nullptr) {
        GetLocalTime(&now);
        local = &now;
    }
    std::string stamp = formatWithLocale(GetDateFormatA, *local);
    stamp += ' ';
    stamp += formatWithLocale(GetTimeFormatA, *local);
    return stamp;
}

std::string formatLogTimestampUtc(FileTime utc) {
    const FILETIME universal = toFileTime(utc);
    FILETIME local;
    SYSTEMTIME when;
    if (FileTimeToLocalFileTime(&universal, &local) == FALSE || FileTimeToSystemTime(&local, &when) == FALSE) {
        return {};
    }
    return formatLogTimestamp(&when);
}

std::string formatShowElement(const Recording& recording) {
    return formatShowElement(recording, formatLogTimestampUtc(recording.start), formatLogTimestampUtc(recording.stop));
}

}  // namespace dormivel
