#!/usr/bin/env bash
# The bench benchmark: the wall time of N simulated instruments updated at once (two
# Readwells, a Kt72, a Heron 9 for N=4) against the slowest of them updated alone, with
# vornsim delivering bytes at the line speed. The goal is a ratio of at most 1.15: the
# updates wait on their lines, not on each other.
#   scripts/bench-fleet.sh [N]     (default 4)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
count=${1:-4}
# shellcheck source=bench-lib.sh
. "$here/scripts/bench-lib.sh"
bench_setup "$here"
slowest=0
for ((i = 0; i < count; i++)); do
  family=$(bench_family "$i")
  rm -rf "$XDG_DATA_HOME"
  start_bench_sims "$work" "$i" "$i" --pacing
  start=$(now)
  # shellcheck disable=SC2046 # the options split on purpose
  "$build/cli/vornbsl-cli" --port "${bench_ports[0]}" --firmware "$(bench_firmware "$family")" \
    $(bench_options "$family") --yes >"$work/single$i.out" 2>&1 </dev/null ||
    { cat "$work/single$i.out" >&2; echo "bench-fleet: the single update of unit $i failed" >&2; exit 1; }
  seconds=$(awk -v a="$(now)" -v b="$start" 'BEGIN {print a - b}')
  stop_bench_sims || { echo "bench-fleet: unit $i was not updated as it should be" >&2; exit 1; }
  printf 'alone     %-16s %-5s %6.1f s\n' "${bench_ports[0]}" "$family" "$seconds"
  slowest=$(awk -v a="$seconds" -v b="$slowest" 'BEGIN {print (a > b ? a : b)}')
done

rm -rf "$XDG_DATA_HOME"
start_bench_sims "$work" 0 $((count - 1)) --pacing
start=$(now)
run_bench "$work" || { cat "$work"/bench-*.txt >&2; echo "bench-fleet: the bench update failed" >&2; exit 1; }
together=$(awk -v a="$(now)" -v b="$start" 'BEGIN {print a - b}')
stop_bench_sims || { echo "bench-fleet: a unit of the bench was not updated as it should be" >&2; exit 1; }
printf 'together  %d units             %6.1f s\n' "$count" "$together"
ratio=$(awk -v a="$together" -v b="$slowest" 'BEGIN {print a / b}')
printf 'ratio     together / slowest alone = %.2f (goal: at most 1.15)\n' "$ratio"
