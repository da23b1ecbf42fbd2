#!/bin/bash
# A table's format that does not take what its executor passes is a build error: each
# fault of WrongRowFormat.cpp must stop the compiler, and the file without a fault must
# compile (so the failures are the faults', not the file's).
#   setting_row_format_test.sh CXX SOURCE_DIR
set -uo pipefail
cxx=$1 src=$2
failures=0
compile() { "$cxx" -std=c++20 -fsyntax-only -I"$src" -DVORN_ROW="$1" "$src/tests/device/WrongRowFormat.cpp" 2>"$err"; }
err=$(mktemp)
trap 'rm -f "$err"' EXIT
if ! compile 0; then
    echo "FAIL: the right rows do not compile:" >&2
    cat "$err" >&2
    failures=$((failures + 1))
fi
faults=("" "a text set line in a number row" "a number in a text row's log" "a conversion no table uses"
    "a log line without its milliseconds" "text in a typed number log")
for fault in 1 2 3 4 5; do
    if compile "$fault"; then
        echo "FAIL: compiled with ${faults[$fault]}" >&2
        failures=$((failures + 1))
    elif ! grep -q "constant expression\|consteval\|immediate" "$err"; then
        echo "FAIL: ${faults[$fault]} failed for another reason:" >&2
        cat "$err" >&2
        failures=$((failures + 1))
    fi
done
[ "$failures" -eq 0 ] && echo "every wrong format stopped the build"
exit $((failures > 0))
