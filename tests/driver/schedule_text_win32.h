// The driver's earlier names for the schedule and time helpers, which now
// live in support/schedule_file_win32.h, for the tests that still use them.
#pragma once

#include "driver/driver_win32.h"
#include "support/schedule_file_win32.h"

namespace driver {

using dormivel::test::addSeconds;
using dormivel::test::enUsShortTime;
using dormivel::test::enUsStamp;
using dormivel::test::fromTicks;
using dormivel::test::kTicksPerSecond;
using dormivel::test::localNow;
using dormivel::test::ScheduleEntry;
using dormivel::test::scheduleFile;
using dormivel::test::scheduleTime;
using dormivel::test::showElement;
using dormivel::test::toTicks;
using dormivel::test::wholeMinute;

}  // namespace driver
