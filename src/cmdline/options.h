// The values the command line sets, with their defaults.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "app/records.h"
#include "cmdline/option_parser.h"

namespace dormivel {

// The lead time and the warning time when the command line gives none.
inline constexpr std::int32_t kDefaultLeadTimeSeconds = 60;
inline constexpr std::int32_t kDefaultWarnTimeSeconds = 60;

// What a range option given without a value stands for: every hour.
inline constexpr HourRange kWholeDay{0, 24};

struct Options {
    bool appendLog = false;
    bool noResuspend = false;
    bool useHibernate = false;
    std::int32_t leadTime = kDefaultLeadTimeSeconds;
    std::int32_t warnTime = kDefaultWarnTimeSeconds;
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

// The raw texts of the range and list options as the parser leaves them,
// before they are turned into lists. Null means absent.
struct OptionTexts {
    const wchar_t* noManual = L"";
    const wchar_t* noIr = L"";
    const wchar_t* noFavorite = L"";
    const wchar_t* terminate = nullptr;
    const wchar_t* execute = nullptr;
};

// The twelve options, in the order nomanual M, noir I, nofavorite F,
// leadtime t, schedfile s, logfile l, appendlog a, terminate T, execute X,
// noresuspend R, warntime w, usehiber h. The entries refer to `options` and
// `texts`, which must outlive the table's use.
std::array<OptionEntry, kOptionCount> makeOptionTable(Options& options, OptionTexts& texts);

// Appends the comma-separated ranges "first-last" of `text` to `ranges`.
// Each range is optional digits, '-', at least one digit, then anything up to
// the next comma; each number keeps the low 8 bits of its _wtoi reading, so a
// missing first number reads the '-' as a sign ("-5" gives {251, 5}).
// Returns false at the first malformed range (an empty or null text is
// malformed too); the ranges before it stay appended.
bool parseHourRanges(const wchar_t* text, HourRangeList& ranges);

// Appends the comma-separated items of `text` to `items`, untrimmed: "" and a
// null text give none, "a,,b" gives a, "" and b, a trailing comma adds no
// item ("," gives one empty item). Stops after `maxItems` items.
void splitList(const wchar_t* text, std::vector<std::wstring>& items, std::uint32_t maxItems);

}  // namespace dormivel
