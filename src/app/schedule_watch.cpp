#include "app/schedule_watch.h"

#include <algorithm>
#include <utility>

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

namespace {

// Both moments lie ahead: the first a stable interval would end at, and
// the cap of a change still unread.
std::optional<std::uint64_t> nextLook(const Settle& settle) {
    if (!settle.active) return std::nullopt;
    std::uint64_t lookAt = settle.changedAtMs + kSettleIntervalMs;
    if (settle.unread) lookAt = std::min(lookAt, settle.capAtMs);
    return lookAt;
}

}  // namespace

SettleStep settleLook(Settle& settle, const FileStamp& stamp, std::uint64_t nowMs) {
    if (stamp != settle.reference) {
        settle.reference = stamp;
        settle.changedAtMs = nowMs;
        if (!settle.unread) {
            settle.unread = true;
            if (!settle.active) settle.capAtMs = nowMs + kSettleCapMs;
        }
        settle.active = true;
    }
    SettleStep step;
    if (!settle.active) return step;
    const bool stable = nowMs - settle.changedAtMs >= kSettleIntervalMs;
    if (settle.unread && (stable || nowMs >= settle.capAtMs)) {
        step.pass = true;
        settle.unread = false;
        settle.capPassDue = !stable;
        settle.capAtMs = nowMs + kSettleCapMs;
    }
    if (stable) settle.active = false;
    step.lookAtMs = nextLook(settle);
    return step;
}

SettleStep settleAfterPass(Settle& settle, bool readCutShort, std::uint64_t nowMs) {
    if (std::exchange(settle.capPassDue, false) && readCutShort && settle.active) {
        settle.unread = true;
        settle.capAtMs = nowMs + kSettleReadAgainMs;
    }
    SettleStep step;
    step.lookAtMs = nextLook(settle);
    return step;
}

std::uint32_t timeoutUntil(std::optional<std::uint64_t> deadlineMs, std::uint64_t nowMs) {
    if (!deadlineMs) return kWaitForever;
    if (*deadlineMs <= nowMs) return 0;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(*deadlineMs - nowMs, kWaitForever - 1));
}

}  // namespace dormivel
