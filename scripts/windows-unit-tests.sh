#!/usr/bin/env bash
# Runs the Windows unit tests of a cross build under Wine.
#
#   source scripts/windows-unit-tests.sh
#   vorn_windows_unit_tests BUILD_DIR [WINEPREFIX]
#
# or run this file with the same arguments (without WINEPREFIX, the exported one is used).
# BUILD_DIR is a build configured with the mingw-w64 toolchain and VORN_BUILD_TESTS=ON; its
# windows-tests.txt lists the test programs. Each runs under wine64 (Debian keeps it out of
# PATH: then its launcher `wine`, which picks wine64 for a 64-bit program; VORN_WINE names
# another) with VORN_TEST_SOURCE_DIR set to the source folder as Wine sees it (drive Z: is
# the root folder). One line per program with its passed, failed and skipped counts; the
# full output goes to BUILD_DIR/windows-tests-logs/. Fails when any program fails, is
# missing or cannot be run. VORN_WINDOWS_TEST_TIMEOUT (seconds, default 600) bounds each.

# The count gtest prints on its summary line "[  <word> ] N test(s)", 0 without one.
vorn_gtest_count() {
  local word=$1 log=$2 count
  count=$(tr -d '\r' <"$log" | sed -n "s/^\[  *$word  *\] \([0-9][0-9]*\) tests\{0,1\}[,.].*/\1/p" | tail -n 1)
  echo "${count:-0}"
}

vorn_windows_unit_tests() {
  if [ $# -lt 1 ] || [ $# -gt 2 ] || [ -z "${2:-${WINEPREFIX:-}}" ]; then
    echo "usage: vorn_windows_unit_tests BUILD_DIR WINEPREFIX (or with WINEPREFIX exported)" >&2
    return 2
  fi
  local build=$1 prefix=${2:-$WINEPREFIX}
  local list="$build/windows-tests.txt"
  if [ ! -f "$list" ]; then
    echo "windows-unit-tests: no $list (configure with VORN_BUILD_TESTS=ON and build)" >&2
    return 1
  fi
  local wine=${VORN_WINE:-}
  if [ -z "$wine" ]; then
    if command -v wine64 >/dev/null 2>&1; then wine=wine64; else wine=wine; fi
  fi
  if ! command -v "$wine" >/dev/null 2>&1; then
    echo "windows-unit-tests: $wine is not installed" >&2
    return 1
  fi
  local here source logs
  here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  source="Z:$here"
  logs="$build/windows-tests-logs"
  mkdir -p "$logs" "$prefix"

  local exe name log status passed failed skipped result failures=0 programs=0
  while IFS= read -r exe || [ -n "$exe" ]; do
    [ -n "$exe" ] || continue
    programs=$((programs + 1))
    name=$(basename "$exe" .exe)
    log="$logs/$name.log"
    if [ ! -f "$exe" ]; then
      echo "$name: missing ($exe)"
      failures=$((failures + 1))
      continue
    fi
    # A program that printed nothing at all was not started by Wine (seen once on a loaded
    # machine): it gets one more start. A test that fails always prints.
    for _ in 1 2; do
      status=0
      WINEPREFIX=$prefix WINEDEBUG=-all VORN_TEST_SOURCE_DIR=$source \
        timeout -k 5 "${VORN_WINDOWS_TEST_TIMEOUT:-600}" "$wine" "$exe" --gtest_color=no </dev/null >"$log" 2>&1 || status=$?
      [ "$status" -ne 0 ] && [ ! -s "$log" ] || break
      echo "$name: Wine did not start it (exit status $status, no output); starting it again"
    done
    passed=$(vorn_gtest_count PASSED "$log")
    failed=$(vorn_gtest_count FAILED "$log")
    skipped=$(vorn_gtest_count SKIPPED "$log")
    result=ok
    if [ "$status" -ne 0 ] || [ "$failed" -ne 0 ] || ! grep -q '^\[  PASSED  \]' "$log"; then
      result="FAILED (exit status $status)"
      failures=$((failures + 1))
    fi
    echo "$name: $passed passed, $failed failed, $skipped skipped: $result"
    if [ "$result" != ok ]; then
      tr -d '\r' <"$log" | grep -E '^\[  FAILED  \] [^0-9].* ms\)$' | sed 's/^/    /' || true
      echo "    (output: $log)"
    fi
  done <"$list"

  if [ "$programs" -eq 0 ]; then
    echo "windows-unit-tests: $list names no test program" >&2
    return 1
  fi
  if [ "$failures" -ne 0 ]; then
    echo "windows-unit-tests: $failures of $programs test programs failed" >&2
    return 1
  fi
  echo "windows-unit-tests: all $programs test programs passed"
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -euo pipefail
  vorn_windows_unit_tests "$@"
fi
