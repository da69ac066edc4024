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
};

struct PowerActions {
    bool refuseQuery = false;        // answer the query with BROADCAST_QUERY_DENY
    bool closeApplications = false;  // the terminate list
    bool logSuspend = false;
    bool logResume = false;
    bool startPrograms = false;  // the execute list
    bool resumed = false;        // the first resume after a suspend: look at the wake-up
    bool powerSourceChanged = false;
};

struct PowerStep {
    PowerFlags flags;
    PowerActions actions;
};

// `keepAwake` is the allow-sleep state the last pass applied.
PowerStep respondToPowerEvent(const PowerFlags& flags, bool keepAwake, std::uint32_t code);

}  // namespace dormivel
