// Weeks of simulated life: Dormivel's own decisions, driven through a small
// shell that calls them in the order the Win32 layer does, against a model of
// Windows, of the recording application that writes the schedule, and of the
// people in front of the PC. Simulated time only; one seed gives one life.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "app/records.h"
#include "app/schedule_watch.h"
#include "cmdline/options.h"
#include "planner/late_wake.h"
#include "planner/pass_decision.h"
#include "planner/sleep_guard.h"
#include "planner/wake_health.h"
#include "schedule/schedule_file.h"
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
FileTime uniform(Rng& rng, FileTime lo, FileTime hi);  // [lo, hi); lo when empty
bool chance(Rng& rng, double p);

// A road that lives in the shell, put back from the command line: the reader
// gets the bias in force now instead of the zone's rules.
enum class ShellRoad : std::uint8_t { none, todaysBias };

// Why seconds of a recording were lost.
struct Cause {
    bool avoidable = false;
    const char* text = "";
};

// Who takes the machine down, and what the seconds it is down for are lost
// to: until the earliest wake-up again; all of them where it came while a
// recording ran or its lead time had begun (unless the program refused it);
// and all of them whenever it came.
struct Initiator {
    const char* name = "";
    const char* tally = "";
    std::optional<Cause> early;
    std::optional<Cause> inMargin;
    std::optional<Cause> whenever;
};
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
    const Initiator* by = nullptr;
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

struct Profile {
    bool laptop = false;
    WakeTimerSetting pluggedIn = WakeTimerSetting::on;
    WakeTimerSetting battery = WakeTimerSetting::on;
    bool firmwareWakes = true;  // false: the facts look fine, the clock never wakes it
    bool awayAllowed = false;
    FileTime idleTimeout = 30 * kMinute;
    SleepMethod button = SleepMethod::suspend;
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
    bool passRunning = false;
    TimeZone zone;
    std::uint16_t zoneYear = 0;
    bool zoneStale = true;
    std::optional<WakeHealth> wakeHealth;
    WakeArmResult lastResumeArm = WakeArmResult::notArmed;
    WakeWatch wake;
    std::uint32_t executionState = kEsContinuous;
    // The settle, as the main loop keeps it, and the stamp it last let a pass
    // read.
    Settle settle;
    std::optional<std::uint64_t> settleLookAt;
    FileStamp settledStamp;
    std::vector<Countdown> countdowns;
    std::uint32_t nextCountdown = 1;
    std::deque<std::function<void()>> messages;  // the window's, in the order posted
    FileTime wakeDue = 0;                        // the wait's time-out, as last scheduled
};

// An event of the model. Events at a time of the wall clock (a recording's
// start, the timer's due time, the night's update) stay where they are when
// the clock is set; all others are that far from now in real time and move.
struct Event {
    FileTime at = 0;
    std::uint64_t seq = 0;
    bool wallClock = false;
    std::function<void()> run;
};

struct FirstLoss {
    std::uint32_t life = 0;
    std::string cause;
    std::string title;
};

struct Totals {
    std::uint64_t weeks = 0;
    std::uint64_t recordings = 0;
    std::uint64_t eligible = 0;
    FileTime eligibleTicks = 0;
    std::map<std::string, FileTime> unavoidable;
    std::map<std::string, FileTime> avoidable;
    std::uint64_t ownRequests = 0;
    std::uint64_t wrongRequests = 0;
    std::map<std::string, std::uint64_t> tallies;  // what happened, to show the model went every road
    std::optional<FirstLoss> first;
};

struct Sim {
    Rng rng;
    std::uint32_t life = 0;
    ShellRoad road = ShellRoad::none;
    std::string traceCause;  // empty: the first avoidable loss
    FileTime now = 0;
    FileTime end = 0;
    FileTime clockShift = 0;    // the sum of clock changes, for the tick count
    FileTime highWater = 0;     // the latest time the clock has shown
    std::vector<Event> events;  // a heap, soonest first
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
    // Generations: an event for an older one has been overtaken.
    std::uint64_t timerGen = 0, idleGen = 0, sleepGen = 0, programWakeGen = 0, lateCheckGen = 0, versionId = 0;
    std::optional<Episode> down;
    bool registeredForRestart = false;
    NotRunning notRunning = NotRunning::no;

    Program program;

    // The schedule file and its writer.
    bool filePresent = true;
    std::string content;
    FileTime stamp = 0;
    FileTime partialFrom = 0, partialUntil = 0;  // an in-place write under way
    FileTime deniedUntil = 0;
    FileTime touchUntil = 0;
    bool changeSignalled = false;
    bool writerBusy = false;
    bool rewritePending = false;
    bool readable = true;  // no write, hold or deletion under way since the last version
    std::string nextContent;
    std::vector<std::uint32_t> nextShown, shownNow;

    // The people.
    bool present = false;
    bool aware = false;         // told about the wake problem, mending it
    bool warnedAbsent = false;  // a warning came while nobody was there
    bool lateUnreported = false;

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
void at(Sim& sim, FileTime when, std::function<void()> run, bool wallClock = false);
void addNote(Sim& sim, const std::string& text);
inline void tally(Sim& sim, const char* what) {
    ++sim.totals.tallies[what];
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
void setExecutionState(Sim& sim, std::uint32_t flags);
bool resumedAutomatically(const Sim& sim);
ScheduleAccess readScheduleBytes(Sim& sim, std::string& bytes);
FileStamp scheduleStamp(const Sim& sim);
WakeFacts wakeFacts(const Sim& sim, SleepMethod method, WakeArmResult lastArm);
// A warning (a wake problem, a late wake-up) tells whoever sees it.
void showBalloon(Sim& sim, const std::string& text, bool warning);
void requestOwnSleep(Sim& sim, SleepMethod method);
void offerCancel(Sim& sim, std::uint32_t countdown, FileTime after);

// The shell (shell.cpp).
void startProgram(Sim& sim);
void stopProgram(Sim& sim);
bool allowEndSession(Sim& sim);                         // WM_QUERYENDSESSION
void deliver(Sim& sim, std::function<void()> message);  // posts a message and serves the queue
// The window's messages.
void powerBroadcast(Sim& sim, std::uint32_t code);
void timeChanged(Sim& sim);
void timerFired(Sim& sim);
void cancelCountdown(Sim& sim, std::uint32_t id);
void sleepRequestDone(Sim& sim);
void methodChanged(Sim& sim);
void serve(Sim& sim);  // what is waiting, as the main loop's wait would
void tickCountdown(Sim& sim, std::uint32_t id);

}  // namespace dormivel::sim
