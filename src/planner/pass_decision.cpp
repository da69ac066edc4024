#include "planner/pass_decision.h"

#include <algorithm>

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

std::string balloonText(const char* heading, const RecordingSet& set) {
    std::string text = heading;
    for (const Recording& r : set) {
        text += '\n';
        text += r.title;
    }
    if (text.size() > kBalloonMaxLength) text.resize(kBalloonMaxLength);
    return text;
}

void appendBlock(std::string& fragment, const char* element, const RecordingSet& set,
                 const LogStampFormatter& stamp) {
    fragment += "\r\n\t<";
    fragment += element;
    fragment += '>';
    for (const Recording& r : set) {
        fragment += "\r\n\t\t";
        fragment += formatShowElement(r, stamp(r.start), stamp(r.stop));
    }
    fragment += "\r\n\t</";
    fragment += element;
    fragment += '>';
}

}  // namespace

PassDecision decidePass(const RecordingList& list, const PassInput& input, const Options& options,
                        const RecordingSet& previousNow, const RecordingSet& previousNext) {
    PassDecision d;
    selectNowRecordings(list, input.now, options, input.biasMinutes, d.now);
    selectNextRecordings(list, input.now, options, input.biasMinutes, d.next);
    d.nowChanged = !sameRecordingSet(d.now, previousNow);
    d.nextChanged = !sameRecordingSet(d.next, previousNext);

    if (d.nowChanged && !d.now.empty()) {
        d.balloon = balloonText("Kalvor now recording:", d.now);
    } else if (d.nextChanged && d.now.empty() && !d.next.empty()) {
        d.balloon = balloonText("Kalvor next recording:", d.next);
    }

    d.lastWakeTime = input.lastWakeTime;
    if (!d.now.empty()) {
        d.stayAwake = true;
        FileTime earliestStop = d.now.front().stop;
        for (const Recording& r : d.now) earliestStop = std::min(earliestStop, r.stop);
        d.timer = {true, earliestStop, false};
    } else if (!d.next.empty()) {
        const FileTime start = d.next.front().start;
        const FileTime wakeAt = addSeconds(start, -static_cast<std::int64_t>(options.leadTime));
        if (wakeAt > input.now) {
            d.timer = {true, wakeAt, true};
            if (input.logOpen && wakeAt != input.lastWakeTime) {
                d.logWake = true;
                d.lastWakeTime = wakeAt;
            }
        } else {
            d.timer = {true, start, false};
            d.stayAwake = true;
        }
    }
    d.allowSleepChanged = d.stayAwake != input.keepAwake;

    d.mayOfferCountdown = d.now.empty() && !d.stayAwake;
    d.countdownDeadline = addSeconds(input.now, options.warnTime);
    return d;
}

bool countdownWanted(const PassDecision& decision, const Options& options,
                     const std::function<bool()>& resumedAutomatically) {
    return decision.mayOfferCountdown && resumedAutomatically() && !options.noResuspend;
}

std::string composePassFragment(const PassDecision& decision, const PassInput& input,
                                const LogStampFormatter& stamp) {
    std::string fragment;
    if (!input.logOpen) return fragment;
    if (decision.nowChanged) appendBlock(fragment, "NowRecording", decision.now, stamp);
    if (decision.nextChanged) appendBlock(fragment, "NextRecording", decision.next, stamp);
    if (decision.logWake) {
        fragment += "\r\n\t<SetWakeUp time=\"";
        fragment += stamp(decision.timer.due);
        fragment += "\" />";
    }
    if (decision.allowSleepChanged) {
        fragment += decision.stayAwake ? "\r\n\t<SetAllowSleep allow=\"false\" />"
                                       : "\r\n\t<SetAllowSleep allow=\"true\" />";
    }
    if (!fragment.empty()) fragment += "\r\n";
    return fragment;
}

}  // namespace dormivel
