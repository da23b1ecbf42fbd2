#!/usr/bin/env bash
# The main job on the built-in simulated instrument: builds VornBSL, starts vornsim as a
# Readwell and updates it with the demo firmware the build generates. With a display the
# window does the update (open the firmware file, pick the simulated port, press Start);
# without one, vornbsl-cli does. At the end the simulated instrument says whether its
# flash equals the image and its settings were restored.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
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
