#!/bin/sh
# The monitor's cost, counted by callgrind on the instruction-mix workload
# as bench/measure.sh counts the plain run: host instructions per emulated
# instruction under --commands with two breakpoints that are never reached
# (checked before every instruction), beside the plain run's figure.
# Usage: bench/monitor.sh [path/to/emu6502]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
binary=${1:-$root/build/emu6502}
image=$root/tests/programs/bench_mix.bin
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
command -v valgrind >/dev/null 2>&1 || { echo "valgrind not installed: nothing measured"; exit 0; }

with_rounds() {
    python3 -c 'import sys; b=bytearray(open(sys.argv[1],"rb").read()); b[3]=int(sys.argv[2]); open(sys.argv[3],"wb").write(b)' \
        "$image" "$1" "$2"
}
printf 'b fff0\nb fff8\nc\n' >"$work/commands"

# count ROUNDS OPTIONS...: host instructions and emulated instructions.
count() {
    rounds=$1
    shift
    with_rounds "$rounds" "$work/r$rounds.bin"
    (cd "$work" && valgrind --tool=callgrind --callgrind-out-file="$work/cg" "$binary" --clean "$@" "r$rounds.bin" \
        >/dev/null 2>&1)
    host=$(grep -E '^(summary|totals):' "$work/cg" | head -1 | awk '{print $2}')
    emulated=$(cd "$work" && "$binary" --clean --stats "r$rounds.bin" 2>&1 >/dev/null | grep '^stats:' |
        sed 's/stats: \([0-9]*\) instructions.*/\1/')
    echo "$host $emulated"
}
figure() {
    set -- $(count 2 "$@") $(count 6 "$@")
    python3 -c "print(f'{($3 - $1) / ($4 - $2):.2f}')"
}
plain=$(figure)
monitored=$(figure --commands commands)
echo "host instructions per emulated instruction: $plain plain, $monitored with --commands and two breakpoints"
python3 -c "print(f'monitor / plain: {$monitored / $plain:.2f}')"
