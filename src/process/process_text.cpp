#include "process/process_text.h"

#include <algorithm>

namespace dormivel {
namespace {

// The classic locale maps the first 256 code points to the bytes of the same
// value and has no byte for any other character; the path conversion writes
// this byte in its place.
constexpr unsigned long kLastLatin1 = 0xFF;
constexpr char kUnmappableByte = static_cast<char>(0xFF);

bool isLatin1(wchar_t c) {
    return static_cast<unsigned long>(c) <= kLastLatin1;
}

}  // namespace

bool isListedClass(const std::vector<std::wstring>& terminateList, std::wstring_view className) {
    return std::any_of(terminateList.begin(), terminateList.end(),
                       [&](const std::wstring& entry) { return entry == className; });
}

std::string narrowClassName(std::wstring_view className) {
    std::string out;
    out.reserve(className.size());
    for (const wchar_t c : className) {
        if (!isLatin1(c)) return {};
        out.push_back(static_cast<char>(static_cast<unsigned char>(c)));
    }
    return out;
}

std::string narrowProgramPath(std::wstring_view path) {
    std::string out;
    out.reserve(path.size());
    for (const wchar_t c : path) {
        out.push_back(isLatin1(c) ? static_cast<char>(static_cast<unsigned char>(c)) : kUnmappableByte);
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
