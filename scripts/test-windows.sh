#!/usr/bin/env bash
# Proves the Windows build under Wine, against simulated instruments run by the Linux
# vornsim on pseudo-terminals (a Wine COM port is a link to a Linux device):
#   1. the Qt-free unit tests (.exe) that need no serial peer;
#   2. the serial layer's tests against vornsim on COM8;
#   3. vornbsl-cli.exe updating a simulated Readwell (engine at 57600) and a Kt72 (loader at
#      9600, logger settings, loaded in factory mode), and an update interrupted by a power
#      loss mid-upload that a second run finishes. Each is judged by what the simulated
#      instrument reports it holds, not by what the updater says.
# The Wine prefix is a temporary folder of its own, never the user's. Exits non-zero on any
# failure.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${VORN_WINDOWS_BUILD_DIR:-$here/build-windows}
linux=${VORN_BUILD_DIR:-$here/build}

# The cross build with its tests (which installs Wine too), then the Linux simulator.
VORN_WINDOWS_TESTS=ON "$here/scripts/build-windows.sh" -j "$(nproc)" >/dev/null
"$here/scripts/build.sh" --target vornsim sample_firmware feedback_form_test >/dev/null
cli=$build/cli/vornbsl-cli.exe
# Debian keeps wine64 out of PATH; its launcher `wine` picks it for a 64-bit program.
wine=${VORN_WINE:-$(command -v wine64 || echo wine)}
vornsim=$linux/sim/vornsim

work=$(mktemp -d "${TMPDIR:-/tmp}/vorn-wine.XXXXXX")
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
sims=()
cleanup() {
  for pid in "${sims[@]}"; do kill "$pid" 2>/dev/null || true; done
  wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
# The prefix's first start takes a while; wait until it is done.
wineboot -i >/dev/null 2>&1 || true
wineserver -w
failed=0
fail() { echo "FAILED: $*"; failed=1; }

# A Linux path as Wine sees it.
winpath() { echo "Z:${1//\//\\}"; }

echo "== unit tests under Wine"
"$here/scripts/windows-unit-tests.sh" "$build" || fail "unit tests"

# start_sim NAME COMn FAMILY VERSION [--set S ...]: vornsim on a pseudo-terminal that Wine
# knows as COMn; its output (and report at exit) goes to $work/NAME.out.
start_sim() {
  local name=$1 com=$2 family=$3 version=$4
  shift 4
  HOME=$work XDG_DATA_HOME=$work/data "$vornsim" --family "$family" --version "$version" --name "$name" \
    --report "$firmware" "$@" >"$work/$name.out" 2>&1 &
  sims+=($!)
  local pty=''
  for _ in $(seq 1 100); do
    pty=$(sed -n "s/^vornsim: $family \(\/dev\/pts\/[0-9]*\) .*/\1/p" "$work/$name.out" 2>/dev/null)
    [ -n "$pty" ] && break
    sleep 0.05
  done
  [ -n "$pty" ] || { fail "vornsim $name did not start"; return 1; }
  ln -sfn "$pty" "$WINEPREFIX/dosdevices/${com,,}"
}
# stop_sim NAME: stops the newest vornsim and waits for its report.
stop_sim() {
  local pid=${sims[-1]}
  kill -TERM "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  unset 'sims[-1]'
}
# judge NAME WHAT: the report of NAME's vornsim says the flash holds the image and the
# instrument runs it with its settings back.
judge() {
  local out=$work/$1.out
  if grep -q "^vornsim: flash equals the firmware image.*: yes$" "$out" &&
     grep -q "^settings restored: yes$" "$out" && grep -q "^instrument: command interpreter$" "$out"; then
    echo "ok: $2"
  else
    fail "$2 (vornsim's report below)"
    sed 's/^/    /' "$out"
  fi
}
# update NAME COMn [OPTIONS...]: one vornbsl-cli.exe run; its exit status.
update() {
  local name=$1 com=$2
  shift 2
  local rc=0
  timeout -k 5 300 "$wine" "$cli" --port "$com" --firmware "$(winpath "$firmware")" --yes "$@" \
    >"$work/$name.cli" 2>&1 </dev/null || rc=$?
  return "$rc"
}

echo "== serial layer under Wine (vornsim on COM8)"
firmware=$linux/sample/readwell-demo-2.00.txt
if ls "$build"/tests/*/serial_wine_tests.exe >/dev/null 2>&1; then
  start_sim serial COM8 RW 1.02
  VORN_WINE_PORT=COM8 VORN_WINE_MISSING_PORT=COM9 "$wine" "$(ls "$build"/tests/*/serial_wine_tests.exe)" \
    >"$work/serial.txt" 2>&1 || { fail "serial layer"; cat "$work/serial.txt"; }
  grep -E "^\[  (PASSED|SKIPPED|FAILED) " "$work/serial.txt" || true
  stop_sim
else
  fail "no serial_wine_tests.exe in $build/tests"
fi

echo "== vornbsl-cli.exe under Wine against vornsim"
firmware=$linux/sample/readwell-demo-2.00.txt
start_sim readwell COM7 RW 1.02
update readwell COM7 || fail "Readwell update exited $? ($(tail -1 "$work/readwell.cli"))"
stop_sim
judge readwell "a Readwell updated (engine at 57600)"

firmware=$linux/sample/classic-demo-2.00.txt
start_sim kt72 COM7 KT72 2.10
update kt72 COM7 --factory || fail "Kt72 update exited $? ($(tail -1 "$work/kt72.cli"))"
stop_sim
judge kt72 "a Kt72 updated in factory mode (loader at 9600, logger settings)"

# The power goes after 100 of the loader's frames and comes back 4 s later: the first run
# fails, the second finds the waiting loader and the settings file the first one kept, and
# restores it once told whose it is (the simulated Readwell's serial number).
firmware=$linux/sample/readwell-demo-2.00.txt
start_sim interrupted COM7 RW 1.02 --set power-loss-after=100 --set power-loss-ms=4000
if update interrupted-1 COM7; then fail "the run that lost power reported success"; fi
sleep 5
update interrupted-2 COM7 --restore-from RW-10234 || fail "the second run exited $? ($(tail -1 "$work/interrupted-2.cli"))"
stop_sim
judge interrupted "an update interrupted by a power loss, finished by a second run"

echo "== vornbsl.exe, the window, under Wine against vornsim"
# The window is driven through its own controls by vornbsl-driver.exe (the steps it takes
# are its arguments: opening the firmware through the file dialog, choosing the port in the
# drop-down, pressing Start, answering the boxes), on an X server of its own; the boxes it
# met are in $work/NAME.driver. Screenshots for checking by eye go to $shots.
window=$build/win32/vornbsl.exe
driver=$build/win32/vornbsl-driver.exe
shots=$build/screenshots
rm -rf "$shots" && mkdir -p "$shots"
display=77
while [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
sims+=("$xvfb")
export DISPLAY=:$display
for _ in $(seq 1 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
xdpyinfo >/dev/null 2>&1 || fail "Xvfb did not start on :$display"
# Wine's desktop started without a display for the programs above: start it again on this one.
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true
# window_run NAME [WINDOW ARGUMENTS...]: the window, driven by the steps in the array
# `steps`; the driver's exit status. The window is ended if the steps leave it open.
window_run() {
  local name=$1
  shift
  "$wine" "$window" "$@" >"$work/$name.window" 2>&1 &
  local app=$! rc=0
  timeout -k 5 300 "$wine" "$driver" "${steps[@]}" >"$work/$name.driver" 2>&1 || rc=$?
  for _ in $(seq 1 50); do kill -0 "$app" 2>/dev/null || break; sleep 0.2; done
  kill "$app" 2>/dev/null && wait "$app" 2>/dev/null
  if [ "$rc" -ne 0 ]; then
    echo "    the driver's steps:"
    sed 's/^/    /' "$work/$name.driver"
    echo "    the window's output:"
    sed 's/^/    /' "$work/$name.window"
  fi
  return "$rc"
}
# shot_after SECONDS FILE: a screenshot of the whole screen a while from now.
shot_after() { (sleep "$1" && import -display ":$display" -window root "$shots/$2" 2>/dev/null) & }
# shot_at RUN MARK FILE: a screenshot once the driver of RUN has reached its step mark=MARK.
shot_at() {
  (for _ in $(seq 1 600); do
     grep -q "^driver: mark $2" "$work/$1.driver" 2>/dev/null && break
     sleep 0.2
   done
   sleep 1 && import -display ":$display" -window root "$shots/$3" 2>/dev/null) &
}

firmware=$linux/sample/readwell-demo-2.00.txt
start_sim window-readwell COM5 RW 1.02
shot_after 3 main-window.png
shot_after 7 readwell-question.png
shot_after 14 readwell-updating.png
steps=("open=$(winpath "$firmware")" findall port=COM5 wait=3000 start "box=Newer Firmware:ok"
  "status=Successfully updated" wait=500 close)
window_run window-readwell || fail "the window's Readwell update"
stop_sim
judge window-readwell "a Readwell updated through the window"
# Close wrote the window's preferences: the port it updated and Force Find All Comm Ports.
prefs=$("$wine" reg query 'HKCU\Software\Vornell Devices, Inc\VornBSL' 2>/dev/null | tr -d '\r')
if grep -qE "CommPort +REG_SZ +COM5$" <<<"$prefs" && grep -qE "FindAllComms +REG_DWORD +0x1$" <<<"$prefs" &&
   grep -qE "VerboseLog +REG_DWORD +0x1$" <<<"$prefs"; then
  echo "ok: the window's preferences read back from the registry"
else
  fail "the window's preferences in the registry:"$'\n'"$prefs"
fi

firmware=$linux/sample/classic-demo-2.00.txt
start_sim window-kt72 COM5 KT72 2.10
steps=("open=$(winpath "$firmware")" port=COM5 record wait=300 start "box=Wrong Device:ok" "status=Successfully updated"
  close)
window_run window-kt72 -factory || fail "the window's Kt72 update in factory mode"
stop_sim
# Settings > Record Wire Transcript: the update's transcript in the per-user folder, with the
# unit's APN password and key (vornsim's factory values) taken out.
transcript=$(find "$WINEPREFIX/drive_c/users" -name "Vornell Firmware Updater.transcript.txt" | head -n 1)
if [ -n "$transcript" ] && head -n 1 "$transcript" | grep -q "^VornBSL wire transcript 1" &&
   grep -q ' TX\* 9600 "set -passwd \*\*\*\*\*\*\*\*\\r"' "$transcript" &&
   ! grep -q -e s3cret -e 0123456789ABCDEF "$transcript"; then
  echo "ok: the window's wire transcript of the Kt72 update, without its credentials"
else
  fail "the window's wire transcript: ${transcript:-none written}"
fi
# The item was kept on; the runs below record nothing, so the feedback form's post holds
# the log alone, as the Qt form's it is compared with.
"$wine" reg add 'HKCU\Software\Vornell Devices, Inc\VornBSL' /v RecordTranscript /t REG_DWORD /d 0 /f >/dev/null 2>&1 ||
  fail "could not turn Record Wire Transcript off again"
[ -z "$transcript" ] || rm -f "$transcript"
judge window-kt72 "a Kt72 updated through the window in factory mode"

# The power goes after 100 frames: the first Start fails with its box; the next Start, in a
# new window, finds the waiting loader and the settings the first one kept, and writes them
# back once the user says whose they are.
firmware=$linux/sample/readwell-demo-2.00.txt
start_sim window-interrupted COM5 RW 1.02 --set power-loss-after=100 --set power-loss-ms=4000
shot_after 25 failure-box.png
steps=("open=$(winpath "$firmware")" port=COM5 wait=300 start "box=Newer Firmware:ok" "box-with=Press Start again:ok" close)
window_run window-interrupted-1 || fail "the window's Start that lost power did not end with its box"
sleep 5
steps=("open=$(winpath "$firmware")" port=COM5 wait=300 start "box=Restore Saved Settings:ok" "status=Successfully updated"
  close)
window_run window-interrupted-2 || fail "the window's second Start after the power loss"
stop_sim
judge window-interrupted "an interrupted update finished by the window's next Start"
# The feedback form: Help > Send Feedback to Vornell..., the entries typed into its boxes,
# Send, and the thank-you box. The fixture service keeps the post byte for byte; the Qt
# form, given the same entries, must send the same bytes.
feedback_port=$((20000 + RANDOM % 20000))
FEEDBACK_RAW=$work/win32.post php -n -d enable_post_data_reading=0 -S "127.0.0.1:$feedback_port" \
  -t "$here/tests/feedback" "$here/tests/feedback/feedback_router.php" >"$work/php.out" 2>&1 &
sims+=($!)
for _ in $(seq 1 100); do (exec 3<>"/dev/tcp/127.0.0.1/$feedback_port") 2>/dev/null && break; sleep 0.05; done
"$wine" reg add 'HKCU\Software\Vornell Devices, Inc\FeedbackForm' /v ServiceURL /t REG_SZ \
  /d "http://127.0.0.1:$feedback_port" /f >/dev/null 2>&1
steps=(feedback)
while IFS= read -r line; do
  [ -n "$line" ] && steps+=("${line%% *}=${line#* }")
done <"$here/tests/feedback/feedback_entries.txt"
steps+=(mark=filled wait=2500 send "box=Feedback Successfully Sent:ok" close)
shot_at window-feedback filled feedback-form.png
window_run window-feedback || fail "the feedback form's send"
# Send kept the contact details for the next opening, as strings under FeedbackForm.
contact=$("$wine" reg query 'HKCU\Software\Vornell Devices, Inc\FeedbackForm' 2>/dev/null | tr -d '\r')
if grep -qE "^ +Name +REG_SZ +Ada Field$" <<<"$contact" && grep -qE "^ +Email +REG_SZ +ada@field.example$" <<<"$contact" &&
   grep -qE "^ +Phone +REG_SZ +\+1 555 0100$" <<<"$contact"; then
  echo "ok: the feedback form's contact details read back from the registry"
else
  fail "the feedback form's contact details in the registry:"$'\n'"$contact"
fi
if [ -s "$work/win32.post" ]; then
  if VORN_WINDOWS_FEEDBACK_POST=$work/win32.post QT_QPA_PLATFORM=offscreen \
     "$linux/tests/feedback/feedback_form_test" --gtest_filter=FeedbackForm.SendsTheSameBytesAsTheWindowsForm \
     >"$work/feedback-compare.out" 2>&1 && grep -q "^\[  PASSED  \] 1 test" "$work/feedback-compare.out" &&
     ! grep -q "SKIPPED" "$work/feedback-compare.out"; then
    echo "ok: the Windows feedback form posted the same bytes as the Qt form ($(wc -c <"$work/win32.post") bytes)"
  else
    fail "the feedback posts of the two forms:"$'\n'"$(cat "$work/feedback-compare.out")"
  fi
else
  fail "the Windows feedback form posted nothing to the fixture service"
fi

# A laptop's 125 % screen (120 dpi, Wine's LogPixels): the window takes its monitor's scale
# (the manifest says it is per-monitor aware), with its controls and font scaled, not
# blurred. Last, as it changes the prefix's screen for every program after it.
"$wine" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 120 /f >/dev/null 2>&1
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true
steps=(mark=shown wait=2000 exit)
shot_at window-120dpi shown main-window-120dpi.png
window_run window-120dpi || fail "the window at 120 dpi"

for run in window-readwell window-kt72 window-interrupted-1 window-interrupted-2 window-feedback; do
  echo "    $run:"
  grep -E "^driver: box" "$work/$run.driver" | sed 's/^/      /' || true
done

if [ "$failed" -ne 0 ]; then
  echo "test-windows: FAILED"
  exit 1
fi
echo "test-windows: all passed"
