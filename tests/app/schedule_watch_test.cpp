#include "app/schedule_watch.h"

#include <gtest/gtest.h>

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

// The settle over a scripted sequence of stamps: the first is read when the
// folder changed, the others after each one-second sleep.
TEST(Settle, PassesOnceTheStampStaysPutForASecond) {
    const FileStamp t10{true, 10}, t11{true, 11}, t12{true, 12}, gone{false, 0};
    struct Case {
        const char* name;
        std::vector<FileStamp> stamps;
        int sleeps;
        bool passed;
    };
    const Case cases[] = {
        {"another file of the folder changed", {t10}, 0, false},
        {"one write", {t11, t11}, 1, true},
        {"three writes in a row", {t11, t12, t12}, 2, true},
        {"rewritten back and forth", {t11, t10, t11, t11}, 3, true},
        // Deleted and written again: the gap is a change like any other, and
        // no pass runs while the file is missing unless it stays missing.
        {"deleted, then written again", {gone, t12, t12}, 2, true},
        {"deleted for good", {gone, gone}, 1, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FileStamp reference = t10;
        std::size_t next = 0;
        int sleeps = 0;
        int passes = 0;
        const bool passed = settleAndPass(
            reference,
            [&] {
                return next < c.stamps.size() ? c.stamps[next++] : FileStamp{true, 99};
            },
            [&] { ++sleeps; }, [&] { ++passes; });
        EXPECT_EQ(passed, c.passed);
        EXPECT_EQ(passes, c.passed ? 1 : 0);
        EXPECT_EQ(sleeps, c.sleeps);
        EXPECT_EQ(next, c.stamps.size()) << "stamps read";
        EXPECT_EQ(reference, c.stamps.back());
    }
}

}  // namespace
}  // namespace dormivel
