#!/usr/bin/env bash
# Fault campaign: vornbsl-cli updates a vornsim instrument round after round, each round
# with one random fault on the line, and the simulated instrument (not the program's
# output) says how each round ended.
#
# usage: scripts/campaign.sh [ROUNDS] [SEED]        (default: 200 rounds from seed 1)
#
# Round i runs with seed SEED+i, which picks the family, the fault and its numbers and
# seeds the simulator: "scripts/campaign.sh 1 S" replays the round of seed S alone.
# A round acts as a technician would: after a failed update up to two more tries on the
# faulty line (with a pause between), then the line is mended (vornsim's line faults go
# off on SIGUSR1) and one last try. Then the instrument is asked and the round counted as:
#   updated at once | updated after retries | failed, old firmware safe
#   | BRICKED (the last try on a mended line fails and the old firmware is gone)
#   | FALSE SUCCESS (exit 0, but flash or vectors are not the image)
#   | SETTINGS LOST (updated, but settings or records are not those it had)
#   | HUNG (a try did not end within VORN_CAMPAIGN_TRY_LIMIT seconds)
# The script exits 1 when any round ends in one of the last four; such a round keeps its
# folder (logs, program output, simulator report) and is printed with its seed.
#
# Environment: VORN_CAMPAIGN_JOBS rounds at once (default 4; most of a round is waiting
# on the line), VORN_CAMPAIGN_PAUSE seconds between tries (default 2),
# VORN_CAMPAIGN_TRY_LIMIT (default 300), VORN_BUILD_DIR (default build).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${VORN_BUILD_DIR:-$here/build}
pause=${VORN_CAMPAIGN_PAUSE:-2}
tryLimit=${VORN_CAMPAIGN_TRY_LIMIT:-300}

# One round: prints "<seed>|<outcome>|<family>|<fault>|<exit codes>|<kept folder>".
round() {
  local seed=$1
  RANDOM=$seed
  local families=(RW KT72 HN9 CF22)
  local family=${families[RANDOM % 4]}
  local firmware=$build/sample/classic-demo-2.00.txt frames=127 factory=(--factory)
  case $family in
    RW) firmware=$build/sample/readwell-demo-2.00.txt frames=248 factory=() ;;
    HN9) firmware=$build/sample/readwell-demo-2.00.txt frames=248 ;;
  esac
  # The simulated unit's serial number: a retry that finds it in its loader restores the
  # settings an earlier try saved only when the technician names the unit they are from.
  local serial
  case $family in
    RW) serial=RW-10234 ;; KT72) serial=VL-0001234 ;; HN9) serial=H9-00417 ;; CF22) serial=CF-2201 ;;
  esac
  local faults=(power-loss-short power-loss-long unplug drop corrupt refuse slow echo noise quiet)
  local kind=${faults[RANDOM % ${#faults[@]}]}
  local set=() n=$RANDOM m=$RANDOM  # drawn here: a $( ) subshell would draw from a new seed
  case $kind in
    power-loss-short) set=(power-loss-after=$((n % frames)) power-loss-ms=$((100 + m % 400))) ;;
    power-loss-long) set=(power-loss-after=$((n % frames)) power-loss-ms=$((3000 + m % 7000))) ;;
    unplug) set=(unplug-after=$((n % frames)) unplug-ms=$((200 + m % 2800))) ;;
    drop) set=("drop-rate=0.$(printf %02d $((1 + n % 30)))") ;;
    corrupt) set=("corrupt-rate=0.$(printf %02d $((1 + n % 30)))") ;;
    refuse) set=(bsl-refuse-write=$((1 + n % 12))) ;;
    slow) set=(slow-ms=$((200 + n % 1100))) ;;
    echo) set=(echo) ;;
    noise) set=("noise-rate=0.$(printf %02d $((5 + n % 40)))") ;;
    quiet) set=(quiet-after=$((n % 30)) quiet-lines=$((1 + m % 8))) ;;
  esac
  local fault="${set[*]}"
  local work port=campaign-$seed
  work=$(mktemp -d "${TMPDIR:-/tmp}/vorn-campaign-$seed.XXXXXX")
  local sets=()
  for s in "${set[@]}"; do sets+=(--set "$s"); done
  # The round's own per-user folder: no settings file of another round is found. Its own
  # runtime folder too: its simulator registers there, so the port list of this round's
  # updater neither sees nor checks the other rounds' ports.
  mkdir -m 700 "$work/run"
  HOME=$work XDG_DATA_HOME=$work/data XDG_RUNTIME_DIR=$work/run "$build/sim/vornsim" --family "$family" --version 2.10 --name "$port" \
    --seed "$seed" --report "$firmware" "${sets[@]}" >"$work/vornsim.out" 2>&1 &
  local sim=$!
  for _ in $(seq 1 100); do grep -q "^vornsim: $family" "$work/vornsim.out" 2>/dev/null && break; sleep 0.05; done

  local codes=() outcome='' try rc succeeded=0 hung=0
  for try in 1 2 3 4; do
    if [ "$try" -eq 4 ]; then
      kill -USR1 "$sim"
      for _ in $(seq 1 100); do grep -q "line mended" "$work/vornsim.out" && break; sleep 0.05; done
    fi
    rc=0
    HOME=$work XDG_DATA_HOME=$work/data XDG_RUNTIME_DIR=$work/run timeout -k 5 "$tryLimit" "$build/cli/vornbsl-cli" --port "$port" \
      --firmware "$firmware" "${factory[@]}" --yes --restore-from "$serial" >"$work/try$try.out" 2>&1 </dev/null || rc=$?
    codes+=("$rc")
    [ "$rc" -eq 124 ] || [ "$rc" -eq 137 ] && hung=1
    if [ "$rc" -eq 0 ]; then succeeded=$try; break; fi
    sleep "$pause"
  done
  kill -TERM "$sim" 2>/dev/null || true
  wait "$sim" || true

  local report=$work/vornsim.out flashGood=0 settingsGood=0 untouched=0 running=0
  grep -q "^vornsim: flash equals the firmware image.*: yes$" "$report" && flashGood=1
  grep -q "^settings restored: yes$" "$report" && settingsGood=1
  grep -q "^old firmware untouched: yes$" "$report" && untouched=1
  grep -q "^instrument: command interpreter$" "$report" && running=1
  if [ "$hung" -eq 1 ]; then
    outcome=HUNG
  elif [ "$succeeded" -gt 0 ]; then
    if [ "$flashGood" -eq 0 ] || [ "$running" -eq 0 ]; then outcome="FALSE SUCCESS"
    elif [ "$settingsGood" -eq 0 ]; then outcome="SETTINGS LOST"
    elif [ "$succeeded" -eq 1 ]; then outcome="updated at once"
    else outcome="updated after retries"; fi
  elif [ "$untouched" -eq 1 ] && [ "$running" -eq 1 ] && [ "$settingsGood" -eq 1 ]; then
    outcome="failed, old firmware safe"
  else
    outcome=BRICKED
  fi
  local kept=
  case $outcome in
    updated*|failed*) rm -rf "$work" ;;
    *) kept=$work ;;
  esac
  echo "$seed|$outcome|$family|$fault|${codes[*]}|$kept"
}

if [ "${1:-}" = "--round" ]; then
  round "$2"
  exit 0
fi

rounds=${1:-200}
seed=${2:-1}
jobs=${VORN_CAMPAIGN_JOBS:-4}
"$here/scripts/build.sh" --target vornsim vornbsl-cli sample_firmware >/dev/null

echo "Fault campaign: $rounds rounds from seed $seed, $jobs at once (families RW KT72 HN9 CF22)"
start=$(date +%s)
results=$(mktemp)
trap 'rm -f "$results"' EXIT
seq "$seed" $((seed + rounds - 1)) |
  xargs -P "$jobs" -I{} "$0" --round {} |
  while IFS='|' read -r s outcome family fault codes kept; do
    echo "$s|$outcome|$family|$fault|$codes|$kept" >>"$results"
    printf '  seed %-6s %-5s %-44s exit %-9s %s\n' "$s" "$family" "$fault" "$codes" "$outcome"
  done

count() { grep -c "^[^|]*|$1|" "$results" || true; }
echo
echo "Tally of $rounds rounds ($(($(date +%s) - start)) s): scripts/campaign.sh $rounds $seed"
bad=0
for outcome in "updated at once" "updated after retries" "failed, old firmware safe" \
               BRICKED "FALSE SUCCESS" "SETTINGS LOST" HUNG; do
  n=$(count "$outcome")
  printf '  %-28s %5d\n' "$outcome" "$n"
  case $outcome in BRICKED|FALSE*|SETTINGS*|HUNG) bad=$((bad + n)) ;; esac
done
if [ "$bad" -gt 0 ]; then
  echo
  echo "Rounds to replay alone (scripts/campaign.sh 1 SEED), with their logs kept:"
  grep -E '\|(BRICKED|FALSE SUCCESS|SETTINGS LOST|HUNG)\|' "$results" | sort -t'|' -n -k1,1 |
    while IFS='|' read -r s outcome family fault codes kept; do
      echo "  seed $s: $outcome, $family with $fault (exit codes $codes) in $kept"
    done
  exit 1
fi
