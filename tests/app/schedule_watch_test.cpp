#include "app/schedule_watch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace dormivel {
namespace {

TEST(ScheduleDirectory, CutBeforeTheFileNameKeepingRoots) {
    struct Case {
        std::wstring path;
        std::wstring directory;
    };
    const Case cases[] = {
        {L"C:\\Kalvor\\schedule.txt", L"C:\\Kalvor"},
        {L"C:\\schedule.txt", L"C:\\"},
        {L"\\\\server\\share\\schedule.txt", L"\\\\server\\share\\"},
        {L"\\\\server\\share\\Kalvor\\schedule.txt", L"\\\\server\\share\\Kalvor"},
        {L"\\\\?\\C:\\schedule.txt", L"\\\\?\\C:\\"},
        {L"\\\\?\\C:\\deep\\schedule.txt", L"\\\\?\\C:\\deep"},
        {L"D:/data/schedule.txt", L"D:/data"},
    };
    for (const auto& c : cases) {
        const std::size_t offset = c.path.find_last_of(L"\\/") + 1;
        EXPECT_EQ(scheduleDirectory(c.path, offset), c.directory) << std::string(c.path.begin(), c.path.end());
    }
    // Without a final component the path is watched as it is.
    EXPECT_EQ(scheduleDirectory(L"C:\\x", 0), L"C:\\x");
    EXPECT_EQ(scheduleDirectory(L"C:\\x", 9), L"C:\\x");
}

// The settle as the main loop drives it: a look at the stamp at every
// change notification and at every time a step asks for, until `endMs`.
// The stamp at a time is the last write at or before it; the pass times
// come back. The passes at `cutShort` find the file changed under their
// read.
struct Write {
    std::uint64_t atMs;
    FileStamp stamp;
};

std::vector<std::uint64_t> settlePasses(const std::vector<Write>& writes, const std::vector<std::uint64_t>& notified,
                                        std::uint64_t endMs, Settle& settle,
                                        const std::vector<std::uint64_t>& cutShort = {}) {
    const auto stampAt = [&](std::uint64_t t) {
        FileStamp stamp = settle.reference;
        for (const Write& w : writes) {
            if (w.atMs <= t) stamp = w.stamp;
        }
        return stamp;
    };
    std::vector<std::uint64_t> passes;
    std::optional<std::uint64_t> lookAt;
    std::size_t next = 0;
    for (;;) {
        std::optional<std::uint64_t> at = lookAt;
        if (next < notified.size() && (!at || notified[next] <= *at)) at = notified[next++];
        if (!at || *at > endMs) break;
        SettleStep step = settleLook(settle, stampAt(*at), *at);
        if (step.pass) {
            passes.push_back(*at);
            step = settleAfterPass(settle, std::find(cutShort.begin(), cutShort.end(), *at) != cutShort.end(), *at);
        }
        // Never a look in the past or at the same moment: the loop would spin.
        if (step.lookAtMs) {
            EXPECT_GT(*step.lookAtMs, *at);
        }
        lookAt = step.lookAtMs;
    }
    return passes;
}

// A stamp of its own for the write at every tick of `everyMs` until
// `untilMs`, each one notified.
void writer(std::uint64_t everyMs, std::uint64_t untilMs, std::vector<Write>& writes,
            std::vector<std::uint64_t>& notified) {
    for (std::uint64_t t = 0; t < untilMs; t += everyMs) {
        writes.push_back({t, {true, 100 + t}});
        notified.push_back(t);
    }
}

TEST(Settle, OnePassASecondAfterTheLastChangeAndOneByTheCapWhileItGoesOn) {
    const FileStamp t10{true, 10}, t11{true, 11}, gone{false, 0};
    struct Case {
        const char* name;
        std::vector<Write> writes;
        std::vector<std::uint64_t> notified;
        std::vector<std::uint64_t> passes;
    };
    std::vector<Case> cases = {
        {"another file of the folder changed", {}, {0, 700}, {}},
        {"one write", {{0, t11}}, {0}, {1000}},
        {"three writes within a second",
         {{0, {true, 11}}, {300, {true, 12}}, {600, {true, 13}}},
         {0, 300, 600},
         {1600}},
        {"a notification without a change does not move the pass", {{0, t11}}, {0, 600}, {1000}},
        {"written back to the old stamp", {{0, t11}, {500, t10}}, {0, 500}, {1500}},
        {"deleted, then written again", {{0, gone}, {400, {true, 12}}}, {0, 400}, {1400}},
        {"deleted for good", {{0, gone}}, {0}, {1000}},
        // Seen to change at each of the first looks, then stable: one pass a
        // second after the last change.
        {"settles after three seconds",
         {{0, {true, 1}}, {1000, {true, 2}}, {2000, {true, 3}}, {3000, {true, 4}}},
         {0},
         {4000}},
    };
    {
        // A stamp that changes at every look, from one notification on: a
        // pass at every cap.
        Case everyLook{"changes at every look", {}, {0}, {10000, 20000, 30000}};
        for (std::uint64_t t = 0; t <= 30000; t += 1000)
            everyLook.writes.push_back({t, {true, 200 + t}});
        cases.push_back(everyLook);
        // Rewritten every half second for 30 s: a pass at each cap, the last
        // one reading the last write.
        Case halfSecond{"rewritten every half second for 30 s", {}, {}, {10000, 20000, 30000}};
        writer(500, 30000, halfSecond.writes, halfSecond.notified);
        cases.push_back(halfSecond);
        // Every 2 s a write: each change settles on its own.
        Case slow{"a write every two seconds", {}, {}, {1000, 3000, 5000}};
        writer(2000, 6000, slow.writes, slow.notified);
        cases.push_back(slow);
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Settle settle;
        settle.reference = t10;
        EXPECT_EQ(settlePasses(c.writes, c.notified, 60000, settle), c.passes);
        EXPECT_FALSE(settle.active) << "still looking at the end";
        EXPECT_FALSE(settle.unread) << "a change left unread";
    }
}

// A pass whose read a write cut short: the cap's comes again a moment
// later, however often that happens; a pass of a file that stood still
// leaves the write that cut it short to settle as any other.
TEST(Settle, ReadCutShortByAWrite) {
    struct Case {
        const char* name;
        std::vector<std::uint64_t> cutShort;
        std::vector<std::uint64_t> passes;
    };
    std::vector<Write> writes;
    std::vector<std::uint64_t> notified;
    writer(500, 30000, writes, notified);
    const Case cases[] = {
        {"none", {}, {10000, 20000, 30000}},
        {"the first cap's", {10000}, {10000, 10250, 20250, 30250}},
        {"the cap's twice running", {10000, 10250}, {10000, 10250, 10500, 20500, 30500}},
        {"the second cap's", {20000}, {10000, 20000, 20250, 30250}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Settle settle;
        settle.reference = {true, 10};
        EXPECT_EQ(settlePasses(writes, notified, 60000, settle, c.cutShort), c.passes);
        EXPECT_FALSE(settle.active);
        EXPECT_FALSE(settle.unread);
    }
    // One write, its pass cut short by a second write 100 ms after the
    // look: the second write gets its full second of standing still.
    Settle settle;
    settle.reference = {true, 10};
    const std::vector<std::uint64_t> passes =
        settlePasses({{0, {true, 11}}, {1100, {true, 12}}}, {0, 1100}, 60000, settle, {1000});
    EXPECT_EQ(passes, (std::vector<std::uint64_t>{1000, 2100}));
}

TEST(Settle, TimeoutUntilADeadline) {
    EXPECT_EQ(timeoutUntil(std::nullopt, 5000), kWaitForever);
    EXPECT_EQ(timeoutUntil(5000, 5000), 0u);
    EXPECT_EQ(timeoutUntil(4000, 5000), 0u);
    EXPECT_EQ(timeoutUntil(6500, 5000), 1500u);
    // Never the platform's INFINITE for a deadline, however far.
    EXPECT_EQ(timeoutUntil(std::uint64_t{1} << 40, 0), kWaitForever - 1);
}

}  // namespace
}  // namespace dormivel
