#!/usr/bin/env bash
# Takes docs/main-window.png: dormivel.exe under Wine in a virtual display,
# with a few recordings in its list, its window shown as a tray click does;
# then docs/wake-warning.png: the tray balloon on a machine (played by the
# tests' stand-in powrprof.dll) whose power plan turns wake timers off.
set -euo pipefail
# shellcheck source=common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
install_deps >/dev/null
configure mingw
build mingw --target dormivel helper_show_dormivel helper_close_dormivel >/dev/null
title="Dormivel $(version_text build/mingw)"
# shellcheck source=wine-env.sh
source "$root/scripts/wine-env.sh"
trap wine_env_stop EXIT
DORMIVEL_OWN_DISPLAY=1 wine_env_start "$root/build/mingw"
scratch=$(mktemp -d /tmp/dormivel-shot.XXXXXX)
at() { date -d "$1" '+%a %m/%d %H:%M'; }
{
  printf 'Id\tStart\tStop\tLength\tChannel name\tChannel\tTitle\tManual\tFavorite\n'
  printf '1\t%s\t%s\t0:30\tDas Erste\t1\tTagesschau\tfalse\ttrue\n' "$(at '+25 minutes')" "$(at '+55 minutes')"
  printf '2\t%s\t%s\t1:00\tZDF\t2\tTerra X: Die Geschichte der Alpen\ttrue\tfalse\n' "$(at '+2 hours')" "$(at '+3 hours')"
  printf '3\t%s\t%s\t1:00\tarte\t8\tDokumentation am Abend\tfalse\tfalse\n' "$(at '+5 hours')" "$(at '+6 hours')"
  printf '4\t%s\t%s\t0:30\t3sat\t9\tKulturzeit\tfalse\tfalse\n' "$(at '+1 day')" "$(at '+1 day 30 minutes')"
} >"$scratch/schedule.txt"
(cd "$scratch" && wine "$root/build/mingw/bin/dormivel.exe" --nomanual=0-24 >/dev/null 2>&1) &
pid=$!
for _ in $(seq 1 100); do
  wine "$root/build/mingw/bin/helper_show_dormivel.exe" >/dev/null 2>&1 && break
  sleep 0.2
done
sleep 1
id=$(xwininfo -root -tree | awk -v title="\"$title\"" 'index($0, title) {print $1; exit}')
geometry=$(xwininfo -id "$id" | awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4} /Width/ {w=$2} /Height/ {h=$2} END {print w "x" h "+" x "+" y}')
import -window root -crop "$geometry" "$root/docs/main-window.png"
echo "== docs/main-window.png ($geometry)"
wine "$root/build/mingw/bin/helper_close_dormivel.exe" >/dev/null 2>&1 || true
wait "$pid" || true

build mingw --target powrprof_standin >/dev/null
printf 'ac=0\n' >"$scratch/machine.txt"
rm -f "$scratch/log.xml"
(cd "$scratch" && DORMIVEL_POWER_MACHINE="Z:${scratch//\//\\}\\machine.txt" \
  wine "$root/build/mingw/bin/dormivel.exe" --logfile=log.xml >/dev/null 2>&1) &
pid=$!
for _ in $(seq 1 100); do
  grep -q '<WakeUnavailable' "$scratch/log.xml" 2>/dev/null && break
  sleep 0.2
done
# The shell shows a balloon a moment after it is asked to.
sleep 3
import -window root -crop 620x120+0+0 "$root/docs/wake-warning.png"
echo "== docs/wake-warning.png"
wine "$root/build/mingw/bin/helper_close_dormivel.exe" >/dev/null 2>&1 || true
wait "$pid" || true
rm -rf "$scratch"
