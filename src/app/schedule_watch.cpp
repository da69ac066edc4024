#include "app/schedule_watch.h"

namespace dormivel {
namespace {

bool isSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

}  // namespace

std::wstring scheduleDirectory(std::wstring_view fullPath, std::size_t fileNameOffset) {
    if (fileNameOffset == 0 || fileNameOffset > fullPath.size()) return std::wstring(fullPath);
    std::wstring_view dir = fullPath.substr(0, fileNameOffset - 1);
    // "C:" and "\\server\share" name something else than the folder without
    // their separator: keep it.
    const bool driveRoot = dir.size() == 2 && dir[1] == L':';
    bool shareRoot = false;
    if (dir.size() > 2 && isSeparator(dir[0]) && isSeparator(dir[1])) {
        const std::size_t server = dir.find_first_of(L"\\/", 2);
        shareRoot =
            server != std::wstring_view::npos && dir.find_first_of(L"\\/", server + 1) == std::wstring_view::npos;
    }
    if (dir.empty() || driveRoot || shareRoot) dir = fullPath.substr(0, fileNameOffset);
    return std::wstring(dir);
}

bool settleAndPass(FileStamp& reference, const std::function<FileStamp()>& readStamp,
                   const std::function<void()>& sleepOneInterval, const std::function<void()>& pass) {
    FileStamp current = readStamp();
    if (current == reference) return false;
    do {
        reference = current;
        sleepOneInterval();
        current = readStamp();
    } while (current != reference);
    pass();
    return true;
}

}  // namespace dormivel
