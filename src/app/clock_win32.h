// The platform's FILETIME and the program's tick counts, which are the same
// 64-bit number split in two.
#pragma once

#include <windows.h>

#include "app/records.h"

namespace dormivel {

inline FileTime fromFileTime(const FILETIME& t) {
    return (static_cast<FileTime>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

inline FILETIME toFileTime(FileTime t) {
    return FILETIME{static_cast<DWORD>(t & 0xFFFFFFFFU), static_cast<DWORD>(t >> 32)};
}

// The current UTC time.
inline FileTime currentFileTime() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return fromFileTime(now);
}

}  // namespace dormivel
