// Fuzz target: readSchedule over any bytes, with a fixed clock. Besides
// memory safety it checks the reader against a line-by-line reading of the
// same bytes with parseScheduleLine.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "schedule/schedule_reader.h"

namespace {

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

// The non-empty lines after the header, as the reader should see them: a CR
// directly before an LF is dropped, any other CR kept.
std::vector<std::string_view> recordLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t pos = text.find('\n');
    if (pos == std::string_view::npos) return lines;
    ++pos;
    while (pos < text.size()) {
        const std::size_t lf = text.find('\n', pos);
        std::string_view line = text.substr(pos, lf == std::string_view::npos ? std::string_view::npos : lf - pos);
        if (lf != std::string_view::npos && !line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (!line.empty()) lines.push_back(line);
        if (lf == std::string_view::npos) break;
        pos = lf + 1;
    }
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(data, data + size);
    const dormivel::ScheduleClock clock{2026, 12, dormivel::fixedBiasZone(-60)};

    RecordingList list(2);  // previous content must go
    std::istringstream in(text);
    const bool complete = dormivel::readSchedule(list, in, clock);

    for (const Recording& r : list) {
        check(r.title.find('\t') == std::string::npos && r.title.find('\n') == std::string::npos);
    }

    // Every line before the first bad one parses, in file order; a complete
    // read parsed them all.
    const std::vector<std::string_view> lines = recordLines(text);
    RecordingList expected;
    bool failed = false;
    for (const std::string_view line : lines) {
        Recording r;
        if (!dormivel::parseScheduleLine(line, clock, r)) {
            failed = true;
            break;
        }
        expected.push_back(r);
    }
    check(complete == !failed);
    check(list.size() == expected.size());

    if (!complete) {
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
