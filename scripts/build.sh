#!/usr/bin/env bash
# Installs what is missing, configures and builds VornBSL into build/ (or $VORN_BUILD_DIR).
# Arguments go to the build tool, e.g. `--target vornsim` for one program only.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/setup.sh"
build=${VORN_BUILD_DIR:-$here/build}
if [ ! -f "$build/build.ninja" ]; then
  # shellcheck disable=SC2086  # VORN_CMAKE_ARGS holds several arguments
  cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo ${VORN_CMAKE_ARGS:-} >/dev/null
fi
cmake --build "$build" -j "$(nproc)" "$@"
