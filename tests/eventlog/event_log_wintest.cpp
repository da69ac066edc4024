// The event log file on a real file system: each test works in a fresh
// folder under the temporary directory.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "app/clock_win32.h"
#include "driver/driver_win32.h"
#include "eventlog/event_log_win32.h"
#include "eventlog/log_text.h"

namespace dormivel {
namespace {

using namespace std::string_literals;

std::string fileBytes(const std::wstring& path) {
    std::string bytes;
    EXPECT_TRUE(driver::readFile(path, bytes));
    return bytes;
}

void writeFileBytes(const std::wstring& path, std::string_view bytes) {
    ASSERT_TRUE(driver::writeFile(path, std::string(bytes)));
}

// Splits a log into its Event bodies, checking every byte around them: the
// prologue, each "<Event time=\"...\">" with a non-empty timestamp free of
// quotes and markup, "</Event>\r\n", and the closing tag as the last bytes.
// Bodies must not contain "</Event>" themselves.
::testing::AssertionResult parseLog(const std::string& log, std::vector<std::string>& bodies) {
    bodies.clear();
    if (!log.starts_with(kLogPrologue)) return ::testing::AssertionFailure() << "no prologue";
    if (!log.ends_with(kLogClosingTag)) return ::testing::AssertionFailure() << "no closing tag at the end";
    const std::string_view startTag = "<Event time=\"";
    const std::string_view endTag = "</Event>\r\n";
    std::size_t pos = kLogPrologue.size();
    const std::size_t end = log.size() - kLogClosingTag.size();
    while (pos < end) {
        if (log.compare(pos, startTag.size(), startTag) != 0) {
            return ::testing::AssertionFailure() << "no Event at offset " << pos;
        }
        const std::size_t stampBegin = pos + startTag.size();
        const std::size_t stampEnd = log.find("\">", stampBegin);
        if (stampEnd == std::string::npos || stampEnd == stampBegin) {
            return ::testing::AssertionFailure() << "no timestamp at offset " << stampBegin;
        }
        const std::string stamp = log.substr(stampBegin, stampEnd - stampBegin);
        // cppcheck-suppress strPlusChar ; "..."s is a std::string, not a pointer
        if (stamp.find_first_of("<&\"\r\n"s + '\0') != std::string::npos) {
            return ::testing::AssertionFailure() << "odd timestamp " << stamp;
        }
        const std::size_t bodyBegin = stampEnd + 2;
        const std::size_t bodyEnd = log.find(endTag, bodyBegin);
        if (bodyEnd == std::string::npos || bodyEnd + endTag.size() > end) {
            return ::testing::AssertionFailure() << "unterminated Event at offset " << pos;
        }
        bodies.push_back(log.substr(bodyBegin, bodyEnd - bodyBegin));
        pos = bodyEnd + endTag.size();
    }
    return ::testing::AssertionSuccess();
}

class EventLogFile : public ::testing::Test {
protected:
    // The log is closed before its folder goes.
    void TearDown() override { closeEventLog(log_); }

    std::wstring path(const wchar_t* name) const { return dir_.file(name); }

    driver::ScratchDir dir_{L"eventlog"};
    EventLog log_;
};

const std::vector<std::string> kStartStop = {"<DormivelStart />", "<DormivelStop />"};

TEST_F(EventLogFile, NewLogHoldsHeaderStartStopAndClosingTag) {
    const std::wstring file = path(L"new.xml");
    EXPECT_FALSE(isLogOpen(log_));
    openEventLog(file.c_str(), false, log_);
    ASSERT_TRUE(isLogOpen(log_));

    // Readable by others while open, and complete after the start marker.
    std::vector<std::string> bodies;
    std::string whileOpen;
    ASSERT_TRUE(driver::readFile(file, whileOpen));
    ASSERT_TRUE(parseLog(whileOpen, bodies));
    EXPECT_EQ(bodies, std::vector<std::string>{"<DormivelStart />"});

    closeEventLog(log_);
    EXPECT_FALSE(isLogOpen(log_));
    const std::string closed = fileBytes(file);
    ASSERT_TRUE(parseLog(closed, bodies));
    EXPECT_EQ(bodies, kStartStop);
    // The file grew only by the stop element: the first write stayed.
    EXPECT_EQ(closed.substr(0, whileOpen.size() - kLogClosingTag.size()),
              whileOpen.substr(0, whileOpen.size() - kLogClosingTag.size()));

    EXPECT_FALSE(appendEvent(log_, "<SystemSuspend />"));
    closeEventLog(log_);  // a second close writes nothing
    EXPECT_EQ(fileBytes(file), closed);
}

TEST_F(EventLogFile, AppendKeepsEveryEarlierByte) {
    const std::wstring file = path(L"append.xml");
    openEventLog(file.c_str(), true, log_);  // missing: a fresh header
    const std::string report = "\r\n\t<SetAllowSleep allow=\"true\" />\r\n";
    EXPECT_TRUE(appendEvent(log_, report));
    EXPECT_TRUE(appendEvent(log_, "Next suspend caused by Dormivel."));
    closeEventLog(log_);
    const std::string first = fileBytes(file);
    std::vector<std::string> bodies;
    ASSERT_TRUE(parseLog(first, bodies));
    EXPECT_EQ(bodies, (std::vector<std::string>{"<DormivelStart />", report, "Next suspend caused by Dormivel.",
                                                "<DormivelStop />"}));
    // The report's last line end puts the end tag at the start of a line.
    EXPECT_NE(first.find("allow=\"true\" />\r\n</Event>\r\n"), std::string::npos);

    openEventLog(file.c_str(), true, log_);
    ASSERT_TRUE(isLogOpen(log_));
    closeEventLog(log_);
    const std::string second = fileBytes(file);
    ASSERT_TRUE(second.starts_with(first.substr(0, first.size() - kLogClosingTag.size())));
    ASSERT_TRUE(parseLog(second, bodies));
    EXPECT_EQ(bodies, (std::vector<std::string>{"<DormivelStart />", report, "Next suspend caused by Dormivel.",
                                                "<DormivelStop />", "<DormivelStart />", "<DormivelStop />"}));
    EXPECT_EQ(second.find("<?xml"), second.rfind("<?xml"));  // one header only
}

// A file replaced without appendLog, and an empty file with it: both hold
// nothing to keep and get a fresh log.
TEST_F(EventLogFile, ReplacedOrEmptyFilesGetAFreshLog) {
    struct Case {
        const wchar_t* name;
        const char* before;
        bool appendLog;
    };
    const Case cases[] = {{L"old.xml", "an older file that is to be replaced\r\n", false}, {L"empty.xml", "", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.appendLog);
        const std::wstring file = path(c.name);
        writeFileBytes(file, c.before);
        openEventLog(file.c_str(), c.appendLog, log_);
        ASSERT_TRUE(isLogOpen(log_));
        closeEventLog(log_);
        std::vector<std::string> bodies;
        ASSERT_TRUE(parseLog(fileBytes(file), bodies));
        EXPECT_EQ(bodies, kStartStop);
    }
}

TEST_F(EventLogFile, FilesNotEndingLikeALogAreLeftUntouched) {
    std::string earlier(kLogPrologue);
    earlier += "<Event time=\"x\"><DormivelStart /></Event>\r\n</DormivelLog>";
    const std::string contents[] = {
        "x",
        "</DormivelLog",
        earlier + "\r\n",
        earlier + "notes",
        std::string(kLogPrologue) + "notes",
        "<?xml version=\"1.0\"?>\r\n<Other>" + std::string(100, '-') + "</Other></DormivelLog>",
        "\xEF\xBB\xBF" + earlier,
        "binary\0\xFF\x01 data"s,
    };
    for (const std::string& content : contents) {
        const std::wstring file = path(L"foreign.xml");
        writeFileBytes(file, content);
        openEventLog(file.c_str(), true, log_);
        EXPECT_FALSE(isLogOpen(log_)) << content;
        EXPECT_FALSE(appendEvent(log_, "<SystemResume />"));
        closeEventLog(log_);
        EXPECT_EQ(fileBytes(file), content);
    }
}

// Torn logs of this program are cut back in place to their last complete
// Event also when the torn write is longer than the first part of the file
// that is read to find the cut.
TEST_F(EventLogFile, TornLogsAreCutBackAndContinued) {
    const std::string kept = std::string(kLogPrologue) + "<Event time=\"x\"><DormivelStart /></Event>";
    const std::string contents[] = {
        kept + "\r\n<Event time=\"x\">" + std::string(200000, 'x'),
        kept + std::string(70000, '\0'),
    };
    for (const std::string& content : contents) {
        SCOPED_TRACE(content.size());
        const std::wstring file = path(L"torn.xml");
        writeFileBytes(file, content);
        openEventLog(file.c_str(), true, log_);
        ASSERT_TRUE(isLogOpen(log_));
        closeEventLog(log_);
        const std::string after = fileBytes(file);
        EXPECT_TRUE(after.starts_with(kept + "\r\n<Event time=\""));
        std::vector<std::string> bodies;
        ASSERT_TRUE(parseLog(after, bodies));
        EXPECT_EQ(bodies, (std::vector<std::string>{"<DormivelStart />", "<LogRepaired />", "<DormivelStart />",
                                                    "<DormivelStop />"}));
    }
}

TEST_F(EventLogFile, PathsThatCannotBeOpenedGiveNoLog) {
    const std::wstring missingFolder = path(L"no such folder\\log.xml");
    for (const bool append : {false, true}) {
        openEventLog(L"", append, log_);
        EXPECT_FALSE(isLogOpen(log_));
        EXPECT_FALSE(appendEvent(log_, "<SystemSuspend />"));
        openEventLog(missingFolder.c_str(), append, log_);
        EXPECT_FALSE(isLogOpen(log_));
        openEventLog(dir_.path().c_str(), append, log_);  // a folder, not a file
        EXPECT_FALSE(isLogOpen(log_));
    }
    EXPECT_EQ(GetFileAttributesW(missingFolder.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(EventLogFile, ReopeningClosesTheFirstLogAndANullPathDoesNothing) {
    const std::wstring first = path(L"first.xml");
    const std::wstring second = path(L"second.xml");
    openEventLog(first.c_str(), false, log_);
    openEventLog(nullptr, false, log_);
    ASSERT_TRUE(isLogOpen(log_));
    openEventLog(second.c_str(), false, log_);
    ASSERT_TRUE(isLogOpen(log_));
    std::vector<std::string> bodies;
    ASSERT_TRUE(parseLog(fileBytes(first), bodies));
    EXPECT_EQ(bodies, kStartStop);
    ASSERT_TRUE(parseLog(fileBytes(second), bodies));
    EXPECT_EQ(bodies, std::vector<std::string>{"<DormivelStart />"});

    // A failed open leaves the earlier log closed with its stop marker.
    openEventLog(L"", false, log_);
    EXPECT_FALSE(isLogOpen(log_));
    ASSERT_TRUE(parseLog(fileBytes(second), bodies));
    EXPECT_EQ(bodies, kStartStop);
}

TEST(EventLogTimestamp, DateBlankTime) {
    SYSTEMTIME when = {};
    when.wYear = 2026;
    when.wMonth = 12;
    when.wDay = 31;
    when.wDayOfWeek = 4;
    when.wHour = 23;
    when.wMinute = 30;
    when.wSecond = 5;
    const std::string stamp = formatLogTimestamp(&when);
    ASSERT_FALSE(stamp.empty());
    EXPECT_EQ(stamp.find('\0'), std::string::npos);
    EXPECT_NE(stamp.find(' '), std::string::npos);
    EXPECT_NE(stamp.find("05"), std::string::npos);  // seconds are shown
    if (GetSystemDefaultLCID() == 0x0409) {
        EXPECT_EQ(stamp, "12/31/2026 11:30:05 PM");
    }

    // The current time has the same shape.
    const std::string now = formatLogTimestamp(nullptr);
    EXPECT_FALSE(now.empty());
    EXPECT_EQ(now.find('\0'), std::string::npos);

    // A value the platform cannot convert gives an empty text.
    EXPECT_EQ(formatLogTimestampUtc(0x8000000000000000ull, currentTimeZone()), "");
}

TEST(EventLogTimestamp, ShowElementOfARecording) {
    Recording rec;
    rec.title = "Tom & Jerry's \"Best\" \xE9";
    rec.channel = 65535;
    rec.start = 134432334000000000ull;  // 2026-12-31 23:30 UTC
    rec.stop = rec.start + 3600 * kTicksPerSecond;
    const std::string startStamp = formatLogTimestampUtc(rec.start, currentTimeZone());
    const std::string stopStamp = formatLogTimestampUtc(rec.stop, currentTimeZone());
    ASSERT_FALSE(startStamp.empty());
    ASSERT_NE(startStamp, stopStamp);
    EXPECT_EQ(formatShowElement(rec), "<Show title=\"Tom &amp; Jerry&apos;s &quot;Best&quot; \xE9\" start=\"" +
                                          startStamp + "\" stop=\"" + stopStamp + "\" channel=\"65535\" />");
}

}  // namespace
}  // namespace dormivel
