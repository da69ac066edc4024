// A stand-in powrprof.dll for the Win32 tests. Wine loads it instead of its
// own for dormivel_wintests.exe and for dormivel.exe when it lies beside
// them (DllOverrides entries that scripts/wine-env.sh writes into the
// prefix), so it serves every powrprof function either program imports, and
// the power-plan and capability queries that the wake-health reader looks up
// at run time. DormivelStandIn, which Wine's own lacks, tells the tests which
// one they got.
//
// SetSuspendState never sleeps the computer. It appends its three arguments
// as one line "H F W\n" (each the argument's numeric value) to the file named
// by DORMIVEL_SUSPEND_REQUESTS, then behaves as Windows does around a sleep:
// from another thread it sends WM_POWERBROADCAST PBT_APMSUSPEND to every
// top-level window of the calling process (SendMessageTimeoutW, 2,000 ms
// each, or DORMIVEL_SUSPEND_TIMEOUT_MS), then, as after a wake by a timer
// that the user follows, PBT_APMRESUMEAUTOMATIC and PBT_APMRESUMESUSPEND; it
// returns TRUE only once that thread is done. DORMIVEL_WAKE plays a wake
// that nobody follows instead, with PBT_APMRESUMEAUTOMATIC alone:
//   automatic  at once after the suspend
//   timer      once the last wake-up armed with resume (below) is due, as
//              the machine's clock would wake it (at most ten minutes on)
// and from then on IsSystemResumeAutomatic answers TRUE (Wine's own always
// says FALSE). So a request made on the
// thread that owns the windows leaves every notification to them unanswered
// (Wine drops a sent message whose time-out ran out). With
// DORMIVEL_SUSPEND_NOTIFICATIONS naming a file, each notification sent to a
// window appends "<code> answered\n" or "<code> timeout\n" to it.
//
// The machine it plays is read, at every call, from the file named by
// DORMIVEL_POWER_MACHINE: key=value lines
//   ac=N, dc=N     the allow-wake-timers value index (0 off, 1 on, 2
//                  important only), or "fail" for a read that fails
//   scheme=ok|fail PowerGetActiveScheme succeeds, or fails with
//                  ERROR_CALL_NOT_IMPLEMENTED as Wine's does
//   caps=ok|fail   GetPwrCapabilities succeeds or returns FALSE
//   s3=0|1, s4=0|1, hiberfile=0|1, aoac=0|1
//   rtcwake=N      the SYSTEM_POWER_STATE number (2 S1 .. 5 S4, 0 unspecified)
//   timer=ok|ignored  whether the system wakes for a timer armed with resume
//   source=mains|battery|unknown  the power source GetSystemPowerStatus
//                  reports (left as Wine says without the key)
// Without the variable or the file, or for a key left out, it plays a healthy
// machine: wake timers on for both sources, S3 and S4 with a hibernation
// file, the clock waking from S4, no modern standby, resume honoured.
//
// That last answer belongs to kernel32, not to powrprof: SetWaitableTimer
// with resume succeeds and leaves ERROR_TIMER_RESUME_IGNORED under Wine,
// which has no sleep to wake from. So when it is loaded, the stand-in puts
// a function of its own in the host program's import of SetWaitableTimer
// that calls the real one and, on a machine that honours resume, clears
// that report. It does the same for SetThreadExecutionState,
// IsSystemResumeAutomatic and GetSystemPowerStatus, so that the tests see
// what the program asks for: each arming appends "<due> <resume>\n" (the due
// time as given, resume 0 or 1) to the file named by DORMIVEL_TIMER_ARMINGS,
// each execution state its flags as eight hex digits and "\n" to
// DORMIVEL_EXECUTION_STATES, the power status reports the machine's source,
// and IsSystemResumeAutomatic answers for the wake last played.
#include <windows.h>
#include <powrprof.h>

namespace {

struct Machine {
    DWORD ac = 1;
    DWORD dc = 1;
    bool acFails = false;
    bool dcFails = false;
    bool schemeFails = false;
    bool capsFail = false;
    BOOLEAN s3 = TRUE;
    BOOLEAN s4 = TRUE;
    BOOLEAN hiberFile = TRUE;
    BOOLEAN aoac = FALSE;
    DWORD rtcWake = PowerSystemHibernate;
    bool timerIgnored = false;
    static constexpr BYTE kSourceAsIs = 0xFE;
    BYTE source = kSourceAsIs;  // ACLineStatus: 0 battery, 1 mains, 255 unknown
};

// The balanced scheme's GUID, the one active scheme this machine has.
constexpr GUID kScheme = {0x381b4222, 0xf694, 0x41f0, {0x96, 0x85, 0xff, 0x5b, 0xb2, 0x60, 0xdf, 0x2e}};
constexpr GUID kSleepSubgroup = {0x238c9fa8, 0x0aad, 0x41ed, {0x83, 0xf4, 0x97, 0xbe, 0x24, 0x2c, 0x8f, 0x20}};
constexpr GUID kAllowWakeTimers = {0xbd3b718a, 0x0680, 0x4d9d, {0x8a, 0xb2, 0xe1, 0xd2, 0xb4, 0xac, 0x80, 0x6d}};

bool sameGuid(const GUID* a, const GUID& b) {
    return a != nullptr && a->Data1 == b.Data1 && a->Data2 == b.Data2 && a->Data3 == b.Data3 &&
           RtlEqualMemory(a->Data4, b.Data4, sizeof b.Data4);
}

bool equals(const char* text, int length, const char* word) {
    return length == lstrlenA(word) && CompareStringA(LOCALE_INVARIANT, 0, text, length, word, length) == CSTR_EQUAL;
}

DWORD number(const char* text, int length) {
    DWORD value = 0;
    for (int i = 0; i < length && text[i] >= '0' && text[i] <= '9'; ++i)
        value = value * 10 + static_cast<DWORD>(text[i] - '0');
    return value;
}

void apply(Machine& m, const char* key, int keyLength, const char* value, int valueLength) {
    const bool fail = equals(value, valueLength, "fail");
    const DWORD n = number(value, valueLength);
    const auto flag = static_cast<BOOLEAN>(n != 0 ? TRUE : FALSE);
    if (equals(key, keyLength, "ac")) {
        m.acFails = fail;
        m.ac = n;
    } else if (equals(key, keyLength, "dc")) {
        m.dcFails = fail;
        m.dc = n;
    } else if (equals(key, keyLength, "scheme")) {
        m.schemeFails = fail;
    } else if (equals(key, keyLength, "caps")) {
        m.capsFail = fail;
    } else if (equals(key, keyLength, "s3")) {
        m.s3 = flag;
    } else if (equals(key, keyLength, "s4")) {
        m.s4 = flag;
    } else if (equals(key, keyLength, "hiberfile")) {
        m.hiberFile = flag;
    } else if (equals(key, keyLength, "aoac")) {
        m.aoac = flag;
    } else if (equals(key, keyLength, "rtcwake")) {
        m.rtcWake = n;
    } else if (equals(key, keyLength, "timer")) {
        m.timerIgnored = equals(value, valueLength, "ignored");
    } else if (equals(key, keyLength, "source")) {
        m.source = equals(value, valueLength, "battery") ? 0 : equals(value, valueLength, "mains") ? 1 : 255;
    }
}

Machine readMachine() {
    Machine m;
    wchar_t path[MAX_PATH * 4];
    const DWORD length = GetEnvironmentVariableW(L"DORMIVEL_POWER_MACHINE", path, MAX_PATH * 4);
    if (length == 0 || length >= MAX_PATH * 4) return m;
    const HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return m;
    char text[4096];
    DWORD got = 0;
    const BOOL read = ReadFile(file, text, sizeof text, &got, nullptr);
    CloseHandle(file);
    if (!read) return m;
    const auto size = static_cast<int>(got);
    for (int line = 0; line < size;) {
        int end = line;
        while (end < size && text[end] != '\n')
            ++end;
        int equal = line;
        while (equal < end && text[equal] != '=')
            ++equal;
        int valueEnd = end;
        while (valueEnd > equal + 1 && (text[valueEnd - 1] == '\r' || text[valueEnd - 1] == ' '))
            --valueEnd;
        if (equal < end) apply(m, text + line, equal - line, text + equal + 1, valueEnd - equal - 1);
        line = end + 1;
    }
    return m;
}

// The byte Windows' own headers name AoAc: mingw-w64's name the three bytes
// after FastSystemS4 spare2, of which it is the last.
template <typename Capabilities>
BOOLEAN& modernStandbyByte(Capabilities& caps) {
    if constexpr (requires { caps.AoAc; }) {
        return caps.AoAc;
    } else {
        return caps.spare2[2];
    }
}

void appendLine(const wchar_t* variable, const char* line) {
    wchar_t path[MAX_PATH * 4];
    const DWORD length = GetEnvironmentVariableW(variable, path, MAX_PATH * 4);
    if (length == 0 || length >= MAX_PATH * 4) return;
    const HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(lstrlenA(line)), &written, nullptr);
    CloseHandle(file);
}

constexpr int kMaxWindows = 256;

struct Windows {
    HWND list[kMaxWindows];
    int count;
};

BOOL CALLBACK collectOwnWindow(HWND window, LPARAM lParam) {
    auto* found = reinterpret_cast<Windows*>(lParam);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId == GetCurrentProcessId() && found->count < kMaxWindows) found->list[found->count++] = window;
    return TRUE;
}

UINT notificationTimeoutMs() {
    wchar_t value[16];
    const DWORD length = GetEnvironmentVariableW(L"DORMIVEL_SUSPEND_TIMEOUT_MS", value, 16);
    if (length == 0 || length >= 16) return 2000;
    UINT ms = 0;
    for (DWORD i = 0; i < length && value[i] >= L'0' && value[i] <= L'9'; ++i)
        ms = ms * 10 + static_cast<UINT>(value[i] - L'0');
    return ms;
}

void notify(WPARAM code, UINT timeoutMs) {
    Windows found{};
    EnumWindows(collectOwnWindow, reinterpret_cast<LPARAM>(&found));
    for (int i = 0; i < found.count; ++i) {
        DWORD_PTR result = 0;
        const LRESULT answered =
            SendMessageTimeoutW(found.list[i], WM_POWERBROADCAST, code, 0, SMTO_NORMAL, timeoutMs, &result);
        char line[32];
        wsprintfA(line, "%u %s\n", static_cast<unsigned>(code), answered != 0 ? "answered" : "timeout");
        appendLine(L"DORMIVEL_SUSPEND_NOTIFICATIONS", line);
    }
}

enum class WakePlay { byPerson, automatic, timer };

WakePlay wakePlay() {
    wchar_t value[16];
    const DWORD length = GetEnvironmentVariableW(L"DORMIVEL_WAKE", value, 16);
    if (length == 0 || length >= 16) return WakePlay::byPerson;
    if (lstrcmpiW(value, L"automatic") == 0) return WakePlay::automatic;
    if (lstrcmpiW(value, L"timer") == 0) return WakePlay::timer;
    return WakePlay::byPerson;
}

// The due time of the last arming with resume (absolute UTC ticks), and
// whether the last played wake was one nobody followed.
LONG64 gResumeDue = 0;
LONG gWokeAutomatically = 0;

void sleepUntilResumeDue() {
    constexpr ULONGLONG kLongestMs = 10ULL * 60 * 1000;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const auto nowTicks = static_cast<LONG64>((static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
    const LONG64 due = InterlockedCompareExchange64(&gResumeDue, 0, 0);
    if (due <= nowTicks) return;
    const ULONGLONG ms = static_cast<ULONGLONG>(due - nowTicks) / 10000 + 1;
    Sleep(static_cast<DWORD>(ms < kLongestMs ? ms : kLongestMs));
}

DWORD WINAPI broadcastSleep(void*) {
    const UINT timeoutMs = notificationTimeoutMs();
    const WakePlay play = wakePlay();
    notify(PBT_APMSUSPEND, timeoutMs);
    if (play == WakePlay::timer) sleepUntilResumeDue();
    InterlockedExchange(&gWokeAutomatically, play == WakePlay::byPerson ? 0 : 1);
    notify(PBT_APMRESUMEAUTOMATIC, timeoutMs);
    if (play == WakePlay::byPerson) notify(PBT_APMRESUMESUSPEND, timeoutMs);
    return 0;
}

}  // namespace

extern "C" BOOLEAN WINAPI SetSuspendState(BOOLEAN hibernate, BOOLEAN force, BOOLEAN wakeupEventsDisabled) {
    char line[16];
    wsprintfA(line, "%u %u %u\n", static_cast<unsigned>(hibernate), static_cast<unsigned>(force),
              static_cast<unsigned>(wakeupEventsDisabled));
    appendLine(L"DORMIVEL_SUSPEND_REQUESTS", line);
    const HANDLE thread = CreateThread(nullptr, 0, broadcastSleep, nullptr, 0, nullptr);
    if (thread != nullptr) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
    return TRUE;
}

extern "C" DWORD WINAPI PowerGetActiveScheme(HKEY, GUID** activePolicy) {
    if (activePolicy == nullptr) return ERROR_INVALID_PARAMETER;
    if (readMachine().schemeFails) return ERROR_CALL_NOT_IMPLEMENTED;
    auto* scheme = static_cast<GUID*>(LocalAlloc(LMEM_FIXED, sizeof(GUID)));
    if (scheme == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
    *scheme = kScheme;
    *activePolicy = scheme;
    return ERROR_SUCCESS;
}

namespace {

// Only the allow-wake-timers setting of the active scheme exists here.
DWORD readIndex(const GUID* scheme, const GUID* subgroup, const GUID* setting, LPDWORD index, bool fails, DWORD value) {
    if (index == nullptr || scheme == nullptr) return ERROR_INVALID_PARAMETER;
    if (!sameGuid(scheme, kScheme) || !sameGuid(subgroup, kSleepSubgroup) || !sameGuid(setting, kAllowWakeTimers))
        return ERROR_FILE_NOT_FOUND;
    if (fails) return ERROR_ACCESS_DENIED;
    *index = value;
    return ERROR_SUCCESS;
}

}  // namespace

extern "C" DWORD WINAPI PowerReadACValueIndex(HKEY, const GUID* scheme, const GUID* subgroup, const GUID* setting,
                                              LPDWORD index) {
    const Machine m = readMachine();
    return readIndex(scheme, subgroup, setting, index, m.acFails, m.ac);
}

extern "C" DWORD WINAPI PowerReadDCValueIndex(HKEY, const GUID* scheme, const GUID* subgroup, const GUID* setting,
                                              LPDWORD index) {
    const Machine m = readMachine();
    return readIndex(scheme, subgroup, setting, index, m.dcFails, m.dc);
}

extern "C" BOOLEAN WINAPI GetPwrCapabilities(PSYSTEM_POWER_CAPABILITIES caps) {
    if (caps == nullptr) return FALSE;
    const Machine m = readMachine();
    if (m.capsFail) {
        SetLastError(ERROR_GEN_FAILURE);
        return FALSE;
    }
    RtlZeroMemory(caps, sizeof *caps);
    caps->PowerButtonPresent = TRUE;
    caps->SystemS3 = m.s3;
    caps->SystemS4 = m.s4;
    caps->SystemS5 = TRUE;
    caps->HiberFilePresent = m.hiberFile;
    caps->RtcWake = static_cast<SYSTEM_POWER_STATE>(m.rtcWake);
    caps->DefaultLowLatencyWake = PowerSystemUnspecified;
    modernStandbyByte(*caps) = m.aoac;
    return TRUE;
}

extern "C" BOOL WINAPI DormivelStandIn() {
    return TRUE;
}

namespace {

// ERROR_TIMER_RESUME_IGNORED, which mingw-w64's headers do not name.
constexpr DWORD kTimerResumeIgnored = 722;

using SetWaitableTimerFn = BOOL(WINAPI*)(HANDLE, const LARGE_INTEGER*, LONG, PTIMERAPCROUTINE, LPVOID, BOOL);
using SetExecutionStateFn = EXECUTION_STATE(WINAPI*)(EXECUTION_STATE);
using GetPowerStatusFn = BOOL(WINAPI*)(LPSYSTEM_POWER_STATUS);
using ResumeAutomaticFn = BOOL(WINAPI*)();
SetWaitableTimerFn gSetWaitableTimer = nullptr;
SetExecutionStateFn gSetThreadExecutionState = nullptr;
GetPowerStatusFn gGetSystemPowerStatus = nullptr;
ResumeAutomaticFn gIsSystemResumeAutomatic = nullptr;

BOOL WINAPI standInSetWaitableTimer(HANDLE timer, const LARGE_INTEGER* due, LONG period, PTIMERAPCROUTINE routine,
                                    LPVOID context, BOOL resume) {
    const BOOL armed = gSetWaitableTimer(timer, due, period, routine, context, resume);
    const DWORD error = GetLastError();
    if (due != nullptr) {
        // The due time in decimal, by hand: wsprintf has no 64-bit form
        // that every version reads.
        char line[32];
        char digits[24];
        int count = 0;
        auto value = static_cast<unsigned long long>(due->QuadPart);
        do {
            digits[count++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value != 0 && count < 24);
        int at = 0;  // absolute times only: the program arms no relative one
        while (count > 0)
            line[at++] = digits[--count];
        line[at++] = ' ';
        line[at++] = resume != FALSE ? '1' : '0';
        line[at++] = '\n';
        line[at] = '\0';
        appendLine(L"DORMIVEL_TIMER_ARMINGS", line);
        if (armed != FALSE && resume != FALSE && due->QuadPart > 0) InterlockedExchange64(&gResumeDue, due->QuadPart);
    }
    const bool honoured = !readMachine().timerIgnored;  // reading the file changes the last error
    SetLastError(armed != FALSE && resume != FALSE && error == kTimerResumeIgnored && honoured ? ERROR_SUCCESS : error);
    return armed;
}

EXECUTION_STATE WINAPI standInSetThreadExecutionState(EXECUTION_STATE flags) {
    char line[16];
    wsprintfA(line, "%08X\n", static_cast<unsigned>(flags));
    appendLine(L"DORMIVEL_EXECUTION_STATES", line);
    return gSetThreadExecutionState(flags);
}

BOOL WINAPI standInIsSystemResumeAutomatic() {
    if (InterlockedCompareExchange(&gWokeAutomatically, 0, 0) != 0) return TRUE;
    return gIsSystemResumeAutomatic();
}

BOOL WINAPI standInGetSystemPowerStatus(LPSYSTEM_POWER_STATUS status) {
    const BOOL got = gGetSystemPowerStatus(status);
    const Machine m = readMachine();
    if (got != FALSE && status != nullptr && m.source != Machine::kSourceAsIs) status->ACLineStatus = m.source;
    return got;
}

// Puts `replacement` in the host program's import address table wherever it
// holds kernel32's `name`; returns the real function.
FARPROC replaceImport(const char* name, FARPROC replacement) {
    const FARPROC real = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name);
    if (real == nullptr) return nullptr;
    auto* const base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0) return real;
    const auto realAddress = reinterpret_cast<ULONG_PTR>(real);
    for (auto* module = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         module->Name != 0; ++module) {
        for (auto* entry = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->FirstThunk); entry->u1.Function != 0;
             ++entry) {
            if (entry->u1.Function != realAddress) continue;
            DWORD protection = 0;
            if (VirtualProtect(&entry->u1.Function, sizeof entry->u1.Function, PAGE_READWRITE, &protection)) {
                entry->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
                VirtualProtect(&entry->u1.Function, sizeof entry->u1.Function, protection, &protection);
            }
        }
    }
    return real;
}

template <typename Function>
void replace(const char* name, Function replacement, Function& real) {
    // Through the generic function pointer type, which any function pointer
    // converts to and from.
    real = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(
        replaceImport(name, reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(replacement)))));
}

void replaceImports() {
    replace("SetWaitableTimer", &standInSetWaitableTimer, gSetWaitableTimer);
    replace("SetThreadExecutionState", &standInSetThreadExecutionState, gSetThreadExecutionState);
    replace("GetSystemPowerStatus", &standInGetSystemPowerStatus, gGetSystemPowerStatus);
    replace("IsSystemResumeAutomatic", &standInIsSystemResumeAutomatic, gIsSystemResumeAutomatic);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) replaceImports();
    return TRUE;
}
