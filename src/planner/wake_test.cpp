#include "planner/wake_test.h"

#include "planner/late_wake.h"
#include "planner/pass_decision.h"

namespace dormivel {
namespace {

constexpr std::string_view kRefusalStart = "Dormivel cannot test a wake-up now: ";

std::string stayAwakeRefusal(const RecordingSet& recording, const RecordingSet& upcoming,
                             const ClockTextFormatter& clockText) {
    const EndSessionAnswer answer = answerEndSessionQuery(true, recording, upcoming, clockText);
    std::string text(kRefusalStart);
    text += answer.reason.empty() ? std::string("a recording runs or starts soon") : answer.reason;
    text += ", and the PC must stay awake.";
    return text;
}

std::string wakeUpSoonRefusal(FileTime nextWakeUp, const RecordingSet& upcoming, const ClockTextFormatter& clockText) {
    std::string text(kRefusalStart);
    text += "it wakes the PC at " + clockText(nextWakeUp);
    if (!upcoming.empty() && !upcoming.front().title.empty()) text += " for " + upcoming.front().title;
    text += ", less than 5 minutes from now. Try the test again after that recording.";
    return text;
}

// The signed distance from `due` to `at` in whole seconds, toward zero.
std::int64_t secondsFrom(FileTime due, FileTime at) {
    return static_cast<std::int64_t>(at - due) / static_cast<std::int64_t>(kTicksPerSecond);
}

// "at the time set", "4 seconds after the time set", "2 minutes before the
// time set".
std::string relativeToDue(FileTime due, FileTime at) {
    const FileTime distance = at >= due ? at - due : due - at;
    if (distance < kTicksPerSecond) return "at the time set";
    return durationWords(distance) + (at >= due ? " after the time set" : " before the time set");
}

// The problem in a few words: the tray tip's text without the program's
// name before it ("wake-ups are off in the power plan").
std::string_view summaryOf(const WakeHealth& health) {
    constexpr std::string_view kTipStart = "Dormivel: ";
    std::string_view tip = wakeProblemTip(health);
    if (tip.starts_with(kTipStart)) tip.remove_prefix(kTipStart.size());
    return tip;
}

// What to do: the problem's own fix, or where Windows names none (its
// report on the timer, or no problem at all), the firmware's wake-up
// setting, since the machine's own power management is what is left.
std::string fixOf(const WakeHealth& health) {
    if (health.problem != WakeProblem::none && health.problem != WakeProblem::timerIgnored) {
        return describeWakeProblem(health).fix;
    }
    return describeWakeProblem({WakeProblem::firmware, PlanScope::none, SleepMethod::suspend}).fix;
}

// The most likely cause of a PC that did not wake by itself, and its fix.
std::string likelyCause(const WakeHealth& health) {
    if (health.problem == WakeProblem::none) {
        return "Windows reports no problem, so the likely cause is the PC's firmware.\n" + fixOf(health);
    }
    std::string text = "Likely cause: ";
    text += summaryOf(health);
    text += ".\n";
    text += fixOf(health);
    return text;
}

std::string byHandBalloon(FileTime due, FileTime resumedAt, const WakeHealth& health) {
    const FileTime later = resumedAt - due;
    std::string head = "Test wake-up: the PC did not wake by itself (woken by hand ";
    head += later < kTicksPerSecond ? std::string("at the time set") : durationWords(later) + " later";
    head += ").";
    std::string full = head + '\n' + likelyCause(health);
    // Never cut inside a sentence: a cause too long to fit with its fix is
    // left to the tray tip, which names it too.
    if (full.size() <= kBalloonMaxLength) return full;
    if (health.problem == WakeProblem::none) return head;
    std::string shorter = head + "\nLikely cause: ";
    shorter += summaryOf(health);
    shorter += '.';
    return shorter;
}

}  // namespace

WakeTestOffer offerWakeTest(const WakeTest& test, FileTime now, bool stayAwake, std::optional<FileTime> nextWakeUp,
                            const RecordingSet& recording, const RecordingSet& upcoming,
                            const ClockTextFormatter& clockText) {
    if (test.phase != WakeTestPhase::idle && test.phase != WakeTestPhase::reported) {
        return {false, "Dormivel is testing a wake-up already. Its result follows when the PC has woken up."};
    }
    if (stayAwake) return {false, stayAwakeRefusal(recording, upcoming, clockText)};
    if (nextWakeUp && (*nextWakeUp <= now || *nextWakeUp - now < kWakeTestPlanMargin)) {
        return {false, wakeUpSoonRefusal(*nextWakeUp, upcoming, clockText)};
    }
    return {true, std::string(kWakeTestQuestion)};
}

ArmedWake wakeTestArming(FileTime now) {
    return ArmedWake{now + kWakeTestDelay, std::string(), false};
}

WakeTestStep stepWakeTest(const WakeTest& test, WakeTestEvent event, FileTime now) {
    WakeTestStep step{test};
    WakeTest& t = step.test;
    const auto report = [&](bool automatic) {
        t.phase = WakeTestPhase::reported;
        step.report = true;
        step.automatic = automatic;
    };
    switch (t.phase) {
        case WakeTestPhase::requested:
            if (event == WakeTestEvent::suspend) {
                t.phase = WakeTestPhase::asleep;
            } else if (event == WakeTestEvent::requestReturned) {
                t.phase = WakeTestPhase::reported;
                step.noSleep = true;
            }
            break;
        case WakeTestPhase::asleep:
            if (event == WakeTestEvent::resumeAutomatic) {
                t.phase = WakeTestPhase::settling;
                t.resumedAt = now;
                step.startSettle = true;
            } else if (event == WakeTestEvent::resumeByPerson) {
                t.resumedAt = now;
                report(false);
            }
            break;
        case WakeTestPhase::settling:
            if (event == WakeTestEvent::resumeByPerson || event == WakeTestEvent::settledWithPerson) {
                report(false);
            } else if (event == WakeTestEvent::settledAlone || event == WakeTestEvent::suspend) {
                // Asleep again before anybody came: nobody woke it.
                report(true);
            }
            break;
        case WakeTestPhase::reported:
            // Asleep again before a pass ended the test: the next wake is
            // not the test's, and its pass may open a countdown.
            if (event == WakeTestEvent::suspend) t.phase = WakeTestPhase::idle;
            break;
        case WakeTestPhase::idle:
            break;
    }
    return step;
}

bool passHeldByWakeTest(WakeTest& test) {
    if (test.phase == WakeTestPhase::idle) return false;
    if (test.phase == WakeTestPhase::reported) test.phase = WakeTestPhase::idle;
    return true;
}

WakeTestResult judgeWakeTest(FileTime due, FileTime resumedAt, bool automatic, const WakeHealth& health) {
    WakeTestResult result;
    result.lateSeconds = secondsFrom(due, resumedAt);
    const bool early = resumedAt < due;
    if (automatic) {
        if (early) {
            result.outcome = WakeTestOutcome::early;
            result.balloon = "Test wake-up: the PC woke by itself " + relativeToDue(due, resumedAt) +
                             ", so something else woke it (a device, or another program's wake-up).\nTry the "
                             "test again.";
        } else if (resumedAt - due > kLateWakeTolerance) {
            result.outcome = WakeTestOutcome::late;
            result.balloon = "Test wake-up: the PC woke by itself, but " + relativeToDue(due, resumedAt) +
                             ".\nStart Dormivel with a longer lead time (--leadtime), so that it wakes the PC in "
                             "time for each recording.";
        } else {
            result.outcome = WakeTestOutcome::onTime;
            result.balloon =
                "Test wake-up: the PC woke by itself " + relativeToDue(due, resumedAt) + ". Wake-ups work.";
        }
    } else if (early) {
        result.outcome = WakeTestOutcome::byHandEarly;
        result.balloon = "Test wake-up: the PC was woken by hand " + relativeToDue(due, resumedAt) +
                         ", so the test could not tell whether wake-ups work.\nTry again, and leave the PC alone "
                         "for 2 minutes.";
    } else {
        result.outcome = WakeTestOutcome::byHand;
        result.balloon = byHandBalloon(due, resumedAt, health);
    }
    return result;
}

}  // namespace dormivel
