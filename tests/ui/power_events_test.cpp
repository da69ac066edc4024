#include "ui/power_events.h"

#include <gtest/gtest.h>

#include <string>

namespace dormivel {
namespace {

// Flags as letters: D query denied, S suspended, O own sleep requested, W a
// wake-up armed at the suspend for a recording.
PowerFlags flags(const std::string& letters, std::uint32_t events = 0) {
    return {letters.find('D') != std::string::npos, letters.find('S') != std::string::npos,
            letters.find('O') != std::string::npos, events, letters.find('W') != std::string::npos};
}

std::string letters(const PowerFlags& f) {
    return std::string(f.suspendQueryDenied ? "D" : "") + (f.systemSuspended ? "S" : "") +
           (f.ownSleepRequested ? "O" : "") + (f.wokenForRecording ? "W" : "");
}

// Actions as words, in the order the Win32 layer carries them out.
std::string words(const PowerActions& a) {
    std::string w;
    auto add = [&w](bool on, const char* word) {
        if (on) w += w.empty() ? word : std::string(" ") + word;
    };
    add(a.refuseQuery, "refuse");
    add(a.closeApplications, "close");
    add(a.logSuspend, "log-suspend");
    add(a.armWakeForRecording, "arm-wake");
    add(a.logResume, "log-resume");
    add(a.startPrograms, "start");
    add(a.resumed, "resumed");
    add(a.showWokenAgain, "woken-again");
    add(a.powerSourceChanged, "source");
    return w;
}

TEST(PowerEvents, EachBroadcastByTheFlags) {
    struct Case {
        const char* flagsIn;
        bool keepAwake;
        std::uint32_t code;
        const char* flagsOut;
        const char* actions;
        std::uint32_t eventsCounted;
    };
    const Case cases[] = {
        {"", true, kPowerQuerySuspend, "D", "refuse", 0},
        {"", false, kPowerQuerySuspend, "", "", 0},
        {"D", false, kPowerQuerySuspendFailed, "", "", 0},  // after its own refusal: only the flag
        {"", false, kPowerQuerySuspendFailed, "", "start", 0},
        {"", false, kPowerSuspend, "S", "close log-suspend", 1},
        {"O", false, kPowerSuspend, "SO", "log-suspend", 1},  // closed before the request
        {"S", false, kPowerSuspend, "S", "", 1},              // a second suspend does nothing
        // A sleep while the PC must stay awake: a wake-up soon after it, and
        // the resume names the recording.
        {"", true, kPowerSuspend, "SW", "close log-suspend arm-wake", 1},
        {"SW", true, kPowerSuspend, "SW", "", 1},
        {"SW", true, kPowerResumeAutomatic, "", "log-resume start resumed woken-again", 1},
        {"SW", false, kPowerResumeSuspend, "", "log-resume start resumed woken-again", 1},
        {"S", true, kPowerResumeAutomatic, "", "log-resume start resumed", 1},
        {"S", false, kPowerResumeSuspend, "", "log-resume start resumed", 1},
        {"S", false, kPowerResumeCritical, "", "log-resume start resumed", 1},
        {"SO", false, kPowerResumeAutomatic, "", "log-resume start resumed", 1},
        {"", false, kPowerResumeSuspend, "", "", 1},  // a resume without a suspend only counts
        {"S", false, kPowerStatusChange, "S", "source", 0},
        {"S", false, 0x8013, "S", "", 0},  // an unknown code
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.flagsIn) + " code " + std::to_string(c.code));
        const PowerStep step = respondToPowerEvent(flags(c.flagsIn, 7), c.keepAwake, c.code);
        EXPECT_EQ(letters(step.flags), c.flagsOut);
        EXPECT_EQ(words(step.actions), c.actions);
        EXPECT_EQ(step.flags.powerEvents, 7 + c.eventsCounted);
    }
}

// One wake brings several resume codes; only the first acts, and a later
// suspend acts again.
TEST(PowerEvents, OneSuspendAndItsResumesActOnce) {
    const std::uint32_t codes[] = {kPowerSuspend,        kPowerSuspend, kPowerResumeAutomatic, kPowerResumeSuspend,
                                   kPowerResumeCritical, kPowerSuspend, kPowerResumeSuspend,   kPowerResumeAutomatic};
    PowerFlags f;
    std::string acted;
    for (const std::uint32_t code : codes) {
        const PowerStep step = respondToPowerEvent(f, false, code);
        f = step.flags;
        acted += "|" + words(step.actions);
    }
    EXPECT_EQ(acted, "|close log-suspend||log-resume start resumed|||close log-suspend|log-resume start resumed|");
    EXPECT_EQ(f.powerEvents, 8u);
}

}  // namespace
}  // namespace dormivel
