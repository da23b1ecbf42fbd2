#!/usr/bin/env bash
# The adapter benchmark: the wall time of one update of a simulated Readwell and a Kt72
# with vornsim pacing the line both ways and modelling the host's USB adapter, whose
# latency timer holds back what the instrument says: 16 ms as the common FTDI adapters
# come, 1 ms once the driver was asked for low latency (what the serial layer asks on
# Linux), and none for a line without an adapter.
#   scripts/bench-latency.sh [ROUNDS]     (default 1; the figure is the mean)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
rounds=${1:-1}
# shellcheck source=bench-lib.sh
. "$here/scripts/bench-lib.sh"
bench_setup "$here"
printf '%-6s %-26s %9s\n' unit adapter seconds
for unit in 0 2; do
  family=$(bench_family "$unit")
  for latency in 16 1 0; do
    total=0
    for ((r = 0; r < rounds; r++)); do
      rm -rf "$XDG_DATA_HOME"
      start_bench_sims "$work" "$unit" "$unit" --pacing --set "adapter-latency-ms=$latency"
      start=$(now)
      # shellcheck disable=SC2046 # the options split on purpose
      "$build/cli/vornbsl-cli" --port "${bench_ports[0]}" --firmware "$(bench_firmware "$family")" \
        $(bench_options "$family") --yes >"$work/run.out" 2>&1 </dev/null ||
        { cat "$work/run.out" >&2; echo "bench-latency: the update of the $family failed" >&2; exit 1; }
      seconds=$(awk -v a="$(now)" -v b="$start" 'BEGIN {print a - b}')
      stop_bench_sims || { echo "bench-latency: the $family was not updated as it should be" >&2; exit 1; }
      total=$(awk -v a="$total" -v b="$seconds" 'BEGIN {print a + b}')
    done
    case $latency in
      16) what="16 ms timer (as it comes)" ;;
      1) what="1 ms timer (low latency)" ;;
      0) what="none (no adapter)" ;;
    esac
    printf '%-6s %-26s %9.1f\n' "$family" "$what" "$(awk -v t="$total" -v n="$rounds" 'BEGIN {print t / n}')"
  done
done
