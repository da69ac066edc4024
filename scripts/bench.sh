#!/usr/bin/env bash
# Measures dormivel.exe and prints one table of figures: the program's size
# and imports, start-up to the first pass, processor time while idle, the
# cost of one pass (the native decision, and the whole Win32 pass under
# Wine), peak memory with 10,000 recordings, and the time from a schedule
# write to its Event. Figures only: nothing here passes or fails on speed.
#
#   DORMIVEL_BASELINE=REV  also builds revision REV of the tree beside this
#                          one (build/baseline) and measures its size, its
#                          Win32 pass and its peak memory in the same run,
#                          each next to this tree's figure.
set -euo pipefail
# shellcheck source=common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
idle_seconds=${DORMIVEL_IDLE_SECONDS:-60}

install_deps >/dev/null
echo "== building (native Release benchmarks, mingw-w64 Release)" >&2
configure bench
build bench --target pass_bench schedule_bench >/dev/null
configure mingw
build mingw --target dormivel dormivel_winbench >/dev/null

results=()
row() { results+=("$(printf '| %-48s | %s |' "$1" "$2")"); }

baseline=${DORMIVEL_BASELINE:-}
if [[ -n "$baseline" ]]; then
  echo "== building the baseline $baseline (build/baseline)" >&2
  rm -rf build/baseline-src
  git worktree prune
  git worktree add --detach build/baseline-src "$baseline" >/dev/null 2>&1
  # Older trees have no presets: their own configure line.
  cmake -S build/baseline-src -B build/baseline -DCMAKE_TOOLCHAIN_FILE="$root/build/baseline-src/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build build/baseline -j "$jobs" --target dormivel dormivel_winbench >/dev/null
  git worktree remove --force build/baseline-src
  row "dormivel.exe size, baseline $baseline" "$(stat -c %s build/baseline/bin/dormivel.exe) bytes"
fi

exe=build/mingw/bin/dormivel.exe
row "dormivel.exe size" "$(stat -c %s "$exe") bytes"
row "dormivel.exe imports" "$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' | sort -f | paste -sd ' ')"

# figure FILE NAME FIELD: FIELD of the benchmark run named NAME in Google
# Benchmark's JSON output FILE (--benchmark_out), times in the unit the
# benchmark states, which the rows below name; nothing when the run is
# missing or failed.
figure() {
  python3 - "$@" <<'EOF'
import json, sys
path, name, field = sys.argv[1:]
with open(path) as f:
    runs = [b for b in json.load(f)["benchmarks"] if b["name"] == name and not b.get("error_occurred")]
if runs:
    print(runs[0][field])
EOF
}
json_dir=build/bench/json
mkdir -p "$json_dir"

echo "== native pass decision" >&2
build/bench/bin/pass_bench --benchmark_repetitions=3 --benchmark_report_aggregates_only=true \
  --benchmark_out="$json_dir/pass_bench.json" --benchmark_out_format=json >/dev/null 2>&1
for n in 10 1000 10000; do
  us=$(figure "$json_dir/pass_bench.json" "BM_PassDecision/${n}_median" cpu_time)
  row "one pass, native decision, $n recordings" "$(printf '%.1f us' "$us")"
done

echo "== native reader" >&2
reader="$json_dir/schedule_bench.json"
build/bench/bin/schedule_bench --benchmark_min_time=0.2 --benchmark_out="$reader" --benchmark_out_format=json \
  >/dev/null 2>&1
for n in 1000 100000; do
  floor=$(figure "$reader" "BM_SplitFloor/$n" cpu_time)
  read_us=$(figure "$reader" "BM_Read/$n" cpu_time)
  both=$(figure "$reader" "BM_ReadAndSelect/$n" cpu_time)
  row "reader against the floor, $n lines" \
    "$(awk -v r="$read_us" -v f="$floor" 'BEGIN {printf "%.2f (reader %.1f us, floor %.1f us)", r / f, r, f}')"
  row "reader and selection against the floor, $n lines" \
    "$(awk -v b="$both" -v f="$floor" 'BEGIN {printf "%.2f (%.1f us)", b / f, b}')"
done
peak_run=BM_PeakHeap/lines:100000/ordinary:1/iterations:1
row "peak heap of one pass, 100,000 lines" "$(printf '%.0f bytes (recordings own %.0f bytes, %.2f)' \
  "$(figure "$reader" "$peak_run" peak_bytes)" "$(figure "$reader" "$peak_run" storage_bytes)" \
  "$(figure "$reader" "$peak_run" peak_per_storage)")"

# shellcheck source=wine-env.sh
source "$root/scripts/wine-env.sh"
trap wine_env_stop EXIT
DORMIVEL_OWN_DISPLAY=1 wine_env_start "$root/build/mingw" >&2
bench() { (cd build/mingw/bin && wine ./dormivel_winbench.exe "$@" </dev/null) | tr -d '\r'; }
baseline_bench() { (cd build/baseline/bin && wine ./dormivel_winbench.exe "$@" </dev/null) | tr -d '\r'; }

echo "== Win32 pass under Wine" >&2
for n in 10 1000 10000; do
  ms=$(bench pass "$n" | sed -n 's/^pass_ms \([0-9.]*\).*/\1/p')
  row "one pass, whole Win32 pass under Wine, $n recordings" "$ms ms"
  if [[ -n "$baseline" ]]; then
    ms=$(baseline_bench pass "$n" | sed -n 's/^pass_ms \([0-9.]*\).*/\1/p')
    row "  the same, baseline $baseline" "$ms ms"
  fi
done
echo "== start-up" >&2
row "start-up to the first pass (median of 5)" "$(bench startup | sed -n 's/^startup_to_first_pass_ms //p') ms"
echo "== memory" >&2
memory=$(bench memory 10000)
row "peak private bytes, 10,000 recordings" "$(sed -n 's/^peak_private_kib //p' <<<"$memory") KiB"
row "peak working set, 10,000 recordings" "$(sed -n 's/^peak_working_set_kib //p' <<<"$memory") KiB"
if [[ -n "$baseline" ]]; then
  memory=$(baseline_bench memory 10000)
  row "peak private bytes, 10,000 recordings, baseline $baseline" "$(sed -n 's/^peak_private_kib //p' <<<"$memory") KiB"
  row "peak working set, 10,000 recordings, baseline $baseline" \
    "$(sed -n 's/^peak_working_set_kib //p' <<<"$memory") KiB"
fi
echo "== schedule write to Event" >&2
row "schedule write to its Event (median of 5)" "$(bench write-to-event | sed -n 's/^write_to_event_ms //p') ms"
echo "== idle for ${idle_seconds} s" >&2
# The process's own counters (GetProcessTimes) and, from Linux, the Wine
# process that runs it with all its threads, read at the same two moments.
# The test program runs in a process group of its own (job control, set -m),
# and dormivel.exe, which Wine forks from it, stays in that group: its
# processes there other than the test program's own are dormivel.exe's.
group_ticks() {
  local group=$1 ticks=0 found=0 stat line fields
  for stat in /proc/[0-9]*/stat; do
    [[ $stat == "/proc/$group/stat" ]] && continue
    { read -r line <"$stat"; } 2>/dev/null || continue
    # After "pid (command) ": state, parent, process group, ...; the user
    # and system ticks are the 12th and 13th.
    read -r -a fields <<<"${line##*) }"
    ((fields[2] == group)) || continue
    ticks=$((ticks + fields[11] + fields[12]))
    found=1
  done
  ((found)) && echo "$ticks" || echo none
}
idle_fifo="$root/build/bench-idle.fifo"
rm -f "$idle_fifo"
mkfifo "$idle_fifo"
set -m
(cd build/mingw/bin && exec wine ./dormivel_winbench.exe idle "$idle_seconds" </dev/null >"$idle_fifo") &
idle_group=$!
set +m
idle_windows=
idle_linux_start=none
idle_linux_end=none
while read -r line; do
  line=${line%$'\r'}
  case "$line" in
    idle_start*) idle_linux_start=$(group_ticks "$idle_group") ;;
    idle_end*) idle_linux_end=$(group_ticks "$idle_group") ;;
    idle_cpu_ms*) idle_windows=$(sed -n 's/^idle_cpu_ms \([0-9.]*\).*/\1/p' <<<"$line") ;;
  esac
done <"$idle_fifo"
wait "$idle_group" || echo "the idle run failed" >&2
rm -f "$idle_fifo"
ticks_per_second=$(getconf CLK_TCK)
if [[ $idle_linux_start == none || $idle_linux_end == none ]]; then
  idle_linux="dormivel.exe's Wine process not found"
else
  idle_linux="$(((idle_linux_end - idle_linux_start) * 1000 / ticks_per_second)) ms for the whole Wine process"
fi
row "processor time over ${idle_seconds} idle seconds" "${idle_windows} ms (GetProcessTimes); $idle_linux"

echo
echo "Machine: $(nproc) cores, $(sed -n 's/^model name\s*: //p' /proc/cpuinfo | head -1), $(wine --version), $(date -u +%Y-%m-%d)"
echo
printf '| %-48s | %s |\n' "Figure" "Value"
printf '|%s|%s|\n' "$(printf -- '-%.0s' {1..50})" "-------"
printf '%s\n' "${results[@]}"
