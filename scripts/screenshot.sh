#!/usr/bin/env bash
# Takes docs/main-window.png: dormivel.exe under Wine in a virtual display,
# with a few recordings in its list, its window shown as a tray click does;
# docs/wake-warning.png: the tray balloon on a machine (played by the tests'
# stand-in powrprof.dll) whose power plan turns wake timers off;
# docs/tray-menu.png: the tray menu; and docs/wake-test.png: the balloon
# after a wake-up test, the stand-in sleeping until the wake timer is due
# (about two minutes) and waking as the clock would, with nobody at the PC.
# Arguments name the pictures to take (main-window, wake-warning, tray-menu,
# wake-test); none takes them all.
set -euo pipefail
# shellcheck source=common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
install_deps >/dev/null
configure mingw
build mingw --target dormivel helper_show_dormivel helper_close_dormivel powrprof_standin >/dev/null
title="Dormivel $(version_text build/mingw)"
# shellcheck source=wine-env.sh
source "$root/scripts/wine-env.sh"
trap wine_env_stop EXIT
DORMIVEL_OWN_DISPLAY=1 wine_env_start "$root/build/mingw"
shots=("$@")
[[ ${#shots[@]} -gt 0 ]] || shots=(main-window wake-warning tray-menu wake-test)
wanted() { [[ " ${shots[*]} " == *" $1 "* ]]; }
bin="$root/build/mingw/bin"
scratch=$(mktemp -d /tmp/dormivel-shot.XXXXXX)
at() { date -d "$1" '+%a %m/%d %H:%M'; }
{
  printf 'Id\tStart\tStop\tLength\tChannel name\tChannel\tTitle\tManual\tFavorite\n'
  printf '1\t%s\t%s\t0:30\tDas Erste\t1\tTagesschau\tfalse\ttrue\n' "$(at '+25 minutes')" "$(at '+55 minutes')"
  printf '2\t%s\t%s\t1:00\tZDF\t2\tTerra X: Die Geschichte der Alpen\ttrue\tfalse\n' "$(at '+2 hours')" "$(at '+3 hours')"
  printf '3\t%s\t%s\t1:00\tarte\t8\tDokumentation am Abend\tfalse\tfalse\n' "$(at '+5 hours')" "$(at '+6 hours')"
  printf '4\t%s\t%s\t0:30\t3sat\t9\tKulturzeit\tfalse\tfalse\n' "$(at '+1 day')" "$(at '+1 day 30 minutes')"
} >"$scratch/schedule.txt"
winpath() { printf 'Z:%s' "${1//\//\\}"; }
# waits until the log holds the pattern, for up to N tenths of a second
wait_log() {
  for _ in $(seq 1 "$2"); do
    grep -q "$1" "$scratch/log.xml" 2>/dev/null && return
    sleep 0.1
  done
}
# start_logged PATTERN [VARIABLE=VALUE...]: dormivel.exe with a log and the
# environment given, until its log holds the pattern
start_logged() {
  local pattern=$1
  shift
  rm -f "$scratch/log.xml"
  (cd "$scratch" && env "$@" wine "$bin/dormivel.exe" --logfile=log.xml >/dev/null 2>&1) &
  pid=$!
  wait_log "$pattern" 200
}
close_dormivel() {
  wine "$bin/helper_close_dormivel.exe" >/dev/null 2>&1 || true
  wait "$pid" || true
}

if wanted main-window; then
  (cd "$scratch" && wine "$bin/dormivel.exe" --nomanual=0-24 >/dev/null 2>&1) &
  pid=$!
  for _ in $(seq 1 100); do
    wine "$bin/helper_show_dormivel.exe" >/dev/null 2>&1 && break
    sleep 0.2
  done
  sleep 1
  id=$(xwininfo -root -tree | awk -v title="\"$title\"" 'index($0, title) {print $1; exit}')
  geometry=$(xwininfo -id "$id" | awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4} /Width/ {w=$2} /Height/ {h=$2} END {print w "x" h "+" x "+" y}')
  import -window root -crop "$geometry" "$root/docs/main-window.png"
  echo "== docs/main-window.png ($geometry)"
  close_dormivel
fi

if wanted wake-warning; then
  printf 'ac=0\n' >"$scratch/machine.txt"
  start_logged '<WakeUnavailable' DORMIVEL_POWER_MACHINE="$(winpath "$scratch/machine.txt")"
  # The shell shows a balloon a moment after it is asked to.
  sleep 3
  import -window root -crop 620x120+0+0 "$root/docs/wake-warning.png"
  echo "== docs/wake-warning.png"
  close_dormivel
fi

if wanted tray-menu; then
  start_logged '<SetWakeUp'
  # The cursor beside the tray icon, in the top left corner of Wine's desktop.
  wine "$bin/helper_show_dormivel.exe" menu 40 30 >/dev/null 2>&1
  sleep 1
  import -window root -crop 260x90+0+0 "$root/docs/tray-menu.png"
  echo "== docs/tray-menu.png"
  # The menu's own loop would hold the quit back.
  wine "$bin/helper_show_dormivel.exe" menu-off >/dev/null 2>&1
  close_dormivel
fi

if wanted wake-test; then
  start_logged '<SetWakeUp' DORMIVEL_WAKE=timer DORMIVEL_SUSPEND_REQUESTS="$(winpath "$scratch/requests.txt")"
  wine "$bin/helper_show_dormivel.exe" wake-test >/dev/null 2>&1
  echo "== waiting for the test's wake-up (about 2 minutes)"
  wait_log '<WakeTestResult' 1800
  sleep 3
  import -window root -crop 620x120+0+0 "$root/docs/wake-test.png"
  echo "== docs/wake-test.png"
  grep -o '<WakeTest[^>]*>' "$scratch/log.xml" || true
  close_dormivel
fi
rm -rf "$scratch"
