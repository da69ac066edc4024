#include "eventlog/log_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "dormivel_version.h"
#include "support/log_lines.h"

namespace dormivel {
namespace {

using namespace std::string_literals;

TEST(LogText, HeaderBytes) {
    const std::size_t version = std::string_view(DORMIVEL_VERSION_TEXT).size();
    EXPECT_EQ(kLogPrologue, test::kExpectedLogPrologue);
    EXPECT_EQ(kLogPrologue.size(), 91 + version);
    EXPECT_EQ(kLogHeader.size(), 105 + version);
    EXPECT_EQ(kLogHeader.substr(0, 63), "<?xml version=\"1.0\" encoding=\"Windows-1252\" standalone=\"yes\" ?>");
    EXPECT_EQ(kLogHeader.substr(kLogPrologue.size()), "</DormivelLog>");
    EXPECT_EQ(kLogClosingTag, "</DormivelLog>");
}

TEST(LogText, EscapesTheFiveMarkupCharacters) {
    struct Case {
        std::string in;
        std::string out;
    };
    const Case cases[] = {
        {"", ""},
        {"plain", "plain"},
        {"&", "&amp;"},
        {"<", "&lt;"},
        {">", "&gt;"},
        {"\"", "&quot;"},
        {"'", "&apos;"},
        {"Tom & Jerry's \"Best\" <2>", "Tom &amp; Jerry&apos;s &quot;Best&quot; &lt;2&gt;"},
        {"&amp;", "&amp;amp;"},  // already escaped text is escaped again
        {"&&", "&amp;&amp;"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(escapeXml(c.in), c.out) << c.in;
}

TEST(LogText, EscapingKeepsEveryOtherByte) {
    std::string all;
    for (int b = 0; b < 256; ++b) {
        const char c = static_cast<char>(b);
        if (c != '&' && c != '<' && c != '>' && c != '"' && c != '\'') all += c;
    }
    ASSERT_EQ(all.size(), 251u);
    EXPECT_EQ(escapeXml(all), all);
    EXPECT_EQ(escapeXml("a\0b"s), "a\0b"s);
    EXPECT_EQ(escapeXml("Caf\xE9 \x80\xFF&"), "Caf\xE9 \x80\xFF&amp;");
}

Recording recording(std::string title, std::uint16_t channel) {
    Recording r;
    r.title = std::move(title);
    r.channel = channel;
    r.start = 1;
    r.stop = 2;
    return r;
}

TEST(LogText, ShowElement) {
    EXPECT_EQ(formatShowElement(recording("News", 5), "12/31/2026 11:30:05 PM", "1/1/2027 12:15:00 AM"),
              "<Show title=\"News\" start=\"12/31/2026 11:30:05 PM\" stop=\"1/1/2027 12:15:00 AM\" channel=\"5\" />");
    EXPECT_EQ(formatShowElement(recording("", 0), "S", "E"),
              "<Show title=\"\" start=\"S\" stop=\"E\" channel=\"0\" />");
    EXPECT_EQ(
        formatShowElement(recording("Tom & Jerry's \"Best\" \xE4\x01", 65535), "S", "E"),
        "<Show title=\"Tom &amp; Jerry&apos;s &quot;Best&quot; \xE4\x01\" start=\"S\" stop=\"E\" channel=\"65535\" />");
}

TEST(LogText, EventElementReplacesTheClosingTag) {
    EXPECT_EQ(composeEventElement("1/2/2026 3:04:05 AM", "<DormivelStart />"),
              "<Event time=\"1/2/2026 3:04:05 AM\"><DormivelStart /></Event>\r\n</DormivelLog>");
    // A schedule-pass report puts the end tag on a line of its own.
    const std::string report = formatSetWakeUpLine("t") + std::string(setAllowSleepLine(false)) + "\r\n";
    EXPECT_EQ(composeEventElement("s", report),
              "<Event time=\"s\">\r\n\t<SetWakeUp time=\"t\" />\r\n\t<SetAllowSleep allow=\"false\" />\r\n</Event>\r\n"
              "</DormivelLog>");
    // The body is markup and is not escaped.
    EXPECT_EQ(composeEventElement("s", "a & b"), "<Event time=\"s\">a & b</Event>\r\n</DormivelLog>");

    // Writing two events the way the file is written leaves a document that
    // ends with the closing tag and holds both, each followed by CR LF.
    std::string file(kLogHeader);
    for (const char* body : {"<DormivelStart />", "<DormivelStop />"}) {
        file.replace(file.size() - kLogClosingTag.size(), kLogClosingTag.size(), composeEventElement("s", body));
    }
    EXPECT_EQ(file, std::string(kLogPrologue) +
                        "<Event time=\"s\"><DormivelStart /></Event>\r\n"
                        "<Event time=\"s\"><DormivelStop /></Event>\r\n</DormivelLog>");
}

TEST(LogText, ScheduleReportPieces) {
    const std::vector<std::string> shows = {"<Show a />", "<Show b />"};
    EXPECT_EQ(formatNowRecordingBlock(shows),
              "\r\n\t<NowRecording>\r\n\t\t<Show a />\r\n\t\t<Show b />\r\n\t</NowRecording>");
    EXPECT_EQ(formatNextRecordingBlock({}), "\r\n\t<NextRecording>\r\n\t</NextRecording>");
    EXPECT_EQ(formatSetWakeUpLine("12/31/2026 10:30:00 PM"), "\r\n\t<SetWakeUp time=\"12/31/2026 10:30:00 PM\" />");
    EXPECT_EQ(setAllowSleepLine(true), "\r\n\t<SetAllowSleep allow=\"true\" />");
    EXPECT_EQ(setAllowSleepLine(false), "\r\n\t<SetAllowSleep allow=\"false\" />");
    EXPECT_EQ(formatWakeUpForRecording("12/31/2026 10:30:30 PM"),
              "<WakeUpForRecording time=\"12/31/2026 10:30:30 PM\" />");
    EXPECT_EQ(formatSessionEnd("logoff"), "<SessionEnd reason=\"logoff\" />");
    EXPECT_EQ(formatLateWake("12/07/2025 6:29:00 AM"), "<LateWake due=\"12/07/2025 6:29:00 AM\" />");
    EXPECT_EQ(formatLateWake("a&b"), "<LateWake due=\"a&amp;b\" />");
}

TEST(LogText, ProcessLinesEscapeNamesAndPaths) {
    EXPECT_EQ(formatQuitProcessCleanly("Notepad", 1234), "<QuitProcessCleanly class=\"Notepad\" id=\"1234\" />");
    EXPECT_EQ(formatTerminatedProcessForcefully("A&B<C\"D", 4294967295u),
              "<TerminatedProcessForcefully class=\"A&amp;B&lt;C&quot;D\" id=\"4294967295\" />");
    EXPECT_EQ(formatCreatedProcess("C:\\Tom & Jerry\\<x>\".exe", 0),
              "<CreatedProcess path=\"C:\\Tom &amp; Jerry\\&lt;x&gt;&quot;.exe\" id=\"0\" />");
    EXPECT_EQ(formatQuitProcessCleanly("", 7), "<QuitProcessCleanly class=\"\" id=\"7\" />");
    EXPECT_EQ(formatCreatedProcess("\xFF\xFFprog.exe", 42), "<CreatedProcess path=\"\xFF\xFFprog.exe\" id=\"42\" />");
}

TEST(LogText, OpenDecision) {
    // A log as this program leaves it between runs.
    const std::string log = std::string(kLogPrologue) + "<Event time=\"s\"><DormivelStart /></Event>\r\n" +
                            "<Event time=\"s\"><DormivelStop /></Event>\r\n</DormivelLog>";
    struct Case {
        const char* what;
        bool appendLog;
        bool exists;
        std::string content;
        LogOpenDecision expected;
    };
    const std::string prologue(kLogPrologue);
    const std::string header(kLogHeader);
    const Case cases[] = {
        {"earlier log", true, true, log, LogOpenDecision::append},
        {"bare header", true, true, header, LogOpenDecision::append},
        {"without appendLog", false, true, log, LogOpenDecision::startNew},
        {"foreign, without appendLog", false, true, "hello", LogOpenDecision::startNew},
        {"missing file", true, false, "", LogOpenDecision::startNew},
        {"missing file, without appendLog", false, false, "", LogOpenDecision::startNew},
        {"empty file", true, true, "", LogOpenDecision::startNew},
        {"trailing CR LF", true, true, log + "\r\n", LogOpenDecision::runWithoutLog},
        {"trailing blank", true, true, log + " ", LogOpenDecision::runWithoutLog},
        {"truncated by one byte", true, true, log.substr(0, log.size() - 1), LogOpenDecision::runWithoutLog},
        {"closing tag alone", true, true, "</DormivelLog>", LogOpenDecision::runWithoutLog},
        {"shorter than the tag", true, true, "</DormivelLog", LogOpenDecision::runWithoutLog},
        {"one byte", true, true, ">", LogOpenDecision::runWithoutLog},
        {"foreign document ending in the tag", true, true,
         "<?xml version=\"1.0\"?>\r\n<Other>" + std::string(100, 'x') + "</DormivelLog>",
         LogOpenDecision::runWithoutLog},
        {"prologue without closing tag", true, true, prologue + std::string(20, 'x'), LogOpenDecision::runWithoutLog},
        {"edited declaration", true, true, "<?xml version=\"1.0\"?>\r\n" + log.substr(65),
         LogOpenDecision::runWithoutLog},
        {"lower-case closing tag", true, true, log.substr(0, log.size() - kLogClosingTag.size()) + "</dormivellog>",
         LogOpenDecision::runWithoutLog},
    };
    for (const Case& c : cases) {
        // Head and tail as the file layer reads them: at most the prologue's
        // and the closing tag's sizes.
        const std::string& s = c.content;
        const std::string head = s.substr(0, std::min(s.size(), kLogPrologue.size()));
        const std::string tail = s.substr(s.size() - std::min(s.size(), kLogClosingTag.size()));
        EXPECT_EQ(decideLogOpen({c.appendLog, c.exists, false, true, s.size(), head, tail}), c.expected) << c.what;
    }
}

// The log never writes to the schedule file, whatever the other facts say;
// a file whose bytes could not be read is not appended to.
TEST(LogOpenDecision, ScheduleFileAndUnreadableFiles) {
    struct Case {
        const char* what = nullptr;
        LogFileFacts facts;
        LogOpenDecision expected = LogOpenDecision::startNew;
    };
    const std::string log(kLogHeader);
    const Case cases[] = {
        {"schedule, new log", {false, true, true, false, 0, {}, {}}, LogOpenDecision::runWithoutLog},
        {"schedule, appending",
         {true, true, true, true, log.size(), log, kLogClosingTag},
         LogOpenDecision::runWithoutLog},
        {"appending, bytes unreadable", {true, true, false, false, 0, {}, {}}, LogOpenDecision::runWithoutLog},
        {"new log, bytes not read", {false, true, false, false, 0, {}, {}}, LogOpenDecision::startNew},
    };
    for (const Case& c : cases)
        EXPECT_EQ(decideLogOpen(c.facts), c.expected) << c.what;

    const FileIdentity schedule{true, 7, 42};
    EXPECT_TRUE(sameFile(schedule, FileIdentity{true, 7, 42}));
    EXPECT_FALSE(sameFile(schedule, FileIdentity{true, 8, 42}));   // another volume
    EXPECT_FALSE(sameFile(schedule, FileIdentity{true, 7, 43}));   // another file
    EXPECT_FALSE(sameFile(schedule, FileIdentity{false, 7, 42}));  // not known: the log path does not exist
    EXPECT_FALSE(sameFile(FileIdentity{}, FileIdentity{}));
}

}  // namespace
}  // namespace dormivel
