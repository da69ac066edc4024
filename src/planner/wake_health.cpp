#include "planner/wake_health.h"

#include "eventlog/log_text.h"
#include "planner/pass_decision.h"

namespace dormivel {
namespace {

// Where the setting is; a balloon's second line, after the cause on its
// first (the shell wraps long lines, Wine's tray does not).
constexpr std::string_view kPlanPath =
    "Power Options: Change plan settings, Change advanced power settings, Sleep, Allow wake timers";

// The chosen method's sleep state on this machine: missing or not.
WakeHealth sleepStateHealth(const WakeFacts& f) {
    if (f.method == SleepMethod::suspend) {
        if (f.s3 != false) return {};
        return {f.modernStandby == true ? WakeProblem::modernStandby : WakeProblem::noSuspend};
    }
    if (f.s4 == false || f.hiberFile == false) return {WakeProblem::noHibernate};
    return {};
}

WakeHealth firmwareHealth(const WakeFacts& f) {
    if (f.rtcWake == SleepState::unknown) return {};
    const SleepState chosen = f.method == SleepMethod::suspend ? SleepState::s3 : SleepState::s4;
    if (f.rtcWake >= chosen) return {};
    return {WakeProblem::firmware, PlanScope::none, f.method};
}

std::optional<WakeProblem> planProblem(std::optional<WakeTimerSetting> setting) {
    if (setting == WakeTimerSetting::off) return WakeProblem::timersOff;
    if (setting == WakeTimerSetting::importantOnly) return WakeProblem::importantOnly;
    return std::nullopt;
}

// The value for the power source in use decides. The scope names both
// values when the other one has the same problem, so that plugging in or
// unplugging a PC whose plan is wrong for both changes nothing. With the
// source unknown, only a problem of both values counts, and then the milder
// one, which holds whichever source is in use.
WakeHealth planHealth(const WakeFacts& f) {
    const std::optional<WakeProblem> ac = planProblem(f.pluggedIn);
    const std::optional<WakeProblem> dc = planProblem(f.battery);
    switch (f.source) {
        case PowerSource::mains:
            if (!ac) return {};
            return {*ac, dc == ac ? PlanScope::both : PlanScope::pluggedIn};
        case PowerSource::battery:
            if (!dc) return {};
            return {*dc, ac == dc ? PlanScope::both : PlanScope::battery};
        case PowerSource::unknown:
            if (!ac || !dc) return {};
            return {*ac == WakeProblem::timersOff && *dc == WakeProblem::timersOff ? WakeProblem::timersOff
                                                                                   : WakeProblem::importantOnly,
                    PlanScope::both};
    }
    return {};
}

std::string_view scopeWords(PlanScope scope) {
    switch (scope) {
        case PlanScope::pluggedIn:
            return "on plugged-in power";
        case PlanScope::battery:
            return "on battery power";
        case PlanScope::both:
        case PlanScope::none:
            break;
    }
    return "on battery and plugged-in power";
}

// Each problem once: its reason word, its tip, and its balloon's two lines,
// the cause and the fix. "{scope}" stands for the power source the plan is
// wrong for, "{plan}" for where its setting is. A problem whose words
// depend on the sleeping method has a row for each.
struct ProblemRow {
    WakeProblem problem;
    std::optional<SleepMethod> method;  // any when empty
    std::string_view reason;
    std::string_view tip;
    std::string_view cause;
    std::string_view fix;
};

constexpr ProblemRow kProblems[] = {
    {WakeProblem::noSuspend, std::nullopt, "nosuspend", "Dormivel: this PC cannot suspend (S3)",
     "This PC has no suspend (S3) sleep state, so Dormivel cannot wake it from suspend.",
     "Choose Hibernate (S4) in Dormivel's window."},
    {WakeProblem::modernStandby, std::nullopt, "modernstandby", "Dormivel: no wake-ups from modern standby",
     "This PC uses modern standby instead of suspend (S3), so Dormivel cannot wake it from sleep.",
     "Choose Hibernate (S4) in Dormivel's window."},
    {WakeProblem::noHibernate, std::nullopt, "nohibernate", "Dormivel: hibernation is turned off",
     "Hibernation is turned off on this PC, so it cannot hibernate and wake up.",
     "Run \"powercfg /hibernate on\" as administrator, or choose Suspend (S3) in Dormivel's window."},
    {WakeProblem::firmware, SleepMethod::suspend, "firmware", "Dormivel: the PC cannot wake from suspend (S3)",
     "This PC's firmware cannot wake it from suspend (S3) with a timer.",
     "Look for a wake-up setting (wake on RTC) in the firmware setup."},
    {WakeProblem::firmware, SleepMethod::hibernate, "firmware", "Dormivel: the PC cannot wake from hibernation (S4)",
     "This PC's firmware cannot wake it from hibernation (S4) with a timer.",
     "Choose Suspend (S3) in Dormivel's window."},
    {WakeProblem::timersOff, std::nullopt, "timersoff", "Dormivel: wake-ups are off in the power plan",
     "Wake timers are off in the power plan {scope}, so the PC will not wake up for recordings.",
     "Turn them on in {plan}."},
    {WakeProblem::importantOnly, std::nullopt, "importantonly",
     "Dormivel: the power plan allows important wake-ups only",
     "The power plan allows only important wake timers {scope}, so Dormivel's timer will not wake the PC.",
     "Choose Enable in {plan}."},
    // Windows names no fix here; the second line ends the sentence.
    {WakeProblem::timerIgnored, std::nullopt, "timerignored", "Dormivel: Windows will not wake the PC for its timer",
     "Windows accepted Dormivel's wake-up timer but says it will not wake the PC for it,",
     "so the PC may sleep through the next recording."},
    {WakeProblem::timerFailed, std::nullopt, "timerfailed", "Dormivel: no wake-up timer could be set",
     "Dormivel could not set its wake-up timer, so the PC will not wake up for the next recording.",
     "Restarting Dormivel may help."},
};

const ProblemRow* rowOf(WakeProblem problem, SleepMethod method) {
    for (const ProblemRow& row : kProblems) {
        if (row.problem == problem && (!row.method || *row.method == method)) return &row;
    }
    return nullptr;
}

// `text` with "{scope}" and "{plan}" filled in.
std::string filled(std::string_view text, PlanScope scope) {
    std::string out;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t open = text.find('{', at);
        out += text.substr(at, open == std::string_view::npos ? std::string_view::npos : open - at);
        if (open == std::string_view::npos) break;
        const std::size_t close = text.find('}', open);
        const std::string_view name = text.substr(open + 1, close - open - 1);
        out += name == "scope" ? scopeWords(scope) : kPlanPath;
        at = close + 1;
    }
    return out;
}

}  // namespace

std::optional<WakeTimerSetting> wakeTimerSettingFromIndex(std::uint32_t index) {
    switch (index) {
        case 0:
            return WakeTimerSetting::off;
        case 1:
            return WakeTimerSetting::on;
        case 2:
            return WakeTimerSetting::importantOnly;
        default:
            return std::nullopt;
    }
}

WakeArmResult classifyResumeArming(bool succeeded, std::uint32_t lastError) {
    constexpr std::uint32_t kNotSupported = 50;
    constexpr std::uint32_t kTimerResumeIgnored = 722;
    if (!succeeded) return WakeArmResult::failed;
    if (lastError == kNotSupported || lastError == kTimerResumeIgnored) return WakeArmResult::resumeIgnored;
    return WakeArmResult::accepted;
}

SleepState sleepStateFromSystemPowerState(std::uint32_t value) {
    switch (value) {
        case 1:
            return SleepState::working;
        case 2:
            return SleepState::s1;
        case 3:
            return SleepState::s2;
        case 4:
            return SleepState::s3;
        case 5:
            return SleepState::s4;
        case 6:
            return SleepState::s5;
        default:
            return SleepState::unknown;
    }
}

// The first problem found, in this order, from the machine to the program:
// the chosen sleep state missing (nothing else matters while the PC cannot
// enter that state at all), the firmware (no plan setting makes a clock
// that cannot wake the PC wake it), the power plan for the source in use,
// and last the timer's own report, which the causes before it usually
// explain and which names no fix of its own (a timer not armed at all
// before one armed and ignored). Each cause named first is one that must be
// mended before any cause after it can matter.
WakeHealth assessWakeHealth(const WakeFacts& facts) {
    if (const WakeHealth h = sleepStateHealth(facts); h.problem != WakeProblem::none) return h;
    if (const WakeHealth h = firmwareHealth(facts); h.problem != WakeProblem::none) return h;
    if (const WakeHealth h = planHealth(facts); h.problem != WakeProblem::none) return h;
    if (facts.lastArm == WakeArmResult::failed) return {WakeProblem::timerFailed};
    if (facts.lastArm == WakeArmResult::resumeIgnored) return {WakeProblem::timerIgnored};
    return {};
}

std::string_view wakeProblemTip(const WakeHealth& health) {
    const ProblemRow* row = rowOf(health.problem, health.method);
    return row != nullptr ? row->tip : std::string_view();
}

std::string_view wakeProblemReason(WakeProblem problem) {
    // Both rows of a problem share its reason word.
    const ProblemRow* row = rowOf(problem, SleepMethod::suspend);
    return row != nullptr ? row->reason : std::string_view();
}

WakeProblemWords describeWakeProblem(const WakeHealth& health) {
    const ProblemRow* row = rowOf(health.problem, health.method);
    if (row == nullptr) return {};
    return {filled(row->cause, health.scope), filled(row->fix, health.scope)};
}

std::string wakeProblemBalloon(const WakeHealth& health) {
    const WakeProblemWords words = describeWakeProblem(health);
    if (words.cause.empty()) return {};
    std::string text = words.cause + '\n' + words.fix;
    if (text.size() > kBalloonMaxLength) text.resize(kBalloonMaxLength);
    return text;
}

// A recovery shows a balloon too: the warning told the user to change a
// setting, and without a word they cannot tell whether the change worked
// short of hovering over the icon. It comes only after a problem, so it
// never repeats.
WakeHealthReport reportWakeHealthChange(const std::optional<WakeHealth>& previous, const WakeHealth& current) {
    WakeHealthReport report;
    if (previous == current) return report;
    if (current.problem != WakeProblem::none) {
        report.logBody = formatWakeUnavailable(wakeProblemReason(current.problem));
        report.balloon = wakeProblemBalloon(current);
    } else if (previous && previous->problem != WakeProblem::none) {
        report.logBody = kWakeAvailableBody;
        report.balloon = "Dormivel can wake this PC for recordings again.";
    }
    return report;
}

}  // namespace dormivel
