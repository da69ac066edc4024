#!/usr/bin/env bash
# Builds everything and runs every test: the pure core natively, again under
# AddressSanitizer and UndefinedBehaviorSanitizer, static analysis, the fuzz
# targets, and the Win32 layer and dormivel.exe under Wine in a virtual
# display. Installs what it needs. A stage whose build fails counts as one
# failure and the run goes on, so the output always ends with the summary
# line, and the exit code is non-zero when anything failed.
set -euo pipefail
# shellcheck source=common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

install_deps

total_passed=0
total_failed=0
summary=()

# Runs CTest in a build folder and adds its counts to the totals.
run_ctest() {
  local name=$1 dir=$2
  shift 2
  local log="$dir/ctest.log" rc=0
  (cd "$dir" && ctest -j "$jobs" --output-on-failure "$@") 2>&1 | tee "$log" || rc=1
  count_ctest_log "$name" "$log" "$rc"
}

# Configures and builds a preset (extra arguments go to the build); a failure
# of either counts as one and returns false.
build_stage() {
  local preset=$1
  shift
  if configure "$preset" && build "$preset" "$@"; then
    return 0
  fi
  echo "== $stage_name: the $preset build FAILED" >&2
  total_failed=$((total_failed + 1))
  return 1
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
if build_stage native; then
  run_ctest native build/native
fi
stage_end

stage_start "sanitizers (ASan, UBSan)"
if build_stage asan; then
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 run_ctest asan build/asan
fi
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
fuzz_targets=()
for src in tests/*/*_fuzz.cpp; do fuzz_targets+=("$(basename "${src%.cpp}")"); done
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
if build_stage fuzz --target "${fuzz_targets[@]}"; then
  # DORMIVEL_JOBS targets at a time, one per job.
  fuzz_failed=0
  for ((i = 0; i < ${#fuzz_targets[@]}; i += jobs)); do
    pids=()
    for name in "${fuzz_targets[@]:i:jobs}"; do
      run_fuzzer "$name" &
      pids+=($!)
    done
    for pid in "${pids[@]}"; do wait "$pid" || fuzz_failed=$((fuzz_failed + 1)); done
  done
  total_passed=$((total_passed + ${#fuzz_targets[@]} - fuzz_failed))
  total_failed=$((total_failed + fuzz_failed))
fi
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
