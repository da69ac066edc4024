#include "schedule/schedule_file.h"

#include <algorithm>

namespace dormivel {
namespace {

// Platform error codes a failed open or read of the schedule may leave.
constexpr std::uint32_t kFileNotFound = 2;
constexpr std::uint32_t kPathNotFound = 3;
constexpr std::uint32_t kAccessDenied = 5;
constexpr std::uint32_t kSharingViolation = 32;
constexpr std::uint32_t kLockViolation = 33;
constexpr std::uint32_t kBadNetPath = 53;
constexpr std::uint32_t kNetNameDeleted = 64;
constexpr std::uint32_t kBadNetName = 67;
constexpr std::uint32_t kInvalidDrive = 15;

}  // namespace

ScheduleAccess classifyScheduleError(std::uint32_t platformError) {
    switch (platformError) {
        case kFileNotFound:
        case kPathNotFound:
        case kInvalidDrive:
        case kBadNetPath:
        case kBadNetName:
        case kNetNameDeleted:
            return ScheduleAccess::missing;
        case kAccessDenied:
        case kSharingViolation:
            return ScheduleAccess::denied;
        case kLockViolation:
            return ScheduleAccess::locked;
        default:
            return ScheduleAccess::failed;
    }
}

std::string_view scheduleAccessReason(ScheduleAccess access) {
    switch (access) {
        case ScheduleAccess::read:
            return "read";
        case ScheduleAccess::changing:
            return "changing";
        case ScheduleAccess::missing:
            return "missing";
        case ScheduleAccess::denied:
            return "denied";
        case ScheduleAccess::locked:
            return "locked";
        case ScheduleAccess::failed:
            break;
    }
    return "ioerror";
}

bool scheduleStandsStill(const FileStamp& current, const FileStamp& settled, std::uint64_t nowTicks) {
    constexpr std::uint64_t kTicksPerMs = 10'000;
    if (!current.present || current == settled || current.modified > nowTicks) return true;
    return nowTicks - current.modified >= kScheduleStillMs * kTicksPerMs;
}

ScheduleReadStep onScheduleRead(ScheduleReadEpisode& episode, ScheduleAccess access, std::uint64_t nowMs) {
    ScheduleReadStep step;
    if (access == ScheduleAccess::read) {
        episode = {};
        return step;
    }
    step.useRecordings = false;
    step.reason = scheduleAccessReason(access);
    episode.retrying = true;
    episode.changing = access == ScheduleAccess::changing;
    if (episode.changing) {
        episode.retryAtMs = nowMs + kScheduleStillMs;
        return step;
    }
    step.logFailure = !episode.failing;
    episode.failing = true;
    episode.retryAtMs = nowMs + kScheduleRetryMs;
    return step;
}

std::uint32_t waitTimeoutMs(const ScheduleReadEpisode& episode, std::uint64_t nowMs) {
    if (!episode.retrying) return kWaitForever;
    if (episode.retryAtMs <= nowMs) return 0;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(episode.retryAtMs - nowMs, kScheduleRetryMs));
}

}  // namespace dormivel
