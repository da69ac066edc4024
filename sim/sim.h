// Weeks of simulated life: Dormivel's own decisions, driven through a small
// shell that calls them in the order the Win32 layer does, against a model of
// Windows, of the recording application that writes the schedule, and of the
// people in front of the PC. Simulated time only; one seed gives one life.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <queue>
#include <string>
#include <type_traits>
#include <vector>

#include "app/records.h"
#include "app/schedule_watch.h"
#include "app/time_zone.h"
#include "cmdline/options.h"
#include "planner/late_wake.h"
#include "planner/pass_decision.h"
#include "planner/sleep_guard.h"
#include "planner/wake_health.h"
#include "schedule/schedule_file.h"
#include "schedule/schedule_reader.h"
#include "ui/power_events.h"

namespace dormivel::sim {

inline constexpr FileTime kMs = kTicksPerSecond / 1000;
inline constexpr FileTime kSecond = kTicksPerSecond;
inline constexpr FileTime kMinute = 60 * kSecond;
inline constexpr FileTime kHour = 60 * kMinute;
inline constexpr FileTime kDay = 24 * kHour;
inline constexpr FileTime kWeek = 7 * kDay;

struct Rng {
    std::uint64_t state = 0;
};
std::uint64_t nextRandom(Rng& rng);
// [lo, hi); lo when the range is empty.
FileTime uniform(Rng& rng, FileTime lo, FileTime hi);
bool chance(Rng& rng, double p);

// Roads that live in the shell, put back from the command line.
enum class ShellRoad : std::uint8_t {
    none,
    todaysBias,  // the reader gets the bias in force now instead of the zone's rules
};

// Why the machine was down, and why the seconds lost count as they do.
enum class Cause : std::uint8_t {
    // unavoidable
    personSleep,
    otherSleep,
    windowsSleep,
    notScheduled,
    notRunning,
    notStarted,
    shutDown,
    updateRestart,
    cannotWake,
    // avoidable
    ownSleep,
    idleSleep,
    unattendedSleep,
    awayEnded,
    shutdownAllowed,
    notRestarted,
    noResumeTimer,
    dueBeforeAsleep,
    wokeLate,
    lateUnreported,
    count,
};
inline constexpr Cause kFirstAvoidable = Cause::ownSleep;
const char* causeName(Cause cause);

enum class Initiator : std::uint8_t { person, otherProgram, countdown, idle, unattended, awayEnded, shutdown, update };
enum class NotRunning : std::uint8_t { no, closed, refused, afterUpdate };

// The program's waitable timer as the system holds it.
struct Timer {
    bool pending = false;  // armed and not yet signalled
    FileTime due = 0;
    bool resume = false;
};

// One stretch of time in which the machine was asleep or off.
struct Episode {
    FileTime from = 0;
    Initiator by = Initiator::person;
    SleepMethod state = SleepMethod::suspend;
    FileTime asleepAt = 0;
    FileTime unavoidableUntil = 0;  // a sleep nobody can refuse: the earliest wake-up again
    Timer timer;                    // as the sleep began
    bool canWake = true;
    bool lateUnreported = false;
    NotRunning program = NotRunning::no;
    bool refused = false;    // a shutdown the program refused, which went ahead anyway
    FileTime highWater = 0;  // the latest time the clock had shown
};

struct TrueRecording {
    Recording rec;  // the instants Kalvor records at
    FileTime addedAt = 0;
    bool eligible = true;
    std::string line;  // as Kalvor writes it
    // Stretches in which the program could know it: every version of the
    // file showed it, from the first that stood readable for a while.
    std::vector<std::pair<FileTime, FileTime>> shown;
    bool listed = false;
};

enum class Zone : std::uint8_t { utc, berlin, newYork, sydney };

struct Profile {
    bool laptop = false;
    WakeTimerSetting pluggedIn = WakeTimerSetting::on;
    WakeTimerSetting battery = WakeTimerSetting::on;
    bool firmwareWakes = true;  // false: the facts look fine, the clock never wakes it
    bool awayAllowed = false;
    FileTime idleTimeout = 30 * kMinute;
    SleepMethod button = SleepMethod::suspend;
    Zone zone = Zone::utc;
};

enum class MsgKind : std::uint8_t {
    power,
    timeChange,
    timerFired,  // posted by the wake timer's waiter
    countdownTick,
    cancel,
    sleepDone,
    methodChange,
    endSession,
};
struct Msg {
    MsgKind kind = MsgKind::power;
    std::uint32_t arg = 0;
};

struct Countdown {
    std::uint32_t id = 0;
    FileTime deadline = 0;
    std::int32_t lastShown = 0;
    std::uint32_t powerEventsAtOpen = 0;
    FileTime openedAt = 0;
};

// The program's state, as AppState holds it in the Win32 build.
struct Program {
    bool running = false;
    std::uint32_t instance = 0;
    Options options;
    PassCarry plan;
    PowerFlags power;
    RecordingList recordings;
    bool recordingsRead = false;
    ScheduleReadEpisode scheduleRead;
    bool passRequested = false;
    TimeZone zone;
    std::uint16_t zoneYear = 0;
    bool zoneStale = true;
    std::optional<WakeHealth> wakeHealth;
    WakeArmResult lastResumeArm = WakeArmResult::notArmed;
    WakeWatch wake;
    std::uint32_t executionState = kEsContinuous;
    bool passRunning = false;
    // The settle, as the main loop keeps it, and the stamp it last let a pass
    // read.
    Settle settle;
    std::optional<std::uint64_t> settleLookAt;
    FileStamp settledStamp;
    std::vector<Countdown> countdowns;
    std::uint32_t nextCountdown = 1;
    std::deque<Msg> messages;
    FileTime wakeDue = 0;  // the wait's time-out, as last scheduled
};

enum class Ev : std::uint8_t {
    added,
    stopped,
    epg,
    writerStep,
    timerDue,
    asleep,
    wake,
    resumeMsg,
    timerSignal,
    idleCheck,
    arrive,
    input,
    leave,
    cancel,
    sourceChange,
    otherSleep,
    clockSet,
    update,
    boot,
    start,
    programWake,
    countdownTick,
    ownSleep,
    sleepDone,
    lateCheck,
    fix,
    rewrite,
    method,
    knowable,
};

struct Event {
    FileTime at = 0;
    std::uint64_t seq = 0;
    Ev kind = Ev::added;
    std::uint64_t arg = 0;
};
struct Later {
    bool operator()(const Event& a, const Event& b) const { return a.at != b.at ? a.at > b.at : a.seq > b.seq; }
};

enum class WriterStep : std::uint8_t { finish, recreate, release, touch };

// What happened, counted to show that the model went down every road.
enum class Tally : std::uint8_t {
    peopleSleeps,
    otherSleeps,
    windowsSleeps,
    ownSleeps,
    awayModes,
    timerWakes,
    shutdowns,
    shutdownsRefused,
    updateRestarts,
    clockSets,
    inPlace,
    replaced,
    deleted,
    held,
    touched,
    badLines,
    cutReads,
    cancels,
    warnings,
    count,
};
const char* tallyName(Tally tally);

struct FirstLoss {
    std::uint32_t life = 0;
    FileTime at = 0;
    Cause cause = Cause::count;
    std::string title;
};

struct Totals {
    std::uint64_t weeks = 0;
    std::uint64_t recordings = 0;
    std::uint64_t eligible = 0;
    FileTime eligibleTicks = 0;
    std::array<FileTime, static_cast<std::size_t>(Cause::count)> lost{};
    std::uint64_t ownRequests = 0;
    std::uint64_t wrongRequests = 0;
    std::array<std::uint64_t, static_cast<std::size_t>(Tally::count)> tallies{};
    std::optional<FirstLoss> first;
};

struct Sim {
    Rng rng;
    std::uint32_t life = 0;
    ShellRoad road = ShellRoad::none;
    Cause traceCause = Cause::count;  // count: the first avoidable loss
    FileTime now = 0;
    FileTime end = 0;
    FileTime clockShift = 0;  // the sum of clock changes, for the tick count
    FileTime highWater = 0;   // the latest time the clock has shown
    std::priority_queue<Event, std::vector<Event>, Later> events;
    std::uint64_t seq = 0;

    Profile profile;
    Options options;
    TimeZone platformZone;

    // The machine.
    enum class Power : std::uint8_t { awake, away, entering, asleep, off } power = Power::awake;
    PowerSource source = PowerSource::mains;
    FileTime lastInput = 0;
    FileTime wokeAt = 0;
    bool automaticWake = false;
    std::uint32_t executionState = 0;
    FileTime requiredUntil = 0;  // when ES_SYSTEM_REQUIRED was last cleared
    FileTime asleepAt = 0;       // of the sleep under way
    FileTime latency = 0;        // of the wake from it
    bool ownSleepPending = false;
    Timer timer;
    std::uint64_t timerGen = 0;
    std::uint64_t idleGen = 0;
    std::uint64_t sleepGen = 0;
    std::uint64_t programWakeGen = 0;
    std::optional<Episode> down;
    bool registeredForRestart = false;
    NotRunning notRunning = NotRunning::no;

    Program program;

    // The schedule file and its writer.
    bool filePresent = true;
    std::string content;
    FileTime stamp = 0;
    FileTime partialFrom = 0;
    FileTime partialUntil = 0;
    FileTime deniedUntil = 0;
    bool changeSignalled = false;
    bool writerBusy = false;
    bool rewritePending = false;
    std::string nextContent;
    std::vector<std::uint32_t> nextShown;
    std::vector<std::uint32_t> shownNow;
    std::uint64_t versionId = 0;
    bool readable = true;  // no write, hold or deletion under way since the last version
    FileTime touchUntil = 0;

    // The people.
    bool present = false;
    bool aware = false;         // told about the wake problem, mending it
    bool warnedAbsent = false;  // a warning came while nobody was there
    bool lateUnreported = false;
    std::uint64_t lateCheckGen = 0;

    std::vector<TrueRecording> recordings;
    Totals totals;

    // Tracing: the recent lines, and the lines around the first avoidable loss.
    bool tracing = false;
    std::deque<std::string> recent;
    std::string lastNote;
    std::uint32_t repeats = 0;
    std::vector<std::string> trace;
};

// The model (model.cpp).
void setUpLife(Sim& sim, std::uint64_t seed, std::uint32_t life, FileTime weeks);
void runLife(Sim& sim);
void schedule(Sim& sim, FileTime at, Ev kind, std::uint64_t arg = 0);
void addNote(Sim& sim, const std::string& text);
inline void tally(Sim& sim, Tally what) {
    ++sim.totals.tallies[static_cast<std::size_t>(what)];
}
// A line of the trace; composed only while tracing.
template <typename Text>
void note(Sim& sim, Text&& text) {
    if (!sim.tracing) return;
    if constexpr (std::is_invocable_v<Text>) {
        addNote(sim, text());
    } else {
        addNote(sim, std::string(text));
    }
}
std::string localStamp(const Sim& sim, FileTime utc);
std::uint64_t tickMs(const Sim& sim);
// What the program's calls find.
void armTimer(Sim& sim, FileTime due, bool resume);
PowerSource powerSource(const Sim& sim);
void setExecutionState(Sim& sim, std::uint32_t flags);
bool resumedAutomatically(const Sim& sim);
ScheduleAccess readScheduleBytes(Sim& sim, std::string& bytes);
FileStamp scheduleStamp(const Sim& sim);
WakeFacts wakeFacts(const Sim& sim, SleepMethod method, WakeArmResult lastArm);
// A warning (a wake problem, a late wake-up) tells whoever sees it.
void showBalloon(Sim& sim, const std::string& text, bool warning);
void requestOwnSleep(Sim& sim, SleepMethod method);

// The shell (shell.cpp).
void startProgram(Sim& sim);
void stopProgram(Sim& sim);
// WM_QUERYENDSESSION: whether the program lets the session end.
bool allowEndSession(Sim& sim);
void deliver(Sim& sim, Msg msg);
// Serves what is waiting, as the main loop's wait would.
void serve(Sim& sim);
void tickCountdown(Sim& sim, std::uint32_t id);

}  // namespace dormivel::sim
