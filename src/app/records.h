// The small value records that pass between Dormivel's subsystems.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dormivel {

// A point in time: 100 ns ticks since 1 January 1601, UTC (the FILETIME
// convention), always compared as an unsigned 64-bit number.
using FileTime = std::uint64_t;

inline constexpr FileTime kTicksPerSecond = 10'000'000;

// Start hours from `first` up to, not including, `last`; first > last runs
// past midnight, first == last is empty. Values are not limited to 0..23.
struct HourRange {
    std::uint8_t first = 0;
    std::uint8_t last = 0;

    friend bool operator==(const HourRange&, const HourRange&) = default;
};

using HourRangeList = std::vector<HourRange>;

// One scheduled recording; owns its title, which is kept byte for byte.
struct Recording {
    FileTime start = 0;
    FileTime stop = 0;
    std::uint16_t channel = 0;
    std::string title;
    bool isManual = false;
    bool isFavorite = false;
};

// An ordered sequence of recording copies: only ever appended to at the end
// and emptied as a whole, never re-sorted.
using RecordingSet = std::vector<Recording>;

}  // namespace dormivel
