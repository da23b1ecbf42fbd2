#!/bin/bash
# Every example command of the README and the manual pages runs, as the text has it,
# against simulated instruments: the commands are taken from the documents themselves, so
# an example that stops working (a renamed option, a missing step) fails here.
#   doc_examples_test.sh SOURCE_DIR BUILD_DIR VORNBSL_CLI VORNSIM
#
# vornbsl-cli.1's examples name real adapters (ttyUSB0 ...): each runs against a simulated
# instrument on a port of another name (docUSB0 ...), so no real device is ever touched,
# after the set-up that example's situation needs (an interrupted update for the resume
# example, a saved file for the restore one). vornsim.1's examples are one shell session,
# run as written; their simulated instruments' reports must say the flash holds the image
# and the settings came back. The README's "$ " commands run with the build's sample files.
set -uo pipefail

src=$1 build=$2 cli=$3 sim=$4
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

work=$(mktemp -d)
cleanup() {
  local pids
  pids=$(jobs -p)
  [ -n "$pids" ] && kill $pids 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
export LC_ALL=C.UTF-8 HOME=$work/home XDG_RUNTIME_DIR=$work/run
unset XDG_DATA_HOME
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" "$work/bin" && chmod 700 "$XDG_RUNTIME_DIR"
ln -s "$cli" "$work/bin/vornbsl-cli"
ln -s "$sim" "$work/bin/vornsim"
export PATH=$work/bin:$PATH
# The files the examples name, made from the build's samples.
cp "$build/sample/readwell-demo-2.00.txt" "$work/readwell-2.00.txt"
cp "$build/sample/classic-demo-2.00.txt" "$work/kt72-3.10.txt"
ln -s "$build" "$work/build"
cd "$work" || exit 1

# The example commands of a page's EXAMPLES section, one a line; "--" between the blocks
# (.nf ... .fi). A command continued with "\e" at its line end is joined.
man_examples() {
  awk '
    /^\.SH / { inside = ($0 ~ /^\.SH EXAMPLES/); next }
    !inside { next }
    /^\.nf/ { block = 1; next }
    /^\.fi/ { if (block && n) print "--"; block = 0; n = 0; next }
    !block { next }
    {
      line = $0
      if (cont != "") { sub(/^ +/, "", line); line = cont " " line; cont = "" }
      else if (line !~ /^\$ /) next
      if (line ~ /\\e$/) { sub(/ *\\e$/, "", line); cont = line; next }
      gsub(/\\-/, "-", line); gsub(/\\e/, "\\", line)
      print substr(line, 3); n++
    }' "$1"
}

# The "$ " commands of the README's code blocks.
readme_examples() {
  awk '/^```/ { code = !code; next } code && /^\$ / { print substr($0, 3) }' "$1"
}

# A simulated instrument registered as NAME, reporting on FIRMWARE at its end; the rest
# are vornsim's own arguments.
start_sim() {
  local name=$1 firmware=$2
  shift 2
  vornsim --name "$name" --report "$firmware" "$@" >"$work/sim-$name.out" 2>&1 &
  for _ in $(seq 1 100); do grep -q '^vornsim: ' "$work/sim-$name.out" 2>/dev/null && return 0; sleep 0.05; done
  fail "vornsim $name did not start: $(cat "$work/sim-$name.out")"
  return 1
}
stop_sims() {
  local pids
  pids=$(jobs -p)
  [ -n "$pids" ] && kill -TERM $pids 2>/dev/null
  wait 2>/dev/null
}

# What a vornbsl-cli example needs before it runs; false when the example is one this
# test does not know, which fails: a new example needs its set-up here.
setup_for() {
  local command=$1 file
  case $command in
    *--list-ports*) start_sim docUSB0 readwell-2.00.txt ;;
    *--dump*) ;;
    *--json*)
      for i in 0 1 2; do start_sim "docUSB$i" readwell-2.00.txt --set "serial=RW-3000$i"; done ;;
    *--restore-settings*)
      # The file the example names, saved from the unit it goes back into.
      file=$(sed -E 's/.*--restore-settings +([^ ]+).*/\1/' <<<"$command")
      file=${file/#\~/$HOME}
      start_sim docUSB0 readwell-2.00.txt &&
        vornbsl-cli --port docUSB0 --save-settings "$file" >"$work/setup.out" 2>&1 ||
        { fail "setting up \"$command\": $(tail -n 3 "$work/setup.out")"; return 0; } ;;
    *--restore-from*)
      # An update cut short by a power loss in the middle of the erase; the loader waits.
      start_sim docUSB0 readwell-2.00.txt --set power-loss-after=20 --set power-loss-ms=500 &&
        vornbsl-cli --port docUSB0 --firmware readwell-2.00.txt --yes >"$work/setup.out" 2>&1
      sleep 1 ;;
    *--factory*kt72*) start_sim docUSB0 kt72-3.10.txt --family KT72 ;;
    *vornsim-bench0*)
      start_sim vornsim-bench0 build/sample/readwell-demo-2.00.txt --set serial=BENCH-1001
      start_sim vornsim-bench1 build/sample/readwell-demo-2.00.txt --set serial=BENCH-1002 ;;
    *--port\ docUSB0*) start_sim docUSB0 readwell-2.00.txt ;;
    *) return 1 ;;
  esac
  return 0
}

run_cli_example() {
  local where=$1 command=${2//ttyUSB/docUSB} status=0
  rm -rf "$HOME/.local"
  if ! setup_for "$command"; then
    fail "$where: no set-up for the example \"$command\""
    return
  fi
  (cd "$work" && eval "$command") >"$work/example.out" 2>&1 || status=$?
  [ "$status" -eq 0 ] || fail "$where: \"$command\" exits $status: $(tail -n 3 "$work/example.out")"
  stop_sims
}

count=0
while IFS= read -r command; do
  [ "$command" = "--" ] && continue
  run_cli_example vornbsl-cli.1 "$command"
  count=$((count + 1))
done < <(man_examples "$src/doc/man/vornbsl-cli.1")
while IFS= read -r command; do
  run_cli_example README.md "$command"
  count=$((count + 1))
done < <(readme_examples "$src/README.md")

# vornsim.1: one session, as a user would type it. The harness only waits where a person
# would: for a started instrument to register, for a stopped one to end. The demo script
# builds the tree, and has a CI step of its own.
session=$work/session.sh
{
  echo 'cd "$1" || exit 1'
  while IFS= read -r command; do
    [ "$command" = "--" ] && continue
    case $command in
      ./scripts/demo.sh) continue ;;
      vornsim*'&')
        echo "$command"
        echo 'for _ in $(seq 1 100); do [ -e "$XDG_RUNTIME_DIR/vornsim/vornsim0" ] && break; sleep 0.05; done' ;;
      'kill -TERM %'*) echo "$command; wait ${command##* }" ;;
      *) echo "$command" ;;
    esac
    count=$((count + 1))
  done < <(man_examples "$src/doc/man/vornsim.1")
  echo 'pids=$(jobs -p); [ -n "$pids" ] && kill -TERM $pids; wait'
} >"$session"
bash "$session" "$work" >"$work/session.out" 2>&1
reports=$(grep -c '^settings restored: ' "$work/session.out" || true)
[ "$reports" -ge 2 ] || fail "vornsim.1's examples: $reports instrument reports, not 2: $(tail -n 5 "$work/session.out")"
if grep -E '^settings restored: NO|^flash equals the firmware image.*: NO' "$work/session.out" >&2; then
  fail "vornsim.1's examples: an instrument was not updated or lost its settings"
  grep -E '^result ' "$work/session.out" >&2
fi

[ "$count" -ge 12 ] || fail "only $count example commands were found in the documents"
if ((failures)); then
  echo "$failures failure(s)" >&2
  exit 1
fi
echo "doc examples: $count commands of the README and the manual pages ran"
