#!/usr/bin/env bash
# Fault campaign: vornbsl-cli updates vornsim instruments round after round, each round
# with one random fault on the line, and the simulated instruments (not the program's
# output) say how each round ended.
#
# usage: scripts/campaign.sh [ROUNDS] [SEED]        (default: 200 rounds from seed 1)
#
# Round i runs with seed SEED+i, which picks the family, the kind of round, the fault and
# its numbers and seeds the simulators: "scripts/campaign.sh 1 S" replays the round of seed
# S alone. The faults are the switches "vornsim --list-switches" marks as faults (those
# SIGUSR1 mends), each drawn from the range it lists; the families are the campaign's own
# (it knows their firmware image and serial number), each one vornsim must list. Two kinds
# of round:
#   single       one instrument. After a failed update up to two more tries on the faulty
#                line (with a pause between), then the line is mended (vornsim's line
#                faults go off on SIGUSR1) and one last try.
#   interleaved  two instruments of one family on two ports of one user. A's update is cut
#                short by the fault; then B, another unit (for a Kt72 one time in three a
#                blank one, with no serial number), is updated as a technician would with
#                --yes; then A is finished as in a single round.
# Then the instruments are asked, and the round counted as:
#   updated at once | updated after retries | failed, old firmware safe
#   | BRICKED (the last try on a mended line fails and the old firmware is gone)
#   | FALSE SUCCESS (exit 0, but flash or vectors are not the image)
#   | SETTINGS LOST (updated, but settings or records are not those it had)
#   | GIVEN TO ANOTHER UNIT (an instrument ends with the other unit's serial number)
#   | HUNG (a try did not end within VORN_CAMPAIGN_TRY_LIMIT seconds)
# The script exits 1 when any round ends in one of the last five; such a round keeps its
# folder (logs, program output, simulator reports) and is printed with its seed.
#
# Environment: VORN_CAMPAIGN_JOBS rounds at once (default 4; most of a round is waiting
# on the line), VORN_CAMPAIGN_PAUSE seconds between tries (default 2),
# VORN_CAMPAIGN_TRY_LIMIT (default 300), VORN_BUILD_DIR (default build),
# VORN_CAMPAIGN_INTERLEAVED one round in N is interleaved (default 4; 0: none).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${VORN_BUILD_DIR:-$here/build}
pause=${VORN_CAMPAIGN_PAUSE:-2}
tryLimit=${VORN_CAMPAIGN_TRY_LIMIT:-300}

interleaveEvery=${VORN_CAMPAIGN_INTERLEAVED:-4}

# The families a round draws from; round() knows each one's image and serial number.
families=(RW KT72 HN9 CF22)

# The scenarios of the fault switches that need more than a value from their own draw
# range, in the order the campaign has always drawn them (so a seed still draws the round
# it drew): the power lost after a frame of the image and back after 0.1 to 0.5 s (short)
# or 3 to 10 s (long), the adapter pulled out after a frame and back after 0.2 to 3 s, the
# firmware silent for 1 to 8 lines. The other fault switches named here are drawn from the
# range vornsim lists for them. A scenario whose switch vornsim does not list as a fault is
# never drawn; a fault switch vornsim lists and this list does not name is a scenario of
# its own, after these, drawn from its draw range (or its whole range when it has none).
scenarioOrder=(power-loss-after/short power-loss-after/long unplug-after drop-rate corrupt-rate bsl-refuse-write
  slow-ms echo noise-rate quiet-after)
# The switches those scenarios set beside their fault.
companions=(power-loss-ms unplug-ms quiet-lines)

# The fault switches of vornsim --list-switches: "NAME KIND RANGE DRAW" lines. Read once by
# the campaign and handed to its rounds (each a process of its own) in the environment.
fault_switches() {
  if [ -n "${VORN_CAMPAIGN_FAULT_LIST:-}" ]; then
    printf '%s\n' "$VORN_CAMPAIGN_FAULT_LIST"
  else
    "$build/sim/vornsim" --list-switches | awk -F'\t' '$4 == "fault" {print $1, $2, $3, $5}'
  fi
}

# "0.05" in hundredths: 5.
hundredths() {
  local whole=${1%%.*} part=0
  [[ $1 == *.* ]] && part=${1#*.}
  part=${part}00
  echo $((10#$whole * 100 + 10#${part:0:2}))
}

# drawn NAME KIND RANGE R: "NAME=VALUE", VALUE from RANGE ("LO..HI") picked by the random
# number R (a probability in hundredths); a bare switch is its name alone.
drawn() {
  local name=$1 kind=$2 range=$3 r=$4 lo hi v
  if [ "$kind" = none ]; then printf '%s' "$name"; return; fi
  lo=${range%%..*} hi=${range##*..}
  if [ "$kind" = probability ]; then
    lo=$(hundredths "$lo") hi=$(hundredths "$hi")
    v=$((lo + r % (hi - lo + 1)))
    printf '%s=%d.%02d' "$name" $((v / 100)) $((v % 100))
  else
    printf '%s=%d' "$name" $((lo + r % (hi - lo + 1)))
  fi
}

# Starts a simulated instrument in the background: sim_start NAME FAMILY PORT SEED FIRMWARE
# [--set S ...]; its pid goes into the variable NAME.
sim_start() {
  local var=$1 family=$2 port=$3 simSeed=$4 image=$5
  shift 5
  HOME=$work XDG_DATA_HOME=$work/data XDG_RUNTIME_DIR=$work/run "$build/sim/vornsim" --family "$family" --version 2.10 \
    --name "$port" --seed "$simSeed" --report "$image" --state "$work/$port.state" "$@" >"$work/$port.out" 2>&1 &
  printf -v "$var" '%s' "$!"
  for _ in $(seq 1 100); do grep -q "^vornsim: $family" "$work/$port.out" 2>/dev/null && break; sleep 0.05; done
}

# One try: cli_try OUT PORT [OPTIONS...]; its exit status (124/137 when it hung).
cli_try() {
  local out=$1 port=$2 rc=0
  shift 2
  HOME=$work XDG_DATA_HOME=$work/data XDG_RUNTIME_DIR=$work/run timeout -k 5 "$tryLimit" "$build/cli/vornbsl-cli" \
    --port "$port" --firmware "$firmware" "${factory[@]}" "$@" >"$out" 2>&1 </dev/null || rc=$?
  return "$rc"
}

# The serial number an instrument ended with, from its state dump.
final_serial() { sed -n 's/^setting -sn=//p' "$work/$1.state" 2>/dev/null | head -n 1; }

# How a simulated instrument ended, from its report: sets flashGood settingsGood untouched running.
read_report() {
  local report=$work/$1.out
  flashGood=0 settingsGood=0 untouched=0 running=0
  grep -q "^vornsim: flash equals the firmware image.*: yes$" "$report" && flashGood=1
  grep -q "^settings restored: yes$" "$report" && settingsGood=1
  grep -q "^old firmware untouched: yes$" "$report" && untouched=1
  grep -q "^instrument: command interpreter$" "$report" && running=1
  return 0
}

# One round: prints "<seed>|<outcome>|<family>|<fault>|<exit codes>|<kept folder>".
round() {
  local seed=$1
  RANDOM=$seed
  local family=${families[RANDOM % ${#families[@]}]}
  firmware=$build/sample/classic-demo-2.00.txt
  local frames=127
  factory=(--factory)
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
  # The faults vornsim has, then the scenarios they make.
  local -A faultKind=() faultDraw=()
  local faultNames=() scenarios=() name kind range draw sc
  while read -r name kind range draw; do
    faultNames+=("$name")
    faultKind[$name]=$kind
    [ "$draw" = - ] && draw=$range
    faultDraw[$name]=$draw
  done < <(fault_switches)
  for sc in "${scenarioOrder[@]}"; do [ -n "${faultKind[${sc%%/*}]:-}" ] && scenarios+=("$sc"); done
  for name in "${faultNames[@]}"; do
    case " ${scenarioOrder[*]} " in *" $name "* | *" $name/"*) ;; *) scenarios+=("$name") ;; esac
  done
  kind=${scenarios[RANDOM % ${#scenarios[@]}]}
  local set=() n=$RANDOM m=$RANDOM  # drawn here: a $( ) subshell would draw from a new seed
  case $kind in
    power-loss-after/short) set=(power-loss-after=$((n % frames)) power-loss-ms=$((100 + m % 400))) ;;
    power-loss-after/long) set=(power-loss-after=$((n % frames)) power-loss-ms=$((3000 + m % 7000))) ;;
    unplug-after) set=(unplug-after=$((n % frames)) unplug-ms=$((200 + m % 2800))) ;;
    quiet-after) set=("$(drawn "$kind" "${faultKind[$kind]}" "${faultDraw[$kind]}" "$n")" quiet-lines=$((1 + m % 8))) ;;
    *) set=("$(drawn "$kind" "${faultKind[$kind]}" "${faultDraw[$kind]}" "$n")") ;;
  esac
  local interleaved=0 blankOther=0
  if [ "$interleaveEvery" -gt 0 ] && [ $((RANDOM % interleaveEvery)) -eq 0 ]; then
    interleaved=1
    # A blank unit: a logger that never had its factory settings.
    [ "$family" = KT72 ] && [ $((RANDOM % 3)) -eq 0 ] && blankOther=1
  fi
  local fault="${set[*]}"
  if [ "$blankOther" -eq 1 ]; then fault="interleaved, blank B: $fault"
  elif [ "$interleaved" -eq 1 ]; then fault="interleaved: $fault"; fi
  local port=campaign-$seed other=campaign-$seed-b
  work=$(mktemp -d "${TMPDIR:-/tmp}/vorn-campaign-$seed.XXXXXX")
  local sets=()
  for s in "${set[@]}"; do sets+=(--set "$s"); done
  # The round's own per-user folder: no settings file of another round is found. Its own
  # runtime folder too: its simulators register there, so the port list of this round's
  # updater neither sees nor checks the other rounds' ports.
  mkdir -m 700 "$work/run"
  local sim simB=
  sim_start sim "$family" "$port" "$seed" "$firmware" "${sets[@]}"

  local codes=() outcome='' try rc succeeded=0 hung=0 otherSerial='' otherRc=0
  if [ "$interleaved" -eq 1 ]; then
    # A's first try on the faulty line; then B, a unit of the same family, on a port of
    # its own, before A is finished.
    rc=0; cli_try "$work/try1.out" "$port" --yes --restore-from "$serial" || rc=$?
    codes+=("$rc")
    [ "$rc" -eq 124 ] || [ "$rc" -eq 137 ] && hung=1
    if [ "$rc" -eq 0 ]; then succeeded=1; fi
    local blank=() otherOptions=(--yes)
    otherSerial=$serial-B
    if [ "$blankOther" -eq 1 ]; then
      otherSerial=
      # No serial number, no settings to keep: the technician lets it go without them
      # (and keeps its data, which a logger without a name cannot check).
      blank=(--set uninitialised)
      otherOptions=(--yes --accept-settings-loss --keep-data)
    else
      blank=(--set "serial=$otherSerial")
    fi
    sim_start simB "$family" "$other" "$((seed + 100000))" "$firmware" "${blank[@]}"
    rc=0; cli_try "$work/other.out" "$other" "${otherOptions[@]}" || rc=$?
    codes+=("B:$rc")
    otherRc=$rc
    [ "$rc" -eq 124 ] || [ "$rc" -eq 137 ] && hung=1
  fi
  local first=1
  [ "$interleaved" -eq 1 ] && first=2
  if [ "$succeeded" -eq 0 ]; then
    for try in $(seq "$first" 4); do
      if [ "$try" -eq 4 ]; then
        kill -USR1 "$sim"
        for _ in $(seq 1 100); do grep -q "line mended" "$work/$port.out" && break; sleep 0.05; done
      fi
      rc=0; cli_try "$work/try$try.out" "$port" --yes --restore-from "$serial" || rc=$?
      codes+=("$rc")
      [ "$rc" -eq 124 ] || [ "$rc" -eq 137 ] && hung=1
      if [ "$rc" -eq 0 ]; then succeeded=$try; break; fi
      sleep "$pause"
    done
  fi
  kill -TERM "$sim" ${simB:+"$simB"} 2>/dev/null || true
  wait "$sim" || true
  [ -n "$simB" ] && { wait "$simB" || true; }

  # Whose settings each instrument ended with: never the other unit's.
  local given=0
  if [ "$interleaved" -eq 1 ]; then
    [ -n "$otherSerial" ] && [ "$(final_serial "$port")" = "$otherSerial" ] && given=1
    [ "$(final_serial "$other")" = "$serial" ] && given=1
    # A blank unit has no name of its own: one it ends with is A's (a logger with a
    # device ID keeps its serial number whatever is written into it).
    [ "$blankOther" -eq 1 ] && grep -q '^setting -i=' "$work/$other.state" 2>/dev/null && given=1
    # B, updated on a good line, must have come through with its new firmware and its own
    # settings (a blank one had none to keep: its radio defaults go, as the technician said).
    read_report "$other"
    [ "$blankOther" -eq 1 ] && settingsGood=1
    if [ "$flashGood" -eq 0 ] || [ "$running" -eq 0 ]; then
      if [ "$otherRc" -eq 0 ]; then outcome="FALSE SUCCESS"; else outcome=BRICKED; fi
    elif [ "$settingsGood" -eq 0 ]; then
      outcome="SETTINGS LOST"
    fi
  fi
  read_report "$port"
  if [ "$given" -eq 1 ]; then
    outcome="GIVEN TO ANOTHER UNIT"
  elif [ -n "$outcome" ]; then
    :
  elif [ "$hung" -eq 1 ]; then
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

# What the rounds take from vornsim: their families, the switches set beside a fault, and
# at least one fault to draw.
listedFamilies=$("$build/sim/vornsim" --list-families)
listedSwitches=$("$build/sim/vornsim" --list-switches | cut -f1)
for f in "${families[@]}"; do
  grep -qxF "$f" <<<"$listedFamilies" || { echo "campaign: vornsim --list-families has no family $f" >&2; exit 2; }
done
for s in "${companions[@]}"; do
  grep -qxF "$s" <<<"$listedSwitches" || { echo "campaign: vornsim --list-switches has no switch $s" >&2; exit 2; }
done
unset VORN_CAMPAIGN_FAULT_LIST
VORN_CAMPAIGN_FAULT_LIST=$(fault_switches)
export VORN_CAMPAIGN_FAULT_LIST
[ -n "$VORN_CAMPAIGN_FAULT_LIST" ] || { echo "campaign: vornsim --list-switches marks no switch as a fault" >&2; exit 2; }

echo "Fault campaign: $rounds rounds from seed $seed, $jobs at once (families ${families[*]}; one round in $interleaveEvery interleaved)"
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
               BRICKED "FALSE SUCCESS" "SETTINGS LOST" "GIVEN TO ANOTHER UNIT" HUNG; do
  n=$(count "$outcome")
  printf '  %-28s %5d\n' "$outcome" "$n"
  case $outcome in BRICKED|FALSE*|SETTINGS*|GIVEN*|HUNG) bad=$((bad + n)) ;; esac
done
printf '  (%d of them interleaved)\n' "$(grep -c '|interleaved' "$results" || true)"
if [ "$bad" -gt 0 ]; then
  echo
  echo "Rounds to replay alone (scripts/campaign.sh 1 SEED), with their logs kept:"
  grep -E '\|(BRICKED|FALSE SUCCESS|SETTINGS LOST|GIVEN TO ANOTHER UNIT|HUNG)\|' "$results" | sort -t'|' -n -k1,1 |
    while IFS='|' read -r s outcome family fault codes kept; do
      echo "  seed $s: $outcome, $family with $fault (exit codes $codes) in $kept"
    done
  exit 1
fi
