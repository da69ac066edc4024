// One environment variable of the stand-in powrprof.dll naming a file in a
// scratch folder, set for every process started while the object lives and
// removed when it goes; the file's lines as the stand-in wrote them.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "driver/driver_win32.h"

namespace dormivel::test {

struct StandInFile {
    StandInFile(const driver::ScratchDir& dir, const wchar_t* name, const wchar_t* fileName)
        : variable(name), path(dir.file(fileName)) {
        SetEnvironmentVariableW(variable, path.c_str());
    }
    StandInFile(const StandInFile&) = delete;
    StandInFile& operator=(const StandInFile&) = delete;
    ~StandInFile() { SetEnvironmentVariableW(variable, nullptr); }

    std::vector<std::string> lines() const {
        std::string text;
        std::vector<std::string> out;
        if (!driver::readFile(path, text)) return out;
        for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
            out.push_back(text.substr(at, end - at));
        return out;
    }
    std::string last() const {
        const std::vector<std::string> all = lines();
        return all.empty() ? std::string() : all.back();
    }

    const wchar_t* variable;
    std::wstring path;
};

}  // namespace dormivel::test
