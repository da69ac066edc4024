// The bytes a program gets when it reads a file opened in the Windows
// runtime's text mode: the file ends at the first byte 0x1A (Ctrl+Z), and
// every CR LF pair arrives as one LF; any other CR arrives unchanged. The
// schedule file is opened that way, so native tests that start from a file's
// raw bytes hand the reader what this gives.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace dormivel::testing {

inline std::string textModeBytes(std::string_view file) {
    file = file.substr(0, file.find('\x1A'));
    std::string delivered;
    delivered.reserve(file.size());
    for (std::size_t i = 0; i < file.size(); ++i) {
        if (file[i] == '\r' && i + 1 < file.size() && file[i + 1] == '\n') continue;
        delivered += file[i];
    }
    return delivered;
}

}  // namespace dormivel::testing
