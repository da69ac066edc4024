#include "planner/late_wake.h"

#include "app/text_fit.h"
#include "planner/pass_decision.h"

namespace dormivel {
namespace {

std::string countWords(FileTime count, std::string_view unit) {
    std::string text = std::to_string(count);
    text += ' ';
    text += unit;
    if (count != 1) text += 's';
    return text;
}

}  // namespace

std::optional<LateWake> findLateWake(const std::optional<ArmedWake>& armed, std::optional<FileTime> suspendedAt,
                                     FileTime resumedAt) {
    if (!armed || !suspendedAt) return std::nullopt;
    // Already due at the suspend: the PC was awake for it.
    if (armed->due <= *suspendedAt) return std::nullopt;
    if (resumedAt <= armed->due) return std::nullopt;
    const FileTime lateBy = resumedAt - armed->due;
    if (lateBy <= kLateWakeTolerance) return std::nullopt;
    return LateWake{armed->due, lateBy, armed->title};
}

void noteArming(WakeWatch& watch, const ArmedWake& wake) {
    watch.armed = wake;
}

void noteSuspend(WakeWatch& watch, FileTime suspendedAt) {
    watch.atSuspend = watch.armed;
    watch.suspendedAt = suspendedAt;
}

std::optional<LateWake> noteResume(WakeWatch& watch, FileTime resumedAt) {
    std::optional<LateWake> late = findLateWake(watch.atSuspend, watch.suspendedAt, resumedAt);
    watch.atSuspend.reset();
    watch.suspendedAt.reset();
    return late;
}

std::string durationWords(FileTime ticks) {
    if (ticks < 60 * kTicksPerSecond) return countWords(ticks / kTicksPerSecond, "second");
    const FileTime minutes = ticks / (60 * kTicksPerSecond);
    if (minutes < 60) return countWords(minutes, "minute");
    std::string words = countWords(minutes / 60, "hour");
    if (minutes % 60 != 0) words += ' ' + countWords(minutes % 60, "minute");
    return words;
}

std::string composeLateWakeBalloon(const LateWake& late) {
    std::string text = "The PC woke up " + durationWords(late.lateBy) + " late";
    constexpr std::string_view kFor = " for ";
    if (!late.title.empty() && text.size() + kFor.size() + 1 < kBalloonMaxLength) {
        if (const std::optional<std::string> title =
                fitted(late.title, kBalloonMaxLength - text.size() - kFor.size() - 1)) {
            text += kFor;
            text += *title;
        }
    }
    text += '.';
    return text;
}

}  // namespace dormivel
