#include "eventlog/log_text.h"

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
    const bool ours =
        facts.size >= kLogHeader.size() && facts.head.starts_with(kLogPrologue) && facts.tail.ends_with(kLogClosingTag);
    return ours ? LogOpenDecision::append : LogOpenDecision::runWithoutLog;
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

std::string formatSessionEnd(std::string_view reason) {
    return oneAttributeElement("SessionEnd", "reason", reason);
}

}  // namespace dormivel
