# shellcheck shell=bash
# Sourced by the scripts: the tree's root as the working folder, the one
# setting for parallelism, the package check, and configuring and building
# through the CMake presets (CMakePresets.json), where every build folder's
# settings are written once.
#
#   DORMIVEL_JOBS  how many compile jobs, CTest jobs, analysis jobs and fuzz
#                  targets run at a time (default: the number of cores)

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root" || exit 1
export DORMIVEL_JOBS=${DORMIVEL_JOBS:-$(nproc)}
jobs=$DORMIVEL_JOBS

# Installs the Debian packages that are missing (scripts/deps.sh); scripts
# started by another script that has done so skip the check.
install_deps() {
  if [[ "${DORMIVEL_DEPS_CHECKED:-0}" != 1 ]]; then
    "$root/scripts/deps.sh"
    export DORMIVEL_DEPS_CHECKED=1
  fi
}

# configure PRESET: configures the preset's build folder (build/PRESET).
configure() {
  cmake --preset "$1" >/dev/null
}

# build PRESET [OPTION...]: builds it, for example `build mingw --target dormivel`.
build() {
  local preset=$1
  shift
  cmake --build --preset "$preset" -j "$jobs" "$@"
}

# The version text of a configured build folder (numbers and suffix), as CMake
# wrote it into the generated header.
version_text() {
  sed -n 's/^#define DORMIVEL_VERSION_TEXT "\(.*\)"$/\1/p' "$1/generated/dormivel_version.h"
}
