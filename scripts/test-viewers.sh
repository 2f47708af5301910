#!/bin/sh
# The inspections' files in the tools people read them with: a coverage
# file of the C examples through genhtml, its totals read back by lcov
# --summary and compared with the file's own; and a Callgrind profile
# through callgrind_annotate, whose total cycles must equal --stats exactly.
# Usage: scripts/test-viewers.sh [emu6502]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
emu=$(realpath "${1:-$root/build/emu6502}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# Each C example once, with the input it waits for; a file each (another
# program's file is refused), then one report of them all.
set --
for example in c_hello c_greet c_devices c_diary c_menu; do
    printf 'Ada\nq\n' | "$emu" --clean --deterministic --coverage "$example.info" "$root/examples/$example.bin" -i \
        >/dev/null 2>&1 || { echo "coverage run of $example failed"; exit 1; }
    set -- "$@" -a "$example.info"
done
lcov --quiet "$@" -o all.info --rc lcov_branch_coverage=1 >/dev/null
genhtml --quiet --branch-coverage -o html all.info >/dev/null
[ -f html/index.html ] || { echo "genhtml wrote no report"; exit 1; }
# One program's totals as lcov reads them against the file's own: the
# sums of LF/LH, FNF/FNH, BRF/BRH over its records.
summary=$(lcov --summary c_greet.info --rc lcov_branch_coverage=1 2>&1)
total() { awk -F: -v key="$1" '$1 == key { n += $2 } END { print n + 0 }' c_greet.info; }
for kind in "lines LF LH" "functions FNF FNH" "branches BRF BRH"; do
    set -- $kind
    found=$(total "$2")
    hit=$(total "$3")
    echo "$summary" | grep -q "$1\.*: .* ($hit of $found ${1%s}s\{0,1\})" ||
        { echo "lcov --summary disagrees on $1 ($hit of $found):"; echo "$summary"; exit 1; }
done
echo "coverage ok: $(echo "$summary" | grep 'lines\.')"

# A profile of a C example: its total cycles as --stats counts them.
printf 'Ada\n' | "$emu" --clean --deterministic --stats --profile greet.callgrind "$root/examples/c_greet.bin" -i \
    >/dev/null 2>stats.txt
stats=$(sed -n 's/^stats: [0-9]* instructions, \([0-9]*\) cycles.*/\1/p' stats.txt)
# "6,549 (100.0%) 21,922 (100.0%)  PROGRAM TOTALS": the second event.
annotated=$(callgrind_annotate greet.callgrind 2>&1 | grep 'PROGRAM TOTALS' | sed 's/([^)]*)//g' | awk '{print $2}' | tr -d ,)
[ -n "$stats" ] && [ "$stats" = "$annotated" ] ||
    { echo "callgrind_annotate's total cycles ($annotated) differ from --stats ($stats)"; exit 1; }
echo "profile ok: $annotated cycles"
