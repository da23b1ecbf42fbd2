#!/usr/bin/env bash
# Builds VornBSL and runs every test with CTest; exits non-zero on any failure.
#   scripts/test.sh [CTEST ARGS...]              the normal build in build/
#   scripts/test.sh --sanitize [CTEST ARGS...]   everything built with AddressSanitizer and
#                                                UndefinedBehaviorSanitizer in build-sanitize/
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
# Most tests wait on simulated lines and instruments, not on the processor (an update of
# a minute takes a fraction of a second of it): two at a time a core. The sanitizers make
# the same tests work the processor, so they run one a core.
jobs=$(($(nproc) * 2))
if [ "${1:-}" = "--sanitize" ]; then
  shift
  jobs=$(nproc)
  export VORN_BUILD_DIR=${VORN_BUILD_DIR:-$here/build-sanitize}
  export VORN_CMAKE_ARGS="-DVORN_SANITIZE=ON"
  # Also for the test discovery the build runs. Leaks count; Qt's own are suppressed.
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  export LSAN_OPTIONS=suppressions=$here/tests/lsan.supp:print_suppressions=0
fi
"$here/scripts/build.sh"
build=${VORN_BUILD_DIR:-$here/build}
cd "$build"
ctest --output-on-failure -j "$jobs" "$@"
