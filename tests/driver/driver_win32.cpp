#include "driver/driver_win32.h"

#include <iterator>
#include <utility>

#include "ui/resource.h"

namespace driver {

using dormivel::test::kMainWindowTitle;
using dormivel::test::kNotExited;

std::wstring binDir() {
    wchar_t path[MAX_PATH * 4];
    const DWORD n = GetModuleFileNameW(nullptr, path, static_cast<DWORD>(std::size(path)));
    std::wstring s(path, n);
    return s.substr(0, s.find_last_of(L"\\/"));
}

std::wstring dormivelExe() {
    return join(binDir(), L"dormivel.exe");
}

std::wstring helperExe(const std::wstring& name) {
    return join(binDir(), name);
}

std::wstring join(const std::wstring& dir, const std::wstring& name) {
    if (dir.empty() || dir.back() == L'\\' || dir.back() == L'/') return dir + name;
    return dir + L"\\" + name;
}

namespace {

std::wstring scratchBase() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    return join(temp, L"dormivel-tests");
}

// Deletes a folder and everything below it, with the long-path prefix so
// that trees deeper than MAX_PATH go too: files first, walking the folders
// breadth-first, then the folders, deepest first.
void removeLong(const std::wstring& top) {
    std::vector<std::wstring> folders{top};
    for (std::size_t i = 0; i < folders.size(); ++i) {
        WIN32_FIND_DATAW entry;
        const HANDLE find = FindFirstFileW((folders[i] + L"\\*").c_str(), &entry);
        if (find == INVALID_HANDLE_VALUE) continue;
        do {
            const std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring child = folders[i] + L"\\" + name;
            if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                folders.push_back(child);
            } else {
                SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(child.c_str());
            }
        } while (FindNextFileW(find, &entry));
        FindClose(find);
    }
    for (auto it = folders.rbegin(); it != folders.rend(); ++it)
        RemoveDirectoryW(it->c_str());
}

}  // namespace

void removeTree(const std::wstring& path) {
    // Only ever below the tests' own scratch folder.
    const std::wstring base = scratchBase() + L"\\";
    if (path.size() <= base.size() || path.compare(0, base.size(), base) != 0) return;
    if (path.find(L"..") != std::wstring::npos) return;
    removeLong(L"\\\\?\\" + path);
}

std::wstring makeScratchDir(const std::wstring& name) {
    const std::wstring base = scratchBase();
    CreateDirectoryW(base.c_str(), nullptr);
    // Wine hands out process ids again at once, and a folder of an earlier
    // test program may still be going away: the name is made unique by the
    // time and a count as well.
    static unsigned count = 0;
    std::wstring dir = join(base, name + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                      std::to_wstring(GetTickCount64()) + L"-" + std::to_wstring(++count));
    removeTree(dir);
    CreateDirectoryW(dir.c_str(), nullptr);
    return dir;
}

bool writeFile(const std::wstring& path, const std::string& bytes) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

bool readFile(const std::wstring& path, std::string& bytes) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bytes.clear();
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        bytes.append(buffer, got);
    CloseHandle(file);
    return true;
}

bool fileExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring quoteArgument(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"') {
            out.append(backslashes * 2 + 1, L'\\');
        } else {
            out.append(backslashes, L'\\');
        }
        backslashes = 0;
        out.push_back(c);
    }
    out.append(backslashes * 2, L'\\');
    out.push_back(L'"');
    return out;
}

bool start(const std::wstring& exe, const std::vector<std::wstring>& args, const std::wstring& workingDir,
           Process& out) {
    std::wstring commandLine = quoteArgument(exe);
    for (const auto& a : args)
        commandLine += L" " + quoteArgument(a);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        workingDir.empty() ? nullptr : workingDir.c_str(), &startup, &info)) {
        return false;
    }
    CloseHandle(info.hThread);
    out.process = info.hProcess;
    out.processId = info.dwProcessId;
    out.threadId = info.dwThreadId;
    return true;
}

bool waitExit(Process& p, DWORD timeoutMs, DWORD& exitCode) {
    if (p.process == nullptr) return false;
    if (WaitForSingleObject(p.process, timeoutMs) != WAIT_OBJECT_0) return false;
    GetExitCodeProcess(p.process, &exitCode);
    return true;
}

bool isRunning(const Process& p) {
    return p.process != nullptr && WaitForSingleObject(p.process, 0) == WAIT_TIMEOUT;
}

bool postQuit(const Process& p) {
    return PostThreadMessageW(p.threadId, WM_QUIT, 0, 0) != FALSE;
}

void kill(Process& p) {
    if (isRunning(p)) {
        TerminateProcess(p.process, kNotExited);
        WaitForSingleObject(p.process, 5000);
    }
    closeHandles(p);
}

void closeHandles(Process& p) {
    if (p.process != nullptr) CloseHandle(p.process);
    p.process = nullptr;
}

bool waitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        if (condition()) return true;
        if (GetTickCount64() >= deadline) return false;
        Sleep(15);
    }
}

namespace {

struct WindowQuery {
    DWORD processId;
    const std::wstring* className;
    const std::wstring* caption;
    bool visibleOnly;
    HWND found;
};

BOOL CALLBACK matchWindow(HWND window, LPARAM context) {
    auto& q = *reinterpret_cast<WindowQuery*>(context);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != q.processId) return TRUE;
    if (q.visibleOnly && !IsWindowVisible(window)) return TRUE;
    wchar_t cls[256];
    GetClassNameW(window, cls, 256);
    if (*q.className != cls) return TRUE;
    if (!q.caption->empty() && windowText(window) != *q.caption) return TRUE;
    q.found = window;
    return FALSE;
}

BOOL CALLBACK collectButton(HWND child, LPARAM context) {
    wchar_t cls[64];
    GetClassNameW(child, cls, 64);
    if (lstrcmpiW(cls, L"Button") == 0 && IsWindowVisible(child)) {
        reinterpret_cast<std::vector<int>*>(context)->push_back(GetDlgCtrlID(child));
    }
    return TRUE;
}

}  // namespace

HWND findWindow(DWORD processId, const std::wstring& className, const std::wstring& caption, bool visibleOnly) {
    WindowQuery q{processId, &className, &caption, visibleOnly, nullptr};
    EnumWindows(matchWindow, reinterpret_cast<LPARAM>(&q));
    return q.found;
}

HWND waitWindow(DWORD processId, const std::wstring& className, const std::wstring& caption, bool visibleOnly,
                DWORD timeoutMs) {
    HWND found = nullptr;
    waitUntil([&] { return (found = findWindow(processId, className, caption, visibleOnly)) != nullptr; }, timeoutMs);
    return found;
}

std::wstring windowText(HWND window) {
    wchar_t text[1024];
    const int n = GetWindowTextW(window, text, 1024);
    return std::wstring(text, n > 0 ? static_cast<std::size_t>(n) : 0);
}

std::wstring controlText(HWND dialog, int controlId) {
    wchar_t text[1024];
    const UINT n = GetDlgItemTextW(dialog, controlId, text, 1024);
    return std::wstring(text, n);
}

bool waitMessageBox(DWORD processId, const std::wstring& caption, DWORD timeoutMs, MessageBoxInfo& out) {
    out.window = waitWindow(processId, L"#32770", caption, true, timeoutMs);
    if (out.window == nullptr) return false;
    out.text = controlText(out.window, 0xFFFF);
    out.buttons.clear();
    EnumChildWindows(out.window, collectButton, reinterpret_cast<LPARAM>(&out.buttons));
    out.style = GetWindowLongW(out.window, GWL_STYLE);
    return true;
}

StartupWarning runToStartupWarning(const std::vector<std::wstring>& args, const std::wstring& workingDir) {
    StartupWarning result;
    Process p;
    if (!start(dormivelExe(), args, workingDir, p)) return result;
    MessageBoxInfo box;
    result.shown = waitMessageBox(p.processId, L"Dormivel", kStartTimeoutMs, box);
    if (result.shown) {
        result.text = box.text;
        result.buttons = box.buttons;
        result.mainWindowSeen = findWindow(p.processId, L"#32770", kMainWindowTitle, false) != nullptr;
        pressButton(box.window, IDOK);
        DWORD code = 0;
        if (waitExit(p, kTimeoutMs, code)) result.exitCode = code;
    }
    kill(p);
    return result;
}

void pressButton(HWND dialog, int controlId) {
    SendMessageW(GetDlgItem(dialog, controlId), BM_CLICK, 0, 0);
}

HWND waitMainWindow(DWORD processId, DWORD timeoutMs) {
    return waitWindow(processId, L"#32770", kMainWindowTitle, false, timeoutMs);
}

namespace {

// The item texts of a list box or a combo box, read with the control's own
// count, length and text messages (which the platform marshals across
// processes).
std::vector<std::wstring> itemTexts(HWND control, UINT countMessage, UINT lengthMessage, UINT textMessage) {
    std::vector<std::wstring> items;
    const LRESULT count = SendMessageW(control, countMessage, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        const LRESULT length = SendMessageW(control, lengthMessage, static_cast<WPARAM>(i), 0);
        if (length < 0) break;
        std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
        const LRESULT got =
            SendMessageW(control, textMessage, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text.data()));
        text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
        items.push_back(std::move(text));
    }
    return items;
}

}  // namespace

std::vector<std::string> listBoxLines(HWND listBox) {
    std::vector<std::string> lines;
    for (const std::wstring& item : itemTexts(listBox, LB_GETCOUNT, LB_GETTEXTLEN, LB_GETTEXT)) {
        lines.push_back(narrow(item));
    }
    return lines;
}

std::vector<std::string> waitForListLines(HWND mainWindow, std::size_t count, DWORD timeoutMs) {
    std::vector<std::string> lines;
    waitUntil(
        [&] {
            lines = listBoxLines(GetDlgItem(mainWindow, IDC_UPCOMING_LIST));
            return lines.size() >= count;
        },
        timeoutMs);
    return lines;
}

bool startDormivel(const std::wstring& scratchName, const std::string& schedule, const std::vector<std::wstring>& args,
                   DormivelRun& run) {
    run.dir = makeScratchDir(scratchName);
    if (!writeFile(join(run.dir, L"schedule.txt"), schedule)) return false;
    if (!start(dormivelExe(), args, run.dir, run.process)) return false;
    run.mainWindow = waitMainWindow(run.process.processId, kStartTimeoutMs);
    return run.mainWindow != nullptr;
}

DWORD stopDormivel(DormivelRun& run) {
    DWORD code = kNotExited;
    if (run.process.process != nullptr) {
        postQuit(run.process);
        if (!waitExit(run.process, kTimeoutMs, code)) code = kNotExited;
        kill(run.process);
    }
    return code;
}

std::string waitForLog(const std::wstring& path, const std::function<bool(const std::string&)>& condition,
                       DWORD timeoutMs) {
    std::string bytes;
    waitUntil([&] { return readFile(path, bytes) && condition(bytes); }, timeoutMs);
    return bytes;
}

std::string waitForFileText(const std::wstring& path, DWORD timeoutMs) {
    std::string bytes;
    return waitUntil([&] { return readFile(path, bytes) && !bytes.empty(); }, timeoutMs) ? bytes : std::string();
}

std::vector<std::string> logEvents(const std::string& log) {
    std::vector<std::string> bodies;
    const std::string startTag = "<Event time=\"";
    const std::string endTag = "</Event>";
    std::size_t pos = 0;
    while ((pos = log.find(startTag, pos)) != std::string::npos) {
        const std::size_t bodyBegin = log.find("\">", pos + startTag.size());
        if (bodyBegin == std::string::npos) break;
        const std::size_t bodyEnd = log.find(endTag, bodyBegin + 2);
        if (bodyEnd == std::string::npos) break;
        bodies.push_back(log.substr(bodyBegin + 2, bodyEnd - bodyBegin - 2));
        pos = bodyEnd + endTag.size();
    }
    return bodies;
}

std::vector<std::string> readLogEvents(const std::wstring& path) {
    std::string bytes;
    if (!readFile(path, bytes)) return {};
    return logEvents(bytes);
}

LRESULT sendPowerBroadcast(HWND window, WPARAM event) {
    return SendMessageW(window, WM_POWERBROADCAST, event, 0);
}

std::vector<std::string> waitForEventHolding(const std::wstring& path, const std::string& text, DWORD timeoutMs) {
    std::vector<std::string> events;
    waitUntil(
        [&] {
            events = readLogEvents(path);
            for (const std::string& event : events) {
                if (event.find(text) != std::string::npos) return true;
            }
            return false;
        },
        timeoutMs);
    return events;
}

std::vector<std::string> waitForLogEvents(const std::wstring& path, std::size_t count, DWORD timeoutMs) {
    return logEvents(waitForLog(
        path, [count](const std::string& bytes) { return logEvents(bytes).size() >= count; }, timeoutMs));
}

std::vector<std::wstring> comboItems(HWND comboBox) {
    return itemTexts(comboBox, CB_GETCOUNT, CB_GETLBTEXTLEN, CB_GETLBTEXT);
}

std::wstring classOf(HWND window) {
    wchar_t name[256];
    const int length = GetClassNameW(window, name, 256);
    return std::wstring(name, length > 0 ? static_cast<std::size_t>(length) : 0);
}

bool timerDueTime(const wchar_t* name, std::uint64_t& dueUtc) {
    struct TimerBasicInformation {
        LARGE_INTEGER remainingTime;
        BOOLEAN timerState;
    };
    using QueryTimer = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    const auto query = reinterpret_cast<QueryTimer>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryTimer")));
    if (query == nullptr) return false;
    const HANDLE timer = OpenWaitableTimerW(TIMER_QUERY_STATE, FALSE, name);
    if (timer == nullptr) return false;
    TimerBasicInformation info{};
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const LONG status = query(timer, 0, &info, sizeof info, nullptr);
    CloseHandle(timer);
    if (status != 0 || info.timerState != FALSE || info.remainingTime.QuadPart <= 0) return false;
    dueUtc = ((static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime) +
             static_cast<std::uint64_t>(info.remainingTime.QuadPart);
    return true;
}

std::string narrow(const std::wstring& text) {
    if (text.empty()) return {};
    const int n =
        WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring widen(const std::string& text) {
    if (text.empty()) return {};
    const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

}  // namespace driver
