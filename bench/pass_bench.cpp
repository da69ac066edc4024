// Cost of the decision of one schedule pass: reading the schedule, selecting
// the now and next sets, deciding the timer and the allow-sleep state and
// composing the log fragment, over 10, 1,000 and 10,000 recordings.
#include <benchmark/benchmark.h>

#include <string>

#include "app/filetime.h"
#include "planner/pass_decision.h"

namespace {

std::string makeSchedule(int lines) {
    std::string text = "Name\tStart\tEnd\tState\tChannelName\tChannel\tTitle\tManual\tFavorite\n";
    for (int i = 0; i < lines; ++i) {
        const int day = 1 + i % 28;
        const int hour = (i * 7) % 23;
        const int minute = (i * 13) % 60;
        text += "rec\tMon 6/" + std::to_string(day) + " " + std::to_string(hour) + ":" + std::to_string(minute) +
                "\tMon 6/" + std::to_string(day) + " " + std::to_string(hour + 1) + ":" + std::to_string(minute) +
                "\t0\tChannel\t" + std::to_string(i % 40) + "\tA programme title of ordinary length " +
                std::to_string(i) + "\tfalse\tfalse\n";
    }
    return text;
}

void BM_PassDecision(benchmark::State& state) {
    const int lines = static_cast<int>(state.range(0));
    const std::string text = makeSchedule(lines);
    const dormivel::ScheduleClock clock{2026, 6, dormivel::fixedBiasZone(-120)};
    const dormivel::Options options;
    dormivel::LocalDateTime noon;
    noon.year = 2026;
    noon.month = 6;
    noon.day = 14;
    noon.hour = 12;
    dormivel::PassInput input;
    dormivel::dateTimeToFileTime(noon, input.now);
    input.logOpen = true;
    const dormivel::LogStampFormatter stamp = [](dormivel::FileTime) { return std::string("6/14/2026 12:00:00 PM"); };
    // Empty previous sets: every pass finds both sets changed and composes
    // the whole fragment, the most a pass ever writes.
    const dormivel::RecordingSet previousNow;
    const dormivel::RecordingSet previousNext;
    for (auto _ : state) {
        dormivel::RecordingList list;
        dormivel::readSchedule(list, text, clock);
        const dormivel::PassDecision decision = dormivel::decidePass(list, input, options, previousNow, previousNext);
        const std::string fragment = dormivel::composePassFragment(decision, input, stamp);
        benchmark::DoNotOptimize(fragment.data());
    }
    state.SetItemsProcessed(state.iterations() * lines);
}

BENCHMARK(BM_PassDecision)->Arg(10)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
