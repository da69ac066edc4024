#include "eventlog/log_text.h"

#include <algorithm>

namespace dormivel {

namespace {

// Every line of the file ends with CR LF; the lines of a schedule pass's
// report start with CR LF and a tab, the Show elements in a block with two.
constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kReportLine = "\r\n\t";
constexpr std::string_view kBlockLine = "\r\n\t\t";

// Room reserved beyond the variable parts of an element for its fixed text.
constexpr std::size_t kProcessLineFixedSize = 32;
constexpr std::size_t kEventElementFixedSize = 48;

std::string formatProcessLine(std::string_view element, std::string_view attribute, std::string_view value,
                              std::uint32_t processId) {
    std::string line;
    line.reserve(element.size() + attribute.size() + value.size() + kProcessLineFixedSize);
    line += '<';
    line += element;
    line += ' ';
    line += attribute;
    line += "=\"";
    line += escapeXml(value);
    line += "\" id=\"";
    line += std::to_string(processId);
    line += "\" />";
    return line;
}

std::string formatRecordingBlock(std::string_view element, std::span<const std::string> showElements) {
    std::string block(kReportLine);
    block += '<';
    block += element;
    block += '>';
    for (const std::string& show : showElements) {
        block += kBlockLine;
        block += show;
    }
    block += kReportLine;
    block += "</";
    block += element;
    block += '>';
    return block;
}

// <Name attribute="value" />, the value escaped.
std::string oneAttributeElement(std::string_view name, std::string_view attribute, std::string_view value) {
    std::string line = "<";
    line += name;
    line += ' ';
    line += attribute;
    line += "=\"";
    line += escapeXml(value);
    line += "\" />";
    return line;
}

constexpr std::string_view kEventEndTag = "</Event>";
// The line end after an Event and the closing tag, as every append leaves
// them.
constexpr std::string_view kClosingAfterEvent = "\r\n</DormivelLog>";
static_assert(kClosingAfterEvent.substr(2) == kLogClosingTag);

// Whether `bytes` begins like `shape` as far as both go, a zero byte
// standing for any byte (data a power cut lost).
bool beginsLike(std::string_view bytes, std::string_view shape) {
    const std::size_t n = std::min(bytes.size(), shape.size());
    for (std::size_t i = 0; i < n; ++i) {
        if (bytes[i] != shape[i] && bytes[i] != '\0') return false;
    }
    return true;
}

// What a torn write leaves after `lineEnd` (CR LF after an Event, nothing
// after the prologue): the start of an Event with anything after it, or the
// closing tag, whole or in part, with at most zeros after it.
bool isTornWrite(std::string_view rest, std::string_view lineEnd) {
    std::string event(lineEnd);
    event += "<Event time=\"";
    if (beginsLike(rest, event)) return true;
    std::string closing(lineEnd);
    closing += kLogClosingTag;
    if (!beginsLike(rest, closing)) return false;
    return rest.size() <= closing.size() || rest.find_first_not_of('\0', closing.size()) == std::string_view::npos;
}

}  // namespace

std::string escapeXml(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&apos;";
                break;
            default:
                out += c;
                break;
        }
    }
    return out;
}

std::string formatShowElement(const Recording& recording, std::string_view startStamp, std::string_view stopStamp) {
    std::string element = "<Show title=\"";
    element += escapeXml(recording.title);
    element += "\" start=\"";
    element += startStamp;
    element += "\" stop=\"";
    element += stopStamp;
    element += "\" channel=\"";
    element += std::to_string(static_cast<unsigned>(recording.channel));
    element += "\" />";
    return element;
}

std::string composeEventElement(std::string_view timestamp, std::string_view body) {
    std::string element;
    element.reserve(timestamp.size() + body.size() + kEventElementFixedSize);
    element += "<Event time=\"";
    element += timestamp;
    element += "\">";
    element += body;
    element += "</Event>";
    element += kLineEnd;
    element += kLogClosingTag;
    return element;
}

std::string formatQuitProcessCleanly(std::string_view className, std::uint32_t processId) {
    return formatProcessLine("QuitProcessCleanly", "class", className, processId);
}

std::string formatTerminatedProcessForcefully(std::string_view className, std::uint32_t processId) {
    return formatProcessLine("TerminatedProcessForcefully", "class", className, processId);
}

std::string formatCreatedProcess(std::string_view path, std::uint32_t processId) {
    return formatProcessLine("CreatedProcess", "path", path, processId);
}

std::string formatNowRecordingBlock(std::span<const std::string> showElements) {
    return formatRecordingBlock("NowRecording", showElements);
}

std::string formatNextRecordingBlock(std::span<const std::string> showElements) {
    return formatRecordingBlock("NextRecording", showElements);
}

std::string formatSetWakeUpLine(std::string_view wakeStamp) {
    std::string line(kReportLine);
    line += "<SetWakeUp time=\"";
    line += wakeStamp;
    line += "\" />";
    return line;
}

std::string_view setAllowSleepLine(bool allow) {
    return allow ? "\r\n\t<SetAllowSleep allow=\"true\" />" : "\r\n\t<SetAllowSleep allow=\"false\" />";
}

bool sameFile(const FileIdentity& a, const FileIdentity& b) {
    return a.known && b.known && a.volume == b.volume && a.index == b.index;
}

LogOpenDecision decideLogOpen(const LogFileFacts& facts) {
    if (facts.isScheduleFile) return LogOpenDecision::runWithoutLog;
    if (!facts.appendLog || !facts.exists) return LogOpenDecision::startNew;
    if (!facts.contentKnown) return LogOpenDecision::runWithoutLog;
    if (facts.size == 0) return LogOpenDecision::startNew;
    if (!facts.head.starts_with(kLogPrologue)) return LogOpenDecision::runWithoutLog;
    const bool whole = facts.size >= kLogHeader.size() && facts.tail.ends_with(kLogClosingTag);
    return whole ? LogOpenDecision::append : LogOpenDecision::repair;
}

std::string formatScheduleReadError(std::string_view reason) {
    return oneAttributeElement("ScheduleReadError", "reason", reason);
}

std::string formatWakeUnavailable(std::string_view reason) {
    return oneAttributeElement("WakeUnavailable", "reason", reason);
}

std::string formatLateWake(std::string_view dueStamp) {
    return oneAttributeElement("LateWake", "due", dueStamp);
}

std::string formatWakeUpForRecording(std::string_view wakeStamp) {
    return oneAttributeElement("WakeUpForRecording", "time", wakeStamp);
}

std::string formatWakeTest(std::string_view dueStamp) {
    return oneAttributeElement("WakeTest", "due", dueStamp);
}

std::string formatWakeTestResult(std::string_view wokeStamp, std::int64_t lateSeconds, bool automatic) {
    std::string body = "<WakeTestResult woke=\"";
    body += escapeXml(wokeStamp);
    body += "\" late=\"" + std::to_string(lateSeconds);
    body += automatic ? "\" automatic=\"true\" />" : "\" automatic=\"false\" />";
    return body;
}

std::string formatSessionEnd(std::string_view reason) {
    return oneAttributeElement("SessionEnd", "reason", reason);
}

LogRepairPoint findLogRepair(std::uint64_t size, std::string_view tail) {
    LogRepairPoint point;
    if (tail.size() > size) return point;
    const std::uint64_t tailAt = size - tail.size();
    // The prologue holds no Event; nothing in it is searched.
    const std::size_t from = tailAt >= kLogPrologue.size() ? 0 : static_cast<std::size_t>(kLogPrologue.size() - tailAt);
    if (from > tail.size()) return point;
    const std::size_t end = tail.rfind(kEventEndTag);
    std::size_t cut = 0;
    std::string_view lineEnd;
    if (end != std::string_view::npos && end >= from) {
        cut = end + kEventEndTag.size();
        lineEnd = kLineEnd;
        point.repair.closing = kClosingAfterEvent;
    } else if (tailAt <= kLogPrologue.size()) {
        cut = from;
        point.repair.closing = kLogClosingTag;
    } else {
        point.search = tail.size() < kLogRepairReach ? LogRepairSearch::readFurther : LogRepairSearch::notOurs;
        return point;
    }
    if (!isTornWrite(tail.substr(cut), lineEnd)) return point;
    point.search = LogRepairSearch::found;
    point.repair.cut = tailAt + cut;
    return point;
}

}  // namespace dormivel
