#!/usr/bin/env bash
# Builds the libFuzzer targets (tests/fuzz) with clang into build-fuzz/ (or $VORN_FUZZ_BUILD_DIR)
# and runs each for SECONDS (default 30), starting from its corpus in tests/fuzz/corpus.
# Prints executions and findings per target; exits 1 when any target found something.
# Inputs found on the way stay in the build folder; the repository's corpus is only read.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-30}
case "$seconds" in ''|*[!0-9]*) echo "usage: $0 [SECONDS]" >&2; exit 2 ;; esac
"$here/scripts/setup.sh"
build=${VORN_FUZZ_BUILD_DIR:-$here/build-fuzz}
if [ ! -f "$build/build.ninja" ]; then
  CC=clang CXX=clang++ cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVORN_FUZZ=ON -DVORN_BUILD_GUI=OFF -DVORN_BUILD_TESTS=OFF >/dev/null
fi
targets=$(tr ';' ' ' <"$build/fuzz-targets.txt")
# shellcheck disable=SC2086
cmake --build "$build" -j "$(nproc)" --target $targets

failed=0
for t in $targets; do
  work="$build/fuzz-work/$t"
  findings="$build/fuzz-findings"
  mkdir -p "$work" "$findings"
  rm -f "$findings/$t-"*
  log="$build/fuzz-work/$t.log"
  # New inputs go to the first folder (the build's), seeds come from the second.
  set +e
  "$build/tests/fuzz/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$findings/$t-" "$work" "$here/tests/fuzz/corpus/$t" >"$log" 2>&1
  rc=$?
  set -e
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  found=$(find "$findings" -maxdepth 1 \( -name "$t-crash-*" -o -name "$t-leak-*" -o -name "$t-timeout-*" \
    -o -name "$t-oom-*" \) | wc -l)
  if [ "$rc" -ne 0 ] && [ "$found" -eq 0 ]; then found=1; fi
  line="$t: ${runs:-0} executions, $found finding(s)"
  if [ "$found" -ne 0 ]; then
    failed=1
    line="$line, stopped at it (exit $rc; log $log; inputs in $findings)"
    # What it stopped at, readable from a CI log: the report and the input in hex.
    sed -n '/ERROR: \|runtime error\|deadly signal/,/^SUMMARY/p' "$log" | head -60 >&2 || true
    for input in "$findings/$t-"*; do
      [ -f "$input" ] || continue
      echo "fuzz: input $(basename "$input") ($(wc -c <"$input") bytes):" >&2
      head -c 4096 "$input" | od -An -tx1 -v >&2
    done
  fi
  echo "fuzz: $line"
done
exit $failed
