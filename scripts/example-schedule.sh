#!/usr/bin/env bash
# Prints an example schedule in Kalvor's format whose recordings start a few
# minutes from now (local time), for the run script and the benchmarks.
set -euo pipefail
at() { date -d "$1" '+%a %m/%d %H:%M:%S'; }
printf 'Id\tStart\tStop\tLength\tChannel name\tChannel\tTitle\tManual\tFavorite\n'
printf '1\t%s\t%s\t0:02\tOne HD\t101\tMorning News\tfalse\tfalse\n' "$(at '+2 minutes')" "$(at '+4 minutes')"
printf '2\t%s\t%s\t0:03\tArts\t7\tThe Late Film & \"Friends\"\ttrue\tfalse\n' "$(at '+6 minutes')" "$(at '+9 minutes')"
printf '3\t%s\t%s\t1:00\tScience\t12\tNature Hour\tfalse\ttrue\n' "$(at '+1 hour')" "$(at '+2 hours')"
