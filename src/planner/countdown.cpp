#include "planner/countdown.h"

#include <cstdio>
#include <limits>

#include "planner/sleep_guard.h"

namespace dormivel {

std::int32_t remainingSeconds(FileTime deadline, FileTime now) {
    // The difference as a signed count of ticks (two's complement of the
    // unsigned difference), then whole seconds toward zero.
    const auto ticks = static_cast<std::int64_t>(deadline - now);
    const std::int64_t seconds = ticks / 10'000'000LL;
    if (seconds > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
    if (seconds < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(seconds);
}

CountdownStep decideCountdownTick(const CountdownTickInput& tick) {
    if (!tick.sleepAllowed || tick.powerEventsNow != tick.powerEventsAtOpen) return CountdownStep::closeQuietly;
    const std::int32_t remaining = remainingSeconds(tick.deadline, tick.now);
    if (remaining <= 0) {
        return sleepWouldMissWakeUp(tick.nextWakeUp, tick.now, tick.method) ? CountdownStep::closeQuietly
                                                                            : CountdownStep::requestSleep;
    }
    return remaining != tick.lastShown ? CountdownStep::show : CountdownStep::none;
}

std::string formatCountdown(std::int32_t seconds) {
    const std::int64_t s = seconds < 0 ? 0 : seconds;
    // At most "596523:14:07" (the largest int32): it always fits.
    char text[32];
    (void)std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(s / 3600),
                        static_cast<long long>((s / 60) % 60), static_cast<long long>(s % 60));
    return text;
}

}  // namespace dormivel
