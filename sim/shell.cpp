// The program as its Win32 layer runs it (schedule_pass_win32.cpp,
// countdown_win32.cpp, main_window_win32.cpp, wake_health_win32.cpp and
// run_application_win32.cpp), with every platform call answered by the
// model. Each function keeps the order of its Win32 namesake and the same
// state; what only draws (the list box, the tray tip) is left out.
#include <algorithm>
#include <string>

#include "app/filetime.h"
#include "eventlog/log_text.h"
#include "planner/countdown.h"
#include "schedule/schedule_reader.h"
#include "sim/sim.h"

namespace dormivel::sim {
namespace {

constexpr FileTime kCountdownTick = 100 * kMs;

SleepMethod methodOf(const Program& p) {
    return p.options.useHibernate ? SleepMethod::hibernate : SleepMethod::suspend;
}

ScheduleClock currentScheduleClock(Sim& sim) {
    Program& p = sim.program;
    const LocalDateTime local = utcToLocalDateTime(sim.now, sim.platformZone);
    if (p.zoneStale || p.zoneYear != local.year) {
        p.zone = sim.platformZone;
        p.zoneYear = local.year;
        p.zoneStale = false;
    }
    ScheduleClock clock{local.year, local.month, p.zone};
    // As the program converted before it knew the zone's rules: by the bias
    // in force at the moment of the read, for every date.
    if (sim.road == ShellRoad::todaysBias) clock.zone = fixedBiasZone(biasAtUtc(p.zone, sim.now));
    return clock;
}

void checkWakeHealth(Sim& sim) {
    Program& p = sim.program;
    const WakeHealth health = assessWakeHealth(wakeFacts(sim, methodOf(p), p.lastResumeArm));
    const WakeHealthReport report = reportWakeHealthChange(p.wakeHealth, health);
    p.wakeHealth = health;
    if (!report.logBody.empty()) note(sim, [&] { return "program logs " + report.logBody; });
    if (!report.balloon.empty()) showBalloon(sim, report.balloon, health.problem != WakeProblem::none);
}

void armWakeTimer(Sim& sim, const ArmedWake& wake) {
    armTimer(sim, wake.due, true);
    if (wake.planned) sim.program.lastResumeArm = classifyResumeArming(true, 0);
    noteArming(sim.program.wake, wake);
}

void applyExecutionState(Sim& sim) {
    Program& p = sim.program;
    const std::uint32_t wanted =
        executionStateFor(p.plan.keepAwake, p.plan.keepAwake ? sim.source : PowerSource::unknown);
    if (wanted == p.executionState) return;
    p.executionState = wanted;
    setExecutionState(sim, wanted);
}

// `opened`: the bytes of the file start-up opened, read by the first pass.
bool readIntoPlan(Sim& sim, const ScheduleClock& clock, const std::string* opened) {
    Program& p = sim.program;
    RecordingList list;
    std::string bytes = opened != nullptr ? *opened : std::string();
    ScheduleAccess access = opened != nullptr ? ScheduleAccess::read : readScheduleBytes(sim, bytes);
    if (access == ScheduleAccess::read && readSchedule(list, bytes, clock) == ReadStatus::readError) {
        access = ScheduleAccess::failed;
    }
    if (access == ScheduleAccess::read && !scheduleStandsStill(scheduleStamp(sim), p.settledStamp, sim.now)) {
        access = ScheduleAccess::changing;
    }
    const ScheduleReadStep step = onScheduleRead(p.scheduleRead, access, tickMs(sim));
    if (step.logFailure) note(sim, [&] { return "program logs " + formatScheduleReadError(step.reason); });
    if (step.useRecordings) {
        p.recordings = std::move(list);
        p.recordingsRead = true;
    }
    return p.recordingsRead;
}

void closeCountdown(Sim& sim, std::uint32_t id) {
    auto& cs = sim.program.countdowns;
    cs.erase(std::remove_if(cs.begin(), cs.end(), [id](const Countdown& c) { return c.id == id; }), cs.end());
}

std::string setText(const RecordingSet& set) {
    std::string text;
    for (const Recording& r : set)
        text += (text.empty() ? "" : ", ") + r.title;
    return "{" + text + "}";
}

void runSchedulePass(Sim& sim, const std::string* opened = nullptr) {
    Program& p = sim.program;
    const ScheduleClock clock = currentScheduleClock(sim);
    if (!readIntoPlan(sim, clock, opened)) return;

    PassInput input;
    input.now = sim.now;
    input.zone = clock.zone;
    input.keepAwake = p.plan.keepAwake;
    input.lastWakeTime = p.plan.lastWakeTime;
    input.logOpen = true;
    const PassDecision decision = decidePass(p.recordings, input, p.options, p.plan.previousNow, p.plan.previousNext);
    applyPassDecision(p.plan, decision);
    const TimerArming& arming = decision.timer;
    note(sim, [&] {
        return "pass: now " + setText(decision.now) + " next " + setText(decision.next) +
               (arming.arm ? ", timer " + localStamp(sim, arming.due) + (arming.resume ? " with resume" : "") : "") +
               (decision.stayAwake ? ", stay awake" : ", sleep allowed");
    });

    if (arming.arm) armWakeTimer(sim, ArmedWake{arming.due, arming.title, arming.purpose == ArmingPurpose::wakeUp});
    applyExecutionState(sim);
    if (decision.stayAwake && !p.countdowns.empty()) {
        note(sim, "program closes its countdowns");
        p.countdowns.clear();
    }

    if (countdownWanted(decision, p.options, [&sim] { return resumedAutomatically(sim); })) {
        const Countdown c{p.nextCountdown++, decision.countdownDeadline, 0, p.power.powerEvents, sim.now};
        p.countdowns.push_back(c);
        note(sim, [&] { return "program opens a countdown to " + localStamp(sim, c.deadline); });
        // The first tick runs inside the creation; a person may press Cancel.
        tickCountdown(sim, c.id);
        if (sim.present && chance(sim.rng, 0.5)) {
            offerCancel(sim, c.id, sim.now + uniform(sim.rng, 2 * kSecond, 20 * kSecond));
        }
    }
    if (arming.arm && arming.purpose == ArmingPurpose::wakeUp) checkWakeHealth(sim);
}

// A sleep came while the PC must stay awake, or just before the armed
// wake-up: the timer wakes the PC again soon after.
void armWakeAtSuspend(Sim& sim, bool forRecording) {
    Program& p = sim.program;
    const WakeFacts facts = wakeFacts(sim, methodOf(p), p.lastResumeArm);
    const std::optional<ArmedWake>& armed = p.wake.armed;
    const std::optional<FileTime> due =
        wakeToArmAtSuspend(forRecording, armed ? std::optional<FileTime>(armed->due) : std::nullopt, sim.now,
                           sleepToExpect(facts.s4, facts.hiberFile));
    if (!due) return;
    if (!forRecording && armed) {
        armWakeTimer(sim, ArmedWake{*due, armed->title, armed->planned});
        return;
    }
    const RecordingSet& set = p.plan.previousNow.empty() ? p.plan.previousNext : p.plan.previousNow;
    armWakeTimer(sim, ArmedWake{*due, set.empty() ? std::string() : set.front().title, false});
}

// A look at the file's stamp, when the folder changed or at the settle's
// deadline; a settled change asks for a pass over the stamp looked at.
void lookAtStamp(Sim& sim, std::uint64_t nowMs) {
    Program& p = sim.program;
    const SettleStep step = settleLook(p.settle, scheduleStamp(sim), nowMs);
    p.settleLookAt = step.lookAtMs;
    if (step.pass) {
        p.passRequested = true;
        p.settledStamp = p.settle.reference;
    }
}

// One pass at a time, and one asked for while another runs after it.
void runRequestedPasses(Sim& sim) {
    Program& p = sim.program;
    if (p.passRunning) return;
    p.passRunning = true;
    while (p.passRequested) {
        p.passRequested = false;
        runSchedulePass(sim);
    }
    p.passRunning = false;
}

}  // namespace

void powerBroadcast(Sim& sim, std::uint32_t code) {
    Program& p = sim.program;
    const PowerStep step = respondToPowerEvent(p.power, p.plan.keepAwake, code);
    p.power = step.flags;
    const PowerActions& actions = step.actions;
    if (actions.refuseQuery) return;
    if (actions.logSuspend) {
        armWakeAtSuspend(sim, actions.armWakeForRecording);
        note(sim, "program logs <SystemSuspend />");
        if (actions.armWakeForRecording && p.wake.armed) {
            note(sim, [&] {
                return "program logs <WakeUpForRecording time=\"" + localStamp(sim, p.wake.armed->due) + "\" />";
            });
        }
        noteSuspend(p.wake, sim.now);
    }
    if (actions.logResume) note(sim, "program logs <SystemResume />");
    if (actions.showWokenAgain)
        showBalloon(sim, composeWokenAgainBalloon(p.plan.previousNow, p.plan.previousNext), false);
    if (actions.resumed) {
        if (const std::optional<LateWake> late = noteResume(p.wake, sim.now)) {
            showBalloon(sim, composeLateWakeBalloon(*late), true);
        }
    }
    if (actions.resumed || actions.powerSourceChanged) {
        applyExecutionState(sim);
        checkWakeHealth(sim);
    }
    if (code == kPowerResumeAutomatic || code == kPowerResumeSuspend || code == kPowerResumeCritical) {
        p.passRequested = true;
    }
}

void timeChanged(Sim& sim) {
    sim.program.passRequested = sim.program.zoneStale = true;
}

void timerFired(Sim& sim) {
    sim.program.passRequested = true;
    runRequestedPasses(sim);
}

void cancelCountdown(Sim& sim, std::uint32_t id) {
    const auto& cs = sim.program.countdowns;
    if (std::none_of(cs.begin(), cs.end(), [id](const Countdown& c) { return c.id == id; })) return;
    note(sim, "person cancels the countdown");
    tally(sim, "countdowns cancelled");
    closeCountdown(sim, id);
}

void sleepRequestDone(Sim& sim) {
    sim.program.power.ownSleepRequested = false;
}

void methodChanged(Sim& sim) {
    Program& p = sim.program;
    p.options.useHibernate = !p.options.useHibernate;
    note(sim, p.options.useHibernate ? "person chooses hibernate" : "person chooses suspend");
    checkWakeHealth(sim);
}

void tickCountdown(Sim& sim, std::uint32_t id) {
    Program& p = sim.program;
    const auto it =
        std::find_if(p.countdowns.begin(), p.countdowns.end(), [id](const Countdown& c) { return c.id == id; });
    if (it == p.countdowns.end()) return;
    Countdown& c = *it;
    const SleepMethod method = methodOf(p);
    const CountdownTickInput input{
        c.deadline,          sim.now,           c.lastShown, !p.plan.keepAwake, c.powerEventsAtOpen,
        p.power.powerEvents, p.plan.nextWakeUp, method};
    const std::int32_t remaining = remainingSeconds(input.deadline, input.now);
    const CountdownStep step = decideCountdownTick(input);
    if (step == CountdownStep::show) c.lastShown = remaining;
    if (step == CountdownStep::requestSleep) {
        note(sim, "program logs Next suspend caused by Dormivel.");
        closeCountdown(sim, id);
        // The next wake-up, and whether a pass kept the PC awake, once more
        // after the applications were closed.
        if (!p.plan.keepAwake && !sleepWouldMissWakeUp(p.plan.nextWakeUp, sim.now, method)) {
            p.power.ownSleepRequested = true;
            requestOwnSleep(sim, method);
        }
        return;
    }
    if (step == CountdownStep::closeQuietly) {
        note(sim, "countdown closes quietly");
        closeCountdown(sim, id);
        return;
    }
    // The window timer ticks every 100 ms; ticks that could only redraw the
    // clock are left out: one a second, every one in the last two seconds.
    const FileTime elapsed = sim.now - c.openedAt;
    const FileTime next = c.openedAt + (elapsed / kCountdownTick + (remaining > 2 ? 10 : 1)) * kCountdownTick;
    at(sim, next, [&sim, id] { deliver(sim, [&sim, id] { tickCountdown(sim, id); }); });
}

void startProgram(Sim& sim) {
    Program& p = sim.program;
    const std::uint32_t instance = p.instance + 1;
    p = Program{};
    p.instance = instance;
    p.options = sim.options;
    std::string opened;
    if (readScheduleBytes(sim, opened) != ScheduleAccess::read) {
        // "Unable to open schedule file.": the program does not start.
        note(sim, "program refuses to start: the schedule cannot be opened");
        sim.notRunning = NotRunning::refused;
        return;
    }
    p.running = true;
    sim.notRunning = NotRunning::no;
    note(sim, "program starts");
    sim.registeredForRestart = true;  // RegisterApplicationRestart, with the same options
    p.settle.reference = scheduleStamp(sim);
    runSchedulePass(sim, &opened);
    if (!p.wakeHealth) checkWakeHealth(sim);
    serve(sim);
}

void stopProgram(Sim& sim) {
    if (!sim.program.running) return;
    note(sim, "program ends");
    sim.program.running = false;
    sim.program.countdowns.clear();
    sim.program.messages.clear();
    sim.timer = {};
    ++sim.timerGen;
    sim.executionState = 0;
}

bool allowEndSession(Sim& sim) {
    const Program& p = sim.program;
    const EndSessionAnswer answer = answerEndSessionQuery(p.plan.keepAwake, p.plan.previousNow, p.plan.previousNext,
                                                          [&sim](FileTime utc) { return localStamp(sim, utc); });
    if (!answer.allow) note(sim, [&] { return "program refuses the shutdown: " + answer.reason; });
    return answer.allow;
}

void deliver(Sim& sim, std::function<void()> message) {
    if (!sim.program.running) return;
    sim.program.messages.push_back(std::move(message));
    serve(sim);
}

void serve(Sim& sim) {
    Program& p = sim.program;
    const std::uint32_t instance = p.instance;
    while (p.running && p.instance == instance && (sim.power == Sim::Power::awake || sim.power == Sim::Power::away)) {
        const std::uint64_t nowMs = tickMs(sim);
        if (p.settleLookAt && *p.settleLookAt <= nowMs) lookAtStamp(sim, nowMs);
        if (waitTimeoutMs(p.scheduleRead, nowMs) == 0) p.passRequested = true;
        if (p.passRequested) {
            runRequestedPasses(sim);
            p.settleLookAt = settleAfterPass(p.settle, p.scheduleRead.changing, tickMs(sim)).lookAtMs;
            continue;
        }
        if (sim.changeSignalled) {
            sim.changeSignalled = false;  // FindNextChangeNotification, before the look
            lookAtStamp(sim, nowMs);
            continue;
        }
        if (!p.messages.empty()) {
            // Every message waiting, then the wait again.
            while (!p.messages.empty() && p.running && p.instance == instance) {
                const std::function<void()> message = std::move(p.messages.front());
                p.messages.pop_front();
                message();
            }
            continue;
        }
        const std::uint64_t timeout =
            std::min(waitTimeoutMs(p.scheduleRead, nowMs), timeoutUntil(p.settleLookAt, nowMs));
        const FileTime due = sim.now + timeout * kMs;
        if (timeout != kWaitForever && p.wakeDue != due) {
            p.wakeDue = due;
            at(sim, due, [&sim, gen = ++sim.programWakeGen] {
                if (gen != sim.programWakeGen) return;
                sim.program.wakeDue = 0;
                serve(sim);
            });
        }
        return;
    }
}

}  // namespace dormivel::sim
