// The files through which the Win32 tests talk to the stand-in powrprof.dll:
// an environment variable naming a file, set for the test program and every
// process it starts while the object lives.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "driver/driver_win32.h"

namespace dormivel::test {

struct StandInFile {
    StandInFile(const wchar_t* name, std::wstring file) : variable(name), path(std::move(file)) {
        SetEnvironmentVariableW(variable, path.c_str());
    }
    StandInFile(const StandInFile&) = delete;
    StandInFile& operator=(const StandInFile&) = delete;
    ~StandInFile() { SetEnvironmentVariableW(variable, nullptr); }

    // Writes the whole file (the machine to play).
    bool set(const char* text) const { return driver::writeFile(path, text); }

    // The LF-ended lines the stand-in appended so far.
    std::vector<std::string> lines() const {
        std::string text;
        std::vector<std::string> out;
        if (!driver::readFile(path, text)) return out;
        std::size_t at = 0;
        for (std::size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', at)) {
            out.push_back(text.substr(at, end - at));
            at = end + 1;
        }
        return out;
    }
    std::string last() const {
        const std::vector<std::string> all = lines();
        return all.empty() ? std::string() : all.back();
    }

    const wchar_t* variable;
    std::wstring path;
};

// The machine the stand-in plays (DORMIVEL_POWER_MACHINE).
inline constexpr const wchar_t* kPowerMachine = L"DORMIVEL_POWER_MACHINE";

}  // namespace dormivel::test
