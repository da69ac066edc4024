// The test driver: acts on dormivel.exe as a user and as the system would.
// Every wait polls a condition against a deadline; nothing sleeps for a
// fixed time where a condition can be waited for.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "support/dormivel_exe.h"

namespace driver {

// Deadlines: for dormivel.exe's start up to its main window or message box,
// and for anything else the tests wait for.
inline constexpr DWORD kStartTimeoutMs = 15000;
inline constexpr DWORD kTimeoutMs = 10000;

// The folder of the running test program, where dormivel.exe and the
// helper programs are built.
std::wstring binDir();
std::wstring dormivelExe();
// A program built beside them, such as L"helper_marker.exe".
std::wstring helperExe(const std::wstring& name);

// A fresh, empty scratch folder under the temporary folder; removed by
// removeTree, which removes nothing outside the tests' own scratch folder.
std::wstring makeScratchDir(const std::wstring& name);
void removeTree(const std::wstring& path);

std::wstring join(const std::wstring& dir, const std::wstring& name);

// A fresh scratch folder that is removed with everything in it when the
// object goes, so that a failed assertion leaves nothing behind.
class ScratchDir {
public:
    explicit ScratchDir(const std::wstring& name) : path_(makeScratchDir(name)) {}
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    ~ScratchDir() { removeTree(path_); }

    const std::wstring& path() const { return path_; }
    std::wstring file(const std::wstring& name) const { return join(path_, name); }

private:
    std::wstring path_;
};

// Writes or reads a whole file; reading shares read and write access so that
// a file held open by another process can be read at any moment.
bool writeFile(const std::wstring& path, const std::string& bytes);
bool readFile(const std::wstring& path, std::string& bytes);
bool fileExists(const std::wstring& path);

struct Process {
    HANDLE process = nullptr;
    DWORD processId = 0;
    DWORD threadId = 0;
};

// Starts a program with the given arguments (quoted as the runtime splits
// them) in the given working folder.
bool start(const std::wstring& exe, const std::vector<std::wstring>& args, const std::wstring& workingDir,
           Process& out);
// Waits for the exit; false on time-out. The code is the full 32-bit value
// (a program returning -1 gives kExitCodeMinusOne here).
bool waitExit(Process& p, DWORD timeoutMs, DWORD& exitCode);
bool isRunning(const Process& p);
// Ends a program's main thread loop with WM_QUIT, as a confirmed close does.
bool postQuit(const Process& p);
// Last resort at the end of a test: terminate (with kNotExited) and close
// the handle.
void kill(Process& p);
void closeHandles(Process& p);

// Polls `condition` every 15 ms until it holds or the deadline passes.
bool waitUntil(const std::function<bool()>& condition, DWORD timeoutMs);

// Top-level windows of a process, by class ("#32770" for dialogs and
// message boxes) and caption; an empty caption matches any.
HWND findWindow(DWORD processId, const std::wstring& className, const std::wstring& caption, bool visibleOnly);
HWND waitWindow(DWORD processId, const std::wstring& className, const std::wstring& caption, bool visibleOnly,
                DWORD timeoutMs);

struct MessageBoxInfo {
    HWND window = nullptr;
    std::wstring text;
    std::vector<int> buttons;  // control ids of the visible buttons
    LONG style = 0;
};

// Waits for a visible message box with the caption and reads it.
bool waitMessageBox(DWORD processId, const std::wstring& caption, DWORD timeoutMs, MessageBoxInfo& out);
// A dormivel.exe start that ends in a start-up warning: what the message box
// said and which buttons it had, whether a main window existed meanwhile,
// and the exit code once OK was pressed (kNotExited when it did not exit).
struct StartupWarning {
    bool shown = false;
    std::wstring text;
    std::vector<int> buttons;
    bool mainWindowSeen = false;
    DWORD exitCode = dormivel::test::kNotExited;
};
StartupWarning runToStartupWarning(const std::vector<std::wstring>& args, const std::wstring& workingDir);

// Presses a button of a dialog or message box (BM_CLICK).
void pressButton(HWND dialog, int controlId);

std::wstring windowText(HWND window);
std::wstring controlText(HWND dialog, int controlId);

// The main window: the dialog of the process titled
// dormivel::test::kMainWindowTitle
// (hidden windows included).
HWND waitMainWindow(DWORD processId, DWORD timeoutMs);

// Lines of a list box, as 8-bit text.
std::vector<std::string> listBoxLines(HWND listBox);

// The main window's upcoming list once it holds at least `count` lines (as
// last read when the deadline passed first).
std::vector<std::string> waitForListLines(HWND mainWindow, std::size_t count, DWORD timeoutMs);

// A dormivel.exe run in its own scratch folder, ended and cleaned up when
// the test ends.
struct DormivelRun {
    std::wstring dir;  // a scratch folder (makeScratchDir), removed at the end
    Process process;
    HWND mainWindow = nullptr;

    DormivelRun() = default;
    DormivelRun(const DormivelRun&) = delete;
    DormivelRun& operator=(const DormivelRun&) = delete;
    // A run that a failed assertion left behind is killed, so that it holds
    // neither the single-instance timer for the next test nor the test's
    // output open; then its folder goes.
    ~DormivelRun() {
        kill(process);
        removeTree(dir);
    }

    // The log of a run started with --logfile=log.xml.
    std::wstring logPath() const { return join(dir, L"log.xml"); }
};

// Writes `schedule` as schedule.txt into a fresh scratch folder, starts
// dormivel.exe there with the arguments, and waits for its main window.
bool startDormivel(const std::wstring& scratchName, const std::string& schedule, const std::vector<std::wstring>& args,
                   DormivelRun& run);
// Posts WM_QUIT and waits for exit code 0; kills the process if it does not
// end. Returns the exit code (or kNotExited on time-out).
DWORD stopDormivel(DormivelRun& run);

// A log file's bytes once they satisfy `condition`, or the last bytes read.
std::string waitForLog(const std::wstring& path, const std::function<bool(const std::string&)>& condition,
                       DWORD timeoutMs);
// A file's bytes once it exists and is not empty (a helper program's marker
// file, for instance), or "" when the deadline passed first.
std::string waitForFileText(const std::wstring& path, DWORD timeoutMs);

// The Event bodies of an event log in file order: the text between each
// "<Event time=\"...\">" and its "</Event>".
std::vector<std::string> logEvents(const std::string& log);
// The Event bodies of the log file at `path`; empty when it cannot be read.
std::vector<std::string> readLogEvents(const std::wstring& path);

// Sends WM_POWERBROADCAST with the event code, as the system does to every
// top-level window; returns what the window answered.
LRESULT sendPowerBroadcast(HWND window, WPARAM event);

// Waits until a whole Event element of the log file at `path` holds `text`
// (an element being written is not yet whole); returns the Event bodies as
// last read.
std::vector<std::string> waitForEventHolding(const std::wstring& path, const std::string& text, DWORD timeoutMs);

// Waits until the log file at `path` holds at least `count` Event elements;
// returns its Event bodies as last read.
std::vector<std::string> waitForLogEvents(const std::wstring& path, std::size_t count, DWORD timeoutMs);

// The items of a combo box; the class name of a window.
std::vector<std::wstring> comboItems(HWND comboBox);
std::wstring classOf(HWND window);

// The absolute due time (UTC ticks) of the named waitable timer, read from
// outside the process that armed it (ntdll's NtQueryTimer gives the time
// remaining). False when the timer cannot be opened or is not armed.
bool timerDueTime(const wchar_t* name, std::uint64_t& dueUtc);

// Quotes one argument the way the runtime's splitting reads it back.
std::wstring quoteArgument(const std::wstring& arg);

std::string narrow(const std::wstring& text);
std::wstring widen(const std::string& text);

}  // namespace driver
