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
    EXPECT_EQ(formatWakeTest("12/07/2026 1:02:00 PM"), "<WakeTest due=\"12/07/2026 1:02:00 PM\" />");
    EXPECT_EQ(formatWakeTestResult("12/07/2026 1:02:04 PM", 4, true),
              "<WakeTestResult woke=\"12/07/2026 1:02:04 PM\" late=\"4\" automatic=\"true\" />");
    EXPECT_EQ(formatWakeTestResult("a<b", -119, false),
              "<WakeTestResult woke=\"a&lt;b\" late=\"-119\" automatic=\"false\" />");
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
        {"trailing CR LF", true, true, log + "\r\n", LogOpenDecision::repair},
        {"trailing blank", true, true, log + " ", LogOpenDecision::repair},
        {"truncated by one byte", true, true, log.substr(0, log.size() - 1), LogOpenDecision::repair},
        {"closing tag alone", true, true, "</DormivelLog>", LogOpenDecision::runWithoutLog},
        {"shorter than the tag", true, true, "</DormivelLog", LogOpenDecision::runWithoutLog},
        {"one byte", true, true, ">", LogOpenDecision::runWithoutLog},
        {"foreign document ending in the tag", true, true,
         "<?xml version=\"1.0\"?>\r\n<Other>" + std::string(100, 'x') + "</DormivelLog>",
         LogOpenDecision::runWithoutLog},
        {"prologue without closing tag", true, true, prologue + std::string(20, 'x'), LogOpenDecision::repair},
        {"edited declaration", true, true, "<?xml version=\"1.0\"?>\r\n" + log.substr(65),
         LogOpenDecision::runWithoutLog},
        {"lower-case closing tag", true, true, log.substr(0, log.size() - kLogClosingTag.size()) + "</dormivellog>",
         LogOpenDecision::repair},
    };
    // Each file that starts with the prologue but does not end like a log is
    // to be repaired; which of them are torn, and where they are cut, is
    // LogRepair's business.
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

// What an --appendlog start leaves in a file before it writes its own
// Events: the bytes of a log it continues, of a torn log cut back and closed
// again, of a fresh header, or of a file it leaves alone.
struct OpenOutcome {
    LogOpenDecision decision;
    std::string bytes;
};

OpenOutcome openWithAppendLog(const std::string& content) {
    const std::string head = content.substr(0, std::min(content.size(), kLogPrologue.size()));
    const std::string tail = content.substr(content.size() - std::min(content.size(), kLogClosingTag.size()));
    const LogOpenDecision decision = decideLogOpen({true, true, false, true, content.size(), head, tail});
    switch (decision) {
        case LogOpenDecision::startNew:
            return {decision, std::string(kLogHeader)};
        case LogOpenDecision::repair: {
            // The whole file as the tail.
            const LogRepairPoint point = findLogRepair(content.size(), content);
            EXPECT_NE(point.search, LogRepairSearch::readFurther);
            if (point.search != LogRepairSearch::found) return {LogOpenDecision::runWithoutLog, content};
            EXPECT_LE(point.repair.cut, content.size());
            return {decision, content.substr(0, point.repair.cut) + std::string(point.repair.closing)};
        }
        case LogOpenDecision::append:
        case LogOpenDecision::runWithoutLog:
            break;
    }
    return {decision, content};
}

TEST(LogRepair, TornLogsAreCutBackToTheirLastCompleteEvent) {
    const std::string prologue(kLogPrologue);
    const std::string header(kLogHeader);
    const std::string events =
        "<Event time=\"s\"><DormivelStart /></Event>\r\n"
        "<Event time=\"s\">\r\n\t<SetAllowSleep allow=\"true\" />\r\n</Event>\r\n";
    // A log as an append leaves it, and the same before its closing tag.
    const std::string log = prologue + events + "</DormivelLog>";
    const std::string open = prologue + events;
    using D = LogOpenDecision;
    struct Case {
        const char* what;
        std::string content;
        D decision;
        std::string after;
    };
    const Case cases[] = {
        {"a whole log", log, D::append, log},
        {"cut inside an Event", open + "<Event time=\"s\"><SystemSusp", D::repair, log},
        {"cut inside an Event's start tag", open + "<Ev", D::repair, log},
        {"cut inside the closing tag", log.substr(0, log.size() - 5), D::repair, log},
        {"cut inside the line end after an Event", open.substr(0, open.size() - 1), D::repair, log},
        {"cut right after a complete Event", open.substr(0, open.size() - 2), D::repair, log},
        {"cut after a complete Event and its line end", open, D::repair, log},
        {"zeros where a write was lost", open + std::string(600, '\0'), D::repair, log},
        {"zeros inside a torn Event", open + "<Event ti" + std::string(40, '\0') + "me", D::repair, log},
        {"zeros after a whole closing tag", log + std::string(64, '\0'), D::repair, log},
        {"cut inside the first Event", prologue + "<Event time=\"s\"><Dormi", D::repair, header},
        {"cut inside the header's closing tag", prologue + "</Dormi", D::repair, header},
        {"the prologue alone", prologue, D::repair, header},
        {"an empty file", "", D::startNew, header},
        // Left exactly as they are: not this program's file, or edited by
        // somebody after the last write.
        {"a foreign file", "<notes>mine</notes>\r\n", D::runWithoutLog, "<notes>mine</notes>\r\n"},
        {"a foreign file ending in the tag", "<x>" + std::string(120, '-') + "</DormivelLog>", D::runWithoutLog,
         "<x>" + std::string(120, '-') + "</DormivelLog>"},
        {"a shorter piece of the prologue", prologue.substr(0, 50), D::runWithoutLog, prologue.substr(0, 50)},
        {"text after the prologue", prologue + "my own notes", D::runWithoutLog, prologue + "my own notes"},
        {"text after the closing tag", log + "\r\nmy own notes", D::runWithoutLog, log + "\r\nmy own notes"},
        {"a line end after the closing tag", log + "\r\n", D::runWithoutLog, log + "\r\n"},
        {"a closing tag in other letters", open + "</dormivellog>", D::runWithoutLog, open + "</dormivellog>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const OpenOutcome outcome = openWithAppendLog(c.content);
        EXPECT_EQ(outcome.decision, c.decision);
        EXPECT_EQ(outcome.bytes, c.after);
    }
}

// The file layer hands in the file's last bytes, more of them until a
// complete Event is in sight, but no more than the reach: any tail that
// holds the cut finds the same one, and a shorter one asks for more.
TEST(LogRepair, AnyTailThatHoldsTheCutFindsTheSameOne) {
    const std::string start = std::string(kLogPrologue) + "<Event time=\"s\"><DormivelStart /></Event>";
    const std::string torn = start + "\r\n<Event time=\"s\">\r\n\t<Next";
    for (std::size_t n = 0; n <= torn.size(); ++n) {
        const LogRepairPoint point = findLogRepair(torn.size(), std::string_view(torn).substr(torn.size() - n));
        if (n < torn.size() - start.size() + 8) {
            EXPECT_EQ(point.search, LogRepairSearch::readFurther) << n;
        } else {
            EXPECT_EQ(point.search, LogRepairSearch::found) << n;
            EXPECT_EQ(point.repair.cut, start.size()) << n;
        }
    }
    // A torn Event longer than the reach is not looked past.
    const std::string longer = start + "\r\n<Event time=\"s\">" + std::string(kLogRepairReach, 'x');
    const std::string_view reach = std::string_view(longer).substr(longer.size() - kLogRepairReach);
    EXPECT_EQ(findLogRepair(longer.size(), reach).search, LogRepairSearch::notOurs);
    EXPECT_EQ(findLogRepair(longer.size(), reach.substr(1)).search, LogRepairSearch::readFurther);
}

}  // namespace
}  // namespace dormivel
