#include "planner/selection.h"

#include <limits>

#include "app/time_zone.h"

namespace dormivel {

bool containsHour(const HourRange& range, std::uint8_t hour) {
    if (range.first < range.last) return range.first <= hour && hour < range.last;
    if (range.first > range.last) return hour >= range.first || hour < range.last;
    return false;
}

bool rangesContainHour(const HourRangeList& ranges, std::uint8_t hour) {
    for (const HourRange& range : ranges) {
        if (containsHour(range, hour)) return true;
    }
    return false;
}

std::uint8_t startHour(const Recording& recording, const TimeZone& zone) {
    constexpr FileTime kTicksPerHour = 3600 * kTicksPerSecond;
    constexpr FileTime kHoursPerDay = 24;
    FileTime local = 0;
    // Days begin at midnight on the tick scale, so the hour is what is left
    // of whole hours after whole days.
    if (utcToLocal(recording.start, zone, local))
        return static_cast<std::uint8_t>((local / kTicksPerHour) % kHoursPerDay);
    return static_cast<std::uint8_t>(utcToLocalDateTime(recording.start, zone).hour);
}

bool isEligible(const Recording& recording, const Options& options, const TimeZone& zone) {
    const bool other = !recording.isManual && !recording.isFavorite;
    const bool filtered = other ? !options.noIrRanges.empty()
                                : (recording.isManual && !options.noManualRanges.empty()) ||
                                      (recording.isFavorite && !options.noFavoriteRanges.empty());
    if (!filtered) return true;  // no range to test: the start hour is not needed
    const std::uint8_t hour = startHour(recording, zone);
    if (other) return !rangesContainHour(options.noIrRanges, hour);
    if (recording.isManual && rangesContainHour(options.noManualRanges, hour)) return false;
    if (recording.isFavorite && rangesContainHour(options.noFavoriteRanges, hour)) return false;
    return true;
}

void selectNowRecordings(const RecordingList& list, FileTime now, const Options& options, const TimeZone& zone,
                         RecordingSet& out) {
    out.clear();
    // The times first: they rule out nearly every recording, and cost less
    // than the start hour in local time that a filter needs.
    for (const Recording& recording : list) {
        if (recording.start <= now && now < recording.stop && isEligible(recording, options, zone)) {
            out.push_back(recording);
        }
    }
}

void selectNextRecordings(const RecordingList& list, FileTime now, const Options& options, const TimeZone& zone,
                          RecordingSet& out) {
    out.clear();
    FileTime best = std::numeric_limits<FileTime>::max();
    for (const Recording& recording : list) {
        if (recording.start <= now || recording.start > best || !isEligible(recording, options, zone)) continue;
        if (recording.start < best) {
            out.clear();
            out.push_back(recording);
            best = recording.start;
        } else if (recording.start == best) {
            out.push_back(recording);
        }
    }
}

bool sameRecordingSet(const RecordingSet& a, const RecordingSet& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const Recording& x = a[i];
        const Recording& y = b[i];
        if (x.start != y.start || x.stop != y.stop || x.channel != y.channel || x.title != y.title) return false;
    }
    return true;
}

}  // namespace dormivel
