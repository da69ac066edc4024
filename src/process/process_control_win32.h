// Closing listed applications before sleep and starting listed programs
// after a wake.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "eventlog/event_log_win32.h"

namespace dormivel {

// Closes the applications whose windows have a class of the list, each
// politely and then by force, logging each one closed.
void terminateApplications(const std::vector<std::wstring>& terminateList, EventLog& log);
// Starts the programs of the list, logging each one started.
void executePrograms(const std::vector<std::wstring>& executeList, EventLog& log);

}  // namespace dormivel
