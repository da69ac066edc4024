#include "planner/countdown.h"

#include <gtest/gtest.h>

#include <optional>

#include "planner/sleep_guard.h"

namespace dormivel {
namespace {

constexpr FileTime kNow = 134098128000000000ULL;
constexpr FileTime kSecond = 10'000'000;

TEST(Countdown, Format) {
    struct Case {
        std::int32_t seconds;
        const char* text;
    };
    const Case cases[] = {{59, "0:00:59"},     {3599, "0:59:59"}, {3600, "1:00:00"},    {3725, "1:02:05"},
                          {36000, "10:00:00"}, {1, "0:00:01"},    {359999, "99:59:59"}, {2147483647, "596523:14:07"}};
    for (const auto& c : cases)
        EXPECT_EQ(formatCountdown(c.seconds), c.text) << c.seconds;
}

TEST(Countdown, RemainingSecondsTruncateTowardZero) {
    EXPECT_EQ(remainingSeconds(kNow + 60 * kSecond, kNow), 60);
    EXPECT_EQ(remainingSeconds(kNow + 60 * kSecond - 1, kNow), 59);
    EXPECT_EQ(remainingSeconds(kNow + kSecond - 1, kNow), 0);  // under a second left: expired
    EXPECT_EQ(remainingSeconds(kNow, kNow), 0);
    EXPECT_EQ(remainingSeconds(kNow - kSecond + 1, kNow), 0);  // toward zero, not down
    EXPECT_EQ(remainingSeconds(kNow - 5 * kSecond - 1, kNow), -5);
    // Far beyond 32 bits of seconds either way: clamped, never wrapped.
    EXPECT_EQ(remainingSeconds(1ULL << 62, 0), 2147483647);
    EXPECT_EQ(remainingSeconds(0, 1ULL << 62), -2147483647 - 1);
}

TEST(Countdown, FirstDisplayOfATypicalWarning) {
    // A pass sets the deadline; the window's first tick comes a moment later,
    // so the first text shows one second less than the warning time.
    for (const auto& [warn, first] : {std::pair{60, "0:00:59"}, {3600, "0:59:59"}, {7200, "1:59:59"}}) {
        const FileTime deadline = kNow + static_cast<FileTime>(warn) * kSecond;
        EXPECT_EQ(formatCountdown(remainingSeconds(deadline, kNow + 20'000)), first) << warn;
    }
}

TEST(Countdown, EachTickLooksAgain) {
    struct Case {
        const char* name;
        FileTime now;
        std::int32_t lastShown;
        bool sleepAllowed;
        std::uint32_t eventsNow;  // the countdown opened at 4
        CountdownStep step;
    };
    const FileTime deadline = kNow + 10 * kSecond;
    const Case cases[] = {
        {"first tick", kNow, 0, true, 4, CountdownStep::show},
        {"same second again", kNow + kSecond / 2, 9, true, 4, CountdownStep::none},
        {"a second less", kNow + kSecond, 10, true, 4, CountdownStep::show},
        {"under a second left", deadline - 1, 1, true, 4, CountdownStep::requestSleep},
        {"past the deadline", deadline + kSecond, 1, true, 4, CountdownStep::requestSleep},
        // The decision it was made for is gone: a pass now keeps the
        // computer awake (a recording's lead time began).
        {"stay awake, at the deadline", deadline, 1, false, 4, CountdownStep::closeQuietly},
        {"stay awake, still counting", kNow, 10, false, 4, CountdownStep::closeQuietly},
        // The computer slept and woke since it opened, whatever woke it.
        {"slept since, at the deadline", deadline, 1, true, 6, CountdownStep::closeQuietly},
        {"only a suspend seen", kNow + kSecond, 10, true, 5, CountdownStep::closeQuietly},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const CountdownTickInput tick{deadline, c.now,       c.lastShown,  c.sleepAllowed,
                                      4,        c.eventsNow, std::nullopt, SleepMethod::suspend};
        EXPECT_EQ(decideCountdownTick(tick), c.step);
    }
}

// The countdown's own sleep must not come too close to the next wake-up:
// at least two minutes before it for a suspend, five for a hibernation.
TEST(Countdown, NoSleepIntoTheNextWakeUp) {
    struct Case {
        const char* name = "";
        std::optional<std::int64_t> wakeUpIn;  // seconds after the deadline's tick
        SleepMethod method = SleepMethod::suspend;
        CountdownStep step = CountdownStep::none;
    };
    const Case cases[] = {
        {"no wake-up planned", std::nullopt, SleepMethod::suspend, CountdownStep::requestSleep},
        {"a day away", 86400, SleepMethod::suspend, CountdownStep::requestSleep},
        {"exactly the suspend margin", 120, SleepMethod::suspend, CountdownStep::requestSleep},
        {"a second inside it", 119, SleepMethod::suspend, CountdownStep::closeQuietly},
        {"seconds before the lead time", 5, SleepMethod::suspend, CountdownStep::closeQuietly},
        {"already passed", -30, SleepMethod::suspend, CountdownStep::closeQuietly},
        {"beyond the suspend margin, hibernating", 200, SleepMethod::hibernate, CountdownStep::closeQuietly},
        {"exactly the hibernate margin", 300, SleepMethod::hibernate, CountdownStep::requestSleep},
    };
    const FileTime deadline = kNow + 10 * kSecond;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::optional<FileTime> wakeUp;
        if (c.wakeUpIn) wakeUp = deadline + static_cast<FileTime>(*c.wakeUpIn * std::int64_t{10'000'000});
        const CountdownTickInput tick{deadline, deadline, 1, true, 4, 4, wakeUp, c.method};
        EXPECT_EQ(decideCountdownTick(tick), c.step);
        EXPECT_EQ(sleepWouldMissWakeUp(tick.nextWakeUp, deadline, c.method), c.step == CountdownStep::closeQuietly);
    }
}

}  // namespace
}  // namespace dormivel
