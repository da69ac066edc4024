#include "ui/power_events.h"

namespace dormivel {

PowerStep respondToPowerEvent(const PowerFlags& flags, bool keepAwake, std::uint32_t code) {
    PowerStep step{flags, {}};
    PowerFlags& f = step.flags;
    PowerActions& a = step.actions;
    switch (code) {
        case kPowerQuerySuspend:
            if (keepAwake) {
                f.suspendQueryDenied = true;
                a.refuseQuery = true;
            }
            break;
        case kPowerQuerySuspendFailed:
            if (f.suspendQueryDenied) {
                f.suspendQueryDenied = false;
            } else {
                a.startPrograms = true;
            }
            break;
        case kPowerSuspend:
            ++f.powerEvents;
            if (!f.systemSuspended) {
                f.systemSuspended = true;
                // A sleep Dormivel requested itself closed them before asking:
                // the platform waits only moments for this notification.
                a.closeApplications = !f.ownSleepRequested;
                a.logSuspend = true;
                a.armWakeForRecording = keepAwake;
                f.wokenForRecording = keepAwake;
            }
            break;
        case kPowerResumeCritical:
        case kPowerResumeSuspend:
        case kPowerResumeAutomatic:
            ++f.powerEvents;
            if (f.systemSuspended) {
                f.systemSuspended = false;
                f.ownSleepRequested = false;
                a.logResume = true;
                a.startPrograms = true;
                a.resumed = true;
                a.showWokenAgain = f.wokenForRecording;
                f.wokenForRecording = false;
            }
            break;
        case kPowerStatusChange:
            a.powerSourceChanged = true;
            break;
        default:
            break;
    }
    return step;
}

}  // namespace dormivel
