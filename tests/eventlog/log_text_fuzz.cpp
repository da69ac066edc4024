// Arbitrary bytes as a recording title, a window class name and a program
// path, written into a log the way the file is written: every result must be
// a well-formed document whose attribute values give back the original
// bytes. The same log torn at a place the input picks must be cut back to a
// well-formed document holding every Event completed before the tear.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "eventlog/log_text.h"
#include "support/fuzz_check.h"
#include "xml_check.h"

namespace {

using dormivel::kLogClosingTag;
using dormivel::test::check;
using dormivel::test::fail;

// The attributes of a well-formed document, in document order; aborts at
// the first fault.
std::vector<xmlcheck::Attribute> checkDocument(std::string_view doc) {
    xmlcheck::Result r = xmlcheck::check(doc);
    if (!r.error.empty()) fail("malformed log: " + r.error, r.offset);
    return std::move(r.attributes);
}

// Writes one event the way the log file is written: over the closing tag.
void appendTo(std::string& file, std::string_view body) {
    file.replace(file.size() - kLogClosingTag.size(), kLogClosingTag.size(),
                 dormivel::composeEventElement("12/31/2026 11:30:05 PM", body));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The first two bytes split the rest into title, class name and path.
    // The fuzzer's bytes as characters; char may alias anything.
    const std::string_view input(reinterpret_cast<const char*>(data), size);  // NOLINT(*-reinterpret-cast)
    const std::size_t split1 = size > 0 ? data[0] : 0;
    const std::size_t split2 = size > 1 ? data[1] : 0;
    const std::string_view rest = input.substr(std::min<std::size_t>(size, 2));
    const std::string_view title = rest.substr(0, std::min(split1, rest.size()));
    const std::string_view afterTitle = rest.substr(title.size());
    const std::string_view className = afterTitle.substr(0, std::min(split2, afterTitle.size()));
    const std::string_view path = afterTitle.substr(className.size());

    dormivel::Recording recording;
    recording.title = std::string(title);
    recording.channel = static_cast<std::uint16_t>(size);
    const std::string show = dormivel::formatShowElement(recording, "12/31/2026 11:30:05 PM", "1/1/2027 12:15:00 AM");
    const std::vector<std::string> shows = {show, show};

    std::string file(dormivel::kLogHeader);
    appendTo(file, dormivel::kDormivelStartBody);
    appendTo(file, dormivel::formatNowRecordingBlock(shows) + dormivel::formatNextRecordingBlock({}) +
                       dormivel::formatSetWakeUpLine("1/1/2027 12:14:00 AM") +
                       std::string(dormivel::setAllowSleepLine(true)) + "\r\n");
    appendTo(file, dormivel::formatQuitProcessCleanly(className, 1));
    appendTo(file, dormivel::formatTerminatedProcessForcefully(className, 2));
    appendTo(file, dormivel::formatCreatedProcess(path, 3));
    appendTo(file, dormivel::kDormivelStopBody);

    check(file.starts_with(dormivel::kLogPrologue) && file.ends_with(kLogClosingTag), "header or tail");
    const std::vector<xmlcheck::Attribute> attributes = checkDocument(file);

    // The escaped values read back as the original bytes.
    std::size_t titles = 0, classes = 0, paths = 0;
    for (const xmlcheck::Attribute& a : attributes) {
        if (a.element == "Show" && a.name == "title") {
            ++titles;
            check(a.value == title, "title changed");
        } else if (a.name == "class") {
            ++classes;
            check(a.value == className, "class name changed");
        } else if (a.name == "path") {
            ++paths;
            check(a.value == path, "path changed");
        }
    }
    check(titles == 2 && classes == 2 && paths == 1, "attributes missing");

    const std::size_t prologue = dormivel::kLogPrologue.size();
    const std::size_t tornAt = prologue + (size * 7919U) % (file.size() - prologue);
    const std::string_view torn = std::string_view(file).substr(0, tornAt);
    const dormivel::LogRepairPoint point = dormivel::findLogRepair(torn.size(), torn);
    if (point.search != dormivel::LogRepairSearch::found) fail("torn log not repaired", tornAt);
    if (point.repair.cut < prologue || point.repair.cut > torn.size()) fail("cut outside the file", tornAt);
    const std::string repaired = std::string(torn.substr(0, point.repair.cut)) + std::string(point.repair.closing);
    checkDocument(repaired);
    const auto events = [](std::string_view text) {
        std::size_t n = 0;
        for (std::size_t at = text.find("</Event>"); at != std::string_view::npos; at = text.find("</Event>", at + 1))
            ++n;
        return n;
    };
    if (events(repaired) != events(torn)) fail("complete Events lost in the repair", tornAt);
    return 0;
}
