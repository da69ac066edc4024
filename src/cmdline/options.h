// The values the command line sets, with their defaults.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/records.h"

namespace dormivel {

struct Options {
    bool appendLog = false;
    bool noResuspend = false;
    bool useHibernate = false;
    std::int32_t leadTime = 60;  // seconds
    std::int32_t warnTime = 60;  // seconds
    std::vector<std::wstring> executeList;
    std::vector<std::wstring> terminateList;
    // Text options refer into the process's argument vector, which lives as
    // long as the process; null means absent, "" means given but empty.
    const wchar_t* logFilePath = nullptr;
    const wchar_t* scheduleFilePath = L"schedule.txt";
    HourRangeList noFavoriteRanges;
    HourRangeList noIrRanges;
    HourRangeList noManualRanges;
};

// Fills `options` from the whole argument vector (argv[0] is the program's
// name). On failure returns false with the message to show to the user in
// `message`; the vector's non-option arguments are moved in place.
bool parseCommandLine(int argc, wchar_t** argv, Options& options, std::wstring& message);

}  // namespace dormivel
