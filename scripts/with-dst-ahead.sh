#!/usr/bin/env bash
# Runs a command in a time zone whose daylight saving starts four days from
# today (standard time UTC+1, daylight time UTC+2), for the test of wake-ups
# across a change. Wine honours POSIX TZ rules; its reading of the Jn
# (day-of-year) form is reliable for starts up to day 272 with the end at day
# 300, and for later starts with the end at day 150 (see the Wine notes).
set -euo pipefail
today=$((10#$(date +%j)))
start=$((today + 4))
((start > 365)) && start=$((start - 365))
if ((start <= 272)); then end=300; else end=150; fi
export TZ="CET-1CEST,J${start}/2,J${end}/3"
exec "$@"
