// What the main window does with the system's power broadcasts, decided
// from plain flags; the Win32 layer carries the actions out in the order
// the fields are listed.
#pragma once

#include <cstdint>

namespace dormivel {

// The broadcast codes, as the platform numbers them.
inline constexpr std::uint32_t kPowerQuerySuspend = 0;
inline constexpr std::uint32_t kPowerQuerySuspendFailed = 2;
inline constexpr std::uint32_t kPowerSuspend = 4;
inline constexpr std::uint32_t kPowerResumeCritical = 6;
inline constexpr std::uint32_t kPowerResumeSuspend = 7;
inline constexpr std::uint32_t kPowerStatusChange = 10;
inline constexpr std::uint32_t kPowerResumeAutomatic = 18;

struct PowerFlags {
    bool suspendQueryDenied = false;  // a suspend query was refused
    bool systemSuspended = false;     // between a suspend and its resume
    // Dormivel asked for sleep itself and has already closed the listed
    // applications; cleared when the request returns or the system resumes.
    bool ownSleepRequested = false;
    // Suspends and resumes announced so far, whether acted on or not: a
    // countdown compares it with the count at its opening.
    std::uint32_t powerEvents = 0;
    // A wake-up was armed at the suspend because the PC had to stay awake:
    // the resume says so.
    bool wokenForRecording = false;
};

struct PowerActions {
    bool refuseQuery = false;        // answer the query with BROADCAST_QUERY_DENY
    bool closeApplications = false;  // the terminate list
    bool logSuspend = false;
    // The sleep came while the PC had to stay awake (nothing can refuse a
    // sleep): arm a wake-up soon after it, and log it after the suspend.
    bool armWakeForRecording = false;
    bool logResume = false;
    bool showWokenAgain = false;  // the balloon naming the recording
    bool startPrograms = false;   // the execute list
    bool resumed = false;         // the first resume after a suspend: look at the wake-up
    bool powerSourceChanged = false;
};

struct PowerStep {
    PowerFlags flags;
    PowerActions actions;
};

// `keepAwake` is the allow-sleep state the last pass applied: the PC must
// stay awake because something records or its lead time has begun.
PowerStep respondToPowerEvent(const PowerFlags& flags, bool keepAwake, std::uint32_t code);

}  // namespace dormivel
