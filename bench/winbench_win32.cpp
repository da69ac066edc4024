// Measurements of dormivel.exe and of its Win32 schedule pass under the
// platform (run under Wine by scripts/bench.sh and scripts/soak.sh). Prints
// figures; it asserts nothing about speed. The soak commands fail (exit 1)
// when a resource count keeps growing or a rewrite is not reflected.
//
//   dormivel_winbench startup | idle SECONDS | pass N | memory N | write-to-event
//   dormivel_winbench soak PASSES | settle-soak REWRITES
#include <windows.h>
#include <psapi.h>
#include <share.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "app/app_state_win32.h"
#include "app/clock_win32.h"
#include "driver/driver_win32.h"
#include "planner/schedule_pass_win32.h"
#include "schedule/schedule_file_win32.h"
#include "support/schedule_file_win32.h"
#include "ui/main_window_win32.h"
#include "ui/resource.h"

namespace {

namespace test = dormivel::test;
using test::ScheduleEntry;

double nowMs() {
    static LARGE_INTEGER frequency{};
    if (frequency.QuadPart == 0) QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

// `count` recordings starting tomorrow, one a minute; `variant` changes
// their titles and times so that every schedule differs from the last.
std::vector<ScheduleEntry> recordings(int count, int variant) {
    const SYSTEMTIME base = test::addSeconds(test::wholeMinute(test::localNow()), 86400 + 60 * (variant % 7));
    std::vector<ScheduleEntry> entries;
    entries.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const SYSTEMTIME start = test::addSeconds(base, 60LL * ((i * 37) % count));
        entries.push_back({start, test::addSeconds(start, 1800), i % 100,
                           "Programme " + std::to_string(i) + " of schedule " + std::to_string(variant), i % 3 == 0,
                           i % 5 == 0});
    }
    return entries;
}

std::size_t eventCount(const std::wstring& log) {
    std::string bytes;
    return driver::readFile(log, bytes) ? driver::logEvents(bytes).size() : 0;
}

// Starts dormivel.exe on a schedule with a log and waits for its first pass
// Event (the schedule must have a future recording).
bool startAndWaitForPass(const std::wstring& name, const std::string& schedule, driver::DormivelRun& run,
                         double& elapsedMs) {
    run.dir = driver::makeScratchDir(name);
    if (!driver::writeFile(driver::join(run.dir, L"schedule.txt"), schedule)) return false;
    const std::wstring log = run.logPath();
    const double t0 = nowMs();
    if (!driver::start(driver::dormivelExe(), {L"--logfile=log.xml"}, run.dir, run.process)) return false;
    const bool ok = driver::waitUntil([&] { return eventCount(log) >= 2; }, 120000);
    elapsedMs = nowMs() - t0;
    run.mainWindow = driver::waitMainWindow(run.process.processId, 10000);
    return ok;
}

double processCpuMs(HANDLE process) {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return -1;
    auto ms = [](const FILETIME& f) { return static_cast<double>(dormivel::fromFileTime(f)) / 1e4; };
    return ms(kernel) + ms(user);
}

int startup() {
    std::vector<double> samples;
    for (int i = 0; i < 5; ++i) {
        driver::DormivelRun run;
        double ms = 0;
        if (!startAndWaitForPass(L"bench-startup", test::scheduleFile(recordings(10, i)), run, ms)) return 1;
        samples.push_back(ms);
        driver::stopDormivel(run);
    }
    std::printf("startup_to_first_pass_ms %.1f\n", median(samples));
    return 0;
}

int idle(int seconds) {
    driver::DormivelRun run;
    double ms = 0;
    if (!startAndWaitForPass(L"bench-idle", test::scheduleFile(recordings(10, 0)), run, ms)) return 1;
    Sleep(1000);
    const double before = processCpuMs(run.process.process);
    // The idle window, announced so that a Linux-side sampler can read the
    // process's own counters at the same moments.
    std::printf("idle_start cpu_ms %.1f\n", before);
    (void)std::fflush(stdout);
    Sleep(static_cast<DWORD>(seconds) * 1000);
    const double after = processCpuMs(run.process.process);
    std::printf("idle_end cpu_ms %.1f\n", after);
    std::printf("idle_cpu_ms %.1f over %d s\n", after - before, seconds);
    (void)std::fflush(stdout);
    driver::stopDormivel(run);
    return 0;
}

int memory(int count) {
    driver::DormivelRun run;
    double ms = 0;
    if (!startAndWaitForPass(L"bench-memory", test::scheduleFile(recordings(count, 0)), run, ms)) return 1;
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(run.process.process, &counters, sizeof counters);
    std::printf("peak_private_kib %zu\npeak_working_set_kib %zu\nrecordings %d\n", counters.PeakPagefileUsage / 1024,
                counters.PeakWorkingSetSize / 1024, count);
    driver::stopDormivel(run);
    return 0;
}

int writeToEvent() {
    driver::DormivelRun run;
    double ms = 0;
    if (!startAndWaitForPass(L"bench-write", test::scheduleFile(recordings(10, 0)), run, ms)) return 1;
    const std::wstring log = run.logPath();
    std::vector<double> samples;
    for (int i = 1; i <= 5; ++i) {
        Sleep(1100);  // a new second, so the modification time changes
        const std::size_t before = eventCount(log);
        const double t0 = nowMs();
        driver::writeFile(driver::join(run.dir, L"schedule.txt"), test::scheduleFile(recordings(10, i)));
        if (!driver::waitUntil([&] { return eventCount(log) > before; }, 20000)) return 1;
        samples.push_back(nowMs() - t0);
    }
    std::printf("write_to_event_ms %.1f\n", median(samples));
    driver::stopDormivel(run);
    return 0;
}

// A state with a real main window, log and schedule path, as start-up
// builds it, for passes run in this process, in a scratch folder of its own.
struct InProcess {
    explicit InProcess(const std::wstring& name) : dir(name), schedule(dir.file(L"schedule.txt")) {}

    driver::ScratchDir dir;
    std::wstring schedule;
    dormivel::AppState state;
};

bool setUp(InProcess& p) {
    if (!driver::writeFile(p.schedule, "header\n")) return false;
    dormivel::initAppState(p.state);
    p.state.wakeTimer.reset(CreateWaitableTimerW(nullptr, FALSE, nullptr));
    p.state.schedulePath = p.schedule;
    p.state.mainWindow = dormivel::createMainWindow(p.state);
    static std::wstring logPath;
    logPath = p.dir.file(L"log.xml");
    dormivel::openEventLog(logPath.c_str(), false, p.state.logFile);
    return p.state.mainWindow != nullptr;
}

void tearDown(InProcess& p) {
    DestroyWindow(p.state.mainWindow);
    p.state.mainWindow = nullptr;
    dormivel::destroyAppState(p.state);
}

// A pass as the settle runs it, over the file it has just seen stand still.
void runPass(InProcess& p) {
    p.state.settledStamp = dormivel::readScheduleStamp(p.schedule);
    dormivel::runSchedulePass(p.state);
}

int pass(int count) {
    InProcess p(L"bench-pass");
    if (!setUp(p)) return 1;
    driver::writeFile(p.schedule, test::scheduleFile(recordings(count, 0)));
    const int rounds = count >= 10000 ? 5 : count >= 1000 ? 20 : 200;
    runPass(p);  // warm
    const double t0 = nowMs();
    for (int i = 0; i < rounds; ++i) {
        // Forget the previous sets so that every pass also writes its Event.
        p.state.plan.previousNow.clear();
        p.state.plan.previousNext.clear();
        runPass(p);
    }
    const double each = (nowMs() - t0) / rounds;
    const LRESULT lines = SendDlgItemMessageW(p.state.mainWindow, IDC_UPCOMING_LIST, LB_GETCOUNT, 0, 0);
    std::printf("pass_ms %.3f recordings %d list_lines %ld\n", each, count, static_cast<long>(lines));
    tearDown(p);
    return lines == count ? 0 : 1;
}

struct Sample {
    int passes;
    DWORD handles;
    DWORD userObjects;
    DWORD gdiObjects;
    std::size_t privateKib;
};

// The platform's counts where it keeps them. Wine answers 0 for the handle
// count and for both GUI object counts, and leaves PrivateUsage at 0, so
// there the counts fall back to what can be observed:
// - handles: the lowest free slot of the handle table, found by creating and
//   closing one probe event; leaked handles occupy slots, so it climbs;
// - USER objects: the windows of this thread and their children (the USER
//   objects the program makes are windows and a menu destroyed at once);
// - GDI objects: not observable under Wine (its GDI table reuses the last
//   freed slot first); GDI objects live in the process's own memory there,
//   so a GDI leak shows in the private bytes;
// - private bytes: the pagefile usage, which Wine fills with the same value.
BOOL CALLBACK countWindow(HWND window, LPARAM count) {
    ++*reinterpret_cast<DWORD*>(count);
    EnumChildWindows(window, countWindow, count);
    return TRUE;
}

Sample sample(int passes) {
    Sample s{passes, 0, 0, 0, 0};
    GetProcessHandleCount(GetCurrentProcess(), &s.handles);
    if (s.handles == 0) {
        const HANDLE probe = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        s.handles = static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(probe) / 4);
        CloseHandle(probe);
    }
    s.userObjects = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    if (s.userObjects == 0)
        EnumThreadWindows(GetCurrentThreadId(), countWindow, reinterpret_cast<LPARAM>(&s.userObjects));
    s.gdiObjects = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters);
    s.privateKib = (counters.PrivateUsage != 0 ? counters.PrivateUsage : counters.PagefileUsage) / 1024;
    return s;
}

// Passes over a schedule of 100 recordings that changes before every pass,
// with a real main window and log. Any count above its value at the first
// sample (after 1,000 passes), beyond a small allowance for the allocator's
// page granularity in private bytes, fails the soak.
int soak(int passes) {
    InProcess p(L"soak-pass");
    if (!setUp(p)) return 1;
    std::vector<std::string> schedules;
    schedules.reserve(10);
    for (int v = 0; v < 10; ++v)
        schedules.push_back(test::scheduleFile(recordings(100, v)));
    std::vector<Sample> samples;
    std::printf("%8s %8s %8s %8s %12s\n", "passes", "handles", "user", "gdi", "private_kib");
    const double t0 = nowMs();
    for (int i = 1; i <= passes; ++i) {
        driver::writeFile(p.schedule, schedules[static_cast<std::size_t>(i) % schedules.size()]);
        runPass(p);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
        if (i % 1000 == 0) {
            samples.push_back(sample(i));
            const Sample& s = samples.back();
            const std::string gdi = s.gdiObjects != 0 ? std::to_string(s.gdiObjects) : "n/a";
            std::printf("%8d %8lu %8lu %8s %12zu\n", s.passes, s.handles, s.userObjects, gdi.c_str(), s.privateKib);
            (void)std::fflush(stdout);
        }
    }
    std::printf("soak: %d passes in %.1f s\n", passes, (nowMs() - t0) / 1000);
    tearDown(p);
    bool grew = false;
    for (const Sample& s : samples) {
        const Sample& first = samples.front();
        grew = grew || s.handles > first.handles || s.userObjects > first.userObjects ||
               s.gdiObjects > first.gdiObjects || s.privateKib > first.privateKib + 256;
    }
    std::printf("soak: %s\n", grew ? "GREW" : "flat");
    return grew || samples.empty() ? 1 : 0;
}

// Rewrites of the schedule under dormivel.exe's file watcher, each waited
// for in the log: every rewrite must reach the log as its own Event.
int settleSoak(int rewrites) {
    driver::DormivelRun run;
    double ms = 0;
    if (!startAndWaitForPass(L"soak-settle", test::scheduleFile(recordings(5, 0)), run, ms)) return 1;
    const std::wstring log = run.logPath();
    int reflected = 0;
    const double t0 = nowMs();
    for (int i = 1; i <= rewrites; ++i) {
        Sleep(1050);  // the modification time has a resolution of one second
        const std::vector<ScheduleEntry> entries = recordings(5, i);
        driver::writeFile(driver::join(run.dir, L"schedule.txt"), test::scheduleFile(entries));
        const std::string title = "of schedule " + std::to_string(i) + "\"";
        std::string bytes;
        const bool seen = driver::waitUntil(
            [&] {
                return driver::readFile(log, bytes) && !driver::logEvents(bytes).empty() &&
                       driver::logEvents(bytes).back().find(title) != std::string::npos;
            },
            15000);
        reflected += seen ? 1 : 0;
        if (i % 20 == 0) {
            std::printf("rewrites %d reflected %d\n", i, reflected);
            (void)std::fflush(stdout);
        }
    }
    std::printf("settle soak: %d of %d rewrites reflected in %.1f s\n", reflected, rewrites, (nowMs() - t0) / 1000);
    driver::stopDormivel(run);
    return reflected == rewrites ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring command = argc > 1 ? argv[1] : L"";
    const int n = argc > 2 ? _wtoi(argv[2]) : 0;
    if (command == L"startup") return startup();
    if (command == L"idle") return idle(n > 0 ? n : 60);
    if (command == L"pass") return pass(n > 0 ? n : 10);
    if (command == L"memory") return memory(n > 0 ? n : 10000);
    if (command == L"write-to-event") return writeToEvent();
    if (command == L"soak") return soak(n > 0 ? n : 10000);
    if (command == L"settle-soak") return settleSoak(n > 0 ? n : 200);
    (void)std::fprintf(stderr,
                       "usage: dormivel_winbench startup|idle S|pass N|memory N|write-to-event|soak N|settle-soak N\n");
    return 2;
}
