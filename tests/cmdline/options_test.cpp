#include "cmdline/options.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "support/argv.h"

namespace dormivel {
namespace {

using test::optionalText;
using test::TestArgv;
using Items = std::vector<std::wstring>;

// Compares every field, texts by content.
void expectSameOptions(const Options& actual, const Options& expected, const std::wstring& what) {
    SCOPED_TRACE(std::string(what.begin(), what.end()));
    EXPECT_EQ(actual.appendLog, expected.appendLog);
    EXPECT_EQ(actual.noResuspend, expected.noResuspend);
    EXPECT_EQ(actual.useHibernate, expected.useHibernate);
    EXPECT_EQ(actual.leadTime, expected.leadTime);
    EXPECT_EQ(actual.warnTime, expected.warnTime);
    EXPECT_EQ(actual.executeList, expected.executeList);
    EXPECT_EQ(actual.terminateList, expected.terminateList);
    EXPECT_EQ(optionalText(actual.logFilePath), optionalText(expected.logFilePath));
    EXPECT_EQ(optionalText(actual.scheduleFilePath), optionalText(expected.scheduleFilePath));
    EXPECT_EQ(actual.noFavoriteRanges, expected.noFavoriteRanges);
    EXPECT_EQ(actual.noIrRanges, expected.noIrRanges);
    EXPECT_EQ(actual.noManualRanges, expected.noManualRanges);
}

TEST(ParseCommandLine, NoArgumentsGiveTheDefaults) {
    TestArgv args{L"stray"};
    Options options;
    std::wstring message = L"old";
    ASSERT_TRUE(parseCommandLine(args.argc(), args.argv(), options, message));
    EXPECT_TRUE(message.empty());
    EXPECT_EQ(options.leadTime, 60);
    EXPECT_EQ(options.warnTime, 60);
    EXPECT_EQ(optionalText(options.scheduleFilePath), L"schedule.txt");
    EXPECT_EQ(options.logFilePath, nullptr);
    EXPECT_FALSE(options.appendLog || options.noResuspend || options.useHibernate);
    EXPECT_TRUE(options.executeList.empty() && options.terminateList.empty());
    EXPECT_TRUE(options.noManualRanges.empty() && options.noIrRanges.empty() && options.noFavoriteRanges.empty());
}

// Every option given without a value (long form, and short letter at the
// end) and with an empty value; only the named field may differ from the
// defaults.
TEST(ParseCommandLine, OptionTableColumns) {
    const HourRangeList wholeDay{{0, 24}};
    struct Case {
        std::vector<std::wstring> args;
        std::function<void(Options&)> expect;
    };
    const std::vector<Case> cases = {
        {{L"--nomanual"}, [&](Options& o) { o.noManualRanges = wholeDay; }},
        {{L"-M"}, [&](Options& o) { o.noManualRanges = wholeDay; }},
        {{L"--nomanual="}, [](Options&) {}},
        {{L"--noir"}, [&](Options& o) { o.noIrRanges = wholeDay; }},
        {{L"-I"}, [&](Options& o) { o.noIrRanges = wholeDay; }},
        {{L"--noir="}, [](Options&) {}},
        {{L"--nofavorite"}, [&](Options& o) { o.noFavoriteRanges = wholeDay; }},
        {{L"-F"}, [&](Options& o) { o.noFavoriteRanges = wholeDay; }},
        {{L"--nofavorite="}, [](Options&) {}},
        {{L"--leadtime"}, [](Options& o) { o.leadTime = 0; }},
        {{L"-t"}, [](Options& o) { o.leadTime = 0; }},
        {{L"--leadtime="}, [](Options& o) { o.leadTime = 0; }},
        {{L"--schedfile"}, [](Options& o) { o.scheduleFilePath = nullptr; }},
        {{L"-s"}, [](Options& o) { o.scheduleFilePath = nullptr; }},
        {{L"--schedfile="}, [](Options& o) { o.scheduleFilePath = L""; }},
        {{L"--logfile"}, [](Options&) {}},
        {{L"-l"}, [](Options&) {}},
        {{L"--logfile="}, [](Options& o) { o.logFilePath = L""; }},
        {{L"--appendlog"}, [](Options& o) { o.appendLog = true; }},
        {{L"-a"}, [](Options& o) { o.appendLog = true; }},
        {{L"--appendlog="}, [](Options&) {}},
        {{L"--terminate"}, [](Options&) {}},
        {{L"-T"}, [](Options&) {}},
        {{L"--terminate="}, [](Options&) {}},
        {{L"--execute"}, [](Options&) {}},
        {{L"-X"}, [](Options&) {}},
        {{L"--execute="}, [](Options&) {}},
        {{L"--noresuspend"}, [](Options& o) { o.noResuspend = true; }},
        {{L"-R"}, [](Options& o) { o.noResuspend = true; }},
        {{L"--noresuspend="}, [](Options&) {}},
        {{L"--warntime"}, [](Options& o) { o.warnTime = 0; }},
        {{L"-w"}, [](Options& o) { o.warnTime = 0; }},
        {{L"--warntime="}, [](Options& o) { o.warnTime = 0; }},
        {{L"--usehiber"}, [](Options& o) { o.useHibernate = true; }},
        {{L"-h"}, [](Options& o) { o.useHibernate = true; }},
        {{L"--usehiber="}, [](Options&) {}},
        // Values given, to see each entry reach its own field.
        {{L"-M1-2", L"-I3-4", L"-F5-6"},
         [](Options& o) {
             o.noManualRanges = {{1, 2}};
             o.noIrRanges = {{3, 4}};
             o.noFavoriteRanges = {{5, 6}};
         }},
        {{L"-t", L"-9", L"-w", L"0", L"-sk.txt", L"-l", L"log.xml", L"-TA,B", L"-X", L"c:\\p.exe"},
         [](Options& o) {
             o.leadTime = -9;
             o.warnTime = 0;
             o.scheduleFilePath = L"k.txt";
             o.logFilePath = L"log.xml";
             o.terminateList = {L"A", L"B"};
             o.executeList = {L"c:\\p.exe"};
         }},
    };
    for (const auto& c : cases) {
        TestArgv args(c.args);
        Options actual;
        std::wstring message;
        EXPECT_TRUE(parseCommandLine(args.argc(), args.argv(), actual, message)) << c.args.front();
        EXPECT_EQ(message, L"");
        Options expected;
        c.expect(expected);
        expectSameOptions(actual, expected, c.args.front());
    }
}

TEST(ParseCommandLine, FailureMessages) {
    struct Case {
        std::vector<std::wstring> args;
        const wchar_t* message;
    };
    const std::vector<Case> cases = {
        {{L"--lead=90"}, L"unrecognized option - --lead"},
        {{L"-aq"}, L"unrecognized option - -q"},
        {{L"--nomanual=1-5, 7-9"}, L"There was a problem with your --nomanual ranges."},
        {{L"-I5"}, L"There was a problem with your --noir ranges."},
        {{L"--nofavorite=1-2,"}, L"There was a problem with your --nofavorite ranges."},
        // Only the first problem is reported, in the order nomanual, noir,
        // nofavorite, whatever the order on the command line.
        {{L"--nofavorite=x", L"--noir=y", L"--nomanual=z"}, L"There was a problem with your --nomanual ranges."},
        {{L"--nofavorite=x", L"--noir=y"}, L"There was a problem with your --noir ranges."},
        {{L"--nomanual=z", L"--bogus"}, L"unrecognized option - --bogus"},
    };
    for (const auto& c : cases) {
        TestArgv args(c.args);
        Options options;
        std::wstring message;
        EXPECT_FALSE(parseCommandLine(args.argc(), args.argv(), options, message)) << c.args.front();
        EXPECT_EQ(message, c.message);
    }
}

TEST(ParseCommandLine, RangeFailureStopsBeforeTheLists) {
    TestArgv args{L"--terminate=a", L"--noir=1-2", L"--nomanual=3-4,bad", L"--execute=b"};
    Options options;
    std::wstring message;
    EXPECT_FALSE(parseCommandLine(args.argc(), args.argv(), options, message));
    EXPECT_EQ(options.noManualRanges, (HourRangeList{{3, 4}}));
    EXPECT_TRUE(options.noIrRanges.empty());
    EXPECT_TRUE(options.terminateList.empty());
    EXPECT_TRUE(options.executeList.empty());
}

TEST(ParseCommandLine, LongFailingArgumentIsCut) {
    const std::wstring arg = L"--" + std::wstring(1000, L'z');
    TestArgv args{arg};
    Options options;
    std::wstring message;
    EXPECT_FALSE(parseCommandLine(args.argc(), args.argv(), options, message));
    EXPECT_EQ(message.size(), 511u);
    EXPECT_EQ(message.substr(0, 26), L"unrecognized option - --zz");
}

TEST(ParseCommandLine, ListOptionGivenTwiceKeepsTheLastText) {
    TestArgv args{L"--terminate=a,b", L"-T", L"c", L"-Xp,q", L"--EXECUTE=r,,s"};
    Options options;
    std::wstring message;
    ASSERT_TRUE(parseCommandLine(args.argc(), args.argv(), options, message));
    EXPECT_EQ(options.terminateList, (Items{L"c"}));
    EXPECT_EQ(options.executeList, (Items{L"r", L"", L"s"}));
}

TEST(ParseHourRanges, Grammar) {
    struct Case {
        const wchar_t* text;
        bool ok;
        HourRangeList ranges;  // appended, also on failure
    };
    const Case cases[] = {
        {L"22-6,12-13", true, {{22, 6}, {12, 13}}},
        {L"0-24", true, {{0, 24}}},
        {L"1-5x", true, {{1, 5}}},
        {L"1-5x,2-3", true, {{1, 5}, {2, 3}}},
        {L"1-5-7", true, {{1, 5}}},
        {L"1-5 ", true, {{1, 5}}},
        {L"-5", true, {{251, 5}}},
        {L"-0", true, {{0, 0}}},
        {L"-300-5", true, {{212, 44}}},
        {L"0-300", true, {{0, 44}}},
        {L"256-257", true, {{0, 1}}},
        {L"007-08", true, {{7, 8}}},
        // Clamped to the 32-bit range first, then the low 8 bits.
        {L"99999999999-1", true, {{255, 1}}},
        {L"1-5, 7-9", false, {{1, 5}}},
        {L"1-5,", false, {{1, 5}}},
        {L"1-2,,3-4", false, {{1, 2}}},
        {L"5", false, {}},
        {L"", false, {}},
        {L"1-", false, {}},
        {L"1-x", false, {}},
        {L"1--5", false, {}},
        {L"1-+5", false, {}},
        {L"--5", false, {}},
        {L"-", false, {}},
        {L" 1-5", false, {}},
        {L"1 -5", false, {}},
        {L"a-5", false, {}},
        {L",1-2", false, {}},
    };
    for (const auto& c : cases) {
        HourRangeList ranges;
        EXPECT_EQ(parseHourRanges(c.text, ranges), c.ok) << "text: \"" << c.text << "\"";
        EXPECT_EQ(ranges, c.ranges) << "text: \"" << c.text << "\"";
    }
    HourRangeList ranges{{9, 10}};
    EXPECT_FALSE(parseHourRanges(nullptr, ranges));
    EXPECT_TRUE(parseHourRanges(L"1-2", ranges));
    EXPECT_EQ(ranges, (HourRangeList{{9, 10}, {1, 2}}));
}

TEST(SplitList, Pieces) {
    struct Case {
        const wchar_t* text;
        std::uint32_t maxItems;
        Items items;
    };
    constexpr std::uint32_t kAll = UINT32_MAX;
    const Case cases[] = {
        {L"a,,b", kAll, {L"a", L"", L"b"}},
        {L"a,", kAll, {L"a"}},
        {L",", kAll, {L""}},
        {L"", kAll, {}},
        {nullptr, kAll, {}},
        {L",a", kAll, {L"", L"a"}},
        {L"a,,", kAll, {L"a", L""}},
        {L" a , b ", kAll, {L" a ", L" b "}},
        {L"\"x,y\"", kAll, {L"\"x", L"y\""}},
        {L"a,b,c", 2, {L"a", L"b"}},
        {L"a,b", 0, {}},
    };
    for (const auto& c : cases) {
        Items items{L"kept"};
        splitList(c.text, items, c.maxItems);
        Items expected{L"kept"};
        expected.insert(expected.end(), c.items.begin(), c.items.end());
        EXPECT_EQ(items, expected) << "text: \"" << (c.text ? c.text : L"(null)") << "\"";
    }
}

}  // namespace
}  // namespace dormivel
