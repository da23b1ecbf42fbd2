#!/usr/bin/env bash
# Builds VornBSL and runs every test with CTest; exits non-zero on any failure.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/build.sh"
build=${VORN_BUILD_DIR:-$here/build}
cd "$build"
ctest --output-on-failure -j "$(nproc)" "$@"
