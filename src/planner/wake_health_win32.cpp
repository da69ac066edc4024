#include "planner/wake_health_win32.h"

#include <powrprof.h>

#include <string>

#include "app/clock_win32.h"
#include "eventlog/event_log_win32.h"
#include "planner/schedule_pass_win32.h"
#include "ui/tray_icon_win32.h"

namespace dormivel {
namespace {

using GetActiveSchemeFn = DWORD(WINAPI*)(HKEY, GUID**);
using ReadValueIndexFn = DWORD(WINAPI*)(HKEY, const GUID*, const GUID*, const GUID*, LPDWORD);
using GetCapabilitiesFn = BOOLEAN(WINAPI*)(PSYSTEM_POWER_CAPABILITIES);

constexpr GUID kSleepSubgroup = {0x238c9fa8, 0x0aad, 0x41ed, {0x83, 0xf4, 0x97, 0xbe, 0x24, 0x2c, 0x8f, 0x20}};
constexpr GUID kAllowWakeTimers = {0xbd3b718a, 0x0680, 0x4d9d, {0x8a, 0xb2, 0xe1, 0xd2, 0xb4, 0xac, 0x80, 0x6d}};

template <typename Function>
Function lookUp(HMODULE module, const char* name) {
    // Through the generic function pointer type, which any function pointer
    // converts to and from.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

void readPlan(HMODULE powrprof, WakeFacts& facts) {
    const auto getActiveScheme = lookUp<GetActiveSchemeFn>(powrprof, "PowerGetActiveScheme");
    if (getActiveScheme == nullptr) return;
    GUID* scheme = nullptr;
    const DWORD status = getActiveScheme(nullptr, &scheme);
    if (status == ERROR_SUCCESS && scheme != nullptr) {
        const auto readSetting = [&](const char* name) -> std::optional<WakeTimerSetting> {
            const auto readIndex = lookUp<ReadValueIndexFn>(powrprof, name);
            DWORD index = 0;
            if (readIndex == nullptr ||
                readIndex(nullptr, scheme, &kSleepSubgroup, &kAllowWakeTimers, &index) != ERROR_SUCCESS) {
                return std::nullopt;
            }
            return wakeTimerSettingFromIndex(index);
        };
        facts.pluggedIn = readSetting("PowerReadACValueIndex");
        facts.battery = readSetting("PowerReadDCValueIndex");
    }
    if (scheme != nullptr) LocalFree(scheme);
}

// Windows' headers name it AoAc; mingw-w64's name the three bytes after
// FastSystemS4 spare2, of which it is the last.
template <typename Capabilities>
BOOLEAN modernStandbyByte(const Capabilities& caps) {
    if constexpr (requires { caps.AoAc; }) {
        return caps.AoAc;
    } else {
        return caps.spare2[2];
    }
}

void readCapabilities(HMODULE powrprof, WakeFacts& facts) {
    const auto getCapabilities = lookUp<GetCapabilitiesFn>(powrprof, "GetPwrCapabilities");
    // Zeroed first: Wine leaves AoAc unwritten, and systems before modern
    // standby existed had a spare byte there that they leave 0. A zero reads
    // as "no modern standby", which is true for those systems, and which
    // matters only when S3 is missing, where it only picks between two texts
    // that both say there is no suspend to wake from.
    SYSTEM_POWER_CAPABILITIES caps{};
    if (getCapabilities == nullptr || getCapabilities(&caps) == FALSE) return;
    facts.s3 = caps.SystemS3 != FALSE;
    facts.s4 = caps.SystemS4 != FALSE;
    facts.hiberFile = caps.HiberFilePresent != FALSE;
    facts.rtcWake = sleepStateFromSystemPowerState(static_cast<std::uint32_t>(caps.RtcWake));
    facts.modernStandby = modernStandbyByte(caps) != FALSE;
}

}  // namespace

PowerSource currentPowerSource() {
    SYSTEM_POWER_STATUS status{};
    if (GetSystemPowerStatus(&status) == FALSE) return PowerSource::unknown;
    if (status.ACLineStatus == 0) return PowerSource::battery;
    if (status.ACLineStatus == 1) return PowerSource::mains;
    return PowerSource::unknown;
}

WakeFacts readWakeFacts(SleepMethod method, WakeArmResult lastArm) {
    WakeFacts facts;
    facts.method = method;
    facts.lastArm = lastArm;
    facts.source = currentPowerSource();
    // Loaded once and kept: the check runs after every arming with resume,
    // and loading the library each time costs more than the whole check.
    static const HMODULE powrprof = LoadLibraryW(L"powrprof.dll");
    if (powrprof == nullptr) return facts;
    readPlan(powrprof, facts);
    readCapabilities(powrprof, facts);
    return facts;
}

WakeArmResult armWakeTimerWithResume(HANDLE timer, FileTime due) {
    LARGE_INTEGER dueTime;
    dueTime.QuadPart = static_cast<LONGLONG>(due);  // positive: absolute UTC
    SetLastError(0);
    const BOOL armed = SetWaitableTimer(timer, &dueTime, 0, nullptr, nullptr, TRUE);
    return classifyResumeArming(armed != FALSE, GetLastError());
}

WakeArmResult armWakeTimer(AppState& state, const ArmedWake& wake) {
    const WakeArmResult result = armWakeTimerWithResume(state.wakeTimer.get(), wake.due);
    // Only the plan's wake-up is judged: the others follow it closely, and
    // the tip and the health speak of the wake-up for the next recording.
    if (wake.planned) state.lastResumeArm = result;
    noteArming(state.wake, wake);
    return result;
}

void checkWakeHealth(AppState& state) {
    const SleepMethod method = state.options.useHibernate ? SleepMethod::hibernate : SleepMethod::suspend;
    const WakeHealth health = assessWakeHealth(readWakeFacts(method, state.lastResumeArm));
    const WakeHealthReport report = reportWakeHealthChange(state.wakeHealth, health);
    state.wakeHealth = health;
    if (!report.logBody.empty()) appendEvent(state.logFile, report.logBody);
    if (!report.balloon.empty()) showTrayBalloon(state.mainWindow, report.balloon);
    refreshTrayTip(state);
}

}  // namespace dormivel
