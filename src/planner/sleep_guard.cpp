#include "planner/sleep_guard.h"

#include <algorithm>

#include "app/text_fit.h"
#include "planner/pass_decision.h"
#include "process/process_text.h"

namespace dormivel {
namespace {

// `prefix`, the title and `suffix`; the title is cut (ending in "...") so
// that the whole stays within `limit` bytes. The fixed words are never cut.
std::string withTitle(std::string_view prefix, std::string_view title, std::string_view suffix, std::size_t limit) {
    const std::size_t fixed = prefix.size() + suffix.size();
    std::string text(prefix);
    text += fitted(title, limit > fixed ? limit - fixed : 0).value_or(std::string());
    text += suffix;
    return text;
}

}  // namespace

std::uint32_t executionStateFor(bool stayAwake, PowerSource source) {
    if (!stayAwake) return kEsContinuous;
    if (source == PowerSource::battery) return kEsContinuous | kEsSystemRequired;
    return kEsContinuous | kEsSystemRequired | kEsAwayModeRequired;
}

FileTime wakeForRecordingAt(FileTime suspendAt, SleepMethod method) {
    return suspendAt + (method == SleepMethod::hibernate ? kHibernateWakeMargin : kSuspendWakeMargin);
}

SleepMethod sleepToExpect(std::optional<bool> s4, std::optional<bool> hiberFile) {
    return s4 == false || hiberFile == false ? SleepMethod::suspend : SleepMethod::hibernate;
}

std::optional<FileTime> wakeToArmAtSuspend(bool keepAwake, std::optional<FileTime> armedDue, FileTime suspendAt,
                                           SleepMethod expected) {
    const FileTime soonest = wakeForRecordingAt(suspendAt, expected);
    if (keepAwake) return soonest;
    if (armedDue && *armedDue > suspendAt && *armedDue < soonest) return soonest;
    return std::nullopt;
}

bool sleepWouldMissWakeUp(std::optional<FileTime> nextWakeUp, FileTime requestAt, SleepMethod method) {
    if (!nextWakeUp) return false;
    const FileTime margin = method == SleepMethod::hibernate ? kHibernateSleepMargin : kSuspendSleepMargin;
    return *nextWakeUp <= requestAt || *nextWakeUp - requestAt < margin;
}

EndSessionAnswer answerEndSessionQuery(bool stayAwake, const RecordingSet& now, const RecordingSet& next,
                                       const ClockTextFormatter& clockText) {
    if (!stayAwake || (now.empty() && next.empty())) return {};
    EndSessionAnswer answer{false, {}};
    if (!now.empty()) {
        // The PC is needed until the last of them ends.
        const auto last = std::max_element(now.begin(), now.end(),
                                           [](const Recording& a, const Recording& b) { return a.stop < b.stop; });
        std::string suffix;
        if (now.size() > 1) suffix = " and " + std::to_string(now.size() - 1) + " more";
        suffix += " until " + clockText(last->stop);
        answer.reason = withTitle("Kalvor is recording ", last->title, suffix, kBlockReasonMaxLength);
    } else {
        const Recording& first = next.front();
        answer.reason =
            withTitle("Kalvor starts recording ", first.title, " at " + clockText(first.start), kBlockReasonMaxLength);
    }
    return answer;
}

std::string_view sessionEndReason(std::uint32_t endSessionFlags) {
    return (endSessionFlags & kEndSessionLogoff) != 0 ? "logoff" : "shutdown";
}

std::string composeWokenAgainBalloon(const RecordingSet& now, const RecordingSet& next) {
    if (!now.empty()) return balloonText("Woken again: Kalvor is recording", now);
    return balloonText("Woken again: Kalvor starts recording soon", next);
}

std::optional<std::wstring> restartCommandLine(std::span<const std::wstring_view> arguments) {
    std::wstring line;
    for (const std::wstring_view argument : arguments) {
        if (!line.empty()) line += L' ';
        line += programCommandLine(argument);
    }
    // The limit counts the terminating zero.
    if (line.size() >= kRestartCommandLineMax) return std::nullopt;
    return line;
}

}  // namespace dormivel
