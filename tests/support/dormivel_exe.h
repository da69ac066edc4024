// What the test programs and the helper programs know of dormivel.exe and of
// each other from outside: the main window's title and the exit codes.
#pragma once

#include <cstdint>

#include "dormivel_version.h"

namespace dormivel::test {

// The caption of dormivel.exe's main window (a dialog, class "#32770").
inline constexpr wchar_t kMainWindowTitle[] = L"Dormivel " DORMIVEL_VERSION_TEXT;

// A program's "return -1" as the platform reports the full 32-bit code.
inline constexpr std::uint32_t kExitCodeMinusOne = 0xFFFFFFFF;

// What the driver reports for a program that did not exit in time, and the
// code it terminates such a program with.
inline constexpr std::uint32_t kNotExited = 0xDEAD;

// helper_window.exe's exit code after it ended its loop on WM_QUIT.
inline constexpr std::uint32_t kHelperWindowQuitCode = 7;

}  // namespace dormivel::test
