#!/bin/bash
# The manual pages render without a warning (as lintian checks them) and still describe
# the programs: every option of vornbsl-cli --help and vornsim --help, vornsim's switches
# (its --list-switches, both ways) and families, the window's options, the version, the
# file names and the exit statuses.
#   man_pages_test.sh SOURCE_DIR VORNBSL_CLI VORNSIM
# Exit 77 (skipped) when groff is missing (Debian package groff-base).
set -euo pipefail

src=$1 cli=$2 sim=$3
man_dir=$src/doc/man
pages=(vornbsl-cli vornsim vornbsl)
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

if ! command -v groff >/dev/null; then
    echo "SKIP: groff is missing (Debian package groff-base)" >&2
    exit 77
fi
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export LC_ALL=C.UTF-8

# The page as plain text on lines long enough that no option is broken.
plain() { groff -man -Tascii -P-cbou -rLL=400n "$man_dir/$1.1" 2>/dev/null; }
# Whether the plain page holds the word $2 (an option or switch name, not a prefix of a
# longer one: --log is not found in --login).
has_word() { grep -qE -- "(^|[^A-Za-z0-9-])$2([^A-Za-z0-9-]|$)" "$tmp/$1.txt"; }
# Whether section $2 of the plain page has an entry (a .TP tag) for $3: "--log FILE",
# "--help, -h", "unplug-ms=M", "echo".
has_entry() {
    # Not grep -q: ending before sed has written all would fail the pipe (pipefail).
    sed -n "/^$2\$/,/^[A-Z]/p" "$tmp/$1.txt" | grep -E -- "^ {7}([^ ].*, )?$3([=, ]|\$)" >/dev/null
}

cli_version=$("$cli" --version | awk '{print $2}')
for page in "${pages[@]}"; do
    file=$man_dir/$page.1
    [[ -f $file ]] || { fail "$file is missing"; continue; }

    # (a) No groff warning, in groff's strictest mode and the way lintian runs man.
    if ! out=$(groff -man -Tutf8 -ww -z "$file" 2>&1) || [[ -n $out ]]; then
        fail "$page.1: groff warns:"$'\n'"$out"
    fi
    if command -v man >/dev/null; then
        if ! out=$(MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$file" 2>&1 >/dev/null) ||
            [[ -n $out ]]; then
            fail "$page.1: man --warnings warns:"$'\n'"$out"
        fi
    else
        echo "note: man is missing (Debian package man-db): only groff checked the pages" >&2
    fi

    # .TH NAME 1 "date" "VornBSL <the program's version>"; NAME as "name \- description".
    upper=$(tr '[:lower:]' '[:upper:]' <<<"$page")
    th=$(grep -m1 '^\.TH ' "$file" || true)
    [[ $th =~ ^\.TH\ ${upper//-/\\\\-}\ 1\ \"[^\"]+\"\ \"VornBSL\ ([^\"]+)\" ]] ||
        fail "$page.1: .TH is not '.TH ${upper//-/\\-} 1 \"date\" \"VornBSL version\" ...': $th"
    [[ ${BASH_REMATCH[1]:-} == "$cli_version" ]] ||
        fail "$page.1: .TH says version '${BASH_REMATCH[1]:-}', the programs say '$cli_version'"
    name_line=$(awk '/^\.SH NAME/{getline; print; exit}' "$file")
    [[ $name_line == "${page//-/\\-} \\- "?* ]] || fail "$page.1: NAME line is not '$page \\- description': $name_line"
    for section in SYNOPSIS DESCRIPTION OPTIONS FILES "SEE ALSO"; do
        grep -q "^\.SH \"\?$section\"\?\$" "$file" || fail "$page.1: no $section section"
    done
    plain "$page" >"$tmp/$page.txt"
done

# (b) Every option the programs list is in their pages.
help_options() { grep -oE -- '(^|[^A-Za-z0-9-])--[a-z][a-z-]*' | grep -oE -- '--[a-z][a-z-]*' | sort -u; }
"$cli" --help | help_options >"$tmp/cli-options"
"$sim" --help | help_options >"$tmp/sim-options"
[[ $(wc -l <"$tmp/cli-options") -ge 10 ]] || fail "vornbsl-cli --help gave too few options: $(cat "$tmp/cli-options")"
[[ $(wc -l <"$tmp/sim-options") -ge 8 ]] || fail "vornsim --help gave too few options: $(cat "$tmp/sim-options")"
while read -r opt; do has_entry vornbsl-cli OPTIONS "$opt" || fail "vornbsl-cli.1 has no OPTIONS entry for $opt (from vornbsl-cli --help)"; done <"$tmp/cli-options"
while read -r opt; do has_entry vornsim OPTIONS "$opt" || fail "vornsim.1 has no OPTIONS entry for $opt (from vornsim --help)"; done <"$tmp/sim-options"
# The switches: those of vornsim --list-switches and the FAULT SWITCHES entries of the page
# are the same, both ways (a switch added to the table without its entry fails, and so does
# an entry left behind by a switch that went). The page's entries are the .TP tags of the
# section in its source: ".BI power\-loss\-ms= M", ".B echo".
"$sim" --list-switches | cut -f1 | sort -u >"$tmp/switches"
[[ $(wc -l <"$tmp/switches") -ge 20 ]] || fail "vornsim --list-switches gave too few switches: $(cat "$tmp/switches")"
while read -r sw; do has_entry vornsim "FAULT SWITCHES" "$sw" || fail "vornsim.1 has no FAULT SWITCHES entry for $sw (from vornsim --list-switches)"; done <"$tmp/switches"
awk '/^\.SH /{in_section = ($0 ~ /^\.SH "?FAULT SWITCHES"?$/)} in_section && tag {print; tag = 0} in_section && /^\.TP/{tag = 1}' \
    "$man_dir/vornsim.1" | sed -E 's/^\.[A-Z]+ +//; s/\\-/-/g; s/[= ].*//' | sort -u >"$tmp/switch-entries"
[[ -s $tmp/switch-entries ]] || fail "vornsim.1's FAULT SWITCHES section has no .TP entries"
while read -r sw; do
    grep -qxF -- "$sw" "$tmp/switches" || fail "vornsim.1 has a FAULT SWITCHES entry for $sw, which vornsim --list-switches does not list"
done <"$tmp/switch-entries"
# The help lists the same switches as the listing (its indented "name" or "name=VALUE" lines).
"$sim" --help | sed -nE 's/^ {8}([a-z][a-z-]*)([= ].*)?$/\1/p' | sort -u >"$tmp/help-switches"
cmp -s "$tmp/help-switches" "$tmp/switches" ||
    fail "vornsim --help and --list-switches list other switches: $(diff "$tmp/help-switches" "$tmp/switches" | grep '^[<>]' | tr '\n' ' ')"
# SIGUSR1 mends the faults: the page's SIGNALS section names every switch listed as one.
sed -n '/^SIGNALS$/,/^[A-Z]/p' "$tmp/vornsim.txt" >"$tmp/signals"
"$sim" --list-switches | awk -F'\t' '$4 == "fault" {print $1}' >"$tmp/faults"
[[ -s $tmp/faults ]] || fail "vornsim --list-switches marks no switch as a fault"
while read -r sw; do
    grep -qE -- "(^|[^A-Za-z0-9-])$sw([^A-Za-z0-9-]|\$)" "$tmp/signals" || fail "vornsim.1's SIGNALS does not name the fault $sw among those SIGUSR1 mends"
done <"$tmp/faults"
# The families: every one of vornsim --list-families, and those the help's headings name.
"$sim" --list-families | sort -u >"$tmp/families"
[[ $(wc -l <"$tmp/families") -ge 10 ]] || fail "vornsim --list-families lists too few families: $(cat "$tmp/families")"
"$sim" --help | tr '\n' ' ' | grep -oE -- '\(--family [^)]*\)' | grep -oE '[A-Z][A-Z0-9]+' | sort -u >"$tmp/help-families"
cmp -s "$tmp/help-families" "$tmp/families" || fail "vornsim --help names other families than --list-families"
while read -r fam; do has_word vornsim "$fam" || fail "vornsim.1 lacks the family $fam"; done <"$tmp/families"
# The window's options are the "-word" literals of its argument loop.
grep -oE '"-[a-z]+"' "$src/window/MainWindowModel.cpp" | tr -d '"' | sort -u >"$tmp/app-options"
grep -qx -- -factory "$tmp/app-options" || fail "window/MainWindowModel.cpp no longer names -factory: update this test"
while read -r opt; do has_entry vornbsl OPTIONS "$opt" || fail "vornbsl.1 has no OPTIONS entry for $opt (from window/MainWindowModel.cpp)"; done <"$tmp/app-options"

# The file names the programs use.
caption=$(sed -n 's/.*kProgramCaption = "\([^"]*\)".*/\1/p' "$src/update/UserFolder.h")
org=$(sed -n 's/.*kOrganisation = "\([^"]*\)".*/\1/p' "$src/app/TfrmMain.cpp")
app=$(sed -n 's/.*kApplication = "\([^"]*\)".*/\1/p' "$src/app/TfrmMain.cpp")
[[ -n $caption && -n $org && -n $app ]] || fail "the file names were not found in update/UserFolder.h and app/TfrmMain.cpp"
for page in vornbsl-cli vornbsl; do
    for name in "$caption.errors.txt" "~/.config/$org/$app.conf" '$XDG_DATA_HOME/Vornell/VornBSL' \
        '~/.local/share/Vornell/VornBSL' '<device>.sn-<serial>.<time>.settings.txt'; do
        grep -qF -- "$name" "$tmp/$page.txt" || fail "$page.1 does not name $name"
    done
    grep -q '^TROUBLESHOOTING' "$tmp/$page.txt" || fail "$page.1 has no TROUBLESHOOTING section"
    for word in dialout brltty ModemManager --list-ports dmesg; do
        grep -qF -- "$word" "$tmp/$page.txt" || fail "$page.1's troubleshooting does not mention $word"
    done
done

# The exit statuses: a usage error is 2, --help is 0, and vornbsl-cli.1 lists 0, 1 and 2.
status=0; "$cli" --no-such-option >/dev/null 2>&1 || status=$?
[[ $status == 2 ]] || fail "vornbsl-cli exits $status, not 2, on a usage error"
sed -n '/^EXIT STATUS/,/^[A-Z]/p' "$tmp/vornbsl-cli.txt" >"$tmp/exit"
for code in 0 1 2; do grep -qE "^ +$code( |$)" "$tmp/exit" || fail "vornbsl-cli.1's EXIT STATUS lacks $code"; done
grep -q 'result N' "$tmp/exit" || fail "vornbsl-cli.1's EXIT STATUS does not say 'result N'"
# The result codes: every code vornbsl-cli --results lists, with its words, is an entry of
# RESULT CODES, and the page lists no other.
"$cli" --results >"$tmp/results"
[[ $(wc -l <"$tmp/results") -ge 30 ]] || fail "vornbsl-cli --results lists too few codes"
sed -n '/^RESULT CODES$/,/^[A-Z]/p' "$tmp/vornbsl-cli.txt" >"$tmp/result-section"
while read -r code meaning; do
    # The tag and its text share a line, or the text follows a tag too wide for its room.
    grep -A1 -E -- "^ {7}$code( |\$)" "$tmp/result-section" | grep -F -- "$meaning" >/dev/null ||
        fail "vornbsl-cli.1's RESULT CODES lacks $code \"$meaning\" (from vornbsl-cli --results)"
done <"$tmp/results"
listed=$(grep -cE -- '^ {7}-[0-9]+( |$)' "$tmp/result-section" || true)
[[ $listed == $(wc -l <"$tmp/results") ]] ||
    fail "vornbsl-cli.1's RESULT CODES has $listed codes, vornbsl-cli --results $(wc -l <"$tmp/results")"

if ((failures)); then
    echo "$failures failure(s)" >&2
    exit 1
fi
echo "man pages: ${pages[*]} render cleanly and cover $(wc -l <"$tmp/cli-options") + $(wc -l <"$tmp/sim-options") options and $(wc -l <"$tmp/switches") switches"
