#!/usr/bin/env bash
# Builds VornBSL and takes a screenshot of the updater window under Xvfb (or, with a
# display and outside CI, simply starts the window).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/build.sh"
build=${VORN_BUILD_DIR:-$here/build}
app="$build/app/vornbsl"

if [ -n "${DISPLAY:-}" ] && [ -z "${CI:-}" ]; then
  exec "$app" "$@"
fi

shot=${VORN_SCREENSHOT:-$build/vornbsl-window.png}
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  "$1" "${@:3}" & pid=$!
  for i in $(seq 1 50); do sleep 0.2; xwininfo -root -tree 2>/dev/null | grep -q "Vornell Firmware Updater" && break; done
  sleep 1
  import -window root "$2"
  kill $pid 2>/dev/null; wait $pid 2>/dev/null || true
' _ "$app" "$shot" "$@"
echo "No display: the window ran under Xvfb; screenshot written to $shot"
