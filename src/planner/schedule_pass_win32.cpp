#include "planner/schedule_pass_win32.h"

#include <string>

namespace dormivel {
namespace {

// The whole schedule file as the runtime's text mode delivers it.
std::string readScheduleBytes(FILE* file) {
    std::string bytes;
    char buffer[16384];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.append(buffer, got);
    return bytes;
}

}  // namespace

void runSchedulePass(AppState& state) {
    const std::string bytes = readScheduleBytes(state.scheduleStream.file);
    (void)bytes;
}

}  // namespace dormivel
