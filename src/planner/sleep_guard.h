// What the program does about the sleeps and shutdowns it cannot refuse.
// Since Windows Vista no application can refuse a sleep: a person's Sleep
// button, a closed lid, another program's request and a shutdown all go
// through, and the execution state holds off only the idle timer. So while
// a recording runs, or its lead time has begun, the program keeps a wake-up
// armed for it, answers a sleep by a wake-up soon after, asks for away mode
// where that is safe, and lets a person who shuts down see what is at stake.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "app/records.h"
#include "planner/wake_health.h"

namespace dormivel {

// The execution-state flags, as the platform numbers them.
inline constexpr std::uint32_t kEsContinuous = 0x80000000U;
inline constexpr std::uint32_t kEsSystemRequired = 0x00000001U;
inline constexpr std::uint32_t kEsAwayModeRequired = 0x00000040U;

// ES_CONTINUOUS alone while sleep is allowed (it withdraws any requirement);
// ES_CONTINUOUS | ES_SYSTEM_REQUIRED while the PC must stay awake, with
// ES_AWAYMODE_REQUIRED added on mains power and where the source is unknown
// (desktops): a sleep request then leaves the PC recording with screen and
// sound off. Never on battery: a laptop that runs on in a bag overheats.
std::uint32_t executionStateFor(bool stayAwake, PowerSource source);

// The wake-up armed at a suspend notification while the PC must stay awake:
// the soonest moment at which the platform can be relied on to wake again.
// The notification comes before the system has saved its state. A timer that
// falls due while the machine is still on its way down is not seen by every
// firmware (the clock's alarm is set at the end of the transition, and a
// time already past there is lost), so the wake-up lies past the end of a
// suspend (seconds) or of writing a hibernation file (tens of seconds on a
// machine with much memory).
inline constexpr FileTime kSuspendWakeMargin = 30 * kTicksPerSecond;
inline constexpr FileTime kHibernateWakeMargin = 60 * kTicksPerSecond;
FileTime wakeForRecordingAt(FileTime suspendAt, SleepMethod method);

// The sleep a suspend notification announces: the notification does not say
// whether the machine suspends or hibernates, and the Sleep button, the lid
// and the Start menu choose for themselves whatever the method chosen in
// the program's window. Where the machine can hibernate (or cannot tell),
// a wake-up armed at the notification must allow for a hibernation.
SleepMethod sleepToExpect(std::optional<bool> s4, std::optional<bool> hiberFile);

// The wake-up to arm at a suspend notification, if any. While the PC must
// stay awake, the soonest one the platform keeps (wakeForRecordingAt).
// Otherwise the same when the armed wake-up is still ahead but falls due
// before that moment: it would come while the machine is on its way down
// and be lost, so it moves to the soonest moment that wakes the machine.
// None when the armed wake-up lies further ahead.
std::optional<FileTime> wakeToArmAtSuspend(bool keepAwake, std::optional<FileTime> armedDue, FileTime suspendAt,
                                           SleepMethod expected);

// The countdown's own sleep must not swallow the next wake-up: no sleep is
// requested when the next wake-up lies within this margin after the
// request. A suspend takes seconds to enter and a wake-up due meanwhile may
// be lost (above); a hibernation writes the whole memory to disk first and
// reads it back at the wake, which together can take minutes.
inline constexpr FileTime kSuspendSleepMargin = 120 * kTicksPerSecond;
inline constexpr FileTime kHibernateSleepMargin = 300 * kTicksPerSecond;

// True when a sleep requested at `requestAt` would come too close to the
// next wake-up (or past it); false when no wake-up is planned.
bool sleepWouldMissWakeUp(std::optional<FileTime> nextWakeUp, FileTime requestAt, SleepMethod method);

// The answer to a shutdown, restart or sign-out query.
struct EndSessionAnswer {
    bool allow = true;
    std::string reason;  // shown by Windows beside the program; empty when allowed
};

// Renders a UTC time as the local time of day in the user's format.
using ClockTextFormatter = std::function<std::string(FileTime utc)>;

// The platform shows at most this many characters of a block reason.
inline constexpr std::size_t kBlockReasonMaxLength = 255;

// Refused while the PC must stay awake, naming the recording: "Kalvor is
// recording <title> until <time>" (the one that ends last, and how many
// more record) or, once the lead time has begun, "Kalvor starts recording
// <title> at <time>". Allowed otherwise.
EndSessionAnswer answerEndSessionQuery(bool stayAwake, const RecordingSet& now, const RecordingSet& next,
                                       const ClockTextFormatter& clockText);

// ENDSESSION_LOGOFF in the end-session flags.
inline constexpr std::uint32_t kEndSessionLogoff = 0x80000000U;

// "logoff" for a sign-out, "shutdown" for a shutdown or restart.
std::string_view sessionEndReason(std::uint32_t endSessionFlags);

// The balloon after the wake-up armed at a sleep during a recording (or its
// lead time): "Woken again: Kalvor is recording" or "Woken again: Kalvor
// starts recording soon", then a line per title.
std::string composeWokenAgainBalloon(const RecordingSet& now, const RecordingSet& next);

// The command line Windows starts the program with after an update restart:
// the arguments after the program's name, each quoted as the runtime splits
// them. Empty optional when it does not fit the platform's limit.
inline constexpr std::size_t kRestartCommandLineMax = 1024;
std::optional<std::wstring> restartCommandLine(std::span<const std::wstring_view> arguments);

}  // namespace dormivel
