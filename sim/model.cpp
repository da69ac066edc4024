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

#include "app/filetime.h"
#include "sim/sim.h"
#include "support/schedule_text.h"

namespace dormivel::sim {
namespace {

using Power = Sim::Power;

// How long entering sleep takes at most, from the suspend notification until
// the machine is down (a hibernation writes all of a large memory first).
constexpr FileTime kMaxEntrySuspend = 30 * kSecond;
constexpr FileTime kMaxEntryHibernate = 60 * kSecond;
// Windows' own timer after an automatic wake.
constexpr FileTime kUnattendedIdle = 2 * kMinute;
// How long a version of the schedule must stand readable before the program
// can be expected to have read it (the settle and its cap, with room to
// spare).
constexpr FileTime kKnowDelay = 15 * kSecond;
constexpr FileTime kOpen = ~FileTime{0};
constexpr FileTime kLateTolerance = 2 * kMinute;
// An in-place write takes at most this long, and changes the file's stamp
// as it starts and as it ends.
constexpr FileTime kMaxWriteWindow = 500 * kMs;

bool absolute(Ev kind) {
    return kind == Ev::added || kind == Ev::stopped || kind == Ev::timerDue || kind == Ev::update ||
           kind == Ev::clockSet || kind == Ev::epg;
}

FileTime dateAt(int y, int mo, int d) {
    LocalDateTime t;
    t.year = static_cast<std::uint16_t>(y);
    t.month = static_cast<std::uint16_t>(mo);
    t.day = static_cast<std::uint16_t>(d);
    FileTime v = 0;
    return dateTimeToFileTime(t, v) ? v : 0;
}

// Midnight of the n-th Sunday of a month; 5 is the last.
FileTime sunday(int y, int mo, int n) {
    if (n == 5) {
        int last = 31;
        while (dateAt(y, mo, last) == 0)
            --last;
        const FileTime day = dateAt(y, mo, last);
        return day - fileTimeToDateTime(day).dayOfWeek * kDay;
    }
    const FileTime first = dateAt(y, mo, 1);
    return first + ((7 - fileTimeToDateTime(first).dayOfWeek) % 7 + 7 * (n - 1)) * kDay;
}

// The wall clock's offset from UTC in minutes, worked out here from the
// zones' published rules rather than by the program's conversion.
std::int64_t offsetMinutes(Zone zone, FileTime utc) {
    const int y = fileTimeToDateTime(utc).year;
    switch (zone) {
        case Zone::utc:
            return 0;
        case Zone::berlin:
            return utc >= sunday(y, 3, 5) + kHour && utc < sunday(y, 10, 5) + kHour ? 120 : 60;
        case Zone::newYork:
            return utc >= sunday(y, 3, 2) + 7 * kHour && utc < sunday(y, 11, 1) + 6 * kHour ? -240 : -300;
        case Zone::sydney:
            return utc < sunday(y, 4, 1) - 8 * kHour || utc >= sunday(y, 10, 1) - 8 * kHour ? 660 : 600;
    }
    return 0;
}

FileTime toLocal(Zone zone, FileTime utc) {
    return utc + static_cast<FileTime>(offsetMinutes(zone, utc) * static_cast<std::int64_t>(kMinute));
}

ZoneDate recurring(int month, int week, int hour) {
    ZoneDate d;
    d.month = static_cast<std::uint16_t>(month);
    d.day = static_cast<std::uint16_t>(week);
    d.hour = static_cast<std::uint16_t>(hour);
    return d;
}

// The zone as GetTimeZoneInformation gives it.
TimeZone platformZone(Zone zone) {
    TimeZone z;
    switch (zone) {
        case Zone::utc:
            break;
        case Zone::berlin:
            z.rules = {-60, 0, -60, recurring(10, 5, 3), recurring(3, 5, 2)};
            break;
        case Zone::newYork:
            z.rules = {300, 0, -60, recurring(11, 1, 2), recurring(3, 2, 2)};
            break;
        case Zone::sydney:
            z.rules = {-600, 0, -60, recurring(4, 1, 3), recurring(10, 1, 2)};
            break;
    }
    return z;
}

bool inRange(const HourRangeList& ranges, int hour) {
    return std::any_of(ranges.begin(), ranges.end(), [hour](const HourRange& r) {
        return r.first < r.last ? r.first <= hour && hour < r.last
                                : r.first > r.last && (hour >= r.first || hour < r.last);
    });
}

bool eligible(const Options& o, const Recording& r, int hour) {
    if (r.isManual || r.isFavorite) {
        return !(r.isManual && inRange(o.noManualRanges, hour)) && !(r.isFavorite && inRange(o.noFavoriteRanges, hour));
    }
    return !inRange(o.noIrRanges, hour);
}

FileTime maxEntry(SleepMethod state) {
    return state == SleepMethod::suspend ? kMaxEntrySuspend : kMaxEntryHibernate;
}

bool awakeOrAway(const Sim& s) {
    return s.power == Power::awake || s.power == Power::away;
}

bool canWake(const Sim& s) {
    const WakeTimerSetting setting = s.source == PowerSource::battery ? s.profile.battery : s.profile.pluggedIn;
    return setting == WakeTimerSetting::on && s.profile.firmwareWakes;
}

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

const char* initiatorName(Initiator by) {
    static const char* const kNames[] = {"the person",
                                         "another program",
                                         "the countdown",
                                         "Windows (idle)",
                                         "Windows (2 minutes after a wake)",
                                         "Windows (away mode ended)",
                                         "a shutdown",
                                         "an update restart"};
    return kNames[static_cast<int>(by)];
}

// --- accounting

void addLoss(Sim& s, Cause cause, FileTime ticks, const TrueRecording& r, FileTime at) {
    s.totals.lost[static_cast<std::size_t>(cause)] += ticks;
    const bool traced = s.traceCause == Cause::count ? cause >= kFirstAvoidable : cause == s.traceCause;
    if (!traced || s.totals.first) return;
    s.totals.first = FirstLoss{s.life, at, cause, r.rec.title};
    if (!s.tracing) return;
    addNote(s, "LOST " + std::to_string(ticks / kSecond) + " s of " + r.rec.title + " from " + localStamp(s, at) +
                   ": " + causeName(cause));
    s.trace.assign(s.recent.begin(), s.recent.end());
    s.tracing = false;
}

// The sleep came while the recording ran or its lead time had begun.
bool inLeadMargin(const Sim& s, const Episode& ep, const TrueRecording& r) {
    return ep.from + static_cast<FileTime>(s.options.leadTime) * kSecond >= r.rec.start;
}

// Until the soonest wake-up the platform keeps, the seconds a sleep takes are
// lost whoever asked for it: for a sleep nobody can refuse, and for
// Windows' own sleep before the lead time, which the program allowed as it
// should (preventing that would mean keeping every PC awake).
std::optional<Cause> beforeTheEarliestWake(const Sim& s, const Episode& ep, const TrueRecording& r) {
    switch (ep.by) {
        case Initiator::person:
            return Cause::personSleep;
        case Initiator::otherProgram:
            return Cause::otherSleep;
        case Initiator::idle:
        case Initiator::unattended:
            if (!inLeadMargin(s, ep, r)) return Cause::windowsSleep;
            return std::nullopt;
        default:
            return std::nullopt;
    }
}

Cause classify(const Sim& s, const Episode& ep, const TrueRecording& r) {
    if (!knownAt(r, ep.from)) return Cause::notScheduled;
    if (ep.program == NotRunning::afterUpdate) return Cause::notRestarted;
    if (ep.program == NotRunning::closed) return Cause::notRunning;
    if (ep.program == NotRunning::refused) return Cause::notStarted;
    const bool inMargin = inLeadMargin(s, ep, r);
    switch (ep.by) {
        case Initiator::shutdown:
            if (ep.refused) return Cause::shutDown;
            return inMargin ? Cause::shutdownAllowed : Cause::shutDown;
        case Initiator::update:
            return Cause::updateRestart;
        case Initiator::countdown:
            if (inMargin) return Cause::ownSleep;
            break;
        case Initiator::idle:
            if (inMargin) return Cause::idleSleep;
            break;
        case Initiator::unattended:
            if (inMargin) return Cause::unattendedSleep;
            break;
        case Initiator::awayEnded:
            if (inMargin) return Cause::awayEnded;
            break;
        case Initiator::person:
        case Initiator::otherProgram:
            break;
    }
    // Down when it was allowed to be, or by somebody the program could not
    // refuse: the wake timer should have woken it in time.
    if (!ep.timer.pending || !ep.timer.resume) return Cause::noResumeTimer;
    if (ep.timer.due <= ep.asleepAt) return Cause::dueBeforeAsleep;
    if (!ep.canWake) return ep.lateUnreported ? Cause::lateUnreported : Cause::cannotWake;
    return Cause::wokeLate;
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

void scheduleIdle(Sim& s) {
    ++s.idleGen;
    if (s.power != Power::awake || (s.executionState & kEsSystemRequired) != 0) return;
    // A wake, input, and the end of ES_SYSTEM_REQUIRED each reset the idle
    // timer; after an automatic wake the unattended timer applies instead.
    FileTime at = std::max({s.lastInput, s.requiredUntil, s.wokeAt}) + s.profile.idleTimeout;
    if (s.automaticWake) at = std::max(s.wokeAt, s.requiredUntil) + kUnattendedIdle;
    // Windows looks at idleness about once a second.
    schedule(s, std::max(at, s.now) + uniform(s.rng, 0, kSecond), Ev::idleCheck, s.idleGen);
}

FileTime drawLatency(Sim& s, SleepMethod state) {
    return state == SleepMethod::suspend ? uniform(s.rng, 0, 20 * kSecond) : uniform(s.rng, 10 * kSecond, 60 * kSecond);
}

void beginDown(Sim& s, Initiator by, SleepMethod state) {
    Episode ep;
    ep.from = s.now;
    ep.by = by;
    ep.state = state;
    ep.program = s.program.running ? NotRunning::no : s.notRunning;
    ep.highWater = s.highWater;
    s.latency = drawLatency(s, state);
    // The suspend notification does not say whether the machine suspends or
    // hibernates: the soonest wake-up anybody can count on lies past the
    // longer entry, that of a hibernation.
    ep.unavoidableUntil = s.now + kMaxEntryHibernate + s.latency;
    s.down = ep;
}

void requestSleep(Sim& s, Initiator by, SleepMethod state) {
    if (s.power != Power::awake) return;
    if (by != Initiator::awayEnded && (s.executionState & kEsAwayModeRequired) != 0 && s.profile.awayAllowed) {
        note(s, [&] { return std::string(initiatorName(by)) + " asks for sleep: away mode"; });
        s.power = Power::away;
        tally(s, Tally::awayModes);
        if (by == Initiator::countdown) schedule(s, s.now + kMs, Ev::sleepDone);
        return;
    }
    note(s, [&] {
        return std::string(initiatorName(by)) + " puts the PC to " +
               (state == SleepMethod::suspend ? "suspend" : "hibernate");
    });
    tally(s, by == Initiator::person         ? Tally::peopleSleeps
             : by == Initiator::otherProgram ? Tally::otherSleeps
             : by == Initiator::countdown    ? Tally::ownSleeps
                                             : Tally::windowsSleeps);
    beginDown(s, by, state);
    // The suspend notification comes first; what the program arms there
    // takes effect.
    deliver(s, Msg{MsgKind::power, kPowerSuspend});
    s.power = Power::entering;
    ++s.sleepGen;
    s.asleepAt = s.now + uniform(s.rng, state == SleepMethod::suspend ? kSecond : 5 * kSecond, maxEntry(state));
    schedule(s, s.asleepAt, Ev::asleep, s.sleepGen);
}

void enterSleep(Sim& s) {
    s.power = Power::asleep;
    Episode& ep = *s.down;
    ep.asleepAt = s.now;
    ep.timer = s.timer;
    ep.canWake = canWake(s);
    ep.lateUnreported = s.lateUnreported && !s.aware;
    const Timer& t = s.timer;
    if (t.pending && t.resume && t.due > s.now && ep.canWake)
        schedule(s, t.due + s.latency, Ev::wake, s.sleepGen << 1 | 1);
    note(s, [&] {
        return std::string("asleep; timer ") +
               (t.pending ? localStamp(s, t.due) + (t.resume ? " with resume" : " without resume") : "not armed");
    });
}

void wake(Sim& s, bool automatic) {
    const Episode ep = *s.down;
    note(s, automatic ? "the timer wakes the PC" : "the person wakes the PC");
    if (automatic) tally(s, Tally::timerWakes);
    endDown(s);
    s.power = Power::awake;
    s.wokeAt = s.now;
    s.automaticWake = automatic;
    if (!automatic) s.lastInput = s.now;
    ++s.sleepGen;
    // The person logs on, and the start-up folder starts the program.
    if (!automatic && !s.program.running) schedule(s, s.now + uniform(s.rng, 5 * kSecond, 30 * kSecond), Ev::start);
    // The resume notification and the signalled timer reach the program in
    // either order.
    const FileTime resumeAt = s.now + uniform(s.rng, 0, 2 * kSecond);
    schedule(s, resumeAt, Ev::resumeMsg, kPowerResumeAutomatic);
    if (!automatic) schedule(s, resumeAt + 100 * kMs, Ev::resumeMsg, kPowerResumeSuspend);
    if (s.timer.pending && s.timer.due <= s.now) {
        schedule(s, s.now + uniform(s.rng, 0, 2 * kSecond), Ev::timerSignal, s.timerGen);
    }
    if (s.ownSleepPending) schedule(s, resumeAt + 200 * kMs, Ev::sleepDone);
    if (s.rewritePending || chance(s.rng, 0.5)) schedule(s, s.now + uniform(s.rng, kSecond, kMinute), Ev::rewrite);
    // A wake-up armed with resume that was ahead at the suspend, and the
    // machine woke long after it: the person should hear of it.
    if (ep.timer.pending && ep.timer.resume && ep.timer.due > ep.from && s.now > ep.timer.due + kLateTolerance) {
        schedule(s, s.now + 10 * kSecond, Ev::lateCheck, ++s.lateCheckGen);
    }
    scheduleIdle(s);
}

void powerOff(Sim& s, Initiator by, bool refused) {
    note(s,
         [&] { return std::string(initiatorName(by)) + (refused ? " goes ahead although refused" : " goes ahead"); });
    if (s.program.running) deliver(s, Msg{MsgKind::endSession, 0});
    const bool wasRunning = s.program.running;
    stopProgram(s);
    beginDown(s, by, SleepMethod::suspend);
    s.down->program = wasRunning ? NotRunning::no : s.notRunning;
    s.down->refused = refused;
    s.power = Power::off;
    ++s.sleepGen;
    s.notRunning = by == Initiator::update && !s.registeredForRestart ? NotRunning::afterUpdate : NotRunning::closed;
    if (by == Initiator::update) schedule(s, s.now + uniform(s.rng, kMinute, 5 * kMinute), Ev::boot, 0);
}

void shutdownByPerson(Sim& s) {
    bool refused = false;
    tally(s, Tally::shutdowns);
    if (s.program.running && !allowEndSession(s)) {
        tally(s, Tally::shutdownsRefused);
        refused = true;
        if (!chance(s.rng, 0.3)) {
            note(s, "the person cancels the shutdown");
            return;
        }
    }
    powerOff(s, Initiator::shutdown, refused);
}

void boot(Sim& s, bool byPerson) {
    if (s.power != Power::off) return;
    note(s, "the PC starts");
    endDown(s);
    s.power = Power::awake;
    s.lastInput = s.now;
    s.wokeAt = s.now;
    s.automaticWake = false;
    s.executionState = 0;
    s.requiredUntil = s.now;
    schedule(s, s.now + uniform(s.rng, 10 * kSecond, kMinute), Ev::rewrite);
    if (byPerson || s.registeredForRestart) schedule(s, s.now + uniform(s.rng, 5 * kSecond, 30 * kSecond), Ev::start);
    scheduleIdle(s);
}

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

void becomeAware(Sim& s) {
    s.warnedAbsent = false;
    const bool fault = !s.profile.firmwareWakes || s.profile.pluggedIn != WakeTimerSetting::on ||
                       s.profile.battery != WakeTimerSetting::on;
    if (s.aware || !fault) return;
    s.aware = true;
    schedule(s, s.now + uniform(s.rng, kDay, 3 * kDay), Ev::fix);
}

void arrive(Sim& s) {
    s.present = true;
    note(s, "the person comes");
    const FileTime session = uniform(s.rng, 10 * kMinute, 3 * kHour);
    schedule(s, s.now + session, Ev::leave);
    schedule(s, s.now + uniform(s.rng, 30 * kSecond, 5 * kMinute), Ev::input);
    if (s.warnedAbsent) becomeAware(s);
    if (s.profile.laptop && chance(s.rng, 0.3)) schedule(s, s.now + uniform(s.rng, 0, session), Ev::sourceChange);
    if (chance(s.rng, 0.03)) schedule(s, s.now + uniform(s.rng, 0, session), Ev::method);
    switch (s.power) {
        case Power::entering:
        case Power::asleep:
            schedule(s, std::max(s.now, s.asleepAt) + s.latency, Ev::wake, s.sleepGen << 1);
            break;
        case Power::off:
            schedule(s, s.now + uniform(s.rng, 30 * kSecond, 90 * kSecond), Ev::boot, 1);
            break;
        case Power::away:
        case Power::awake:
            input(s);
            // A countdown on the screen: some press Cancel.
            for (const Countdown& c : s.program.countdowns) {
                if (chance(s.rng, 0.5)) schedule(s, s.now + uniform(s.rng, kSecond, 10 * kSecond), Ev::cancel, c.id);
            }
            // The person logs on, and the start-up folder starts the program.
            if (!s.program.running) schedule(s, s.now + uniform(s.rng, 5 * kSecond, 30 * kSecond), Ev::start);
            break;
    }
}

void leave(Sim& s) {
    s.present = false;
    note(s, "the person goes");
    schedule(s, s.now + uniform(s.rng, kHour, 16 * kHour), Ev::arrive);
    const std::uint64_t choice = uniform(s.rng, 0, 100);
    if (choice < 45) {
        requestSleep(s, Initiator::person, s.profile.button);
    } else if (choice < 48 && s.power == Power::awake) {
        shutdownByPerson(s);
    }
}

void setClock(Sim& s, std::int64_t delta) {
    const auto shift = static_cast<FileTime>(delta);
    note(s, [&] { return "the clock is set by " + std::to_string(delta / static_cast<std::int64_t>(kSecond)) + " s"; });
    s.now += shift;
    s.clockShift += shift;
    std::vector<Event> pending;
    while (!s.events.empty()) {
        pending.push_back(s.events.top());
        s.events.pop();
    }
    for (Event& e : pending) {
        if (!absolute(e.kind)) e.at += shift;
        s.events.push(e);
    }
    s.lastInput += shift;
    s.wokeAt += shift;
    s.requiredUntil += shift;
    scheduleIdle(s);
    deliver(s, Msg{MsgKind::timeChange, 0});
}

// --- the schedule file and its writer

void notifyChange(Sim& s) {
    s.changeSignalled = true;
    s.stamp = s.now;
    serve(s);
}

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
        s.nextContent += s.recordings[listed[k]].line;
        s.nextContent += '\n';
        if (k < bad) s.nextShown.push_back(listed[k]);
    }
    std::sort(s.nextShown.begin(), s.nextShown.end());
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
    schedule(s, s.now + kKnowDelay, Ev::knowable, ++s.versionId);
}

void knowable(Sim& s) {
    for (std::uint32_t idx : s.shownNow) {
        auto& shown = s.recordings[idx].shown;
        if (shown.empty() || shown.back().second != kOpen) shown.emplace_back(s.now, kOpen);
    }
}

void writeInPlace(Sim& s, FileTime window) {
    s.readable = false;
    s.filePresent = true;
    s.content = s.nextContent;
    s.partialFrom = s.now;
    s.partialUntil = s.now + window;
    notifyChange(s);
    schedule(s, s.partialUntil, Ev::writerStep, static_cast<std::uint64_t>(WriterStep::finish));
}

// The next write, if one is waiting, starts a moment later.
void writerDone(Sim& s) {
    s.writerBusy = false;
    if (s.rewritePending) schedule(s, s.now + kMs, Ev::rewrite);
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
        tally(s, method < 40 ? Tally::inPlace : Tally::badLines);
        writeInPlace(s, window);
    } else if (method < 60) {
        note(s, "Kalvor replaces the schedule");
        tally(s, Tally::replaced);
        s.filePresent = true;
        s.content = s.nextContent;
        notifyChange(s);
        version(s);
        writerDone(s);
    } else if (method < 70) {
        note(s, "Kalvor deletes the schedule");
        tally(s, Tally::deleted);
        s.readable = false;
        s.filePresent = false;
        notifyChange(s);
        schedule(s, s.now + uniform(s.rng, 50 * kMs, 30 * kSecond), Ev::writerStep,
                 static_cast<std::uint64_t>(WriterStep::recreate));
    } else if (method < 80) {
        note(s, "Kalvor holds the schedule without sharing");
        tally(s, Tally::held);
        s.readable = false;
        s.deniedUntil = s.now + uniform(s.rng, kSecond, 5 * kMinute);
        notifyChange(s);
        schedule(s, s.deniedUntil, Ev::writerStep, static_cast<std::uint64_t>(WriterStep::release));
    } else {
        note(s, "Kalvor rewrites the schedule and touches it every half second");
        tally(s, Tally::touched);
        s.touchUntil = s.now + uniform(s.rng, 5 * kSecond, 5 * kMinute);
        writeInPlace(s, window);
        schedule(s, s.now + 500 * kMs, Ev::writerStep, static_cast<std::uint64_t>(WriterStep::touch));
    }
}

void writerStep(Sim& s, WriterStep step) {
    switch (step) {
        case WriterStep::finish:
            notifyChange(s);
            version(s);
            if (s.touchUntil <= s.now) writerDone(s);
            break;
        case WriterStep::recreate:
            writeInPlace(s, uniform(s.rng, kMs, kMaxWriteWindow));
            break;
        case WriterStep::release:
            s.content = s.nextContent;
            notifyChange(s);
            version(s);
            writerDone(s);
            break;
        case WriterStep::touch:
            notifyChange(s);
            if (s.now + 500 * kMs < s.touchUntil) {
                schedule(s, s.now + 500 * kMs, Ev::writerStep, static_cast<std::uint64_t>(step));
            } else if (s.now >= s.partialUntil) {
                writerDone(s);
            }
            break;
    }
}

// Kalvor writes only while the machine runs; one write at a time.
void requestRewrite(Sim& s) {
    if (!awakeOrAway(s)) {
        s.rewritePending = true;
        return;
    }
    if (s.writerBusy) {
        s.rewritePending = true;
        return;
    }
    startRewrite(s);
}

// --- the life

FileTime nightAfter(Sim& s, FileTime after) {
    const FileTime local = toLocal(s.profile.zone, after);
    const FileTime midnight = local - local % kDay + kDay;
    const FileTime at = midnight + uniform(s.rng, 2 * kHour, 5 * kHour);
    return at - (local - after);
}

void makeRecordings(Sim& s, FileTime from, FileTime to) {
    std::uint32_t id = 0;
    for (FileTime week = from; week < to; week += kWeek) {
        const std::uint64_t count = uniform(s.rng, 0, 41);
        FileTime previousStop = 0;
        for (std::uint64_t i = 0; i < count; ++i) {
            TrueRecording r;
            FileTime start = week + uniform(s.rng, 0, kWeek);
            start -= start % kMinute;
            if (previousStop != 0 && chance(s.rng, 0.2)) start = previousStop;
            r.rec.start = start;
            r.rec.stop = start + uniform(s.rng, 5, 241) * kMinute;
            previousStop = r.rec.stop;
            r.rec.channel = static_cast<std::uint16_t>(uniform(s.rng, 1, 30));
            r.rec.title = "Show " + std::to_string(++id);
            r.rec.isManual = chance(s.rng, 0.3);
            r.rec.isFavorite = chance(s.rng, 0.3);
            const std::uint64_t ahead = uniform(s.rng, 0, 50);
            r.addedAt = start - (ahead < 45   ? uniform(s.rng, kDay, 7 * kDay)
                                 : ahead < 49 ? uniform(s.rng, 2 * kHour, kDay)
                                              : uniform(s.rng, 2 * kMinute, 2 * kHour));
            const LocalDateTime localStart = fileTimeToDateTime(toLocal(s.profile.zone, r.rec.start));
            r.eligible = eligible(s.options, r.rec, localStart.hour);
            test::ScheduleRecord line;
            line.id = std::to_string(id);
            line.start = test::scheduleDateTime(localStart);
            line.stop = test::scheduleDateTime(fileTimeToDateTime(toLocal(s.profile.zone, r.rec.stop)));
            line.channel = std::to_string(r.rec.channel);
            line.title = r.rec.title;
            line.manual = r.rec.isManual ? "true" : "false";
            line.favorite = r.rec.isFavorite ? "true" : "false";
            r.line = test::scheduleRecordLine(line);
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

void handle(Sim& s, const Event& e) {
    switch (e.kind) {
        case Ev::added:
            s.recordings[e.arg].listed = true;
            requestRewrite(s);
            break;
        case Ev::stopped:
            s.recordings[e.arg].listed = false;
            requestRewrite(s);
            break;
        case Ev::epg:
            requestRewrite(s);
            schedule(s, s.now + uniform(s.rng, 2 * kHour, 12 * kHour), Ev::epg);
            break;
        case Ev::rewrite:
            requestRewrite(s);
            break;
        case Ev::writerStep:
            writerStep(s, static_cast<WriterStep>(e.arg));
            break;
        case Ev::timerDue:
            if (e.arg != s.timerGen || !s.timer.pending) break;
            if (!awakeOrAway(s)) break;  // signalled at the next wake
            s.timer.pending = false;
            deliver(s, Msg{MsgKind::timerFired, 0});
            break;
        case Ev::timerSignal:
            if (e.arg != s.timerGen || !s.timer.pending || !awakeOrAway(s)) break;
            s.timer.pending = false;
            deliver(s, Msg{MsgKind::timerFired, 0});
            break;
        case Ev::asleep:
            if (e.arg == s.sleepGen && s.power == Power::entering) enterSleep(s);
            break;
        case Ev::wake:
            if (e.arg >> 1 == s.sleepGen && (s.power == Power::asleep || s.power == Power::entering))
                wake(s, (e.arg & 1) != 0);
            break;
        case Ev::resumeMsg:
            deliver(s, Msg{MsgKind::power, static_cast<std::uint32_t>(e.arg)});
            break;
        case Ev::idleCheck:
            if (e.arg != s.idleGen || s.power != Power::awake || (s.executionState & kEsSystemRequired) != 0) break;
            requestSleep(s, s.automaticWake && s.lastInput < s.wokeAt ? Initiator::unattended : Initiator::idle,
                         SleepMethod::suspend);
            break;
        case Ev::arrive:
            arrive(s);
            break;
        case Ev::input:
            if (!s.present) break;
            input(s);
            schedule(s, s.now + uniform(s.rng, 30 * kSecond, 5 * kMinute), Ev::input);
            break;
        case Ev::leave:
            leave(s);
            break;
        case Ev::cancel:
            if (s.present && s.power == Power::awake)
                deliver(s, Msg{MsgKind::cancel, static_cast<std::uint32_t>(e.arg)});
            break;
        case Ev::method:
            if (s.present && s.power == Power::awake) deliver(s, Msg{MsgKind::methodChange, 0});
            break;
        case Ev::sourceChange:
            if (!s.present || s.power != Power::awake) break;
            s.source = s.source == PowerSource::mains ? PowerSource::battery : PowerSource::mains;
            note(s,
                 s.source == PowerSource::mains ? "the person plugs the laptop in" : "the person unplugs the laptop");
            deliver(s, Msg{MsgKind::power, kPowerStatusChange});
            break;
        case Ev::otherSleep:
            requestSleep(s, Initiator::otherProgram, SleepMethod::suspend);
            schedule(s, s.now + uniform(s.rng, kWeek, 3 * kWeek), Ev::otherSleep);
            break;
        case Ev::clockSet:
            if (s.power == Power::awake) {
                const auto delta = static_cast<std::int64_t>(uniform(s.rng, kSecond, 5 * kMinute));
                tally(s, Tally::clockSets);
                setClock(s, chance(s.rng, 0.5) ? delta : -delta);
            }
            schedule(s, s.now + uniform(s.rng, 3 * kDay, 14 * kDay), Ev::clockSet);
            break;
        case Ev::update:
            if (awakeOrAway(s)) {
                tally(s, Tally::updateRestarts);
                powerOff(s, Initiator::update, false);
            }
            schedule(s, nightAfter(s, s.now + uniform(s.rng, 2 * kWeek, 6 * kWeek)), Ev::update);
            break;
        case Ev::boot:
            boot(s, e.arg != 0);
            break;
        case Ev::start:
            if (s.power != Power::awake || s.program.running) break;
            startProgram(s);
            // Whoever is there reads the message and starts it again.
            if (!s.program.running && s.present) schedule(s, s.now + uniform(s.rng, kMinute, 5 * kMinute), Ev::start);
            break;
        case Ev::programWake:
            if (e.arg != s.programWakeGen) break;
            s.program.wakeDue = 0;
            serve(s);
            break;
        case Ev::countdownTick:
            deliver(s, Msg{MsgKind::countdownTick, static_cast<std::uint32_t>(e.arg)});
            break;
        case Ev::ownSleep:
            requestSleep(s, Initiator::countdown, static_cast<SleepMethod>(e.arg));
            break;
        case Ev::sleepDone:
            s.ownSleepPending = false;
            deliver(s, Msg{MsgKind::sleepDone, 0});
            break;
        case Ev::lateCheck:
            if (e.arg != s.lateCheckGen || s.aware) break;
            note(s, "the late wake-up went unreported");
            s.lateUnreported = true;
            break;
        case Ev::knowable:
            if (e.arg == s.versionId && s.readable) knowable(s);
            break;
        case Ev::fix:
            note(s, "the person mends the machine's wake-up");
            s.profile.pluggedIn = WakeTimerSetting::on;
            s.profile.battery = WakeTimerSetting::on;
            s.profile.firmwareWakes = true;
            s.aware = false;
            s.lateUnreported = false;
            break;
    }
}

// Runs the events due up to `until`, or for as long as the machine is down.
void runEvents(Sim& s, FileTime until) {
    while (!s.events.empty()) {
        const Event e = s.events.top();
        if (e.at >= s.end || (e.at > until && awakeOrAway(s))) break;
        s.events.pop();
        s.now = std::max(s.now, e.at);
        s.highWater = std::max(s.highWater, s.now);
        handle(s, e);
    }
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

const char* causeName(Cause cause) {
    static const char* const kNames[] = {
        "after a person's sleep, until the earliest wake-up again",
        "after another program's sleep, until the earliest wake-up again",
        "after Windows' own sleep before the lead time, until the earliest wake-up again",
        "not in the schedule in time (written late, or hidden by a line that does not parse)",
        "the program was not running",
        "the program did not start: its schedule could not be opened (it said so)",
        "the machine was shut down",
        "an update restart",
        "the machine cannot wake",
        "the program's own sleep request during a recording or its lead time",
        "Windows' idle sleep during a recording or its lead time (the program allowed it)",
        "Windows' sleep two minutes after an automatic wake (the program allowed it)",
        "away mode ended during a recording or its lead time",
        "a shutdown the program did not refuse",
        "not started again after an update restart",
        "no wake-up armed with resume",
        "the wake-up fell due before the machine was asleep",
        "the wake-up armed for too late a time",
        "a late wake-up the program did not report",
    };
    static_assert(std::size(kNames) == static_cast<std::size_t>(Cause::count));
    return kNames[static_cast<std::size_t>(cause)];
}

const char* tallyName(Tally what) {
    static const char* const kNames[] = {
        "sleeps by people",
        "by other programs",
        "by Windows",
        "by the program",
        "away modes",
        "wakes by the timer",
        "shutdowns",
        "refused",
        "update restarts",
        "clock changes",
        "in-place writes",
        "replacements",
        "deletions",
        "holds",
        "touch storms",
        "lines that do not parse",
        "reads of a cut-off file",
        "countdowns cancelled",
        "warnings",
    };
    static_assert(std::size(kNames) == static_cast<std::size_t>(Tally::count));
    return kNames[static_cast<std::size_t>(what)];
}

void schedule(Sim& sim, FileTime at, Ev kind, std::uint64_t arg) {
    sim.events.push(Event{at, sim.seq++, kind, arg});
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
    const LocalDateTime t = fileTimeToDateTime(toLocal(sim.profile.zone, utc));
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
    ++sim.timerGen;
    sim.timer = Timer{true, due, resume};
    if (due <= sim.now) {
        // Signalled at once: the timer's waiter posts its message.
        sim.timer.pending = false;
        if (sim.program.running) sim.program.messages.push_back(Msg{MsgKind::timerFired, 0});
        return;
    }
    schedule(sim, due, Ev::timerDue, sim.timerGen);
}

void setExecutionState(Sim& sim, std::uint32_t flags) {
    if ((sim.executionState & kEsSystemRequired) != 0 && (flags & kEsSystemRequired) == 0) sim.requiredUntil = sim.now;
    const bool awayEnds = (sim.executionState & kEsAwayModeRequired) != 0 && (flags & kEsAwayModeRequired) == 0;
    sim.executionState = flags;
    note(sim, [&] { return "execution state " + std::to_string(flags & 0xFFU); });
    // The sleep that away mode stood in for happens now.
    if (awayEnds && sim.power == Power::away) {
        sim.power = Power::awake;
        requestSleep(sim, Initiator::awayEnded, SleepMethod::suspend);
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
    if (sim.now >= sim.partialFrom && sim.now < sim.partialUntil) {
        bytes = sim.content.substr(0, uniform(sim.rng, 0, sim.content.size() + 1));
        tally(sim, Tally::cutReads);
    } else {
        bytes = sim.content;
    }
    return ScheduleAccess::read;
}

FileStamp scheduleStamp(const Sim& sim) {
    if (!sim.filePresent) return {};
    return FileStamp{true, sim.stamp};
}

WakeFacts wakeFacts(const Sim& sim, SleepMethod method, WakeArmResult lastArm) {
    WakeFacts f;
    f.pluggedIn = sim.profile.pluggedIn;
    f.battery = sim.profile.battery;
    f.source = sim.source;
    f.s3 = true;
    f.s4 = true;
    f.hiberFile = true;
    f.rtcWake = SleepState::s4;  // also where the firmware does not keep its word
    f.modernStandby = false;
    f.method = method;
    f.lastArm = lastArm;
    return f;
}

PowerSource powerSource(const Sim& sim) {
    return sim.source;
}

void showBalloon(Sim& sim, const std::string& text, bool warning) {
    note(sim, [&] { return "balloon: " + text.substr(0, text.find('\n')); });
    if (!warning) return;
    tally(sim, Tally::warnings);
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
    schedule(sim, sim.now + kMs, Ev::ownSleep, static_cast<std::uint64_t>(method));
}

void setUpLife(Sim& sim, std::uint64_t seed, std::uint32_t life, FileTime weeks) {
    Rng& rng = sim.rng;
    rng.state = seed * 0x9E3779B97F4A7C15ULL + life;
    (void)nextRandom(rng);
    sim.life = life;
    FileTime start = dateAt(2026, 1, 1) + uniform(rng, 0, FileTime{1826} * kDay);  // five years
    start -= start % kMinute;
    sim.now = start;
    sim.highWater = start;
    sim.end = start + weeks * kWeek;

    Profile& p = sim.profile;
    p.laptop = chance(rng, 0.3);
    p.pluggedIn = drawSetting(rng);
    p.battery = p.laptop ? drawSetting(rng) : p.pluggedIn;
    p.firmwareWakes = !chance(rng, 0.03);
    p.awayAllowed = chance(rng, p.laptop ? 0.2 : 0.5);
    p.idleTimeout = uniform(rng, 15 * kMinute, 60 * kMinute);
    p.button = chance(rng, 0.2) ? SleepMethod::hibernate : SleepMethod::suspend;
    p.zone = static_cast<Zone>(uniform(rng, 0, 4));
    sim.platformZone = platformZone(p.zone);
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
            schedule(sim, r.addedAt, Ev::added, i);
        }
        schedule(sim, r.rec.stop + uniform(rng, 0, kMinute), Ev::stopped, i);
    }
    compose(sim, false);
    sim.content = sim.nextContent;
    sim.stamp = start - kHour;
    version(sim);
    // The writer's first version counts as known since long ago.
    for (std::uint32_t idx : sim.shownNow)
        sim.recordings[idx].shown.emplace_back(0, kOpen);

    sim.lastInput = start;
    sim.wokeAt = start;
    sim.requiredUntil = start;
    schedule(sim, start + 5 * kSecond, Ev::start);
    schedule(sim, start + uniform(rng, 0, 8 * kHour), Ev::arrive);
    schedule(sim, start + uniform(rng, 2 * kHour, 12 * kHour), Ev::epg);
    schedule(sim, start + uniform(rng, 0, 3 * kWeek), Ev::otherSleep);
    schedule(sim, start + uniform(rng, 0, 14 * kDay), Ev::clockSet);
    schedule(sim, nightAfter(sim, start + uniform(rng, 0, 6 * kWeek)), Ev::update);
    scheduleIdle(sim);
}

void runLife(Sim& sim) {
    runEvents(sim, ~FileTime{0});
    sim.now = std::max(sim.now, sim.end);
    endDown(sim);
}

}  // namespace dormivel::sim
