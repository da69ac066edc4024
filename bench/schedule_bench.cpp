// Cost of one schedule pass's reading and selection: readSchedule over a
// schedule of N record lines, then the now and next selection with hour
// filters, next to a floor measured in the same run: splitting the same bytes
// into lines and TAB fields and nothing else (scripts/bench.sh prints the
// ratio of their processor times). BM_PeakHeap reports, as counters, the peak
// of heap bytes live during one pass (counted by the allocation functions
// below) next to the recordings' own storage: N times sizeof(Recording) plus
// the heap bytes of the titles that do not fit inside their string. It
// prints figures and asserts nothing.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

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

constexpr const char* kOrdinaryTitle = "A programme title of ordinary length";

std::string makeSchedule(int lines, const char* title = kOrdinaryTitle) {
    std::string text = "Name\tStart\tEnd\tState\tChannelName\tChannel\tTitle\tManual\tFavorite\n";
    unsigned state = 12345;
    for (int i = 0; i < lines; ++i) {
        state = state * 1103515245u + 12345u;
        const unsigned day = 1 + (state >> 8) % 28;
        const unsigned hour = (state >> 13) % 23;
        const unsigned minute = (state >> 18) % 60;
        text += "rec" + std::to_string(i) + "\tMon 6/" + std::to_string(day) + " " + std::to_string(hour) + ":" +
                std::to_string(minute) + "\tMon 6/" + std::to_string(day) + " " + std::to_string(hour + 1) + ":" +
                std::to_string(minute) + "\t0\tChannel\t" + std::to_string((state >> 3) % 40) + "\t" + title + "\t" +
                ((state & 1) != 0 ? "true" : "false") + "\t" + ((state & 2) != 0 ? "true" : "false") + "\n";
    }
    return text;
}

// A zone with daylight saving, as most users' machines have, and the dearer
// case for a reader, which must convert each date by its year's rules:
// central Europe, last Sunday of March 02:00 to last Sunday of October 03:00.
dormivel::TimeZone centralEurope() {
    dormivel::TimeZone zone;
    zone.rules.bias = -60;
    zone.rules.daylightBias = -60;
    zone.rules.daylightDate = {0, 3, 0, 5, 2, 0, 0, 0};
    zone.rules.standardDate = {0, 10, 0, 5, 3, 0, 0, 0};
    return zone;
}

// One pass's reading and selection; the recordings' own storage when asked.
struct Pass {
    dormivel::ScheduleClock clock{2026, 6, centralEurope()};
    dormivel::Options options;
    dormivel::FileTime now = 0;

    Pass() {
        options.noIrRanges = {{1, 6}};
        options.noManualRanges = {{22, 2}};
        dormivel::LocalDateTime noon;
        noon.year = 2026;
        noon.month = 6;
        noon.day = 14;
        noon.hour = 12;
        dormivel::dateTimeToFileTime(noon, now);
    }

    // The number of recordings read, or -1 when the read was not complete.
    long run(std::string_view bytes, std::size_t* storage = nullptr) const {
        dormivel::RecordingList list;
        dormivel::RecordingSet nowSet;
        dormivel::RecordingSet nextSet;
        const dormivel::ReadStatus status = dormivel::readSchedule(list, bytes, clock);
        dormivel::selectNowRecordings(list, now, options, clock.zone, nowSet);
        dormivel::selectNextRecordings(list, now, options, clock.zone, nextSet);
        benchmark::DoNotOptimize(nowSet.data());
        benchmark::DoNotOptimize(nextSet.data());
        if (storage != nullptr) {
            *storage = list.size() * sizeof(dormivel::Recording);
            for (const dormivel::Recording& r : list) {
                const auto* const object = reinterpret_cast<const char*>(&r);  // NOLINT(*-reinterpret-cast)
                const char* const title = r.title.data();
                if (title < object || title >= object + sizeof r) *storage += r.title.capacity() + 1;
            }
        }
        return status == dormivel::ReadStatus::complete ? static_cast<long>(list.size()) : -1;
    }
};

// The floor: every line found, every TAB field of it found, nothing kept.
std::size_t splitLinesAndFields(std::string_view bytes) {
    std::size_t fields = 0;
    while (!bytes.empty()) {
        const std::size_t lf = bytes.find('\n');
        std::string_view line = bytes.substr(0, lf);
        bytes.remove_prefix(lf == std::string_view::npos ? bytes.size() : lf + 1);
        for (std::size_t tab = line.find('\t'); tab != std::string_view::npos; tab = line.find('\t')) {
            line.remove_prefix(tab + 1);
            ++fields;
        }
        ++fields;
    }
    return fields;
}

void BM_SplitFloor(benchmark::State& state) {
    const int lines = static_cast<int>(state.range(0));
    const std::string text = makeSchedule(lines);
    for (auto _ : state) {
        const std::size_t fields = splitLinesAndFields(text);
        benchmark::DoNotOptimize(fields);
    }
    state.SetItemsProcessed(state.iterations() * lines);
}

void BM_ReadAndSelect(benchmark::State& state) {
    const int lines = static_cast<int>(state.range(0));
    const std::string text = makeSchedule(lines);
    const Pass pass;
    for (auto _ : state) {
        if (pass.run(text) != lines) state.SkipWithError("schedule did not read");
    }
    state.SetItemsProcessed(state.iterations() * lines);
}

// The reader alone: readSchedule over the same bytes, the list dropped.
void BM_Read(benchmark::State& state) {
    const int lines = static_cast<int>(state.range(0));
    const std::string text = makeSchedule(lines);
    const Pass pass;
    for (auto _ : state) {
        dormivel::RecordingList list;
        if (dormivel::readSchedule(list, text, pass.clock) != dormivel::ReadStatus::complete) {
            state.SkipWithError("schedule did not read");
        }
        benchmark::DoNotOptimize(list.size());
    }
    state.SetItemsProcessed(state.iterations() * lines);
}

// One pass over 100,000 and 65,537 lines (just past a power of two), with
// ordinary titles and with titles short enough to sit inside their string
// (ordinary = 0): its peak of live heap bytes and the recordings' storage.
void BM_PeakHeap(benchmark::State& state) {
    const int lines = static_cast<int>(state.range(0));
    const std::string text = makeSchedule(lines, state.range(1) != 0 ? kOrdinaryTitle : "News");
    const Pass pass;
    std::size_t peak = 0;
    std::size_t storage = 0;
    for (auto _ : state) {
        const std::size_t base = liveBytes;
        peakBytes = liveBytes;
        if (pass.run(text, &storage) != lines) state.SkipWithError("schedule did not read");
        peak = peakBytes - base;
    }
    state.counters["peak_bytes"] = static_cast<double>(peak);
    state.counters["storage_bytes"] = static_cast<double>(storage);
    state.counters["peak_per_storage"] = static_cast<double>(peak) / static_cast<double>(storage);
}

BENCHMARK(BM_SplitFloor)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Read)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadAndSelect)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PeakHeap)
    ->ArgNames({"lines", "ordinary"})
    ->Args({100000, 1})
    ->Args({65537, 1})
    ->Args({100000, 0})
    ->Args({65537, 0})
    ->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
