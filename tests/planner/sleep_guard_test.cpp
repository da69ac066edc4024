#include "planner/sleep_guard.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace dormivel {
namespace {

constexpr FileTime kBase = 134098128000000000ULL;  // 7 December 2026 12:00 UTC
constexpr FileTime kSecond = 10'000'000;

Recording rec(std::string title, std::int64_t start, std::int64_t stop) {
    Recording r;
    r.title = std::move(title);
    r.start = kBase + static_cast<FileTime>(start) * kSecond;
    r.stop = kBase + static_cast<FileTime>(stop) * kSecond;
    return r;
}

// Times as seconds from the base, so the expected texts stay readable.
std::string clock(FileTime t) {
    return "T" + std::to_string((t - kBase) / kSecond);
}

TEST(SleepGuard, ExecutionStateByDecisionAndPowerSource) {
    struct Case {
        bool stayAwake;
        PowerSource source;
        std::uint32_t flags;
    };
    const Case cases[] = {
        {false, PowerSource::mains, 0x80000000U},   {false, PowerSource::battery, 0x80000000U},
        {false, PowerSource::unknown, 0x80000000U}, {true, PowerSource::mains, 0x80000041U},
        {true, PowerSource::unknown, 0x80000041U},  // a desktop that cannot tell
        {true, PowerSource::battery, 0x80000001U},  // never away mode in a bag
    };
    for (const auto& c : cases) {
        EXPECT_EQ(executionStateFor(c.stayAwake, c.source), c.flags)
            << c.stayAwake << " " << static_cast<int>(c.source);
    }
}

TEST(SleepGuard, WakeUpAfterASleepThatCameWhileRecording) {
    EXPECT_EQ(wakeForRecordingAt(kBase, SleepMethod::suspend), kBase + 30 * kSecond);
    EXPECT_EQ(wakeForRecordingAt(kBase, SleepMethod::hibernate), kBase + 60 * kSecond);
}

// The notification does not say which sleep comes: where the machine can
// hibernate, or cannot tell, the wake-up allows for a hibernation.
TEST(SleepGuard, SleepToExpectAtANotification) {
    const std::optional<bool> unknown;
    struct Case {
        std::optional<bool> s4;
        std::optional<bool> hiberFile;
        SleepMethod expected = SleepMethod::suspend;
    };
    const Case cases[] = {
        {true, true, SleepMethod::hibernate},    {unknown, unknown, SleepMethod::hibernate},
        {true, unknown, SleepMethod::hibernate}, {false, true, SleepMethod::suspend},
        {true, false, SleepMethod::suspend},     {false, unknown, SleepMethod::suspend},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(sleepToExpect(c.s4, c.hiberFile), c.expected) << c.s4.value_or(2) << c.hiberFile.value_or(2);
    }
}

// At a suspend: while recording, the soonest wake-up the platform keeps;
// otherwise only an armed wake-up that would fall due on the way down moves
// there. One already past (the timer has fired) or further ahead stays.
TEST(SleepGuard, WakeUpArmedAtASuspend) {
    const std::optional<FileTime> none;
    struct Case {
        const char* name = "";
        bool keepAwake = false;
        std::optional<FileTime> armed;
        SleepMethod expected = SleepMethod::suspend;
        std::optional<FileTime> wake;
    };
    const Case cases[] = {
        {"recording, wake-up far ahead", true, kBase + 3600 * kSecond, SleepMethod::suspend, kBase + 30 * kSecond},
        {"recording, its stop in 10 s", true, kBase + 10 * kSecond, SleepMethod::hibernate, kBase + 60 * kSecond},
        {"recording, nothing armed", true, none, SleepMethod::suspend, kBase + 30 * kSecond},
        {"wake-up 10 s ahead", false, kBase + 10 * kSecond, SleepMethod::suspend, kBase + 30 * kSecond},
        {"wake-up 1 tick ahead", false, kBase + 1, SleepMethod::hibernate, kBase + 60 * kSecond},
        {"wake-up 45 s ahead, hibernating", false, kBase + 45 * kSecond, SleepMethod::hibernate, kBase + 60 * kSecond},
        {"wake-up 45 s ahead, suspending", false, kBase + 45 * kSecond, SleepMethod::suspend, none},
        {"wake-up at the margin", false, kBase + 30 * kSecond, SleepMethod::suspend, none},
        {"wake-up at the notification", false, kBase, SleepMethod::suspend, none},
        {"wake-up past", false, kBase - 60 * kSecond, SleepMethod::suspend, none},
        {"nothing armed", false, none, SleepMethod::hibernate, none},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(wakeToArmAtSuspend(c.keepAwake, c.armed, kBase, c.expected), c.wake) << c.name;
    }
}

TEST(SleepGuard, EndSessionAnswerAndReason) {
    struct Case {
        const char* name;
        bool stayAwake;
        RecordingSet now;
        RecordingSet next;
        bool allow;
        std::string reason;
    };
    const std::string longTitle(300, 'x');
    const Case cases[] = {
        {"nothing to keep awake for", false, {}, {rec("News", 600, 1200)}, true, ""},
        {"recording", true, {rec("Morning News", 0, 1800)}, {}, false, "Kalvor is recording Morning News until T1800"},
        {"two recording: the one that ends last",
         true,
         {rec("A", 0, 1800), rec("B", 0, 3600)},
         {},
         false,
         "Kalvor is recording B and 1 more until T3600"},
        {"lead time begun",
         true,
         {},
         {rec("Morning News", 30, 1800)},
         false,
         "Kalvor starts recording Morning News at T30"},
        {"a stale decision with nothing in it", true, {}, {}, true, ""},
        {"a title too long for the reason",
         true,
         {rec(longTitle, 0, 1800)},
         {},
         false,
         "Kalvor is recording " + std::string(255 - 20 - 12 - 3, 'x') + "... until T1800"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const EndSessionAnswer answer = answerEndSessionQuery(c.stayAwake, c.now, c.next, clock);
        EXPECT_EQ(answer.allow, c.allow);
        EXPECT_EQ(answer.reason, c.reason);
        EXPECT_LE(answer.reason.size(), kBlockReasonMaxLength);
    }
    EXPECT_EQ(sessionEndReason(0), "shutdown");
    EXPECT_EQ(sessionEndReason(0x00000001U), "shutdown");  // ENDSESSION_CLOSEAPP: a restart
    EXPECT_EQ(sessionEndReason(0x80000000U), "logoff");
    EXPECT_EQ(sessionEndReason(0xC0000000U), "logoff");  // a critical sign-out
}

TEST(SleepGuard, WokenAgainBalloonAndRestartCommandLine) {
    EXPECT_EQ(composeWokenAgainBalloon({rec("A", 0, 60), rec("B", 0, 90)}, {rec("C", 100, 200)}),
              "Woken again: Kalvor is recording\nA\nB");
    EXPECT_EQ(composeWokenAgainBalloon({}, {rec("C", 100, 200)}), "Woken again: Kalvor starts recording soon\nC");

    const std::vector<std::wstring_view> args = {L"--leadtime=120", L"--logfile=C:\\My Logs\\log.xml", L"-aR"};
    EXPECT_EQ(restartCommandLine(args), std::wstring(L"\"--leadtime=120\" \"--logfile=C:\\My Logs\\log.xml\" \"-aR\""));
    EXPECT_EQ(restartCommandLine({}), std::wstring());
    const std::wstring huge(1100, L'x');
    const std::vector<std::wstring_view> tooLong = {huge};
    EXPECT_EQ(restartCommandLine(tooLong), std::nullopt);
}

}  // namespace
}  // namespace dormivel
