#include "cmdline/option_parser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cwchar>
#include <optional>
#include <string>
#include <vector>

#include "cmdline/options.h"
#include "support/argv.h"
#include "support/utf16.h"

namespace dormivel {
namespace {

using test::fromUtf16;
using test::optionalText;
using test::TestArgv;

std::wstring errorFor(const wchar_t* failing) {
    wchar_t buffer[kOptionErrorSize];
    std::wmemset(buffer, L'#', kOptionErrorSize);
    formatOptionError(failing, buffer);
    EXPECT_EQ(buffer[kOptionErrorSize - 1], L'\0');
    return buffer;
}

// Runs the parser over the program's own option table.
struct ParseRun {
    Options options;
    OptionTexts texts;
    const wchar_t* failing = nullptr;
    std::int32_t result = -1;

    explicit ParseRun(TestArgv& args) {
        const auto table = makeOptionTable(options, texts);
        result = parseOptions(table, args.argc(), args.argv(), &failing);
    }
};

TEST(Wtoi, ReadsLikeTheRuntime) {
    struct Case {
        const wchar_t* text;
        std::int32_t value;
    };
    const Case cases[] = {
        {L"", 0},
        {L"abc", 0},
        {L"-", 0},
        {L"+", 0},
        {L"- 5", 0},
        {L"42", 42},
        {L"007", 7},
        {L" \t\n\v\f\r-7x", -7},
        {L"+5", 5},
        {L"12abc", 12},
        {L"1 2", 1},
        {L"2147483647", INT32_MAX},
        {L"-2147483648", INT32_MIN},
        // Beyond 32 bits the reading is clamped to the range's ends.
        {L"2147483648", INT32_MAX},
        {L"-2147483649", INT32_MIN},
        {L"99999999999999999999999999", INT32_MAX},
        {L"-99999999999999999999999999", INT32_MIN},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(wtoi(c.text), c.value) << "text: \"" << c.text << "\"";
    }
    EXPECT_EQ(wtoi(nullptr), 0);
}

TEST(WcstolBase10, ReportsWhereReadingStopped) {
    struct Case {
        const wchar_t* text;
        std::int32_t value;
        std::ptrdiff_t end;
    };
    const Case cases[] = {
        {L"90h", 90, 2}, {L"h", 0, 0},        {L"", 0, 0},  {L"  -", 0, 0},
        {L"+x", 0, 0},   {L" -12ab", -12, 4}, {L"5", 5, 1}, {L"4294967296h", INT32_MAX, 10},
    };
    for (const auto& c : cases) {
        const wchar_t* end = nullptr;
        EXPECT_EQ(wcstolBase10(c.text, &end), c.value) << "text: \"" << c.text << "\"";
        EXPECT_EQ(end - c.text, c.end) << "text: \"" << c.text << "\"";
    }
}

TEST(ParseOptions, LongNamesIgnoreCaseAndAllowNoAbbreviation) {
    struct Case {
        const wchar_t* arg;
        std::int32_t result;
        std::int32_t leadTime;
    };
    const Case cases[] = {
        {L"--LeadTime=90", 1, 90},    {L"--LEADTIME=90", 1, 90}, {L"--leadtime=90xyz", 1, 90},
        {L"--leadtime= -12", 1, -12}, {L"--leadtime=", 1, 0},    {L"--leadtime", 1, 0},
        {L"--leadtime=a=5", 1, 0},    {L"--lead=90", 0, 60},     {L"--leadtim", 0, 60},
        {L"--leadtimex=1", 0, 60},    {L"--=5", 0, 60},          {L"--leadtime\u00e9=1", 0, 60},
    };
    for (const auto& c : cases) {
        TestArgv args{c.arg};
        ParseRun run(args);
        EXPECT_EQ(run.result, c.result) << c.arg;
        EXPECT_EQ(run.options.leadTime, c.leadTime) << c.arg;
        if (c.result == 0) {
            // A long option fails with the whole argument.
            EXPECT_EQ(run.failing, args.argv()[1]) << c.arg;
        }
    }
}

TEST(ParseOptions, LongFlagValues) {
    struct Case {
        const wchar_t* arg;
        bool value;
    };
    const Case cases[] = {
        {L"--appendlog", true},        {L"--appendlog=true", true}, {L"--appendlog=yes", true},
        {L"--appendlog=on", true},     {L"--appendlog=1", true},    {L"--appendlog=-3", true},
        {L"--appendlog= 7", true},     {L"--appendlog=2x", true},   {L"--appendlog=99999999999", true},
        {L"--appendlog=false", false}, {L"--appendlog=0", false},   {L"--appendlog=TRUE", false},
        {L"--appendlog=off", false},   {L"--appendlog=", false},    {L"--appendlog=Yes", false},
        {L"--appendlog=on ", false},   {L"--appendlog=0x1", false}, {L"--appendlog=-0", false},
    };
    for (const auto& c : cases) {
        TestArgv args{c.arg};
        Options options;
        options.appendLog = !c.value;
        OptionTexts texts;
        const auto table = makeOptionTable(options, texts);
        ASSERT_EQ(parseOptions(table, args.argc(), args.argv(), nullptr), 1) << c.arg;
        EXPECT_EQ(options.appendLog, c.value) << c.arg;
    }
}

TEST(ParseOptions, ShortGroups) {
    {  // An unknown letter fails by itself, after the letters before it.
        TestArgv args{L"-aq"};
        ParseRun run(args);
        EXPECT_EQ(run.result, 0);
        EXPECT_TRUE(run.options.appendLog);
        EXPECT_EQ(run.failing, args.argv()[1] + 2);
        EXPECT_EQ(errorFor(run.failing), L"unrecognized option - -q");
    }
    {  // Digits after an integer letter, then more letters.
        TestArgv args{L"-t90h"};
        ParseRun run(args);
        EXPECT_EQ(run.result, 1);
        EXPECT_EQ(run.options.leadTime, 90);
        EXPECT_TRUE(run.options.useHibernate);
    }
    {  // No digits: the integer becomes 0 and the next letter is an option.
        TestArgv args{L"-tah"};
        ParseRun run(args);
        EXPECT_EQ(run.result, 1);
        EXPECT_EQ(run.options.leadTime, 0);
        EXPECT_TRUE(run.options.appendLog);
        EXPECT_TRUE(run.options.useHibernate);
    }
    {  // A sign and blanks are read; the rest goes on as letters.
        TestArgv args{L"-t-5R", L"-w 7", L"-t+x"};
        ParseRun run(args);
        EXPECT_EQ(run.result, 0);
        EXPECT_TRUE(run.options.noResuspend);
        EXPECT_EQ(run.options.warnTime, 7);
        // "+x" holds no digits, so the cursor stays on '+'.
        EXPECT_EQ(errorFor(run.failing), L"unrecognized option - -+");
        EXPECT_EQ(run.options.leadTime, 0);
    }
    {  // Numbers beyond 32 bits are clamped.
        TestArgv args{L"-t-99999999999h", L"-w", L"99999999999"};
        ParseRun run(args);
        EXPECT_EQ(run.result, 1);
        EXPECT_EQ(run.options.leadTime, INT32_MIN);
        EXPECT_EQ(run.options.warnTime, INT32_MAX);
        EXPECT_TRUE(run.options.useHibernate);
    }
    {  // A text letter takes the rest of its argument and ends the group.
        TestArgv args{L"-asC:\\x.txt", L"-Tta"};
        ParseRun run(args);
        EXPECT_EQ(run.result, 1);
        EXPECT_EQ(run.options.scheduleFilePath, args.argv()[1] + 3);
        EXPECT_EQ(optionalText(run.texts.terminate), L"ta");
        EXPECT_EQ(run.options.leadTime, 60);
    }
}

TEST(ParseOptions, ValuesFromTheNextArgument) {
    {  // The next argument is consumed, even when it begins with "-".
        TestArgv args{L"-s", L"-x", L"-t", L"--usehiber", L"-l", L"--"};
        ParseRun run(args);
        EXPECT_EQ(run.result, 1);
        EXPECT_EQ(run.options.scheduleFilePath, args.argv()[2]);
        EXPECT_EQ(run.options.leadTime, 0);
        EXPECT_FALSE(run.options.useHibernate);
        EXPECT_EQ(optionalText(run.options.logFilePath), L"--");
    }
    {  // As the last argument: text absent, integer 0.
        TestArgv args{L"-s"};
        ParseRun run(args);
        EXPECT_EQ(run.result, 1);
        EXPECT_EQ(run.options.scheduleFilePath, nullptr);
    }
    {
        TestArgv args{L"-ht"};
        ParseRun run(args);
        EXPECT_EQ(run.result, 1);
        EXPECT_EQ(run.options.leadTime, 0);
    }
    {  // A long option never takes the next argument.
        TestArgv args{L"--leadtime", L"90"};
        ParseRun run(args);
        EXPECT_EQ(run.result, 2);
        EXPECT_EQ(run.options.leadTime, 0);
        EXPECT_EQ(args.texts(1, 2), std::vector<std::wstring>{L"90"});
    }
}

TEST(ParseOptions, LastOccurrenceWinsAcrossForms) {
    struct Case {
        std::vector<std::wstring> args;
        std::int32_t leadTime;
        std::optional<std::wstring> logFile;
    };
    const Case cases[] = {
        {{L"--leadtime=5", L"-t7"}, 7, std::nullopt},    {{L"-t7", L"--LEADTIME=5"}, 5, std::nullopt},
        {{L"-t", L"7", L"--leadtime"}, 0, std::nullopt}, {{L"--logfile=a", L"-l", L"b"}, 60, L"b"},
        {{L"-lb", L"--logfile"}, 60, std::nullopt},      {{L"-l", L"b", L"--LogFile="}, 60, L""},
    };
    for (const auto& c : cases) {
        TestArgv args(c.args);
        ParseRun run(args);
        EXPECT_EQ(run.result, 1);
        EXPECT_EQ(run.options.leadTime, c.leadTime) << c.args.front();
        EXPECT_EQ(optionalText(run.options.logFilePath), c.logFile) << c.args.front();
    }
}

TEST(ParseOptions, KeepsNonOptionArgumentsInOrder) {
    TestArgv args{L"one", L"-a", L"two", L"--warntime=3", L"-", L"three", L"-t", L"4", L"four"};
    ParseRun run(args);
    EXPECT_EQ(run.result, 5);
    EXPECT_EQ(args.texts(0, 5), (std::vector<std::wstring>{L"dormivel.exe", L"one", L"two", L"three", L"four"}));
    EXPECT_EQ(run.options.leadTime, 4);
    EXPECT_EQ(run.options.warnTime, 3);
    // Nothing is lost: the vector is a permutation of what it held.
    auto before = args.original();
    auto after = args.current();
    std::sort(before.begin(), before.end());
    std::sort(after.begin(), after.end());
    EXPECT_EQ(before, after);
}

TEST(ParseOptions, DoubleHyphenEndsOptions) {
    {
        TestArgv args{L"a", L"-h", L"--", L"-t5", L"b", L"--"};
        ParseRun run(args);
        EXPECT_EQ(run.result, 5);
        EXPECT_EQ(args.texts(1, 5), (std::vector<std::wstring>{L"a", L"-t5", L"b", L"--"}));
        EXPECT_TRUE(run.options.useHibernate);
        EXPECT_EQ(run.options.leadTime, 60);
    }
    {
        TestArgv args{L"x", L"-a", L"y", L"--"};
        ParseRun run(args);
        EXPECT_EQ(run.result, 3);
    }
    {  // After "--" even an unknown option is only an argument.
        TestArgv args{L"--", L"--bogus"};
        ParseRun run(args);
        EXPECT_EQ(run.result, 2);
    }
}

TEST(ParseOptions, ResultIsAtLeastOne) {
    TestArgv args{};
    ParseRun run(args);
    EXPECT_EQ(run.result, 1);

    Options options;
    OptionTexts texts;
    const auto table = makeOptionTable(options, texts);
    EXPECT_EQ(parseOptions(table, 0, nullptr, nullptr), 1);
}

TEST(FormatOptionError, Messages) {
    struct Case {
        const wchar_t* failing;
        const wchar_t* message;
    };
    const Case cases[] = {
        {L"--lead=90", L"unrecognized option - --lead"},
        {L"--foo=1=2", L"unrecognized option - --foo"},
        {L"--Foo", L"unrecognized option - --Foo"},
        {L"--=1", L"unrecognized option - --"},
        {L"q", L"unrecognized option - -q"},
        {L"qrest", L"unrecognized option - -q"},
        {L"", L"unrecognized option - -"},
        {nullptr, L"unrecognized option - -"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(errorFor(c.failing), c.message);
    }
}

// The shipped program's wide characters are UTF-16 units: a character
// beyond U+FFFF is two of them. A short group is read unit by unit, so its
// message quotes only the first unit of such a letter; the cut at 511 counts
// units too and may fall between the two.
TEST(FormatOptionError, CharacterBeyondUFFFFIsTwoUnits) {
    {
        TestArgv args{fromUtf16(u"-a\U0001F600")};
        ParseRun run(args);
        EXPECT_EQ(run.result, 0);
        EXPECT_TRUE(run.options.appendLog);
        EXPECT_EQ(run.failing, args.argv()[1] + 2);
        EXPECT_EQ(errorFor(run.failing), fromUtf16(u"unrecognized option - -\xD83D"));
    }
    struct Case {
        std::u16string failing;
        std::u16string message;
    };
    const Case cases[] = {
        {u"\U0001F600x", u"unrecognized option - -\xD83D"},
        {u"--\U0001F600=1", u"unrecognized option - --\U0001F600"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(errorFor(fromUtf16(c.failing).c_str()), fromUtf16(c.message));
    }
    // 22 units of prefix, "--", 486 letters, then the pair: unit 511 is the
    // pair's first.
    const std::wstring straddling = fromUtf16(u"--" + std::u16string(486, u'x') + u"\U0001F600");
    const std::wstring message = errorFor(straddling.c_str());
    ASSERT_EQ(message.size(), kOptionErrorSize - 1);
    EXPECT_EQ(message.back(), static_cast<wchar_t>(0xD83D));
}

TEST(FormatOptionError, CutsAt511Characters) {
    const std::wstring prefix = L"unrecognized option - ";
    const std::wstring failing = L"--" + std::wstring(600, L'x') + L"=1";
    const std::wstring message = errorFor(failing.c_str());
    EXPECT_EQ(message.size(), kOptionErrorSize - 1);
    EXPECT_EQ(message, (prefix + failing).substr(0, kOptionErrorSize - 1));

    // Exactly fitting text is not cut.
    const std::wstring fits = L"--" + std::wstring(kOptionErrorSize - 1 - prefix.size() - 2, L'y');
    EXPECT_EQ(errorFor(fits.c_str()), prefix + fits);
}

}  // namespace
}  // namespace dormivel
