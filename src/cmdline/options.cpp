#include "cmdline/options.h"

#include <limits>

namespace dormivel {
namespace {

bool isDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

// The low 8 bits of a number, as the byte fields of HourRange keep them.
std::uint8_t lowByte(std::int32_t value) {
    return static_cast<std::uint8_t>(static_cast<std::uint32_t>(value) & 0xFFu);
}

OptionEntry flagOption(wchar_t letter, const wchar_t* name, bool& target) {
    OptionEntry entry{OptionKind::flag, letter, name, {}};
    entry.target.flag = &target;
    return entry;
}

OptionEntry integerOption(wchar_t letter, const wchar_t* name, std::int32_t& target) {
    OptionEntry entry{OptionKind::integer, letter, name, {}};
    entry.target.integer = &target;
    return entry;
}

OptionEntry textOption(wchar_t letter, const wchar_t* name, const wchar_t*& target) {
    OptionEntry entry{OptionKind::text, letter, name, {}};
    entry.target.text = &target;
    return entry;
}

// Absent: the whole day; empty: no ranges; otherwise the parsed ranges.
bool applyRanges(const wchar_t* text, HourRangeList& ranges) {
    if (text == nullptr) {
        ranges.push_back(kWholeDay);
        return true;
    }
    if (text[0] == 0) return true;
    return parseHourRanges(text, ranges);
}

}  // namespace

std::array<OptionEntry, kOptionCount> makeOptionTable(Options& options, OptionTexts& texts) {
    return {
        textOption(L'M', L"nomanual", texts.noManual),
        textOption(L'I', L"noir", texts.noIr),
        textOption(L'F', L"nofavorite", texts.noFavorite),
        integerOption(L't', L"leadtime", options.leadTime),
        textOption(L's', L"schedfile", options.scheduleFilePath),
        textOption(L'l', L"logfile", options.logFilePath),
        flagOption(L'a', L"appendlog", options.appendLog),
        textOption(L'T', L"terminate", texts.terminate),
        textOption(L'X', L"execute", texts.execute),
        flagOption(L'R', L"noresuspend", options.noResuspend),
        integerOption(L'w', L"warntime", options.warnTime),
        flagOption(L'h', L"usehiber", options.useHibernate),
    };
}

bool parseHourRanges(const wchar_t* text, HourRangeList& ranges) {
    if (text == nullptr) return false;
    const wchar_t* position = text;
    for (;;) {
        const wchar_t* dash = position;
        while (isDigit(*dash))
            ++dash;
        if (*dash != L'-' || !isDigit(dash[1])) return false;
        // With no digits before the dash, wtoi reads the dash as a minus sign.
        ranges.push_back(HourRange{lowByte(wtoi(position)), lowByte(wtoi(dash + 1))});
        // Whatever follows the second number up to the next comma is ignored.
        const wchar_t* comma = dash + 1;
        while (*comma != 0 && *comma != L',')
            ++comma;
        if (*comma == 0) return true;
        position = comma + 1;
    }
}

void splitList(const wchar_t* text, std::vector<std::wstring>& items, std::uint32_t maxItems) {
    if (text == nullptr || text[0] == 0) return;
    std::uint32_t added = 0;
    const wchar_t* start = text;
    while (added < maxItems) {
        const wchar_t* end = start;
        while (*end != 0 && *end != L',')
            ++end;
        items.emplace_back(start, end);
        ++added;
        // A comma at the very end adds no item after it.
        if (*end == 0 || end[1] == 0) return;
        start = end + 1;
    }
}

bool parseCommandLine(int argc, wchar_t** argv, Options& options, std::wstring& message) {
    message.clear();
    OptionTexts texts;
    const auto table = makeOptionTable(options, texts);
    const wchar_t* failing = nullptr;
    if (parseOptions(table, argc, argv, &failing) == 0) {
        wchar_t buffer[kOptionErrorSize];
        formatOptionError(failing, buffer);
        message = buffer;
        return false;
    }
    // Non-option arguments are ignored. The range options are read in this
    // order, whatever the command line's, and the first bad one is reported.
    struct RangeOption {
        const wchar_t* text;
        HourRangeList* ranges;
        const wchar_t* problem;
    };
    const RangeOption rangeOptions[] = {
        {texts.noManual, &options.noManualRanges, L"There was a problem with your --nomanual ranges."},
        {texts.noIr, &options.noIrRanges, L"There was a problem with your --noir ranges."},
        {texts.noFavorite, &options.noFavoriteRanges, L"There was a problem with your --nofavorite ranges."},
    };
    for (const RangeOption& option : rangeOptions) {
        if (!applyRanges(option.text, *option.ranges)) {
            message = option.problem;
            return false;
        }
    }
    constexpr std::uint32_t kNoLimit = std::numeric_limits<std::uint32_t>::max();
    splitList(texts.terminate, options.terminateList, kNoLimit);
    splitList(texts.execute, options.executeList, kNoLimit);
    return true;
}

}  // namespace dormivel
