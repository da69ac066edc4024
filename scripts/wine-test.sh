#!/usr/bin/env bash
# Cross-builds dormivel.exe and its Win32 tests and runs them under Wine in a
# virtual display. Installs what it needs. Extra arguments go to CTest (for
# example -R Countdown).
set -euo pipefail
# shellcheck source=common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
install_deps

build_dir="$root/build/mingw"
configure mingw
build mingw
# shellcheck source=wine-env.sh
source "$root/scripts/wine-env.sh"
trap wine_env_stop EXIT
DORMIVEL_OWN_DISPLAY=1 wine_env_start "$build_dir"
# Warm-up: the first window starts Wine's desktop process, which must not
# inherit CTest's output pipe.
(cd "$build_dir/bin" && wine ./dormivel_wintests.exe --gtest_filter='Resources.*' >/dev/null 2>&1 </dev/null) || true
cd "$build_dir"
# The Wine tests share one desktop and one named timer: a resource lock
# runs them one at a time whatever the job count.
ctest -j "$jobs" --output-on-failure "$@"
