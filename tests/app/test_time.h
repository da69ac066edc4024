// The earlier home of the native tests' time helpers, kept under its old
// names for the tests that still include it; new code includes
// support/test_time.h.
#pragma once

#include "../support/test_time.h"

namespace dormivel::testing {

using test::localDateTime;
using test::localTicks;

}  // namespace dormivel::testing
