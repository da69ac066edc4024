#!/usr/bin/env bash
# Runs the simulation of weeks of life (sim/): Dormivel's own decisions
# against a model of Windows, of Kalvor writing its schedule and of the
# people at the PC. Prints the seconds of recordings lost by cause, the
# program's sleep requests at the wrong moment and, for the first avoidable
# loss, a trace that the printed command replays. Fails when any loss was
# avoidable. Installs what it needs; arguments go to the simulation:
#
#   scripts/simulate.sh [--weeks N] [--seed S] [--life K] [--trace-cause TEXT]
#                       [--road todays-bias]
#
# (default 10,000 weeks, seed 1; DORMIVEL_JOBS lives at a time).
set -euo pipefail
# shellcheck source=common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

install_deps >/dev/null
echo "== building the simulation (build/sim, Release)" >&2
configure sim
build sim --target dormivel_sim >/dev/null
t0=$(date +%s%N)
rc=0
build/sim/bin/dormivel_sim --jobs "$jobs" "$@" || rc=$?
ms=$((($(date +%s%N) - t0) / 1000000))
printf 'simulate.sh: %d.%01d s with %s jobs\n' $((ms / 1000)) $((ms % 1000 / 100)) "$jobs"
exit "$rc"
