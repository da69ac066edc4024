#include "ui/wake_test_win32.h"

#include <string>

#include "app/clock_win32.h"
#include "eventlog/event_log_win32.h"
#include "eventlog/log_text.h"
#include "planner/countdown_win32.h"
#include "planner/schedule_pass_win32.h"
#include "planner/wake_health_win32.h"
#include "process/process_control_win32.h"
#include "ui/power_events.h"
#include "ui/tray_icon_win32.h"

namespace dormivel {
namespace {

SleepMethod chosenMethod(const AppState& state) {
    return state.options.useHibernate ? SleepMethod::hibernate : SleepMethod::suspend;
}

WakeTestOffer currentOffer(AppState& state) {
    const TimeZone zone = currentScheduleClock(state).zone;
    return offerWakeTest(state.wakeTest, currentFileTime(), state.plan.keepAwake, state.plan.nextWakeUp,
                         state.plan.previousNow, state.plan.previousNext,
                         [&zone](FileTime utc) { return tipWakeUp(utc, "", zone).time; });
}

// The texts are 8-bit like the titles they may hold; the platform widens
// them in the ANSI code page, as the balloons are.
void tellWhy(HWND window, const std::string& text) {
    MessageBoxA(window, text.c_str(), "Dormivel", MB_OK | MB_ICONINFORMATION);
}

void carryOut(HWND window, AppState& state, const WakeTestStep& step) {
    state.wakeTest = step.test;
    if (step.startSettle) SetTimer(window, kWakeTestSettleTimer, kWakeTestSettleMs, nullptr);
    if (step.report) {
        KillTimer(window, kWakeTestSettleTimer);
        const WakeTest& test = step.test;
        // The machine as it is now, judged with the test's own arming.
        const WakeHealth health = assessWakeHealth(readWakeFacts(chosenMethod(state), test.arm));
        const WakeTestResult result = judgeWakeTest(test.due, test.resumedAt, step.automatic, health);
        const std::string woke = formatLogTimestampUtc(test.resumedAt, currentScheduleClock(state).zone);
        appendEvent(state.logFile, formatWakeTestResult(woke, result.lateSeconds, step.automatic));
        showTrayBalloon(state.mainWindow, result.balloon);
    }
    if (step.noSleep) showTrayBalloon(state.mainWindow, kWakeTestNoSleepBalloon);
    // The test's arming replaced the plan's wake-up: a pass arms it again
    // now rather than when the test's timer falls due.
    if (step.report || step.noSleep) state.passRequested = true;
}

void follow(HWND window, AppState& state, WakeTestEvent event) {
    if (state.wakeTest.phase == WakeTestPhase::idle) return;
    const WakeTestPhase before = state.wakeTest.phase;
    const WakeTestStep step = stepWakeTest(state.wakeTest, event, currentFileTime());
    if (before == WakeTestPhase::asleep && step.test.phase != WakeTestPhase::asleep) {
        // The test's result says how late its wake-up came.
        state.wake.atSuspend.reset();
        state.wake.suspendedAt.reset();
    }
    carryOut(window, state, step);
}

}  // namespace

void offerWakeTest(HWND window, AppState& state) {
    WakeTestOffer offer = currentOffer(state);
    if (!offer.allowed) {
        tellWhy(window, offer.text);
        return;
    }
    if (MessageBoxA(window, offer.text.c_str(), "Dormivel", MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES) {
        return;
    }
    // The same road as a countdown's own sleep: the listed applications go
    // before the request, since the suspend notification comes too late for
    // a polite close.
    terminateApplications(state.options.terminateList, state.logFile);
    // The question may have stood open for long, and closing them may take
    // seconds: a pass meanwhile may have changed the plan.
    offer = currentOffer(state);
    if (!offer.allowed) {
        tellWhy(window, offer.text);
        return;
    }
    const ArmedWake wake = wakeTestArming(currentFileTime());
    const WakeArmResult armed = armWakeTimer(state, wake);
    if (armed == WakeArmResult::failed) {
        // A sleep without a wake-up could cost the next recording.
        state.passRequested = true;
        tellWhy(window, std::string(kWakeTestTimerFailedText));
        return;
    }
    state.wakeTest = WakeTest{WakeTestPhase::requested, wake.due, 0, armed};
    appendEvent(state.logFile, formatWakeTest(formatLogTimestampUtc(wake.due, currentScheduleClock(state).zone)));
    refreshTrayTip(state);
    startSleepRequest(state);
}

void followWakeTestBroadcast(HWND window, AppState& state, std::uint32_t code) {
    switch (code) {
        case kPowerSuspend:
            follow(window, state, WakeTestEvent::suspend);
            break;
        case kPowerResumeAutomatic:
        case kPowerResumeCritical:
            follow(window, state, WakeTestEvent::resumeAutomatic);
            break;
        case kPowerResumeSuspend:
            follow(window, state, WakeTestEvent::resumeByPerson);
            break;
        default:
            break;
    }
}

void endWakeTestSettle(HWND window, AppState& state) {
    KillTimer(window, kWakeTestSettleTimer);
    // Windows keeps saying the resume was automatic until somebody uses the
    // PC; a person whose resume notification is still on its way shows here.
    follow(window, state,
           IsSystemResumeAutomatic() != FALSE ? WakeTestEvent::settledAlone : WakeTestEvent::settledWithPerson);
}

void followWakeTestRequestReturned(HWND window, AppState& state) {
    follow(window, state, WakeTestEvent::requestReturned);
}

}  // namespace dormivel
