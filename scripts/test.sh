#!/usr/bin/env bash
# Builds everything and runs every test: the pure core natively, again under
# AddressSanitizer and UndefinedBehaviorSanitizer, and the Win32 layer and
# dormivel.exe under Wine in a virtual display. Installs what it needs.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
jobs=${DORMIVEL_JOBS:-2}

"$root/scripts/deps.sh"

total_passed=0
total_failed=0
summary=()

# Runs CTest in a build folder and adds its counts to the totals.
run_ctest() {
  local name=$1 dir=$2
  shift 2
  local log="$dir/ctest.log" rc=0
  (cd "$dir" && ctest --output-on-failure "$@") 2>&1 | tee "$log" || rc=1
  count_ctest_log "$name" "$log" "$rc"
}

# Adds the counts of a CTest log to the totals; a run that failed without
# failing tests (a build error, a crash of CTest) counts as one failure.
count_ctest_log() {
  local name=$1 log=$2 rc=$3
  local line failed count
  line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1 || true)
  if [[ -z "$line" ]]; then
    echo "== $name: CTest printed no result" >&2
    total_failed=$((total_failed + 1))
    return
  fi
  failed=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
  count=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line")
  total_passed=$((total_passed + count - failed))
  total_failed=$((total_failed + failed))
  if ((rc != 0 && failed == 0)); then total_failed=$((total_failed + 1)); fi
}

stage_start() {
  stage_name=$1
  stage_t0=$(date +%s)
  echo
  echo "======== $stage_name"
}
stage_end() { summary+=("$(printf '%-28s %4ss' "$stage_name" $(($(date +%s) - stage_t0)))"); }

stage_start "native build and tests"
cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build/native -j"$jobs"
run_ctest native build/native -j"$jobs"
stage_end

stage_start "sanitizers (ASan, UBSan)"
cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DDORMIVEL_SANITIZE=ON -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build build/asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 run_ctest asan build/asan -j"$jobs"
stage_end

stage_start "static analysis (clang-tidy, cppcheck)"
if "$root/scripts/analyze.sh"; then
  total_passed=$((total_passed + 1))
else
  total_failed=$((total_failed + 1))
fi
stage_end

stage_start "fuzzing (libFuzzer, ASan, UBSan)"
# Every fuzz target runs for a fixed budget on a scratch copy of its corpus;
# a finding (crash, leak, sanitizer report, timeout) fails the run. The
# corpora themselves are also replayed as ordinary tests by every build.
fuzz_seconds=${DORMIVEL_FUZZ_SECONDS:-30}
cmake --preset fuzz >/dev/null
fuzz_targets=()
for src in tests/*/*_fuzz.cpp; do fuzz_targets+=("$(basename "${src%.cpp}")"); done
cmake --build build/fuzz -j"$jobs" --target "${fuzz_targets[@]}"
fuzz_failed=0
run_fuzzer() {
  local name=$1 dir corpus
  corpus=$(dirname tests/*/"$name.cpp")/corpus/$name
  dir=$(mktemp -d "$root/build/fuzz/run-$name.XXXXXX")
  cp -r "$corpus" "$dir/corpus"
  if (cd "$dir" && "$root/build/fuzz/bin/$name" -max_total_time="$fuzz_seconds" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 corpus >"$dir/log" 2>&1); then
    echo "$name: $(grep -E '^Done [0-9]+ runs' "$dir/log" | tail -1)"
    rm -rf "$dir"
  else
    echo "$name: FINDING (log and reproducer in $dir)"
    tail -30 "$dir/log"
    return 1
  fi
}
# Two at a time, one per core.
for ((i = 0; i < ${#fuzz_targets[@]}; i += 2)); do
  pids=()
  for name in "${fuzz_targets[@]:i:2}"; do
    run_fuzzer "$name" &
    pids+=($!)
  done
  for pid in "${pids[@]}"; do wait "$pid" || fuzz_failed=$((fuzz_failed + 1)); done
done
total_passed=$((total_passed + ${#fuzz_targets[@]} - fuzz_failed))
total_failed=$((total_failed + fuzz_failed))
stage_end

stage_start "cross build and Wine tests"
wine_log="$root/build/wine-ctest.log"
mkdir -p "$root/build"
rc=0
"$root/scripts/wine-test.sh" 2>&1 | tee "$wine_log" || rc=1
count_ctest_log wine "$wine_log" "$rc"
stage_end

echo
echo "======== summary"
printf '%s\n' "${summary[@]}"
echo "test.sh: ${total_passed} passed, ${total_failed} failed"
((total_failed == 0))
