#!/usr/bin/env bash
# The main job on the built-in simulated instrument: builds VornBSL, starts vornsim as a
# Readwell and updates it with the demo firmware the build generates. With a display the
# window does the update (open the firmware file, pick the simulated port, press Start);
# without one, vornbsl-cli does. At the end the simulated instrument says whether its
# flash equals the image and its settings were restored.
#   scripts/demo.sh             one Readwell
#   scripts/demo.sh --bench N   N simulated instruments (two Readwells, a Kt72, a Heron 9,
#                               then round again) updated at once by vornbsl-cli
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)

if [ "${1:-}" = "--bench" ]; then
  count=${2:-4}
  [[ $count =~ ^[1-9][0-9]?$ ]] || { echo "demo: --bench takes a count from 1 to 99" >&2; exit 2; }
  "$here/scripts/build.sh" --target vornsim vornbsl-cli sample_firmware
  build=${VORN_BUILD_DIR:-$here/build}
  # shellcheck source=bench-lib.sh
  . "$here/scripts/bench-lib.sh"
  folder=$build/bench-demo
  rm -rf "$folder" && mkdir -p "$folder"
  start_bench_sims "$folder" 0 $((count - 1))
  trap 'stop_bench_sims >/dev/null 2>&1 || true' EXIT
  echo "Simulated bench: ${bench_ports[*]}; updating them at once, one vornbsl-cli per firmware"
  status=0
  run_bench "$folder" || status=$?
  for table in "$folder"/bench-*.txt; do cat "$table"; done
  trap - EXIT
  stop_bench_sims || status=1
  for ((i = 0; i < count; i++)); do
    echo "${bench_ports[$i]} ($(bench_family "$i")): $(sed -n '2,$p' "$folder/sim$i.out" | tr '\n' ' ')"
  done
  exit "$status"
fi
windowed=
[ -n "${DISPLAY:-}" ] && [ -z "${CI:-}" ] && windowed=1
# Only what the demo runs, so a first try does not wait for the whole test suite to build.
"$here/scripts/build.sh" --target vornsim vornbsl-cli sample_firmware ${windowed:+vornbsl}
build=${VORN_BUILD_DIR:-$here/build}
firmware="$build/sample/readwell-demo-2.00.txt"
port=vornsim0

"$build/sim/vornsim" --family RW --version 1.02 --name "$port" --report "$firmware" >"$build/vornsim-demo.out" 2>&1 &
sim=$!
cleanup() { kill "$sim" 2>/dev/null || true; }
trap cleanup EXIT
for _ in $(seq 1 50); do grep -q "^vornsim: RW" "$build/vornsim-demo.out" 2>/dev/null && break; sleep 0.1; done
echo "Simulated Readwell on port $port ($(head -n1 "$build/vornsim-demo.out" | sed 's/^vornsim: //'))"

status=0
if [ -n "$windowed" ]; then
  echo "In the window: File > Open Firmware File... > $firmware,"
  echo "pick \"$port Simulated Readwell\" in the port list and press Start. Close the window when done."
  "$build/app/vornbsl" || status=$?
else
  echo "No display: updating with vornbsl-cli"
  "$build/cli/vornbsl-cli" --port "$port" --firmware "$firmware" --yes || status=$?
fi

trap - EXIT
kill -TERM "$sim" 2>/dev/null || true
simStatus=0
wait "$sim" || simStatus=$?
[ "$status" -eq 0 ] && status=$simStatus
sed -n '2,$p' "$build/vornsim-demo.out"
exit "$status"
