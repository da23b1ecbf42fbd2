#!/bin/bash
# The bash completion of vornbsl-cli, driven as bash drives it (COMP_WORDS, COMP_CWORD,
# the function, COMPREPLY) in a non-interactive bash: once in plain bash, and once more
# with the bash-completion package's helpers when BASH_COMPLETION (its bash_completion
# file) is given and exists.
#   completion_test.sh SOURCE_DIR VORNBSL_CLI VORNSIM [BASH_COMPLETION]
set -euo pipefail

src=$1 cli=$(realpath "$2") sim=$(realpath "$3") helpers=${4:-}
script=$src/data/completion/vornbsl-cli
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

tmp=$(mktemp -d)
sim_pid=
cleanup() {
    [[ -n $sim_pid ]] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
    rm -rf "$tmp"
}
trap cleanup EXIT

# A folder to complete in, and stand-ins for vornbsl-cli.
mkdir -p "$tmp/files/images" "$tmp/files/old.txt" "$tmp/bin" "$tmp/run" "$tmp/data"
chmod 700 "$tmp/run"
touch "$tmp/files/readwell-2.00.txt" "$tmp/files/KT72.TXT" "$tmp/files/image.bin" "$tmp/files/notes.md" \
    "$tmp/files/images/heron-1.10.txt"
cat >"$tmp/files/vornbsl-cli" <<'EOF'
#!/bin/sh
[ "$1" = --list-ports ] || exit 2
echo "ttyUSB0 FTDI adapter"
echo "vornsim0 Simulated Readwell"
EOF
cat >"$tmp/bin/no-ports" <<'EOF'
#!/bin/sh
echo "No Comm Ports Found"
EOF
cat >"$tmp/bin/broken" <<'EOF'
#!/bin/sh
echo "broken: cannot list ports" >&2
exit 1
EOF
chmod +x "$tmp/files/vornbsl-cli" "$tmp/bin/no-ports" "$tmp/bin/broken"

# complete WORD... : the completions of the last word, one a line, into $got (run in
# $tmp/files; with $with_helpers set, after the bash-completion package's helpers).
# Duplicates count once, as readline shows them once. Anything on stderr fails.
complete_words() {
    local status=0
    (cd "$tmp/files" && HOME=$tmp XDG_RUNTIME_DIR=$tmp/run XDG_DATA_HOME=$tmp/data \
        bash --norc --noprofile -c '
            helpers=$1 script=$2; shift 2
            if [[ -n $helpers ]]; then source "$helpers" || exit 3; fi
            source "$script" || exit 3
            COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
            COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
            complete -p vornbsl-cli >/dev/null || { echo "no complete -F for vornbsl-cli" >&2; exit 3; }
            _vornbsl_cli
            printf "%s\n" "${COMPREPLY[@]}"' bash "${with_helpers:-}" "$script" "$@") \
        >"$tmp/out" 2>"$tmp/err" || status=$?
    got=$(sed 's:/$::' "$tmp/out" | sort -u)
    ((status == 0)) || fail "$mode: completing '$*' failed ($status)"
    [[ ! -s $tmp/err ]] || fail "$mode: completing '$*' wrote to stderr: $(cat "$tmp/err")"
}
# expect "expected completions, one a line" WORD... (the last word is the one completed)
expect() {
    local want=$1
    shift
    complete_words "$@"
    [[ $got == "$(sort <<<"$want")" ]] || fail "$mode: '$*' completes to [${got//$'\n'/ }], expected [${want//$'\n'/ }]"
}

help_options=$("$cli" --help | grep -oE -- '(^|[^A-Za-z0-9-])--[a-z][a-z-]*' | grep -oE -- '--[a-z][a-z-]*' | sort -u)

# A simulated instrument whose port the real vornbsl-cli lists.
HOME=$tmp XDG_RUNTIME_DIR=$tmp/run "$sim" --name vornsimcomp >"$tmp/sim.out" 2>&1 &
sim_pid=$!
for _ in $(seq 1 100); do grep -q '^vornsim: ' "$tmp/sim.out" && break; sleep 0.05; done
grep -q '^vornsim: ' "$tmp/sim.out" || fail "vornsim did not start: $(cat "$tmp/sim.out")"
real_ports=$(HOME=$tmp XDG_RUNTIME_DIR=$tmp/run XDG_DATA_HOME=$tmp/data "$cli" --list-ports | grep -v '^No Comm Ports Found$' | cut -d' ' -f1 | sort)
grep -qx vornsimcomp <<<"$real_ports" || fail "vornbsl-cli --list-ports does not list vornsimcomp: $real_ports"

run_cases() {
    # Options, and every option of --help (no more, no fewer).
    expect "--firmware" vornbsl-cli --fi
    expect $'--port\n--probe' vornbsl-cli --p
    expect $'--verbose\n--version' vornbsl-cli --port ttyUSB0 --firmware x.txt --ve
    complete_words vornbsl-cli --
    [[ $got == "$help_options" ]] ||
        fail "$mode: the completion's options differ from --help's:"$'\n'"$(diff <(echo "$help_options") <(echo "$got") || true)"
    # Firmware files: *.txt (any case) and folders, not other files.
    expect $'KT72.TXT\nimages\nold.txt\nreadwell-2.00.txt' vornbsl-cli --firmware ""
    expect "readwell-2.00.txt" vornbsl-cli --port ttyUSB0 --firmware r
    expect "images/heron-1.10.txt" vornbsl-cli --firmware images/
    expect "images" vornbsl-cli --dump out.txt --firmware im
    # Logs and dumps: any file.
    expect "notes.md" vornbsl-cli --log no
    expect $'image.bin\nimages' vornbsl-cli --dump ima
    # A serial number: nothing to offer.
    expect "" vornbsl-cli --factory --new-serial ""
    # Ports: from the vornbsl-cli being completed, quiet when it has none or fails.
    expect $'ttyUSB0\nvornsim0' ./vornbsl-cli --port ""
    expect "vornsim0" ./vornbsl-cli --firmware x.txt --port vo
    expect "ttyUSB0" "$tmp/files/vornbsl-cli" --port tty
    expect "" "$tmp/bin/no-ports" --port ""
    expect "" "$tmp/bin/broken" --port ""
    expect "" "$tmp/bin/missing" --port ""
    expect "$real_ports" "$cli" --port ""
    expect "vornsimcomp" "$cli" --port vornsimc
}

mode="plain bash"
with_helpers=
run_cases
if [[ -n $helpers && -f $helpers ]]; then
    mode="with bash-completion"
    with_helpers=$helpers
    run_cases
else
    echo "note: bash-completion's helpers not found (${helpers:-none given}): checked in plain bash only" >&2
fi

if ((failures)); then
    echo "$failures failure(s)" >&2
    exit 1
fi
echo "completion: all cases pass ($mode)"
