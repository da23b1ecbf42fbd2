# The simulated bench that `demo.sh --bench N`, `bench-fleet.sh` and `bench-latency.sh`
# share; sourced, with $build set (the benchmarks' bench_setup sets it). Units in order:
# two Readwells, a Kt72, a Heron 9 (then round again), each with a serial number of its own.
# Readwells take the Readwell image as it is; the Kt72 and the Heron 9 are loaded in factory
# mode (the Kt72 with the 16-bit image), as the fault campaign does, so the bench runs one
# vornbsl-cli per firmware at the same time.
bench_families=(RW RW KT72 HN9)

# bench_setup SOURCE: what a benchmark needs first. Seconds written and read with a decimal
# point, whatever the user's locale; the programs built; $build; a scratch folder $work,
# removed at exit with the simulators still running; and the per-user folder in it, so no
# settings file of one run meets the next (each run removes $XDG_DATA_HOME first).
bench_setup() {
  export LC_ALL=C
  "$1/scripts/build.sh" --target vornsim vornbsl-cli sample_firmware >/dev/null
  build=${VORN_BUILD_DIR:-$1/build}
  work=$(mktemp -d)
  trap 'stop_bench_sims >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
  export XDG_DATA_HOME=$work/data
}
now() { date +%s.%N; }

bench_family() { echo "${bench_families[$(($1 % ${#bench_families[@]}))]}"; }
bench_firmware() {
  case $1 in
    KT72) echo "$build/sample/classic-demo-2.00.txt" ;;
    *) echo "$build/sample/readwell-demo-2.00.txt" ;;
  esac
}
bench_options() { [ "$1" = RW ] || echo --factory; }
# The firmware a simulated unit starts with: a Kt72 is supported from 2.00 on.
bench_version() { if [ "$1" = KT72 ]; then echo 2.10; else echo 1.02; fi; }

# start_bench_sims FOLDER FIRST LAST [vornsim options...]: units FIRST to LAST, unit i on
# the port vornsim-bench<i>, its output in FOLDER/sim<i>.out; sets bench_pids, bench_ports
# and bench_units.
start_bench_sims() {
  local folder=$1 first=$2 last=$3 i family
  shift 3
  bench_pids=() bench_ports=() bench_units=()
  for ((i = first; i <= last; i++)); do
    family=$(bench_family "$i")
    "$build/sim/vornsim" --family "$family" --version "$(bench_version "$family")" --name "vornsim-bench$i" \
      --set "serial=BENCH-$((1001 + i))" --report "$(bench_firmware "$family")" "$@" >"$folder/sim$i.out" 2>&1 &
    bench_pids+=($!)
    bench_ports+=("vornsim-bench$i")
    bench_units+=("$i")
  done
  for i in "${bench_units[@]}"; do
    for _ in $(seq 1 100); do grep -q "^vornsim: " "$folder/sim$i.out" 2>/dev/null && break; sleep 0.05; done
  done
}

# stop_bench_sims: ends them; 0 when every one reports its flash holds the image and its
# settings are back.
stop_bench_sims() {
  local pid status=0
  for pid in "${bench_pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in "${bench_pids[@]}"; do wait "$pid" || status=1; done
  return $status
}

# run_bench FOLDER [vornbsl-cli options...]: one vornbsl-cli per firmware, all at once,
# each with its summary table in FOLDER/bench-<family>.txt; 0 when all succeeded.
run_bench() {
  local folder=$1 family i status=0 pids=()
  shift
  local -A ports=()
  for ((i = 0; i < ${#bench_ports[@]}; i++)); do
    family=$(bench_family "${bench_units[$i]}")
    ports[$family]+=" --port ${bench_ports[$i]}"
  done
  for family in "${!ports[@]}"; do
    # shellcheck disable=SC2086 # the port options split on purpose
    "$build/cli/vornbsl-cli" ${ports[$family]} --firmware "$(bench_firmware "$family")" $(bench_options "$family") \
      --yes --json "$folder/bench-$family.json" "$@" >"$folder/bench-$family.txt" 2>"$folder/bench-$family.err" </dev/null &
    pids+=($!)
  done
  for i in "${pids[@]}"; do wait "$i" || status=1; done
  return $status
}
