#!/usr/bin/env bash
# Settings round trip: vornbsl-cli updates simulated instruments of every family, each
# holding settings a real unit could hold, and the instruments (not the program's output)
# say whether every value came back exactly and the clock was set right.
#
# usage: scripts/roundtrip.sh [UNITS] [SEED]        (default: 500 units from seed 1)
#
# Unit i is drawn from seed SEED+i: its family (from "vornsim --list-families") and
# firmware version, and for each setting the unit holds (vornsim --list-values says which,
# and what each takes) a value within the instrument's own range and length: empty ones,
# texts with spaces, quotes and question marks, extreme numbers; record lists in the order
# their owner entered them, now and then with an empty record. Its clock starts off by up
# to a day, in one of the time zones Europe/Dublin, Australia/Lord_Howe and UTC, and every
# other unit is updated in a comma-decimal locale (de_DE.UTF-8). Then
# "vornbsl-cli --factory --yes" updates it.
# A unit counts as
#   restored        exit 0, the flash holds the image, every setting and record is back,
#                   the clock within 5 s of local time ("clock not set" for the families
#                   whose update sets none)
#   VALUES CHANGED  exit 0 but a setting or record differs (or is gone, or new)
#   CLOCK WRONG     exit 0 but the clock is more than 5 s off local time
#   REFUSED         the update did not end in success
#   NOT MADE        vornsim refused the drawn unit (a fault of this script's drawing)
# Any unit not restored is printed with the vornsim command line that makes it again,
# and the script exits 1.
#
# Environment: VORN_ROUNDTRIP_JOBS units at once (default 4), VORN_BUILD_DIR (default build).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${VORN_BUILD_DIR:-$here/build}
clockSlack=5

# The families a unit is drawn from, in the order vornsim lists them: every family it
# simulates but the Kt7, whose old firmware "vornbsl-cli --factory --yes" does not reach
# (no connection, result -20); and the Kt72 twice, as it always was: it alone may carry the
# cellular modem, so its settings come in the most kinds. Read when a unit is drawn, once
# vornsim is built.
excludedFamilies=(KT7)
unit_families() {
  local code
  families=(KT72)
  while read -r code; do
    [[ " ${excludedFamilies[*]} " == *" $code "* ]] || families+=("$code")
  done < <("$build/sim/vornsim" --list-families)
}
zones=(Europe/Dublin Australia/Lord_Howe UTC)

# A firmware version the program supports, older and newer ones.
versions_of() {
  case $1 in
    KT72) echo "1.03 2.01 2.04 2.10" ;;
    QV) echo "1.05 1.20" ;;
    CF22) echo "1.50 1.99 2.00" ;;
    HN9) echo "2.00 2.05" ;;
    HMINI) echo "1.18 1.40" ;;
    H7S) echo "3.51 3.60" ;;
    *) echo "1.02 2.10" ;;
  esac
}

firmware_of() {
  case $1 in
    RW | HN9 | FIELDPT | BLI) echo "$build/sample/readwell-demo-2.00.txt" ;;
    *) echo "$build/sample/classic-demo-2.00.txt" ;;
  esac
}

# Characters an owner types into a text setting; '>' is the instruments' prompt and no
# instrument takes it in a value.
textChars='ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789 .,-_/#()'"'"'"?!:;+*&%@='
wordChars='ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789'

draw() { echo $((RANDOM % ($2 - $1 + 1) + $1)); }

# draw_text MAX CHARS: 1 to MAX characters, neither starting nor ending with a space (the
# instruments drop those), nor starting with a word they answer a refusal with.
draw_text() {
  local max=$1 chars=$2 n text i
  n=$(draw 1 "$max")
  # Long values now and then at their very limit.
  [ $((RANDOM % 4)) -eq 0 ] && n=$max
  text=
  for ((i = 0; i < n; i++)); do text+=${chars:RANDOM % ${#chars}:1}; done
  text=${text# }
  text=${text% }
  [ -z "$text" ] && text=X
  case $text in Error* | ERROR* | Unsupported* | \?*) text=V${text:1} ;; esac
  printf '%s' "$text"
}

draw_value() {
  local kind=$1 a=${2:-} b=${3:-} i sum out
  case $kind in
    word) draw_text "$a" "$wordChars" ;;
    text) [ $((RANDOM % 5)) -eq 0 ] || draw_text "$a" "$textChars" ;;
    int) draw "$a" "$b" ;;
    # -2 asks the updater for the host's own zone; no place keeps UTC-0:30.
    zone) n=$(draw "$a" "$b"); [ "$n" -eq -2 ] && n=-4; echo "$n" ;;
    real) printf '%+d.%05d' "$(draw $((a + 1)) $((b - 1)))" "$(draw 0 99999)" ;;
    bytes)
      out=
      for ((i = 0; i < a; i++)); do out+="${out:+ }$(draw 0 254)"; done
      printf '%s' "$out" ;;
    adc)
      out= sum=0
      for ((i = 0; i < a; i++)); do
        n=$(draw 1 254)
        sum=$((sum + n))
        out+="${out:+ }$n"
      done
      printf '%s %d' "$out" $((sum % 256)) ;;
    hex)
      if [ $((RANDOM % 5)) -ne 0 ]; then
        out=
        for ((i = 0; i < a; i++)); do out+=$(printf '%X' $((RANDOM % 16))); done
        printf '%s' "$out"
      fi ;;
    radio) printf '%X' "$(draw 0 "$a")" ;;
  esac
}

# draw_records KEY MOST LONGEST: a record list as an owner leaves it, in the order entered
# (not sorted), now and then with an empty record among the others or no text at all:
# "-user" records "NAME text", "-eqn" ones Base64 of "1<tab>0<tab>2<tab>NAME<tab>formula".
draw_records() {
  local key=$1 most=$2 longest=$3 n i text empty=-1
  n=$(draw 1 $((most < 8 ? most : 8)))
  [ $((RANDOM % 6)) -eq 0 ] && empty=$((RANDOM % n))
  for ((i = 0; i < n; i++)); do
    text=
    if [ "$i" -ne "$empty" ]; then
      if [ "$key" = -eqn ]; then
        text=$(printf '1\t0\t2\t%s\t%s*x' "$(draw_text 12 "$wordChars")" "$(draw 1 99)" | base64 -w 0)
      else
        text="$(draw_text 20 "$wordChars") $(draw_text $((longest - 22)) "$textChars")"
      fi
    fi
    printf '%s\n' --value "$key $i=$text"
  done
}

# The vornsim options of the unit of a seed, one to a line.
unit_options() {
  local seed=$1 family version versions kind key families
  unit_families
  RANDOM=$seed
  family=${families[RANDOM % ${#families[@]}]}
  read -r -a versions <<<"$(versions_of "$family")"
  version=${versions[RANDOM % ${#versions[@]}]}
  printf '%s\n' --family "$family" --version "$version" --seed "$seed"
  # Off by a minute to half a day either way.
  printf '%s\n' --set "clock-offset=$(($(draw 60 43200) * (RANDOM % 2 * 2 - 1)))"
  # Loggers with and without a radio, with and without cellular telemetry.
  local trait=()
  case $family in KT72 | ZQ8 | QV | MYR) trait=(--set "trait=$(((RANDOM % 2) | (RANDOM % 2) * 8))") ;; esac
  [ ${#trait[@]} -gt 0 ] && printf '%s\n' "${trait[@]}"
  while IFS=$'\t' read -r key spec; do
    read -r kind a b <<<"$spec"
    [ "$kind" = checksum ] && continue
    if [ "$kind" = records ]; then
      draw_records "$key" "$a" "$b"
      continue
    fi
    printf '%s\n' --value "$key=$(draw_value "$kind" "$a" "$b")"
  done < <("$build/sim/vornsim" --family "$family" --version "$version" "${trait[@]}" --list-values)
}

# The command line that makes the unit again, quoted for a shell.
quoted() {
  local out="vornsim" arg
  for arg in "$@"; do out+=" $(printf '%q' "$arg")"; done
  printf '%s' "$out"
}

# One unit: prints "<seed>|<outcome>|<family> <version> <zone>|<detail>|<vornsim line>".
unit() {
  local seed=$1 work rc=0 args=() zone locale family firmware outcome detail offset before
  mapfile -t args < <(unit_options "$seed")
  family=${args[1]}
  RANDOM=$((seed * 7 + 3))
  zone=${zones[RANDOM % ${#zones[@]}]}
  locale=C.UTF-8
  [ $((seed % 2)) -eq 0 ] && locale=de_DE.UTF-8
  firmware=$(firmware_of "$family")
  work=$(mktemp -d)
  export TZ=$zone HOME=$work XDG_DATA_HOME=$work/data XDG_RUNTIME_DIR=$work/run
  mkdir -p "$work/run" && chmod 700 "$work/run"
  if ! "$build/sim/vornsim" "${args[@]}" --name "rt$seed" --report "$firmware" >"$work/sim.out" 2>&1 &
  then :; fi
  local sim=$!
  for _ in $(seq 1 100); do grep -q "^vornsim: " "$work/sim.out" 2>/dev/null && break; sleep 0.05; done
  LC_ALL=$locale timeout -k 5 300 "$build/cli/vornbsl-cli" --port "rt$seed" --firmware "$firmware" --factory --yes \
    >"$work/cli.out" 2>&1 </dev/null || rc=$?
  kill -TERM "$sim" 2>/dev/null || true
  wait "$sim" || true
  offset=$(sed -n 's/^clock against local time: \(-\?[0-9]*\) s .*/\1/p' "$work/sim.out")
  before=$(sed -n 's/^clock against local time: .* s (\(-\?[0-9]*\) s at the start)$/\1/p' "$work/sim.out")
  if ! grep -q "^vornsim: $family /" "$work/sim.out"; then
    outcome="NOT MADE" detail="vornsim would not make this unit: $(head -n 1 "$work/sim.out")"
  elif [ "$rc" -ne 0 ]; then
    outcome=REFUSED detail="exit $rc: $(grep -v '^$' "$work/cli.out" | tail -n 1)"
  elif ! grep -q "^vornsim: flash equals the firmware image.*: yes$" "$work/sim.out"; then
    outcome=REFUSED detail="exit 0, but the flash is not the image"
  elif ! grep -q "^settings restored: yes$" "$work/sim.out"; then
    outcome="VALUES CHANGED" detail=$(sed -n 's/^settings restored: //p' "$work/sim.out")
  elif [ -z "$offset" ]; then
    outcome="CLOCK WRONG" detail="no clock in the report"
  elif [ "$offset" = "$before" ]; then
    # The update sets no clock in families that keep none for it.
    outcome="restored, clock not set" detail=
  elif [ "${offset#-}" -gt "$clockSlack" ]; then
    outcome="CLOCK WRONG" detail="$offset s off local time"
  else
    outcome=restored detail=
  fi
  if [[ $outcome == restored* ]]; then
    rm -rf "$work"
  else
    detail+=" (logs in $work)"
  fi
  printf '%s|%s|%s %s %s|%s|%s\n' "$seed" "$outcome" "$family" "${args[3]}" "$zone" "$detail" \
    "TZ=$zone $(quoted "${args[@]}") (vornbsl-cli with LC_ALL=$locale)"
}

if [ "${1:-}" = "--unit" ]; then
  unit "$2"
  exit 0
fi

units=${1:-500}
seed=${2:-1}
jobs=${VORN_ROUNDTRIP_JOBS:-4}
"$here/scripts/build.sh" --target vornsim vornbsl-cli sample_firmware >/dev/null
for zone in "${zones[@]}"; do
  [ -e "/usr/share/zoneinfo/$zone" ] || { echo "roundtrip: the time zone $zone is not installed (tzdata)" >&2; exit 2; }
done
unit_families
[ "${#families[@]}" -gt 10 ] || { echo "roundtrip: vornsim --list-families lists too few families: ${families[*]}" >&2; exit 2; }
locale -a 2>/dev/null | grep -qix 'de_DE.utf-\?8' ||
  { echo "roundtrip: the comma-decimal locale de_DE.UTF-8 is missing (scripts/setup.sh makes it)" >&2; exit 2; }

echo "Settings round trip: $units units from seed $seed, $jobs at once"
start=$(date +%s)
results=$(mktemp)
trap 'rm -f "$results"' EXIT
seq "$seed" $((seed + units - 1)) |
  xargs -P "$jobs" -I{} "$0" --unit {} |
  while IFS='|' read -r s outcome what detail line; do
    echo "$s|$outcome|$what|$detail|$line" >>"$results"
    printf '  seed %-6s %-34s %s\n' "$s" "$what" "$outcome"
  done

echo
echo "Tally of $units units ($(($(date +%s) - start)) s): scripts/roundtrip.sh $units $seed"
bad=0
for outcome in restored "restored, clock not set" "VALUES CHANGED" "CLOCK WRONG" REFUSED "NOT MADE"; do
  n=$(grep -c "^[^|]*|$outcome|" "$results" || true)
  printf '  %-24s %5d\n' "$outcome" "$n"
  [[ $outcome == restored* ]] || bad=$((bad + n))
done
printf '  (clock not set: %s)\n' "$(grep '^[^|]*|restored, clock not set|' "$results" | cut -d'|' -f3 | cut -d' ' -f1 | sort -u | tr '\n' ' ' | sed 's/ $//')"
printf '  families: %s\n' "$(cut -d'|' -f3 "$results" | cut -d' ' -f1 | sort | uniq -c | awk '{printf "%s %s, ", $2, $1}' | sed 's/, $//')"
if [ "$bad" -gt 0 ]; then
  echo
  echo "Units not restored, each with the instrument that shows it:"
  grep -v '^[^|]*|restored' "$results" | sort -t'|' -n -k1,1 |
    while IFS='|' read -r s outcome what detail line; do
      echo "  seed $s: $outcome, $what: $detail"
      echo "    $line"
    done
  exit 1
fi
