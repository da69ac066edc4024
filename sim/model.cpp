// The model: the machine and Windows' power management, the wake timer, the
// clock and the zone, Kalvor writing its schedule, and the people; and the
// accounting of every second of a recording that the machine was down for.
//
// Where Windows' documentation leaves a case open the model takes the one
// that is harder for the program: a wake timer that falls due while the
// machine is still entering sleep wakes nothing (it is signalled at the next
// wake), a read during an in-place write sees any prefix of the new file,
// Windows Update's restart cannot be refused, and a sleep nobody asked the
// program about (the Sleep button, the lid, another program) always goes
// through.
#include <algorithm>
#include <cstdio>
#include <utility>

#include "app/filetime.h"
#include "planner/selection.h"
#include "sim/sim.h"
#include "support/schedule_text.h"

namespace dormivel::sim {
namespace {

using Power = Sim::Power;

// The event heap's order: soonest first, and in the order scheduled.
bool later(const Event& a, const Event& b) {
    return a.at != b.at ? a.at > b.at : a.seq > b.seq;
}

// How long entering sleep takes at most, from the suspend notification until
// the machine is down (a hibernation writes all of a large memory first).
constexpr FileTime kMaxEntrySuspend = 30 * kSecond;
constexpr FileTime kMaxEntryHibernate = 60 * kSecond;
constexpr FileTime kUnattendedIdle = 2 * kMinute;  // Windows' timer after an automatic wake
// How long a version of the schedule must stand readable before the program
// can be expected to have read it (the settle and its cap, with room).
constexpr FileTime kKnowDelay = 15 * kSecond;
constexpr FileTime kOpen = ~FileTime{0};
constexpr FileTime kLateTolerance = 2 * kMinute;
// An in-place write takes at most this long, and changes the file's stamp as
// it starts and as it ends.
constexpr FileTime kMaxWriteWindow = 500 * kMs;

constexpr Cause kPersonSleep{false, "after a person's sleep, until the earliest wake-up again"};
constexpr Cause kOtherSleep{false, "after another program's sleep, until the earliest wake-up again"};
constexpr Cause kWindowsSleep{false, "after Windows' own sleep before the lead time, until the earliest wake-up again"};
constexpr Cause kNotScheduled{false,
                              "not in the schedule in time (written late, or hidden by a line that does not parse)"};
constexpr Cause kNotRunning{false, "the program was not running"};
constexpr Cause kNotStarted{false, "the program did not start: its schedule could not be opened (it said so)"};
constexpr Cause kShutDown{false, "the machine was shut down"};
constexpr Cause kUpdateRestart{false, "an update restart"};
constexpr Cause kCannotWake{false, "the machine cannot wake"};
constexpr Cause kOwnSleep{true, "the program's own sleep request during a recording or its lead time"};
constexpr Cause kIdleSleep{true, "Windows' idle sleep during a recording or its lead time (the program allowed it)"};
constexpr Cause kUnattendedSleep{true, "Windows' sleep two minutes after an automatic wake (the program allowed it)"};
constexpr Cause kAwayEnded{true, "away mode ended during a recording or its lead time"};
constexpr Cause kShutdownAllowed{true, "a shutdown the program did not refuse"};
constexpr Cause kNotRestarted{true, "not started again after an update restart"};
constexpr Cause kNoResumeTimer{true, "no wake-up armed with resume"};
constexpr Cause kDueBeforeAsleep{true, "the wake-up fell due before the machine was asleep"};
constexpr Cause kWokeLate{true, "the wake-up armed for too late a time"};
constexpr Cause kLateUnreported{true, "a late wake-up the program did not report"};

constexpr Initiator kByPerson{"the person", "sleeps by people", kPersonSleep, std::nullopt, std::nullopt};
constexpr Initiator kByOtherProgram{"another program", "sleeps by other programs", kOtherSleep, std::nullopt,
                                    std::nullopt};
constexpr Initiator kByCountdown{"the countdown", "sleeps by the program", std::nullopt, kOwnSleep, std::nullopt};
// Windows' own sleep before the lead time is allowed, as it should be
// (preventing it would mean keeping every PC awake).
constexpr Initiator kByIdle{"Windows (idle)", "sleeps by Windows", kWindowsSleep, kIdleSleep, std::nullopt};
constexpr Initiator kByUnattended{"Windows (2 minutes after a wake)", "sleeps by Windows", kWindowsSleep,
                                  kUnattendedSleep, std::nullopt};
constexpr Initiator kByAwayEnded{"Windows (away mode ended)", "sleeps by Windows", std::nullopt, kAwayEnded,
                                 std::nullopt};
constexpr Initiator kByShutdown{"a shutdown", "", std::nullopt, kShutdownAllowed, kShutDown};
constexpr Initiator kByUpdate{"an update restart", "", std::nullopt, std::nullopt, kUpdateRestart};

// --- the clock and the zones

// The wall clock, converted as Windows converts it with the zone's rules
// (the program's own conversion of the zone it reads).
FileTime toLocal(const Sim& s, FileTime utc) {
    return utc -
           static_cast<FileTime>(std::int64_t{biasAtUtc(s.platformZone, utc)} * static_cast<std::int64_t>(kMinute));
}

// The zone as GetTimeZoneInformation gives it: UTC, Berlin, New York or
// Sydney.
TimeZone drawZone(Rng& rng) {
    const auto on = [](int month, int week, int hour) {
        ZoneDate d;
        d.month = static_cast<std::uint16_t>(month);
        d.day = static_cast<std::uint16_t>(week);
        d.hour = static_cast<std::uint16_t>(hour);
        return d;
    };
    const ZoneRules rules[] = {{},
                               {-60, 0, -60, on(10, 5, 3), on(3, 5, 2)},
                               {300, 0, -60, on(11, 1, 2), on(3, 2, 2)},
                               {-600, 0, -60, on(4, 1, 3), on(10, 1, 2)}};
    TimeZone z;
    z.rules = rules[uniform(rng, 0, 4)];
    return z;
}

FileTime nightAfter(Sim& s, FileTime after) {
    const FileTime local = toLocal(s, after);
    const FileTime midnight = local - local % kDay + kDay;
    return midnight + uniform(s.rng, 2 * kHour, 5 * kHour) - (local - after);
}

// --- what the program should act on, and what it could know

// The first recording that may still run at `t` (none is longer than four
// hours).
std::vector<TrueRecording>::const_iterator runningFrom(const Sim& s, FileTime t) {
    return std::lower_bound(s.recordings.begin(), s.recordings.end(), t - 5 * kHour,
                            [](const TrueRecording& r, FileTime at) { return r.rec.start < at; });
}

bool knownAt(const TrueRecording& r, FileTime at) {
    return std::any_of(r.shown.begin(), r.shown.end(),
                       [at](const auto& span) { return span.first <= at && at < span.second; });
}

bool awakeOrAway(const Sim& s) {
    return s.power == Power::awake || s.power == Power::away;
}

bool canWake(const Sim& s) {
    const WakeTimerSetting setting = s.source == PowerSource::battery ? s.profile.battery : s.profile.pluggedIn;
    return setting == WakeTimerSetting::on && s.profile.firmwareWakes;
}

// --- accounting

void addLoss(Sim& s, Cause cause, FileTime ticks, const TrueRecording& r, FileTime from) {
    (cause.avoidable ? s.totals.avoidable : s.totals.unavoidable)[cause.text] += ticks;
    const bool traced = s.traceCause.empty() ? cause.avoidable : std::string(cause.text).find(s.traceCause) == 0;
    if (!traced || s.totals.first) return;
    s.totals.first = FirstLoss{s.life, cause.text, r.rec.title};
    if (!s.tracing) return;
    addNote(s, "LOST " + std::to_string(ticks / kSecond) + " s of " + r.rec.title + " from " + localStamp(s, from) +
                   ": " + cause.text);
    s.trace.assign(s.recent.begin(), s.recent.end());
    s.tracing = false;
}

// The sleep came while the recording ran or its lead time had begun.
bool inLeadMargin(const Sim& s, const Episode& ep, const TrueRecording& r) {
    return ep.from + static_cast<FileTime>(s.options.leadTime) * kSecond >= r.rec.start;
}

// Until the soonest wake-up the platform keeps, the seconds a sleep takes are
// lost whoever asked for it: for a sleep nobody can refuse, and for Windows'
// own sleep before the lead time.
std::optional<Cause> beforeTheEarliestWake(const Sim& s, const Episode& ep, const TrueRecording& r) {
    return ep.by->inMargin && inLeadMargin(s, ep, r) ? std::nullopt : ep.by->early;
}

Cause classify(const Sim& s, const Episode& ep, const TrueRecording& r) {
    if (!knownAt(r, ep.from)) return kNotScheduled;
    const Cause notRunning[] = {{}, kNotRunning, kNotStarted, kNotRestarted};
    if (ep.program != NotRunning::no) return notRunning[static_cast<int>(ep.program)];
    const bool inMargin = inLeadMargin(s, ep, r);
    if (inMargin && ep.by->inMargin && !ep.refused) return *ep.by->inMargin;
    if (ep.by->whenever) return *ep.by->whenever;
    // Down when it was allowed to be, or by somebody the program could not
    // refuse: the wake timer should have woken it in time.
    if (!ep.timer.pending || !ep.timer.resume) return kNoResumeTimer;
    if (ep.timer.due <= ep.asleepAt) return kDueBeforeAsleep;
    if (!ep.canWake) return ep.lateUnreported ? kLateUnreported : kCannotWake;
    return kWokeLate;
}

void endDown(Sim& s) {
    if (!s.down) return;
    const Episode ep = *s.down;
    s.down.reset();
    for (auto it = runningFrom(s, ep.from); it != s.recordings.end() && it->rec.start < s.now; ++it) {
        const TrueRecording& r = *it;
        // A recording that ended before the clock was set back is over.
        if (!r.eligible || r.rec.stop <= ep.highWater) continue;
        FileTime a = std::max(r.rec.start, ep.from);
        const FileTime b = std::min(r.rec.stop, s.now);
        if (a >= b) continue;
        const std::optional<Cause> early = beforeTheEarliestWake(s, ep, r);
        if (early && a < ep.unavoidableUntil) {
            const FileTime m = std::min(b, ep.unavoidableUntil);
            addLoss(s, *early, m - a, r, a);
            a = m;
        }
        if (a < b) addLoss(s, classify(s, ep, r), b - a, r, a);
    }
}

// --- the machine

void requestSleep(Sim& s, const Initiator& by, SleepMethod state);

void scheduleIdle(Sim& s) {
    const std::uint64_t gen = ++s.idleGen;
    if (s.power != Power::awake || (s.executionState & kEsSystemRequired) != 0) return;
    // A wake, input, and the end of ES_SYSTEM_REQUIRED each reset the idle
    // timer; after an automatic wake the unattended timer applies instead.
    FileTime due = std::max({s.lastInput, s.requiredUntil, s.wokeAt}) + s.profile.idleTimeout;
    if (s.automaticWake) due = std::max(s.wokeAt, s.requiredUntil) + kUnattendedIdle;
    // Windows looks at idleness about once a second.
    at(s, std::max(due, s.now) + uniform(s.rng, 0, kSecond), [&s, gen] {
        if (gen != s.idleGen || s.power != Power::awake || (s.executionState & kEsSystemRequired) != 0) return;
        requestSleep(s, resumedAutomatically(s) ? kByUnattended : kByIdle, SleepMethod::suspend);
    });
}

void beginDown(Sim& s, const Initiator& by, SleepMethod state) {
    Episode ep;
    ep.from = s.now;
    ep.by = &by;
    ep.highWater = s.highWater;
    ep.program = s.program.running ? NotRunning::no : s.notRunning;
    s.latency =
        state == SleepMethod::suspend ? uniform(s.rng, 0, 20 * kSecond) : uniform(s.rng, 10 * kSecond, 60 * kSecond);
    // The suspend notification does not say whether the machine suspends or
    // hibernates: the soonest wake-up anybody can count on lies past the
    // longer entry, that of a hibernation.
    ep.unavoidableUntil = s.now + kMaxEntryHibernate + s.latency;
    s.down = ep;
}

void sleepDone(Sim& s) {
    s.ownSleepPending = false;
    deliver(s, [&s] { sleepRequestDone(s); });
}

void enterSleep(Sim& s);
void wake(Sim& s, bool automatic);

void wakeAt(Sim& s, FileTime when, bool automatic) {
    at(s, when, [&s, gen = s.sleepGen, automatic] {
        if (gen == s.sleepGen && (s.power == Power::asleep || s.power == Power::entering)) wake(s, automatic);
    });
}

void requestSleep(Sim& s, const Initiator& by, SleepMethod state) {
    if (s.power != Power::awake) return;
    if (&by != &kByAwayEnded && (s.executionState & kEsAwayModeRequired) != 0 && s.profile.awayAllowed) {
        note(s, [&] { return std::string(by.name) + " asks for sleep: away mode"; });
        s.power = Power::away;
        tally(s, "away modes");
        if (&by == &kByCountdown) at(s, s.now + kMs, [&s] { sleepDone(s); });
        return;
    }
    note(s, [&] {
        return std::string(by.name) + " puts the PC to " + (state == SleepMethod::suspend ? "suspend" : "hibernate");
    });
    tally(s, by.tally);
    beginDown(s, by, state);
    // The suspend notification comes first; what the program arms there
    // takes effect.
    deliver(s, [&s] { powerBroadcast(s, kPowerSuspend); });
    s.power = Power::entering;
    const std::uint64_t gen = ++s.sleepGen;
    const FileTime entry = state == SleepMethod::suspend ? kMaxEntrySuspend : kMaxEntryHibernate;
    s.asleepAt = s.now + uniform(s.rng, state == SleepMethod::suspend ? kSecond : 5 * kSecond, entry);
    at(s, s.asleepAt, [&s, gen] {
        if (gen == s.sleepGen && s.power == Power::entering) enterSleep(s);
    });
}

void enterSleep(Sim& s) {
    s.power = Power::asleep;
    Episode& ep = *s.down;
    ep.asleepAt = s.now;
    ep.timer = s.timer;
    ep.canWake = canWake(s);
    ep.lateUnreported = s.lateUnreported && !s.aware;
    const Timer& t = s.timer;
    if (t.pending && t.resume && t.due > s.now && ep.canWake) wakeAt(s, t.due + s.latency, true);
    note(s, [&] {
        return std::string("asleep; timer ") +
               (t.pending ? localStamp(s, t.due) + (t.resume ? " with resume" : " without resume") : "not armed");
    });
}

// The timer's waiter posts its message once the machine runs.
void signalTimer(Sim& s, std::uint64_t gen) {
    if (gen != s.timerGen || !s.timer.pending || !awakeOrAway(s)) return;
    s.timer.pending = false;
    deliver(s, [&s] { timerFired(s); });
}

void requestRewrite(Sim& s);

void startEvent(Sim& s) {
    if (s.power != Power::awake || s.program.running) return;
    startProgram(s);
    // Whoever is there reads the message and starts it again.
    if (!s.program.running && s.present) at(s, s.now + uniform(s.rng, kMinute, 5 * kMinute), [&s] { startEvent(s); });
}

// The person logs on, and the start-up folder starts the program.
void logOn(Sim& s) {
    at(s, s.now + uniform(s.rng, 5 * kSecond, 30 * kSecond), [&s] { startEvent(s); });
}

void resumeMessage(Sim& s, FileTime when, std::uint32_t code) {
    at(s, when, [&s, code] { deliver(s, [&s, code] { powerBroadcast(s, code); }); });
}

void wake(Sim& s, bool automatic) {
    const Episode ep = *s.down;
    note(s, automatic ? "the timer wakes the PC" : "the person wakes the PC");
    if (automatic) tally(s, "wakes by the timer");
    endDown(s);
    s.power = Power::awake;
    s.wokeAt = s.now;
    s.automaticWake = automatic;
    if (!automatic) s.lastInput = s.now;
    ++s.sleepGen;
    if (!automatic && !s.program.running) logOn(s);
    // The resume notification and the signalled timer reach the program in
    // either order.
    const FileTime resumeAt = s.now + uniform(s.rng, 0, 2 * kSecond);
    resumeMessage(s, resumeAt, kPowerResumeAutomatic);
    if (!automatic) resumeMessage(s, resumeAt + 100 * kMs, kPowerResumeSuspend);
    if (s.timer.pending && s.timer.due <= s.now) {
        at(s, s.now + uniform(s.rng, 0, 2 * kSecond), [&s, gen = s.timerGen] { signalTimer(s, gen); });
    }
    if (s.ownSleepPending) at(s, resumeAt + 200 * kMs, [&s] { sleepDone(s); });
    if (s.rewritePending || chance(s.rng, 0.5)) {
        at(s, s.now + uniform(s.rng, kSecond, kMinute), [&s] { requestRewrite(s); });
    }
    // A wake-up armed with resume that was ahead at the suspend, and the
    // machine woke long after it: the person should hear of it.
    if (ep.timer.pending && ep.timer.resume && ep.timer.due > ep.from && s.now > ep.timer.due + kLateTolerance) {
        at(s, s.now + 10 * kSecond, [&s, gen = ++s.lateCheckGen] {
            if (gen != s.lateCheckGen || s.aware) return;
            note(s, "the late wake-up went unreported");
            s.lateUnreported = true;
        });
    }
    scheduleIdle(s);
}

void boot(Sim& s, bool byPerson) {
    if (s.power != Power::off) return;
    note(s, "the PC starts");
    endDown(s);
    s.power = Power::awake;
    s.lastInput = s.wokeAt = s.requiredUntil = s.now;
    s.automaticWake = false;
    s.executionState = 0;
    at(s, s.now + uniform(s.rng, 10 * kSecond, kMinute), [&s] { requestRewrite(s); });
    if (byPerson || s.registeredForRestart) logOn(s);
    scheduleIdle(s);
}

void powerOff(Sim& s, const Initiator& by, bool refused) {
    note(s, [&] { return std::string(by.name) + (refused ? " goes ahead although refused" : " goes ahead"); });
    if (s.program.running) deliver(s, [] {});  // WM_ENDSESSION: only the log hears of it
    const bool wasRunning = s.program.running;
    stopProgram(s);
    beginDown(s, by, SleepMethod::suspend);
    s.down->program = wasRunning ? NotRunning::no : s.notRunning;
    s.down->refused = refused;
    s.power = Power::off;
    ++s.sleepGen;
    s.notRunning = NotRunning::closed;
}

void setClock(Sim& s, std::int64_t delta) {
    const auto shift = static_cast<FileTime>(delta);
    note(s, [&] { return "the clock is set by " + std::to_string(delta / static_cast<std::int64_t>(kSecond)) + " s"; });
    s.now += shift;
    s.clockShift += shift;
    for (Event& e : s.events) {
        if (!e.wallClock) e.at += shift;
    }
    std::make_heap(s.events.begin(), s.events.end(), later);
    s.lastInput += shift;
    s.wokeAt += shift;
    s.requiredUntil += shift;
    scheduleIdle(s);
    deliver(s, [&s] { timeChanged(s); });
}

// --- the people

void input(Sim& s) {
    if (s.power == Power::away) {
        note(s, "the person leaves away mode");
        s.power = Power::awake;
    }
    if (s.power != Power::awake) return;
    s.lastInput = s.now;
    s.automaticWake = false;
    scheduleIdle(s);
}

void inputEvent(Sim& s) {
    at(s, s.now + uniform(s.rng, 30 * kSecond, 5 * kMinute), [&s] {
        if (!s.present) return;
        input(s);
        inputEvent(s);
    });
}

void becomeAware(Sim& s) {
    s.warnedAbsent = false;
    const bool fault = !s.profile.firmwareWakes || s.profile.pluggedIn != WakeTimerSetting::on ||
                       s.profile.battery != WakeTimerSetting::on;
    if (s.aware || !fault) return;
    s.aware = true;
    at(s, s.now + uniform(s.rng, kDay, 3 * kDay), [&s] {
        note(s, "the person mends the machine's wake-up");
        s.profile.pluggedIn = s.profile.battery = WakeTimerSetting::on;
        s.profile.firmwareWakes = true;
        s.aware = s.lateUnreported = false;
    });
}

void shutdownByPerson(Sim& s) {
    bool refused = false;
    tally(s, "shutdowns");
    if (s.program.running && !allowEndSession(s)) {
        tally(s, "shutdowns refused");
        refused = true;
        if (!chance(s.rng, 0.3)) {
            note(s, "the person cancels the shutdown");
            return;
        }
    }
    powerOff(s, kByShutdown, refused);
}

void arrive(Sim& s);

void leave(Sim& s) {
    s.present = false;
    note(s, "the person goes");
    at(s, s.now + uniform(s.rng, kHour, 16 * kHour), [&s] { arrive(s); });
    const std::uint64_t choice = uniform(s.rng, 0, 100);
    if (choice < 45) {
        requestSleep(s, kByPerson, s.profile.button);
    } else if (choice < 48 && s.power == Power::awake) {
        shutdownByPerson(s);
    }
}

void arrive(Sim& s) {
    s.present = true;
    note(s, "the person comes");
    const FileTime session = uniform(s.rng, 10 * kMinute, 3 * kHour);
    at(s, s.now + session, [&s] { leave(s); });
    inputEvent(s);
    if (s.warnedAbsent) becomeAware(s);
    if (s.profile.laptop && chance(s.rng, 0.3)) {
        at(s, s.now + uniform(s.rng, 0, session), [&s] {
            if (!s.present || s.power != Power::awake) return;
            s.source = s.source == PowerSource::mains ? PowerSource::battery : PowerSource::mains;
            note(s,
                 s.source == PowerSource::mains ? "the person plugs the laptop in" : "the person unplugs the laptop");
            deliver(s, [&s] { powerBroadcast(s, kPowerStatusChange); });
        });
    }
    if (chance(s.rng, 0.03)) {
        at(s, s.now + uniform(s.rng, 0, session), [&s] {
            if (s.present && s.power == Power::awake) deliver(s, [&s] { methodChanged(s); });
        });
    }
    switch (s.power) {
        case Power::entering:
        case Power::asleep:
            wakeAt(s, std::max(s.now, s.asleepAt) + s.latency, false);
            break;
        case Power::off:
            at(s, s.now + uniform(s.rng, 30 * kSecond, 90 * kSecond), [&s] { boot(s, true); });
            break;
        case Power::away:
        case Power::awake:
            input(s);
            // A countdown on the screen: some press Cancel.
            for (const Countdown& c : s.program.countdowns) {
                if (chance(s.rng, 0.5)) offerCancel(s, c.id, s.now + uniform(s.rng, kSecond, 10 * kSecond));
            }
            if (!s.program.running) logOn(s);
            break;
    }
}

// --- the schedule file and its writer

void notifyChange(Sim& s) {
    s.changeSignalled = true;
    s.stamp = s.now;
    serve(s);
}

// The next version's text, and the recordings it shows (those before a line
// that does not parse).
void compose(Sim& s, bool badLine) {
    std::vector<std::uint32_t> listed;
    for (auto it = runningFrom(s, s.now); it != s.recordings.end() && it->rec.start < s.now + 15 * kDay; ++it) {
        if (it->listed) listed.push_back(static_cast<std::uint32_t>(it - s.recordings.begin()));
    }
    const std::size_t bad = badLine ? uniform(s.rng, 0, listed.size() + 1) : listed.size();
    s.nextContent.assign(test::kScheduleHeader);
    s.nextContent += '\n';
    s.nextShown.clear();
    for (std::size_t k = 0; k <= listed.size(); ++k) {
        if (k == bad && badLine) s.nextContent += "this line does not parse\n";
        if (k == listed.size()) break;
        s.nextContent += s.recordings[listed[k]].line + '\n';
        if (k < bad) s.nextShown.push_back(listed[k]);
    }
    std::sort(s.nextShown.begin(), s.nextShown.end());
}

void knowable(Sim& s) {
    for (std::uint32_t idx : s.shownNow) {
        auto& shown = s.recordings[idx].shown;
        if (shown.empty() || shown.back().second != kOpen) shown.emplace_back(s.now, kOpen);
    }
}

// A complete version of the file stands: the recordings it no longer shows
// are not known from now on; those it shows are once it has stood readable
// for kKnowDelay.
void version(Sim& s) {
    for (std::uint32_t idx : s.shownNow) {
        auto& shown = s.recordings[idx].shown;
        if (!std::binary_search(s.nextShown.begin(), s.nextShown.end(), idx) && !shown.empty() &&
            shown.back().second == kOpen) {
            shown.back().second = s.now;
        }
    }
    s.shownNow = s.nextShown;
    s.readable = true;
    at(s, s.now + kKnowDelay, [&s, id = ++s.versionId] {
        if (id == s.versionId && s.readable) knowable(s);
    });
}

// The next write, if one is waiting, starts a moment later.
void writerDone(Sim& s) {
    s.writerBusy = false;
    if (s.rewritePending) at(s, s.now + kMs, [&s] { requestRewrite(s); });
}

void writeInPlace(Sim& s, FileTime window) {
    s.readable = false;
    s.filePresent = true;
    s.content = s.nextContent;
    s.partialFrom = s.now;
    s.partialUntil = s.now + window;
    notifyChange(s);
    at(s, s.partialUntil, [&s] {
        notifyChange(s);
        version(s);
        if (s.touchUntil <= s.now) writerDone(s);
    });
}

void touch(Sim& s) {
    at(s, s.now + 500 * kMs, [&s] {
        notifyChange(s);
        if (s.now + 500 * kMs < s.touchUntil) {
            touch(s);
        } else if (s.now >= s.partialUntil) {
            writerDone(s);
        }
    });
}

void startRewrite(Sim& s) {
    s.rewritePending = false;
    s.writerBusy = true;
    s.touchUntil = 0;
    const std::uint64_t method = uniform(s.rng, 0, 100);
    compose(s, method >= 90);
    const FileTime window = uniform(s.rng, kMs, kMaxWriteWindow);
    if (method < 40 || method >= 90) {
        note(s, method < 40 ? "Kalvor rewrites the schedule in place" : "Kalvor writes a line that does not parse");
        tally(s, method < 40 ? "writes in place" : "lines that do not parse");
        writeInPlace(s, window);
    } else if (method < 60) {
        note(s, "Kalvor replaces the schedule");
        tally(s, "replacements");
        s.filePresent = true;
        s.content = s.nextContent;
        notifyChange(s);
        version(s);
        writerDone(s);
    } else if (method < 70) {
        note(s, "Kalvor deletes the schedule");
        tally(s, "deletions");
        s.readable = false;
        s.filePresent = false;
        notifyChange(s);
        at(s, s.now + uniform(s.rng, 50 * kMs, 30 * kSecond),
           [&s] { writeInPlace(s, uniform(s.rng, kMs, kMaxWriteWindow)); });
    } else if (method < 80) {
        note(s, "Kalvor holds the schedule without sharing");
        tally(s, "holds");
        s.readable = false;
        s.deniedUntil = s.now + uniform(s.rng, kSecond, 5 * kMinute);
        notifyChange(s);
        at(s, s.deniedUntil, [&s] {
            s.content = s.nextContent;
            notifyChange(s);
            version(s);
            writerDone(s);
        });
    } else {
        note(s, "Kalvor rewrites the schedule and touches it every half second");
        tally(s, "touch storms");
        s.touchUntil = s.now + uniform(s.rng, 5 * kSecond, 5 * kMinute);
        writeInPlace(s, window);
        touch(s);
    }
}

// Kalvor writes only while the machine runs; one write at a time.
void requestRewrite(Sim& s) {
    if (!awakeOrAway(s) || s.writerBusy) {
        s.rewritePending = true;
        return;
    }
    startRewrite(s);
}

void listed(Sim& s, std::size_t i, bool shown) {
    s.recordings[i].listed = shown;
    requestRewrite(s);
}

// --- the life

void makeRecordings(Sim& s, FileTime from, FileTime to) {
    std::uint32_t id = 0;
    for (FileTime week = from; week < to; week += kWeek) {
        const std::uint64_t count = uniform(s.rng, 0, 41);
        FileTime previousStop = 0;
        for (std::uint64_t i = 0; i < count; ++i) {
            TrueRecording r;
            FileTime start = week + uniform(s.rng, 0, kWeek);
            start -= start % kMinute;
            if (previousStop != 0 && chance(s.rng, 0.2)) start = previousStop;  // back to back
            r.rec.start = start;
            r.rec.stop = previousStop = start + uniform(s.rng, 5, 241) * kMinute;
            r.rec.channel = static_cast<std::uint16_t>(uniform(s.rng, 1, 30));
            r.rec.title = "Show " + std::to_string(++id);
            r.rec.isManual = chance(s.rng, 0.3);
            r.rec.isFavorite = chance(s.rng, 0.3);
            const std::uint64_t ahead = uniform(s.rng, 0, 50);
            r.addedAt = start - (ahead < 45   ? uniform(s.rng, kDay, 7 * kDay)
                                 : ahead < 49 ? uniform(s.rng, 2 * kHour, kDay)
                                              : uniform(s.rng, 2 * kMinute, 2 * kHour));
            const LocalDateTime localStart = fileTimeToDateTime(toLocal(s, r.rec.start));
            r.eligible = isEligible(r.rec, s.options, s.platformZone);
            r.line = std::to_string(id) + '\t' + test::scheduleDateTime(localStart) + '\t' +
                     test::scheduleDateTime(fileTimeToDateTime(toLocal(s, r.rec.stop))) + "\t1:00\tName\t" +
                     std::to_string(r.rec.channel) + '\t' + r.rec.title + (r.rec.isManual ? "\ttrue" : "\tfalse") +
                     (r.rec.isFavorite ? "\ttrue" : "\tfalse");
            s.recordings.push_back(std::move(r));
        }
    }
    std::stable_sort(s.recordings.begin(), s.recordings.end(),
                     [](const TrueRecording& a, const TrueRecording& b) { return a.rec.start < b.rec.start; });
}

template <typename T, std::size_t N>
T pick(Rng& rng, const T (&values)[N]) {
    return values[uniform(rng, 0, N)];
}

WakeTimerSetting drawSetting(Rng& rng) {
    const std::uint64_t r = uniform(rng, 0, 100);
    return r < 88 ? WakeTimerSetting::on : r < 95 ? WakeTimerSetting::off : WakeTimerSetting::importantOnly;
}

void drawRanges(Rng& rng, HourRangeList& ranges) {
    if (chance(rng, 0.3)) {
        ranges.push_back(
            {static_cast<std::uint8_t>(uniform(rng, 0, 24)), static_cast<std::uint8_t>(uniform(rng, 0, 25))});
    }
}

void clockSet(Sim& s) {
    if (s.power != Power::awake) return;
    const auto delta = static_cast<std::int64_t>(uniform(s.rng, kSecond, 5 * kMinute));
    tally(s, "clock changes");
    setClock(s, chance(s.rng, 0.5) ? delta : -delta);
}

void update(Sim& s) {
    if (!awakeOrAway(s)) return;
    tally(s, "update restarts");
    powerOff(s, kByUpdate, false);
    if (!s.registeredForRestart) s.notRunning = NotRunning::afterUpdate;
    at(s, s.now + uniform(s.rng, kMinute, 5 * kMinute), [&s] { boot(s, false); });
}

// An event that comes again and again, drawing its next time as it comes.
void every(Sim& s, FileTime when, bool wallClock, void (*what)(Sim&), FileTime (*next)(Sim&)) {
    at(
        s, when,
        [&s, wallClock, what, next] {
            what(s);
            every(s, next(s), wallClock, what, next);
        },
        wallClock);
}

}  // namespace

std::uint64_t nextRandom(Rng& rng) {
    std::uint64_t z = (rng.state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

FileTime uniform(Rng& rng, FileTime lo, FileTime hi) {
    return hi <= lo ? lo : lo + nextRandom(rng) % (hi - lo);
}

bool chance(Rng& rng, double p) {
    return static_cast<double>(nextRandom(rng) >> 11) * 0x1.0p-53 < p;
}

void at(Sim& sim, FileTime when, std::function<void()> run, bool wallClock) {
    sim.events.push_back(Event{when, sim.seq++, wallClock, std::move(run)});
    std::push_heap(sim.events.begin(), sim.events.end(), later);
}

void addNote(Sim& sim, const std::string& text) {
    // A line like the one before it (a retried read, a capped settle) is
    // counted rather than repeated.
    if (text == sim.lastNote && !sim.recent.empty()) {
        ++sim.repeats;
        return;
    }
    if (sim.repeats > 0) sim.recent.push_back("    ... " + std::to_string(sim.repeats) + " more like it");
    sim.repeats = 0;
    sim.lastNote = text;
    sim.recent.push_back(localStamp(sim, sim.now) + "  " + text);
    while (sim.recent.size() > 40)
        sim.recent.pop_front();
}

std::string localStamp(const Sim& sim, FileTime utc) {
    const LocalDateTime t = fileTimeToDateTime(toLocal(sim, utc));
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    char text[64];
    (void)std::snprintf(text, sizeof text, "%s %04u-%02u-%02u %02u:%02u:%02u.%03u", kDays[t.dayOfWeek % 7],
                        unsigned{t.year}, unsigned{t.month}, unsigned{t.day}, unsigned{t.hour}, unsigned{t.minute},
                        unsigned{t.second}, unsigned{t.milliseconds});
    return text;
}

std::uint64_t tickMs(const Sim& sim) {
    return (sim.now - sim.clockShift) / kMs;
}

void armTimer(Sim& sim, FileTime due, bool resume) {
    const std::uint64_t gen = ++sim.timerGen;
    sim.timer = Timer{true, due, resume};
    if (due <= sim.now) {
        // Signalled at once: the timer's waiter posts its message.
        sim.timer.pending = false;
        if (sim.program.running) sim.program.messages.emplace_back([&sim] { timerFired(sim); });
        return;
    }
    at(
        sim, due, [&sim, gen] { signalTimer(sim, gen); }, true);
}

void setExecutionState(Sim& sim, std::uint32_t flags) {
    if ((sim.executionState & kEsSystemRequired) != 0 && (flags & kEsSystemRequired) == 0) sim.requiredUntil = sim.now;
    const bool awayEnds = (sim.executionState & kEsAwayModeRequired) != 0 && (flags & kEsAwayModeRequired) == 0;
    sim.executionState = flags;
    note(sim, [&] { return "execution state " + std::to_string(flags & 0xFFU); });
    // The sleep that away mode stood in for happens now.
    if (awayEnds && sim.power == Power::away) {
        sim.power = Power::awake;
        requestSleep(sim, kByAwayEnded, SleepMethod::suspend);
        return;
    }
    scheduleIdle(sim);
}

bool resumedAutomatically(const Sim& sim) {
    return sim.automaticWake && sim.lastInput < sim.wokeAt;
}

ScheduleAccess readScheduleBytes(Sim& sim, std::string& bytes) {
    constexpr std::uint32_t kFileNotFound = 2;
    constexpr std::uint32_t kSharingViolation = 32;
    if (!sim.filePresent) return classifyScheduleError(kFileNotFound);
    if (sim.now < sim.deniedUntil) return classifyScheduleError(kSharingViolation);
    bytes = sim.content;
    if (sim.now >= sim.partialFrom && sim.now < sim.partialUntil) {
        bytes.resize(uniform(sim.rng, 0, sim.content.size() + 1));
        tally(sim, "reads of a cut-off file");
    }
    return ScheduleAccess::read;
}

FileStamp scheduleStamp(const Sim& sim) {
    return sim.filePresent ? FileStamp{true, sim.stamp} : FileStamp{};
}

WakeFacts wakeFacts(const Sim& sim, SleepMethod method, WakeArmResult lastArm) {
    WakeFacts f;
    f.pluggedIn = sim.profile.pluggedIn;
    f.battery = sim.profile.battery;
    f.source = sim.source;
    f.s3 = f.s4 = f.hiberFile = true;
    f.rtcWake = SleepState::s4;  // also where the firmware does not keep its word
    f.modernStandby = false;
    f.method = method;
    f.lastArm = lastArm;
    return f;
}

void showBalloon(Sim& sim, const std::string& text, bool warning) {
    note(sim, [&] { return "balloon: " + text.substr(0, text.find('\n')); });
    if (!warning) return;
    tally(sim, "warnings");
    ++sim.lateCheckGen;  // a late wake-up, if there was one, has been told
    if (sim.present) {
        becomeAware(sim);
    } else {
        sim.warnedAbsent = true;
    }
}

void requestOwnSleep(Sim& sim, SleepMethod method) {
    ++sim.totals.ownRequests;
    const FileTime lead = static_cast<FileTime>(sim.options.leadTime) * kSecond;
    bool wrong = false;
    for (auto it = runningFrom(sim, sim.now); it != sim.recordings.end() && it->rec.start <= sim.now + lead; ++it) {
        wrong =
            wrong || (it->eligible && sim.now < it->rec.stop && it->rec.stop > sim.highWater && knownAt(*it, sim.now));
    }
    if (wrong) {
        ++sim.totals.wrongRequests;
        note(sim, "WRONG: the program asks for sleep while a recording runs or is about to");
    }
    sim.ownSleepPending = true;
    at(sim, sim.now + kMs, [&sim, method] { requestSleep(sim, kByCountdown, method); });
}

void offerCancel(Sim& sim, std::uint32_t countdown, FileTime when) {
    at(sim, when, [&sim, countdown] {
        if (sim.present && sim.power == Power::awake)
            deliver(sim, [&sim, countdown] { cancelCountdown(sim, countdown); });
    });
}

void setUpLife(Sim& sim, std::uint64_t seed, std::uint32_t life, FileTime weeks) {
    Rng& rng = sim.rng;
    rng.state = seed * 0x9E3779B97F4A7C15ULL + life;
    (void)nextRandom(rng);
    sim.life = life;
    LocalDateTime first;
    first.year = 2026;
    FileTime start = 0;
    (void)dateTimeToFileTime(first, start);
    start += uniform(rng, 0, FileTime{1826} * kDay);  // five years
    start -= start % kMinute;
    sim.now = sim.highWater = start;
    sim.end = start + weeks * kWeek;

    Profile& p = sim.profile;
    p.laptop = chance(rng, 0.3);
    p.pluggedIn = drawSetting(rng);
    p.battery = p.laptop ? drawSetting(rng) : p.pluggedIn;
    p.firmwareWakes = !chance(rng, 0.03);
    p.awayAllowed = chance(rng, p.laptop ? 0.2 : 0.5);
    p.idleTimeout = uniform(rng, 15 * kMinute, 60 * kMinute);
    p.button = chance(rng, 0.2) ? SleepMethod::hibernate : SleepMethod::suspend;
    sim.platformZone = drawZone(rng);
    sim.source = p.laptop && chance(rng, 0.5) ? PowerSource::battery : PowerSource::mains;

    Options& o = sim.options;
    o.leadTime = pick(rng, {60, 60, 120, 180, 300, 600});
    o.warnTime = pick(rng, {0, 10, 30, 60, 60, 120, 300});
    o.noResuspend = chance(rng, 0.1);
    o.useHibernate = chance(rng, 0.3);
    drawRanges(rng, o.noManualRanges);
    drawRanges(rng, o.noFavoriteRanges);
    drawRanges(rng, o.noIrRanges);

    makeRecordings(sim, start - kWeek, sim.end + kDay);
    sim.totals.weeks = weeks;
    for (std::size_t i = 0; i < sim.recordings.size(); ++i) {
        TrueRecording& r = sim.recordings[i];
        if (r.rec.start >= start && r.rec.start < sim.end) {
            ++sim.totals.recordings;
            if (r.eligible) {
                ++sim.totals.eligible;
                sim.totals.eligibleTicks += std::min(r.rec.stop, sim.end) - r.rec.start;
            }
        }
        if (r.rec.stop <= start) continue;
        if (r.addedAt <= start) {
            r.listed = true;
        } else {
            at(
                sim, r.addedAt, [&sim, i] { listed(sim, i, true); }, true);
        }
        at(
            sim, r.rec.stop + uniform(rng, 0, kMinute), [&sim, i] { listed(sim, i, false); }, true);
    }
    compose(sim, false);
    sim.content = sim.nextContent;
    sim.stamp = start - kHour;
    version(sim);
    // The writer's first version counts as known since long ago.
    for (std::uint32_t idx : sim.shownNow)
        sim.recordings[idx].shown.emplace_back(0, kOpen);

    sim.lastInput = sim.wokeAt = sim.requiredUntil = start;
    at(sim, start + 5 * kSecond, [&sim] { startEvent(sim); });
    at(sim, start + uniform(rng, 0, 8 * kHour), [&sim] { arrive(sim); });
    every(sim, start + uniform(rng, 2 * kHour, 12 * kHour), true, requestRewrite,
          [](Sim& s) { return s.now + uniform(s.rng, 2 * kHour, 12 * kHour); });  // the programme guide
    every(
        sim, start + uniform(rng, 0, 3 * kWeek), false,
        [](Sim& s) { requestSleep(s, kByOtherProgram, SleepMethod::suspend); },
        [](Sim& s) { return s.now + uniform(s.rng, kWeek, 3 * kWeek); });
    every(sim, start + uniform(rng, 0, 14 * kDay), true, clockSet,
          [](Sim& s) { return s.now + uniform(s.rng, 3 * kDay, 14 * kDay); });
    every(sim, nightAfter(sim, start + uniform(rng, 0, 6 * kWeek)), true, update,
          [](Sim& s) { return nightAfter(s, s.now + uniform(s.rng, 2 * kWeek, 6 * kWeek)); });
    scheduleIdle(sim);
}

void runLife(Sim& sim) {
    while (!sim.events.empty() && sim.events.front().at < sim.end) {
        std::pop_heap(sim.events.begin(), sim.events.end(), later);
        const Event e = std::move(sim.events.back());
        sim.events.pop_back();
        sim.now = std::max(sim.now, e.at);
        sim.highWater = std::max(sim.highWater, sim.now);
        e.run();
    }
    sim.now = std::max(sim.now, sim.end);
    endDown(sim);
}

}  // namespace dormivel::sim
