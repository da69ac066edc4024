// dormivel_sim: weeks of simulated life in lives of a year, each replayable by
// its seed. Prints the seconds of recordings lost by cause and the program's
// sleep requests at the wrong moment; exits 1 when any loss was avoidable or
// any such request was made.
//
//   dormivel_sim [--weeks N] [--seed S] [--jobs J] [--life-weeks W]
//                [--road todays-bias] [--trace-cause TEXT] [--life K]
//
// --life K runs only life K of the same run and prints its trace;
// --trace-cause traces the first loss whose cause starts with TEXT instead
// of the first avoidable one.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "sim/sim.h"

namespace {

using namespace dormivel;
using namespace dormivel::sim;

struct Run {
    std::uint64_t weeks = 10000;
    std::uint64_t seed = 1;
    std::uint64_t lifeWeeks = 52;
    unsigned jobs = 2;
    ShellRoad road = ShellRoad::none;
    long long life = -1;
    std::string traceCause;
};

std::unique_ptr<Sim> simulate(const Run& run, std::uint64_t life, bool tracing) {
    auto sim = std::make_unique<Sim>();
    sim->road = run.road;
    sim->tracing = tracing;
    sim->traceCause = run.traceCause;
    setUpLife(*sim, run.seed, static_cast<std::uint32_t>(life),
              std::min(run.lifeWeeks, run.weeks - life * run.lifeWeeks));
    runLife(*sim);
    return sim;
}

template <typename Map>
void addMap(Map& sum, const Map& more) {
    for (const auto& [key, value] : more)
        sum[key] += value;
}

void add(Totals& sum, const Totals& t) {
    sum.weeks += t.weeks;
    sum.recordings += t.recordings;
    sum.eligible += t.eligible;
    sum.eligibleTicks += t.eligibleTicks;
    addMap(sum.unavoidable, t.unavoidable);
    addMap(sum.avoidable, t.avoidable);
    addMap(sum.tallies, t.tallies);
    sum.ownRequests += t.ownRequests;
    sum.wrongRequests += t.wrongRequests;
    if (!sum.first && t.first) sum.first = t.first;
}

FileTime printLosses(const char* kind, const std::map<std::string, FileTime>& lost) {
    FileTime total = 0;
    for (const auto& [cause, ticks] : lost)
        total += ticks;
    std::printf("  %s %llu\n", kind, static_cast<unsigned long long>(total / kSecond));
    for (const auto& [cause, ticks] : lost)
        std::printf("    %-84s %llu\n", cause.c_str(), static_cast<unsigned long long>(ticks / kSecond));
    return total;
}

// Prints the figures; whether the run passed.
bool report(const Run& run, const Totals& t, std::uint64_t lives) {
    std::printf("dormivel_sim: seed %llu, %llu weeks in %llu lives, %llu recordings, %llu acted on (%llu hours)\n",
                static_cast<unsigned long long>(run.seed), static_cast<unsigned long long>(t.weeks),
                static_cast<unsigned long long>(lives), static_cast<unsigned long long>(t.recordings),
                static_cast<unsigned long long>(t.eligible), static_cast<unsigned long long>(t.eligibleTicks / kHour));
    if (run.road == ShellRoad::todaysBias) std::printf("shell road put back: todays-bias\n");
    std::string tallies;
    for (const auto& [what, count] : t.tallies)
        tallies += (tallies.empty() ? "" : ", ") + std::to_string(count) + " " + what;
    std::printf("events: %s\nseconds of recordings lost:\n", tallies.c_str());
    printLosses("unavoidable", t.unavoidable);
    const FileTime avoidable = printLosses("avoidable", t.avoidable);
    std::printf("sleep requests by the program: %llu; while a recording ran or within its lead margin: %llu\n",
                static_cast<unsigned long long>(t.ownRequests), static_cast<unsigned long long>(t.wrongRequests));
    return avoidable == 0 && t.wrongRequests == 0;
}

bool parse(int argc, char** argv, Run& run) {
    if (const char* jobs = std::getenv("DORMIVEL_JOBS"))
        run.jobs = static_cast<unsigned>(std::strtoul(jobs, nullptr, 10));
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        const std::string value = argv[i + 1];
        const std::uint64_t number = std::strtoull(value.c_str(), nullptr, 10);
        if (arg == "--weeks") {
            run.weeks = number;
        } else if (arg == "--seed") {
            run.seed = number;
        } else if (arg == "--jobs") {
            run.jobs = static_cast<unsigned>(number);
        } else if (arg == "--life-weeks") {
            run.lifeWeeks = number;
        } else if (arg == "--life") {
            run.life = static_cast<long long>(number);
        } else if (arg == "--trace-cause") {
            run.traceCause = value;
        } else if (arg == "--road" && value == "todays-bias") {
            run.road = ShellRoad::todaysBias;
        } else {
            return false;
        }
    }
    return argc % 2 == 1 && run.weeks > 0 && run.lifeWeeks > 0;
}

void printTrace(const Run& run, std::uint64_t life) {
    const std::unique_ptr<Sim> sim = simulate(run, life, true);
    std::string command = "dormivel_sim --seed " + std::to_string(run.seed) + " --weeks " + std::to_string(run.weeks) +
                          " --life-weeks " + std::to_string(run.lifeWeeks);
    if (run.road == ShellRoad::todaysBias) command += " --road todays-bias";
    if (!run.traceCause.empty()) command += " --trace-cause '" + run.traceCause + "'";
    std::printf("trace (%s --life %llu):\n", command.c_str(), static_cast<unsigned long long>(life));
    for (const std::string& line : sim->trace)
        std::printf("  %s\n", line.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    Run run;
    if (!parse(argc, argv, run)) {
        (void)std::fprintf(stderr,
                           "usage: dormivel_sim [--weeks N] [--seed S] [--jobs J] [--life-weeks W] "
                           "[--road todays-bias] [--trace-cause TEXT] [--life K]\n");
        return 2;
    }
    const std::uint64_t lives = (run.weeks + run.lifeWeeks - 1) / run.lifeWeeks;
    if (run.life >= 0) {
        const auto life = static_cast<std::uint64_t>(run.life);
        if (life >= lives) return 2;
        const bool passed = report(run, simulate(run, life, false)->totals, 1);
        printTrace(run, life);
        return passed ? 0 : 1;
    }

    std::vector<Totals> results(lives);
    std::atomic<std::uint64_t> next{0};
    const auto worker = [&] {
        for (std::uint64_t life = next++; life < lives; life = next++)
            results[life] = simulate(run, life, false)->totals;
    };
    std::vector<std::thread> threads;
    for (unsigned j = 1; j < std::max(1U, run.jobs); ++j)
        threads.emplace_back(worker);
    worker();
    for (std::thread& t : threads)
        t.join();

    Totals sum;
    for (const Totals& t : results)
        add(sum, t);
    const bool passed = report(run, sum, lives);
    if (sum.first) {
        std::printf("first %s loss: life %u, %s: %s\n", run.traceCause.empty() ? "avoidable" : "traced",
                    sum.first->life, sum.first->title.c_str(), sum.first->cause.c_str());
        printTrace(run, sum.first->life);
    }
    return passed ? 0 : 1;
}
