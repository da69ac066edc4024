#!/usr/bin/env bash
# Cross-builds dormivel.exe and its Win32 tests and runs them under Wine in a
# virtual display. Extra arguments go to CTest (for example -R Countdown).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
build="$root/build/mingw"
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"${DORMIVEL_JOBS:-2}"
# shellcheck source=wine-env.sh
source "$root/scripts/wine-env.sh"
trap wine_env_stop EXIT
DORMIVEL_OWN_DISPLAY=1 wine_env_start "$build"
# Warm-up: the first window starts Wine's desktop process, which must not
# inherit CTest's output pipe.
(cd "$build/bin" && wine ./dormivel_wintests.exe --gtest_filter='Resources.*' >/dev/null 2>&1 </dev/null) || true
cd "$build"
ctest --output-on-failure "$@"
