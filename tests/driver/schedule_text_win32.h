// The driver's earlier names for the schedule and time helpers, which now
// live in support/schedule_file_win32.h, for the tests that still use them
// as driver::toTicks, driver::scheduleFile and so on.
#pragma once

#include "driver/driver_win32.h"
#include "support/schedule_file_win32.h"

namespace driver {

using namespace dormivel::test;

}  // namespace driver
