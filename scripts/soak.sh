#!/usr/bin/env bash
# Soak runs under Wine: 10,000 schedule passes over a changing schedule of
# 100 recordings with a real main window and log, sampling handles, USER and
# GDI objects and private bytes every 1,000 passes (fails if any grows after
# the first sample); then 200 schedule rewrites under dormivel.exe's file
# watcher, each of which must reach the log (about 7 minutes).
set -euo pipefail
# shellcheck source=common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
passes=${1:-10000}
rewrites=${2:-200}
install_deps >/dev/null
configure mingw
build mingw --target dormivel dormivel_winbench >/dev/null
# shellcheck source=wine-env.sh
source "$root/scripts/wine-env.sh"
trap wine_env_stop EXIT
DORMIVEL_OWN_DISPLAY=1 wine_env_start "$root/build/mingw"
cd build/mingw/bin
echo "== $passes passes"
wine ./dormivel_winbench.exe soak "$passes" </dev/null
echo "== $rewrites rewrites under the file watcher"
wine ./dormivel_winbench.exe settle-soak "$rewrites" </dev/null
