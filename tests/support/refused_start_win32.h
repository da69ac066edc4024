// The way dormivel.exe refuses to start, checked as a whole: a "Dormivel"
// warning with the given text and only an OK button, no main window made
// meanwhile, and the exit code of "return -1" once OK was pressed.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "driver/driver_win32.h"
#include "support/dormivel_exe.h"

namespace dormivel::test {

inline ::testing::AssertionResult isRefusedStart(const driver::StartupWarning& warning, const std::wstring& message) {
    if (!warning.shown) return ::testing::AssertionFailure() << "no warning was shown";
    if (warning.text != message) {
        return ::testing::AssertionFailure() << "the warning says \"" << driver::narrow(warning.text) << "\"";
    }
    if (warning.buttons != std::vector<int>{IDOK}) {
        return ::testing::AssertionFailure()
               << "the warning has " << warning.buttons.size() << " buttons, not OK alone";
    }
    if (warning.mainWindowSeen) return ::testing::AssertionFailure() << "a main window was made";
    if (warning.exitCode != kExitCodeMinusOne) {
        return ::testing::AssertionFailure() << "exit code " << warning.exitCode;
    }
    return ::testing::AssertionSuccess();
}

}  // namespace dormivel::test
