#include "planner/pass_decision.h"

#include <algorithm>
#include <vector>

#include "eventlog/log_text.h"
#include "planner/selection.h"

namespace dormivel {
namespace {

// Signed seconds as ticks, added to a tick count with the wrap-around of
// unsigned 64-bit arithmetic.
FileTime addSeconds(FileTime t, std::int64_t seconds) {
    const std::int64_t delta = seconds * 10'000'000LL;
    return t + static_cast<std::uint64_t>(delta);
}

std::vector<std::string> showElements(const RecordingSet& set, const LogStampFormatter& stamp) {
    std::vector<std::string> elements;
    elements.reserve(set.size());
    for (const Recording& r : set)
        elements.push_back(formatShowElement(r, stamp(r.start), stamp(r.stop)));
    return elements;
}

}  // namespace

std::string balloonText(std::string_view heading, const RecordingSet& set) {
    std::string text(heading);
    for (const Recording& r : set) {
        text += '\n';
        text += r.title;
    }
    if (text.size() > kBalloonMaxLength) text.resize(kBalloonMaxLength);
    return text;
}

PassDecision decidePass(const RecordingList& list, const PassInput& input, const Options& options,
                        const RecordingSet& previousNow, const RecordingSet& previousNext) {
    PassDecision d;
    selectNowRecordings(list, input.now, options, input.zone, d.now);
    selectNextRecordings(list, input.now, options, input.zone, d.next);
    d.nowChanged = !sameRecordingSet(d.now, previousNow);
    d.nextChanged = !sameRecordingSet(d.next, previousNext);

    if (d.nowChanged && !d.now.empty()) {
        d.balloon = balloonText("Kalvor now recording:", d.now);
    } else if (d.nextChanged && d.now.empty() && !d.next.empty()) {
        d.balloon = balloonText("Kalvor next recording:", d.next);
    }

    d.lastWakeTime = input.lastWakeTime;
    if (!d.next.empty()) {
        d.nextWakeUp = addSeconds(d.next.front().start, -static_cast<std::int64_t>(options.leadTime));
    }
    if (!d.now.empty()) {
        d.stayAwake = true;
        const Recording* earliest = &d.now.front();
        for (const Recording& r : d.now) {
            if (r.stop < earliest->stop) earliest = &r;
        }
        d.timer = {true, earliest->stop, true, ArmingPurpose::stop, earliest->title};
    } else if (!d.next.empty()) {
        const Recording& first = d.next.front();
        const FileTime wakeAt = *d.nextWakeUp;
        if (wakeAt > input.now) {
            d.timer = {true, wakeAt, true, ArmingPurpose::wakeUp, first.title};
            if (input.logOpen && wakeAt != input.lastWakeTime) {
                d.logWake = true;
                d.lastWakeTime = wakeAt;
            }
        } else {
            d.timer = {true, first.start, true, ArmingPurpose::start, first.title};
            d.stayAwake = true;
        }
    }
    d.allowSleepChanged = d.stayAwake != input.keepAwake;

    d.countdownDeadline = addSeconds(input.now, options.warnTime);
    return d;
}

void applyPassDecision(PassCarry& carry, const PassDecision& decision) {
    if (decision.nowChanged) carry.previousNow = decision.now;
    if (decision.nextChanged) carry.previousNext = decision.next;
    carry.keepAwake = decision.stayAwake;
    carry.lastWakeTime = decision.lastWakeTime;
    carry.nextWakeUp = decision.nextWakeUp;
}

bool countdownWanted(const PassDecision& decision, const Options& options,
                     const std::function<bool()>& resumedAutomatically) {
    return !decision.stayAwake && resumedAutomatically() && !options.noResuspend;
}

std::string composePassFragment(const PassDecision& decision, const PassInput& input, const LogStampFormatter& stamp) {
    std::string fragment;
    if (!input.logOpen) return fragment;
    if (decision.nowChanged) fragment += formatNowRecordingBlock(showElements(decision.now, stamp));
    if (decision.nextChanged) fragment += formatNextRecordingBlock(showElements(decision.next, stamp));
    if (decision.logWake) fragment += formatSetWakeUpLine(stamp(decision.timer.due));
    if (decision.allowSleepChanged) fragment += setAllowSleepLine(!decision.stayAwake);
    if (!fragment.empty()) fragment += "\r\n";
    return fragment;
}

}  // namespace dormivel
