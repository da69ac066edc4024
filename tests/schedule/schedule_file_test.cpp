#include "schedule/schedule_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace dormivel {
namespace {

TEST(ScheduleRead, ErrorsByKind) {
    struct Case {
        std::uint32_t error;
        const char* reason;
    };
    const Case cases[] = {{2, "missing"},  {3, "missing"},  {53, "missing"}, {64, "missing"},
                          {67, "missing"}, {5, "denied"},   {32, "denied"},  {33, "locked"},
                          {21, "ioerror"}, {23, "ioerror"}, {0, "ioerror"}};
    for (const auto& c : cases)
        EXPECT_EQ(scheduleAccessReason(classifyScheduleError(c.error)), c.reason) << c.error;
}

// One pass's read and what the episode makes of it.
struct ReadStep {
    std::uint64_t at;
    ScheduleAccess access;
    bool useRecordings;
    bool logged;
    std::uint32_t timeoutAfter;  // the wait's time-out right after the pass
};

void playReads(const std::vector<ReadStep>& steps, ScheduleReadEpisode& episode) {
    for (const ReadStep& s : steps) {
        SCOPED_TRACE(s.at);
        const ScheduleReadStep step = onScheduleRead(episode, s.access, s.at);
        EXPECT_EQ(step.useRecordings, s.useRecordings);
        EXPECT_EQ(step.logFailure, s.logged);
        EXPECT_EQ(waitTimeoutMs(episode, s.at), s.timeoutAfter);
        // A changing file told apart from a failure, also within a failing
        // episode.
        EXPECT_EQ(episode.changing, s.access == ScheduleAccess::changing);
    }
}

// A run of failed reads keeps the plan, logs once, and is retried every two
// seconds until a read works; the next failure starts a new episode.
TEST(ScheduleRead, EpisodesLogOnceAndRetry) {
    ScheduleReadEpisode episode;
    playReads(
        {
            {1000, ScheduleAccess::read, true, false, kWaitForever},
            {5000, ScheduleAccess::locked, false, true, 2000},
            {7000, ScheduleAccess::locked, false, false, 2000},   // the retry, still locked
            {7500, ScheduleAccess::missing, false, false, 2000},  // a settle pass in between
            {9500, ScheduleAccess::read, true, false, kWaitForever},
            {9600, ScheduleAccess::read, true, false, kWaitForever},
            {20000, ScheduleAccess::denied, false, true, 2000},
        },
        episode);
    EXPECT_EQ(waitTimeoutMs(episode, 21000), 1000u);
    EXPECT_EQ(waitTimeoutMs(episode, 22000), 0u);  // due
    EXPECT_EQ(waitTimeoutMs(episode, 30000), 0u);  // overdue
}

// A read of a file changed less than a second ago (a writer saving in place
// may have left it cut short) changes nothing and is made again a second
// later; nothing is logged, and a failure episode around it goes on.
TEST(ScheduleRead, ChangingFileIsReadAgainUnlogged) {
    ScheduleReadEpisode episode;
    playReads(
        {
            {1000, ScheduleAccess::changing, false, false, 1000},
            {2000, ScheduleAccess::read, true, false, kWaitForever},
            {5000, ScheduleAccess::missing, false, true, 2000},
            {7000, ScheduleAccess::changing, false, false, 1000},  // written again, not yet still
            {8000, ScheduleAccess::denied, false, false, 2000},    // the same episode
            {10000, ScheduleAccess::read, true, false, kWaitForever},
        },
        episode);
}

TEST(ScheduleRead, FileStandsStillOnceASecondHasPassedOrTheSettleSawIt) {
    constexpr std::uint64_t kNow = 134098128000000000ULL;
    constexpr std::uint64_t kMs = 10'000;
    const FileStamp settled{true, kNow - 200 * kMs};
    struct Case {
        const char* name = "";
        FileStamp current;
        bool still = false;
    };
    const Case cases[] = {
        {"written a second ago", {true, kNow - 1000 * kMs}, true},
        {"written just under a second ago", {true, kNow - 999 * kMs}, false},
        {"written at this moment", {true, kNow}, false},
        {"the one the settle saw", settled, true},
        {"written after the clock was set back", {true, kNow + 1}, true},
        {"not there", {}, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(scheduleStandsStill(c.current, settled, kNow), c.still) << c.name;
}

}  // namespace
}  // namespace dormivel
