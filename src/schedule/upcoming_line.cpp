#include "schedule/upcoming_line.h"

namespace dormivel {

std::string composeUpcomingLine(bool eligible, std::string_view startTime, std::string_view title) {
    std::string line = eligible ? "*\t" : " \t";
    line.append(startTime);
    line += '\t';
    line.append(title);
    return line;
}

}  // namespace dormivel
