// The schedule file as the platform gives it: opened by its full path for
// each read, never held between two reads, so that its writer may replace,
// rename or delete it at any time.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "schedule/schedule_file.h"

namespace dormivel {

// Opens the file for reading in the runtime's text mode (CR LF read as LF),
// sharing read, write and delete access with every other program. Null on
// failure, with the platform's error code in `error`.
FILE* openScheduleFile(const std::wstring& path, std::uint32_t& error);

// The file's stamp as the settle compares it; not present when it cannot be
// found.
FileStamp readScheduleStamp(const std::wstring& path);

}  // namespace dormivel
