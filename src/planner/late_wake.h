// The late wake-up: whether the PC woke more than two minutes after the
// wake-up it slept through, whichever of the signalled timer's pass and the
// resume notification the program sees first.
#pragma once

#include <optional>
#include <string>

#include "app/records.h"

namespace dormivel {

// The wake timer's arming with resume: when, and for which recording.
// `planned` marks the plan's own wake-up a lead time before a recording,
// which the tray tip names; the armings for a start or a stop, and the
// wake-up after a sleep during a recording, are not named there.
struct ArmedWake {
    FileTime due = 0;
    std::string title;
    bool planned = true;
};

inline constexpr FileTime kLateWakeTolerance = 120 * kTicksPerSecond;

struct LateWake {
    FileTime due = 0;
    FileTime lateBy = 0;  // ticks from `due` to the resume
    std::string title;
};

// The wake-ups a late resume is judged against: the timer's arming now,
// and the one that was in force when the system went to sleep. The pass
// that a signalled timer starts may run before the resume notification
// and arm the next wake-up; the resume still compares with the wake-up the
// PC slept through.
struct WakeWatch {
    std::optional<ArmedWake> armed;
    std::optional<ArmedWake> atSuspend;
    std::optional<FileTime> suspendedAt;
};

void noteArming(WakeWatch& watch, const ArmedWake& wake);
void noteSuspend(WakeWatch& watch, FileTime suspendedAt);
// The late wake at a resume, if any; the suspend is then forgotten.
std::optional<LateWake> noteResume(WakeWatch& watch, FileTime resumedAt);

// A late wake: the armed wake-up was still ahead at the suspend (strictly
// after it), and the resume came more than kLateWakeTolerance after it.
// Nothing without an armed wake-up or a known suspend moment, and nothing
// for a resume before the due time (somebody woke the PC).
std::optional<LateWake> findLateWake(const std::optional<ArmedWake>& armed, std::optional<FileTime> suspendedAt,
                                     FileTime resumedAt);

// "40 seconds", "7 minutes", "2 hours", "1 hour 5 minutes": whole seconds
// under a minute, whole minutes under an hour, then hours and minutes.
std::string durationWords(FileTime ticks);

// "The PC woke up 7 minutes late for <title>." (minutes, or hours and
// minutes), the title cut to keep it within kBalloonMaxLength bytes.
std::string composeLateWakeBalloon(const LateWake& late);

}  // namespace dormivel
