// Cost of one schedule pass's reading and selection: readSchedule over a
// schedule of N record lines, then the now and next selection with hour
// filters. Reports time per record line and the peak of heap bytes live
// during one pass (beyond the input text), counted by the allocation
// functions below.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdlib>
#include <new>
#include <sstream>
#include <string>

#include "app/filetime.h"
#include "cmdline/options.h"
#include "planner/selection.h"
#include "schedule/schedule_reader.h"

namespace {

// The replaced operator new and delete below have no other place to count in.
std::size_t liveBytes = 0;  // NOLINT(cppcoreguidelines-avoid-non-const-global-variables)
std::size_t peakBytes = 0;  // NOLINT(cppcoreguidelines-avoid-non-const-global-variables)

// Each block carries its size in front, so that unsized deletes can count.
constexpr std::size_t kHeader = alignof(std::max_align_t);

void* countedAlloc(std::size_t size) {
    void* block = std::malloc(size + kHeader);  // NOLINT(cppcoreguidelines-no-malloc): operator new's own store
    if (block == nullptr) throw std::bad_alloc();
    *static_cast<std::size_t*>(block) = size;
    liveBytes += size;
    if (liveBytes > peakBytes) peakBytes = liveBytes;
    return static_cast<char*>(block) + kHeader;
}

void countedFree(void* p) noexcept {
    if (p == nullptr) return;
    void* block = static_cast<char*>(p) - kHeader;
    liveBytes -= *static_cast<std::size_t*>(block);
    std::free(block);  // NOLINT(cppcoreguidelines-no-malloc): operator delete's own store
}

}  // namespace

void* operator new(std::size_t size) {
    return countedAlloc(size);
}
void* operator new[](std::size_t size) {
    return countedAlloc(size);
}
void operator delete(void* p) noexcept {
    countedFree(p);
}
void operator delete[](void* p) noexcept {
    countedFree(p);
}
void operator delete(void* p, std::size_t) noexcept {
    countedFree(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    countedFree(p);
}

namespace {

std::string makeSchedule(int lines) {
    std::string text = "Name\tStart\tEnd\tState\tChannelName\tChannel\tTitle\tManual\tFavorite\n";
    unsigned state = 12345;
    for (int i = 0; i < lines; ++i) {
        state = state * 1103515245u + 12345u;
        const unsigned day = 1 + (state >> 8) % 28;
        const unsigned hour = (state >> 13) % 23;
        const unsigned minute = (state >> 18) % 60;
        text += "rec" + std::to_string(i) + "\tMon 6/" + std::to_string(day) + " " + std::to_string(hour) + ":" +
                std::to_string(minute) + "\tMon 6/" + std::to_string(day) + " " + std::to_string(hour + 1) + ":" +
                std::to_string(minute) + "\t0\tChannel\t" + std::to_string((state >> 3) % 40) +
                "\tA programme title of ordinary length\t" + ((state & 1) != 0 ? "true" : "false") + "\t" +
                ((state & 2) != 0 ? "true" : "false") + "\n";
    }
    return text;
}

void BM_ReadAndSelect(benchmark::State& state) {
    const int lines = static_cast<int>(state.range(0));
    const std::string text = makeSchedule(lines);
    const dormivel::ScheduleClock clock{2026, 6, dormivel::fixedBiasZone(-120)};
    dormivel::Options options;
    options.noIrRanges = {{1, 6}};
    options.noManualRanges = {{22, 2}};
    dormivel::FileTime now = 0;
    dormivel::LocalDateTime noon;
    noon.year = 2026;
    noon.month = 6;
    noon.day = 14;
    noon.hour = 12;
    dormivel::dateTimeToFileTime(noon, now);

    std::size_t passPeak = 0;
    for (auto _ : state) {
        // The stream's copy of the text stands for the file and is timed
        // but not counted: the peak is what the pass itself holds.
        std::istringstream in(text);
        const std::size_t base = liveBytes;
        peakBytes = liveBytes;
        {
            dormivel::RecordingList list;
            dormivel::RecordingSet nowSet;
            dormivel::RecordingSet nextSet;
            const bool ok = dormivel::readSchedule(list, in, clock);
            dormivel::selectNowRecordings(list, now, options, clock.zone, nowSet);
            dormivel::selectNextRecordings(list, now, options, clock.zone, nextSet);
            if (!ok || list.size() != static_cast<std::size_t>(lines)) state.SkipWithError("schedule did not read");
            benchmark::DoNotOptimize(nowSet.data());
            benchmark::DoNotOptimize(nextSet.data());
        }
        if (peakBytes - base > passPeak) passPeak = peakBytes - base;
    }
    state.SetItemsProcessed(state.iterations() * lines);
    state.counters["peak_bytes"] = static_cast<double>(passPeak);
    state.counters["peak_bytes_per_line"] = static_cast<double>(passPeak) / lines;
    state.counters["file_bytes"] = static_cast<double>(text.size());
}

BENCHMARK(BM_ReadAndSelect)->Arg(10)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
