#!/usr/bin/env bash
# Runs a Windows program under Wine with the build's own prefix; used by CTest
# as the cross build's emulator. scripts/wine-env.sh prepares the prefix, the
# virtual display and a persistent wineserver before CTest starts.
set -euo pipefail
export WINEDEBUG=${WINEDEBUG:--all}
if [[ -z "${WINEPREFIX:-}" ]]; then
  echo "wine-run.sh: WINEPREFIX is not set (source scripts/wine-env.sh first)" >&2
  exit 2
fi
exec wine "$@"
