#!/usr/bin/env bash
# Builds dormivel.exe and runs it under Wine on an example schedule whose
# recordings start a few minutes from now, with an event log in a scratch
# folder; shows the log as it grows. Ends cleanly on Ctrl-C or after
# DURATION seconds (first argument, default 240).
set -euo pipefail
# shellcheck source=common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
duration=${1:-240}

install_deps

echo "== building dormivel.exe (mingw-w64)"
configure mingw
build mingw --target dormivel helper_close_dormivel >/dev/null
bin="$root/build/mingw/bin"

# shellcheck source=wine-env.sh
source "$root/scripts/wine-env.sh"
wine_env_start "$root/build/mingw"

scratch=$(mktemp -d /tmp/dormivel-run.XXXXXX)
"$root/scripts/example-schedule.sh" >"$scratch/schedule.txt"
echo "== scratch folder: $scratch"
echo "== schedule.txt:"
sed 's/^/   /' "$scratch/schedule.txt"

args=(--schedfile=schedule.txt --logfile=dormivel-log.xml --leadtime=60 --warntime=30)
# A copy in the scratch folder: beside the build's tests it would load their
# stand-in power library; here it meets Wine's own, as a user's copy would
# (Wine has no suspend state, which Dormivel says once in its log).
cp "$bin/dormivel.exe" "$scratch/dormivel.exe"
echo "== starting: dormivel.exe ${args[*]}"
(cd "$scratch" && wine "$scratch/dormivel.exe" "${args[@]}" >"$scratch/wine.out" 2>&1) &
dormivel_pid=$!

stopping=0
finish() {
  ((stopping)) && return
  stopping=1
  echo
  echo "== closing Dormivel"
  wine "$bin/helper_close_dormivel.exe" >/dev/null 2>&1 || true
  local rc=0
  wait "$dormivel_pid" || rc=$?
  echo "== dormivel.exe exited with code $rc"
  # The rest of the log: the stop event and the closing tag.
  [[ -f "$log" ]] && tail -c +$((shown + 1)) "$log" | sed 's/\r$//; s/^/   /' && echo
  echo "== the whole log is $log"
  wine_env_stop
}
trap finish INT TERM EXIT

# Each event is written over the log's closing tag, so the bytes before that
# tag only ever grow: show what was added to them, once a second.
log="$scratch/dormivel-log.xml"
shown=0
show_new_events() {
  [[ -f "$log" ]] || return 0
  local size body
  size=$(stat -c %s "$log")
  body=$((size - 14))
  if ((body > shown)); then
    tail -c +$((shown + 1)) "$log" | head -c $((body - shown)) | sed 's/\r$//; s/^/   /'
    shown=$body
  fi
}
echo "== event log as it grows (Ctrl-C to stop; stops by itself after ${duration}s):"
end=$(($(date +%s) + duration))
while (($(date +%s) < end)) && kill -0 "$dormivel_pid" 2>/dev/null; do
  show_new_events
  sleep 1
done
show_new_events
