// dormivel_sim: weeks of simulated life in lives of a year, each replayable by
// its seed. Prints the seconds of recordings lost by cause and the program's
// sleep requests at the wrong moment; exits 1 when any loss was avoidable or
// any such request was made.
//
//   dormivel_sim [--weeks N] [--seed S] [--jobs J] [--life-weeks W]
//                [--road todays-bias] [--life K]
//
// --life K runs only life K of the same run and prints its trace.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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
    Cause traceCause = Cause::count;
};

std::uint64_t weeksOfLife(const Run& run, std::uint64_t life) {
    return std::min(run.lifeWeeks, run.weeks - life * run.lifeWeeks);
}

std::unique_ptr<Sim> simulate(const Run& run, std::uint64_t life, bool tracing) {
    auto sim = std::make_unique<Sim>();
    sim->road = run.road;
    sim->tracing = tracing;
    sim->traceCause = run.traceCause;
    setUpLife(*sim, run.seed, static_cast<std::uint32_t>(life), weeksOfLife(run, life));
    runLife(*sim);
    return sim;
}

void add(Totals& sum, const Totals& t) {
    sum.weeks += t.weeks;
    sum.recordings += t.recordings;
    sum.eligible += t.eligible;
    sum.eligibleTicks += t.eligibleTicks;
    for (std::size_t i = 0; i < sum.lost.size(); ++i)
        sum.lost[i] += t.lost[i];
    sum.ownRequests += t.ownRequests;
    for (std::size_t i = 0; i < sum.tallies.size(); ++i)
        sum.tallies[i] += t.tallies[i];
    sum.wrongRequests += t.wrongRequests;
    if (!sum.first && t.first) sum.first = t.first;
}

const char* roadName(ShellRoad road) {
    switch (road) {
        case ShellRoad::todaysBias:
            return "todays-bias";
        case ShellRoad::none:
            break;
    }
    return "";
}

std::string replayCommand(const Run& run, std::uint64_t life) {
    std::string command = "dormivel_sim --seed " + std::to_string(run.seed) + " --weeks " + std::to_string(run.weeks) +
                          " --life-weeks " + std::to_string(run.lifeWeeks);
    if (run.road != ShellRoad::none) command += std::string(" --road ") + roadName(run.road);
    return command + " --life " + std::to_string(life);
}

FileTime report(const Run& run, const Totals& t, std::uint64_t lives) {
    std::printf("dormivel_sim: seed %llu, %llu weeks in %llu lives, %llu recordings, %llu acted on (%llu hours)\n",
                static_cast<unsigned long long>(run.seed), static_cast<unsigned long long>(t.weeks),
                static_cast<unsigned long long>(lives), static_cast<unsigned long long>(t.recordings),
                static_cast<unsigned long long>(t.eligible), static_cast<unsigned long long>(t.eligibleTicks / kHour));
    if (run.road != ShellRoad::none) std::printf("shell road put back: %s\n", roadName(run.road));
    std::string tallies;
    for (std::size_t i = 0; i < t.tallies.size(); ++i) {
        tallies += (i == 0 ? "" : ", ") + std::to_string(t.tallies[i]) + " " + tallyName(static_cast<Tally>(i));
    }
    std::printf("events: %s\n", tallies.c_str());
    FileTime unavoidable = 0;
    FileTime avoidable = 0;
    for (std::size_t i = 0; i < t.lost.size(); ++i)
        (i < static_cast<std::size_t>(kFirstAvoidable) ? unavoidable : avoidable) += t.lost[i];
    std::printf("seconds of recordings lost:\n  unavoidable %llu\n",
                static_cast<unsigned long long>(unavoidable / kSecond));
    for (std::size_t i = 0; i < t.lost.size(); ++i) {
        if (i == static_cast<std::size_t>(kFirstAvoidable)) {
            std::printf("  avoidable %llu\n", static_cast<unsigned long long>(avoidable / kSecond));
        }
        if (t.lost[i] != 0) {
            std::printf("    %-84s %llu\n", causeName(static_cast<Cause>(i)),
                        static_cast<unsigned long long>(t.lost[i] / kSecond));
        }
    }
    std::printf("sleep requests by the program: %llu; while a recording ran or within its lead margin: %llu\n",
                static_cast<unsigned long long>(t.ownRequests), static_cast<unsigned long long>(t.wrongRequests));
    return avoidable;
}

bool parse(int argc, char** argv, Run& run) {
    if (const char* jobs = std::getenv("DORMIVEL_JOBS"))
        run.jobs = static_cast<unsigned>(std::strtoul(jobs, nullptr, 10));
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc) return false;
        const char* value = argv[++i];
        if (arg == "--weeks") {
            run.weeks = std::strtoull(value, nullptr, 10);
        } else if (arg == "--seed") {
            run.seed = std::strtoull(value, nullptr, 10);
        } else if (arg == "--jobs") {
            run.jobs = static_cast<unsigned>(std::strtoul(value, nullptr, 10));
        } else if (arg == "--life-weeks") {
            run.lifeWeeks = std::strtoull(value, nullptr, 10);
        } else if (arg == "--trace-cause") {
            run.traceCause = static_cast<Cause>(std::strtoul(value, nullptr, 10));
        } else if (arg == "--life") {
            run.life = std::strtoll(value, nullptr, 10);
        } else if (arg == "--road" && std::strcmp(value, "todays-bias") == 0) {
            run.road = ShellRoad::todaysBias;
        } else {
            return false;
        }
    }
    return run.weeks > 0 && run.lifeWeeks > 0;
}

void printTrace(const Run& run, std::uint64_t life) {
    const std::unique_ptr<Sim> sim = simulate(run, life, true);
    std::printf("trace (%s):\n", replayCommand(run, life).c_str());
    for (const std::string& line : sim->trace)
        std::printf("  %s\n", line.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    Run run;
    if (!parse(argc, argv, run)) {
        (void)std::fprintf(stderr,
                           "usage: dormivel_sim [--weeks N] [--seed S] [--jobs J] [--life-weeks W] "
                           "[--road todays-bias] [--life K]\n");
        return 2;
    }
    const std::uint64_t lives = (run.weeks + run.lifeWeeks - 1) / run.lifeWeeks;
    if (run.life >= 0) {
        const auto life = static_cast<std::uint64_t>(run.life);
        if (life >= lives) return 2;
        const std::unique_ptr<Sim> sim = simulate(run, life, false);
        const FileTime avoidable = report(run, sim->totals, 1);
        printTrace(run, life);
        return avoidable == 0 && sim->totals.wrongRequests == 0 ? 0 : 1;
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
    const FileTime avoidable = report(run, sum, lives);
    if (sum.first) {
        const FirstLoss& f = *sum.first;
        std::printf("first avoidable loss: life %u, %s: %s\n", f.life, f.title.c_str(), causeName(f.cause));
        printTrace(run, f.life);
    }
    return avoidable == 0 && sum.wrongRequests == 0 ? 0 : 1;
}
