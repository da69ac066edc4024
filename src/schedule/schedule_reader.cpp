#include "schedule/schedule_reader.h"

#include <array>
#include <bit>
#include <climits>
#include <cstddef>
#include <cstring>
#include <memory>
#include <span>
#include <utility>

#include "app/filetime.h"

namespace dormivel {
namespace {

constexpr std::size_t kMinimumFields = 9;
constexpr std::size_t kFieldsReserved = 16;
constexpr std::string_view kTrue = "true";

// The characters the runtime's isspace accepts in the "C" locale.
bool isAtoiSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// Reads a number from `pos` the way the runtime's atoi does: white space is
// skipped, one optional sign is taken, then decimal digits up to the first
// non-digit; no digits gives 0. Where atoi would overflow an int, the value is
// clamped to INT_MAX or INT_MIN, as the platform's runtime documents it. The
// int is then stored in a 16-bit field, so it wraps modulo 65536 ("-1" gives
// 65535, "70000" gives 4464, anything above INT_MAX gives 65535).
std::uint16_t readNumber(std::string_view text, std::size_t pos) {
    const char* p = text.data() + pos;
    const char* const end = text.data() + text.size();
    // The usual case: one or two digits and then something else.
    if (p < end && *p >= '0' && *p <= '9') {
        const unsigned first = static_cast<unsigned>(*p - '0');
        if (p + 1 == end || p[1] < '0' || p[1] > '9') return static_cast<std::uint16_t>(first);
        if (p + 2 == end || p[2] < '0' || p[2] > '9') return static_cast<std::uint16_t>(first * 10 + (p[1] - '0'));
    }
    while (p < end && isAtoiSpace(*p))
        ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    // Nine digits never overflow; only a longer number needs the clamping.
    constexpr int kSafeDigits = 9;
    std::int64_t magnitude = 0;
    int digits = 0;
    for (; p < end && *p >= '0' && *p <= '9'; ++p, ++digits) {
        if (digits == kSafeDigits) {
            // One past INT_MAX is the magnitude of INT_MIN; stop growing there.
            constexpr std::int64_t kLimit = static_cast<std::int64_t>(INT_MAX) + 1;
            for (; p < end && *p >= '0' && *p <= '9'; ++p) {
                if (magnitude < kLimit) magnitude = magnitude * 10 + (*p - '0');
            }
            if (magnitude > kLimit) magnitude = kLimit;
            break;
        }
        magnitude = magnitude * 10 + (*p - '0');
    }
    std::int64_t value = negative ? -magnitude : magnitude;
    if (value > INT_MAX) value = INT_MAX;
    return static_cast<std::uint16_t>(static_cast<std::uint64_t>(value) & 0xFFFFU);
}

// The first `c` in [p, end), or end.
const char* firstOf(const char* p, const char* end, char c) {
    while (p != end && *p != c)
        ++p;
    return p;
}

// Where the text after the nearest blank before `p` starts, searching back
// no further than `limit`.
const char* afterBlankBefore(const char* p, const char* limit) {
    while (p != limit && p[-1] != ' ')
        --p;
    return p;
}

}  // namespace

bool isEarlier(const Recording& a, const Recording& b) {
    if (a.start != b.start) return a.start < b.start;
    if (a.stop != b.stop) return a.stop < b.stop;
    if (a.channel != b.channel) return a.channel < b.channel;
    // char_traits<char>::compare orders bytes as unsigned char, and a proper
    // prefix before the longer text.
    return a.title.compare(b.title) < 0;
}

std::vector<std::string_view> splitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    if (line.empty()) return fields;
    // Room for the fields of a record line at once, rather than a new
    // allocation at every doubling.
    fields.reserve(kFieldsReserved);
    std::size_t pos = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', pos);
        if (tab == std::string_view::npos) {
            fields.push_back(line.substr(pos));
            break;
        }
        fields.push_back(line.substr(pos, tab - pos));
        // A TAB at the very end does not open an empty last field.
        if (tab + 1 == line.size()) break;
        pos = tab + 1;
    }
    return fields;
}

namespace {

// The zone's rules of the year a date was last converted in. The dates of a
// schedule fall in one year, or in two around its turn, so a read works out
// the rules of a year about once instead of at every date.
struct YearRules {
    const TimeZone& zone;
    ZoneYear year;
    bool known = false;
};

const ZoneYear& rulesOfYear(YearRules& rules, std::uint16_t year) {
    if (!rules.known || rules.year.year != year) {
        rules.year = zoneYear(rules.zone, year);
        rules.known = true;
    }
    return rules.year;
}

bool parseTime(std::string_view text, const ScheduleClock& clock, YearRules& rules, FileTime& utc, LocalInstant which) {
    // Plain scans over a short text: the searches below find a character a
    // few places away, where a library search costs more than it saves.
    const char* const begin = text.data();
    const char* const end = begin + text.size();
    const char* const slash = firstOf(begin, end, '/');
    if (slash == end) return false;

    // The month stands after the nearest blank before the slash. A date with
    // no blank before it ("12/31 23:30") is read from the start of the text,
    // as if a blank stood just before it, rather than failing the line.
    const char* const monthStart = afterBlankBefore(slash, begin);

    LocalDateTime local;
    local.month = readNumber(text, static_cast<std::size_t>(monthStart - begin));
    local.day = readNumber(text, static_cast<std::size_t>(slash + 1 - begin));

    // The year is not written: a January read in December is next year's, a
    // December read in January last year's. The year is a 16-bit field like
    // the platform's, so it wraps with it.
    local.year = clock.year;
    if (local.month == 1 && clock.month == 12) {
        local.year = static_cast<std::uint16_t>(clock.year + 1);
    } else if (local.month == 12 && clock.month == 1) {
        local.year = static_cast<std::uint16_t>(clock.year - 1);
    }

    // The first colon at or after the month's blank; the hour stands after the
    // nearest blank before the colon, which is the month's blank at the latest.
    const char* const colon = firstOf(monthStart, end, ':');
    if (colon == end) return false;
    const char* const hourStart = afterBlankBefore(colon, monthStart);
    local.hour = readNumber(text, static_cast<std::size_t>(hourStart - begin));
    local.minute = readNumber(text, static_cast<std::size_t>(colon + 1 - begin));

    FileTime localTicks = 0;
    if (!dateTimeToFileTime(local, localTicks)) return false;
    return localToUtc(localTicks, rulesOfYear(rules, local.year), utc, which);
}

}  // namespace

bool parseScheduleTime(std::string_view text, const ScheduleClock& clock, FileTime& utc, LocalInstant which) {
    YearRules rules{clock.zone, {}, false};
    return parseTime(text, clock, rules, utc, which);
}

namespace {

// Writes the places of the first tabs.size() TABs of the line into `tabs`,
// in order; returns how many it found. A record line holds ten or so short
// fields, where a library search per field costs more in calls than in
// scanning: this reads the line once, eight bytes at a time.
std::size_t findTabs(std::string_view line, std::span<std::size_t> tabs) {
    const char* const data = line.data();
    const std::size_t size = line.size();
    std::size_t count = 0;
    std::size_t pos = 0;
    // The word-wise scan reads the lowest address into the lowest byte.
    if constexpr (std::endian::native == std::endian::little) {
        constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;
        constexpr std::uint64_t kTabs = 0x0909090909090909ULL;
        for (; pos + sizeof(std::uint64_t) <= size && count < tabs.size(); pos += sizeof(std::uint64_t)) {
            std::uint64_t word = 0;
            std::memcpy(&word, data + pos, sizeof word);
            word ^= kTabs;  // a TAB byte becomes zero
            // The high bit of each byte that is zero, and of no other: adding
            // 0x7F to the low seven bits carries into the high bit exactly
            // when they are not all zero, and no carry crosses a byte.
            std::uint64_t zeros = ~(((word & kLow7) + kLow7) | word | kLow7);
            for (; zeros != 0 && count < tabs.size(); zeros &= zeros - 1) {
                tabs[count++] = pos + static_cast<std::size_t>(std::countr_zero(zeros)) / CHAR_BIT;
            }
        }
    }
    for (; pos < size && count < tabs.size(); ++pos) {
        if (data[pos] == '\t') tabs[count++] = pos;
    }
    return count;
}

// The first kMinimumFields fields of a line by the rules of splitFields,
// without building the whole list: false when the line has fewer.
bool leadingFields(std::string_view line, std::array<std::string_view, kMinimumFields>& fields) {
    // The ninth TAB, if there is one, ends the ninth field.
    std::array<std::size_t, kMinimumFields> tabs{};
    const std::size_t count = findTabs(line, tabs);
    // Nine fields need eight TABs, the last of them not at the very end,
    // where it would open no field.
    constexpr std::size_t kLastTab = kMinimumFields - 2;
    if (count <= kLastTab || tabs[kLastTab] + 1 == line.size()) return false;
    std::size_t start = 0;
    for (std::size_t k = 0; k + 1 < kMinimumFields; ++k) {
        fields[k] = line.substr(start, tabs[k] - start);
        start = tabs[k] + 1;
    }
    const std::size_t end = count == kMinimumFields ? tabs[kMinimumFields - 1] : line.size();
    fields[kMinimumFields - 1] = line.substr(start, end - start);
    return true;
}

}  // namespace

namespace {

bool parseLine(std::string_view line, const ScheduleClock& clock, YearRules& rules, Recording& out) {
    std::array<std::string_view, kMinimumFields> fields;
    if (line.empty() || !leadingFields(line, fields)) return false;
    FileTime start = 0;
    FileTime stop = 0;
    if (!parseTime(fields[1], clock, rules, start, LocalInstant::earlier)) return false;
    if (!parseTime(fields[2], clock, rules, stop, LocalInstant::later)) return false;
    out.start = start;
    out.stop = stop;
    out.channel = readNumber(fields[5], 0);
    out.title.assign(fields[6]);
    out.isManual = fields[7] == kTrue;
    out.isFavorite = fields[8] == kTrue;
    return true;
}

}  // namespace

bool parseScheduleLine(std::string_view line, const ScheduleClock& clock, Recording& out) {
    YearRules rules{clock.zone, {}, false};
    return parseLine(line, clock, rules, out);
}

void heapArrange(RecordingList& list) {
    const std::size_t n = list.size();
    if (n < 2) return;
    for (std::size_t p = n / 2; p-- > 0;) {
        // The subtrees below p are heaps already. When the entry at p is
        // strictly earlier than the child the walk down would take first, it
        // is strictly earlier than every entry on that walk, and the walk
        // down and back up would put everything back where it was.
        const std::size_t first = 2 * p + 2 < n && !isEarlier(list[2 * p + 1], list[2 * p + 2]) ? 2 * p + 2 : 2 * p + 1;
        if (isEarlier(list[p], list[first])) continue;
        Recording taken = std::move(list[p]);
        std::size_t hole = p;
        // Down to the bottom along the earlier child; a tie takes the right.
        std::size_t right = 2 * hole + 2;
        while (right < n) {
            const std::size_t child = isEarlier(list[right - 1], list[right]) ? right - 1 : right;
            list[hole] = std::move(list[child]);
            hole = child;
            right = 2 * hole + 2;
        }
        if (right == n) {
            list[hole] = std::move(list[right - 1]);
            hole = right - 1;
        }
        // Back up while the taken entry is earlier than the hole's parent.
        while (hole > p) {
            const std::size_t parent = (hole - 1) / 2;
            if (!isEarlier(taken, list[parent])) break;
            list[hole] = std::move(list[parent]);
            hole = parent;
        }
        list[hole] = std::move(taken);
    }
}

ReadStatus readSchedule(RecordingList& list, const ByteReader& read, const ScheduleClock& clock) {
    list.clear();
    // One buffer for the whole read: the unread rest of the current line
    // (never more than kMaxLineLength bytes) is moved to the front before
    // each read, so a read always has kReadSize bytes of room.
    constexpr std::size_t kCapacity = kMaxLineLength + kReadSize;
    const std::unique_ptr<char[]> buffer = std::make_unique_for_overwrite<char[]>(kCapacity);
    char* const data = buffer.get();
    std::size_t begin = 0;  // start of the current line
    std::size_t scan = 0;   // [begin, scan) holds no LF
    std::size_t end = 0;    // end of the bytes read
    bool atEnd = false;
    bool header = true;  // the first line is skipped whole, whatever it holds
    YearRules rules{clock.zone, {}, false};

    // The line [begin, begin + length): false when it ends the read.
    auto takeLine = [&](std::size_t length) {
        if (length > kMaxLineLength) return false;
        const std::string_view line(data + begin, length);
        if (header) {
            header = false;
            return true;
        }
        if (line.empty()) return true;
        // Parsed in place at the end of the list; a line that fails leaves
        // no record.
        if (parseLine(line, clock, rules, list.emplace_back())) return true;
        list.pop_back();
        return false;
    };

    for (;;) {
        const void* const lf = std::memchr(data + scan, '\n', end - scan);
        if (lf != nullptr) {
            const auto at = static_cast<std::size_t>(static_cast<const char*>(lf) - data);
            if (!takeLine(at - begin)) return ReadStatus::badLine;
            begin = at + 1;
            scan = begin;
            continue;
        }
        scan = end;
        // Past the limit without its LF: a bad line, and the rest of it is
        // never read.
        if (end - begin > kMaxLineLength) return ReadStatus::badLine;
        if (atEnd) {
            // The last line needs no LF.
            if (end > begin && !takeLine(end - begin)) return ReadStatus::badLine;
            break;
        }
        if (begin > 0) {
            std::memmove(data, data + begin, end - begin);
            end -= begin;
            scan = end;
            begin = 0;
        }
        const std::ptrdiff_t got = read(data + end, kReadSize);
        if (got < 0 || static_cast<std::size_t>(got) > kReadSize) return ReadStatus::readError;
        if (got == 0) {
            atEnd = true;
        } else {
            end += static_cast<std::size_t>(got);
        }
    }
    heapArrange(list);
    return ReadStatus::complete;
}

ReadStatus readSchedule(RecordingList& list, std::string_view bytes, const ScheduleClock& clock) {
    const ByteReader fromBytes = [&bytes](char* buffer, std::size_t size) {
        const std::size_t count = bytes.copy(buffer, size);
        bytes.remove_prefix(count);
        return static_cast<std::ptrdiff_t>(count);
    };
    return readSchedule(list, fromBytes, clock);
}

}  // namespace dormivel
