// Fuzz target: readSchedule over any file bytes, delivered as the platform's
// text mode delivers them, with a fixed clock. Besides memory safety it checks
// the reader against a line-by-line reading of the same bytes with
// parseScheduleLine, and that the bytes read in small chunks give the same
// result as read whole.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "schedule/schedule_reader.h"
#include "text_mode.h"

namespace {

using dormivel::ReadStatus;
using dormivel::Recording;
using dormivel::RecordingList;

void check(bool condition) {
    if (!condition) std::abort();
}

auto allFields(const Recording& r) {
    return std::tie(r.start, r.stop, r.channel, r.title, r.isManual, r.isFavorite);
}

bool sameFields(const Recording& a, const Recording& b) {
    return allFields(a) == allFields(b);
}

// The lines of the file as the reader should see them, header first: the
// file ends at the first Ctrl+Z, lines end at LF, the last one needs none, and
// a CR directly before an LF is dropped, any other CR kept.
std::vector<std::string_view> fileLines(std::string_view text) {
    text = text.substr(0, text.find('\x1A'));
    std::vector<std::string_view> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t lf = text.find('\n', pos);
        std::string_view line = text.substr(pos, lf == std::string_view::npos ? std::string_view::npos : lf - pos);
        if (lf != std::string_view::npos && !line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        if (lf == std::string_view::npos) break;
        pos = lf + 1;
    }
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view file(reinterpret_cast<const char*>(data), size);  // NOLINT(*-reinterpret-cast)
    const std::string bytes = dormivel::testing::textModeBytes(file);
    const dormivel::ScheduleClock clock{2026, 12, dormivel::fixedBiasZone(-60)};

    RecordingList list(2);  // previous content must go
    const ReadStatus status = dormivel::readSchedule(list, bytes, clock);
    check(status != ReadStatus::readError);

    for (const Recording& r : list) {
        check(r.title.find('\t') == std::string::npos && r.title.find('\n') == std::string::npos);
    }

    // The same bytes in chunks of 1 to 16 bytes give the same list in the
    // same order.
    {
        const std::size_t chunk = 1 + size % 16;
        std::string_view rest = bytes;
        const dormivel::ByteReader source = [&rest, chunk](char* buffer, std::size_t room) {
            const std::size_t count = rest.copy(buffer, std::min(room, chunk));
            rest.remove_prefix(count);
            return static_cast<std::ptrdiff_t>(count);
        };
        RecordingList chunked;
        check(dormivel::readSchedule(chunked, source, clock) == status);
        check(chunked.size() == list.size());
        for (std::size_t i = 0; i < list.size(); ++i)
            check(sameFields(chunked[i], list[i]));
    }

    // Every line before the first bad one parses, in file order; a complete
    // read parsed them all. The header only has to fit the length limit.
    const std::vector<std::string_view> lines = fileLines(file);
    RecordingList expected;
    bool failed = false;
    for (std::size_t i = 0; i < lines.size() && !failed; ++i) {
        Recording r;
        if (lines[i].size() > dormivel::kMaxLineLength) {
            failed = true;
        } else if (i > 0 && !lines[i].empty()) {
            failed = !dormivel::parseScheduleLine(lines[i], clock, r);
            // The fields a parsed line gave are those splitFields finds.
            const std::vector<std::string_view> fields = dormivel::splitFields(lines[i]);
            check(failed || (fields.size() >= 9 && r.title == fields[6] && r.isManual == (fields[7] == "true") &&
                             r.isFavorite == (fields[8] == "true")));
            check(fields.size() >= 9 || failed);
            if (!failed) expected.push_back(r);
        }
    }
    check(status == (failed ? ReadStatus::badLine : ReadStatus::complete));
    check(list.size() == expected.size());

    if (failed) {
        for (std::size_t i = 0; i < list.size(); ++i)
            check(sameFields(list[i], expected[i]));
        return 0;
    }

    // A heap, earliest first, holding the same recordings.
    for (std::size_t i = 1; i < list.size(); ++i) {
        check(!dormivel::isEarlier(list[i], list[(i - 1) / 2]));
        check(!dormivel::isEarlier(list[i], list[0]));
    }
    auto byAllFields = [](const Recording& a, const Recording& b) { return allFields(a) < allFields(b); };
    RecordingList sorted = list;
    std::sort(sorted.begin(), sorted.end(), byAllFields);
    std::sort(expected.begin(), expected.end(), byAllFields);
    for (std::size_t i = 0; i < sorted.size(); ++i)
        check(sameFields(sorted[i], expected[i]));
    return 0;
}
