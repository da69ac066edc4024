// Fuzzes the command line: the input's bytes, split at newlines, are the
// arguments after the program's name, each byte widened to one character.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cwchar>
#include <string>
#include <string_view>
#include <vector>

#include "cmdline/options.h"
#include "support/argv.h"
#include "support/fuzz_check.h"

namespace {

using namespace dormivel;
using test::check;
using test::TestArgv;

bool textTargetValid(const TestArgv& args, const wchar_t* p, const wchar_t* fallback) {
    return p == nullptr || p == fallback || args.pointsIntoArgs(p);
}

std::wstring join(const std::vector<std::wstring>& items) {
    std::wstring out;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i != 0) out += L',';
        out += items[i];
    }
    return out;
}

// The list a present text must give: its items joined back with commas are
// the text itself, less one trailing comma.
void checkList(const wchar_t* text, const std::vector<std::wstring>& items) {
    if (text == nullptr) {
        check(items.empty());
        return;
    }
    std::wstring expected(text);
    if (!expected.empty() && expected.back() == L',') expected.pop_back();
    for (const auto& item : items)
        check(item.find(L',') == std::wstring::npos);
    check(join(items) == expected);
    check(items.empty() == (text[0] == 0));
}

void checkRanges(const wchar_t* text, const HourRangeList& ranges) {
    HourRangeList expected;
    if (text == nullptr) {
        expected.push_back(HourRange{0, 24});
    } else if (text[0] != 0) {
        check(parseHourRanges(text, expected));
    }
    check(ranges == expected);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::wstring> words;
    std::wstring word;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == '\n') {
            words.push_back(word);
            word.clear();
        } else {
            word.push_back(static_cast<wchar_t>(data[i]));
        }
    }
    if (size != 0) words.push_back(word);

    // The parser by itself.
    TestArgv a(words);
    Options options;
    OptionTexts texts;
    const auto table = makeOptionTable(options, texts);
    const wchar_t* failing = nullptr;
    const std::int32_t result = parseOptions(table, a.argc(), a.argv(), &failing);
    check(result >= 0 && result <= a.argc());
    check(a.current()[0] == a.original()[0] && a.current().back() == nullptr);
    {
        std::vector<wchar_t*> before = a.original();
        std::vector<wchar_t*> after = a.current();
        std::sort(before.begin(), before.end());
        std::sort(after.begin(), after.end());
        check(before == after, "argv is no permutation of its pointers");
    }
    wchar_t buffer[kOptionErrorSize];
    if (result == 0) {
        check(failing != nullptr && a.pointsIntoArgs(failing));
        formatOptionError(failing, buffer);
        check(std::wcslen(buffer) < kOptionErrorSize);
        check(std::wstring_view(buffer).starts_with(L"unrecognized option - -"));
    } else {
        // Kept arguments stay in their original order.
        for (int i = 2; i < result; ++i)
            check(a.originalIndex(a.current()[i - 1]) < a.originalIndex(a.current()[i]));
    }
    check(textTargetValid(a, options.scheduleFilePath, L"schedule.txt"));
    check(textTargetValid(a, options.logFilePath, nullptr));
    for (const wchar_t* t : {texts.noManual, texts.noIr, texts.noFavorite, texts.terminate, texts.execute}) {
        check(t == nullptr || t[0] == 0 || a.pointsIntoArgs(t));
    }

    // The whole command line on a fresh copy must agree with it.
    TestArgv b(words);
    Options full;
    std::wstring message;
    const bool ok = parseCommandLine(b.argc(), b.argv(), full, message);
    // ...and reorder it the same way.
    for (std::size_t i = 0; i + 1 < a.current().size(); ++i) {
        check(b.current()[i] == b.original()[a.originalIndex(a.current()[i])]);
    }
    if (result == 0) {
        check(!ok && message == buffer);
        return 0;
    }
    check(full.leadTime == options.leadTime && full.warnTime == options.warnTime);
    check(full.appendLog == options.appendLog && full.noResuspend == options.noResuspend &&
          full.useHibernate == options.useHibernate);
    if (!ok) {
        check(message == L"There was a problem with your --nomanual ranges." ||
              message == L"There was a problem with your --noir ranges." ||
              message == L"There was a problem with your --nofavorite ranges.");
        check(full.terminateList.empty() && full.executeList.empty());
        return 0;
    }
    check(message.empty());
    checkRanges(texts.noManual, full.noManualRanges);
    checkRanges(texts.noIr, full.noIrRanges);
    checkRanges(texts.noFavorite, full.noFavoriteRanges);
    checkList(texts.terminate, full.terminateList);
    checkList(texts.execute, full.executeList);
    return 0;
}
