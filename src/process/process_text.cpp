#include "process/process_text.h"

#include <algorithm>

namespace dormivel {

bool isListedClass(const std::vector<std::wstring>& terminateList, std::wstring_view className) {
    return std::any_of(terminateList.begin(), terminateList.end(),
                       [&](const std::wstring& entry) { return entry == className; });
}

std::string narrowClassName(std::wstring_view className) {
    std::string out;
    out.reserve(className.size());
    for (const wchar_t c : className) {
        if (static_cast<unsigned long>(c) > 0xFF) return {};
        out.push_back(static_cast<char>(static_cast<unsigned char>(c)));
    }
    return out;
}

std::string narrowProgramPath(std::wstring_view path) {
    std::string out;
    out.reserve(path.size());
    for (const wchar_t c : path) {
        const bool outside = static_cast<unsigned long>(c) > 0xFF;
        out.push_back(static_cast<char>(outside ? 0xFF : static_cast<unsigned char>(c)));
    }
    return out;
}

std::wstring programCommandLine(std::wstring_view path) {
    std::wstring line = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : path) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes count as escapes only before a double quote.
        line.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        line += c;
    }
    line.append(backslashes * 2, L'\\');
    line += L'"';
    return line;
}

}  // namespace dormivel
