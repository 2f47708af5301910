#!/bin/sh
# Speed of the real emu6502 binary, through its real main loop (trace test,
# stop test and timer all active), on the instruction-mix workload:
#  - emulated instructions per second, best of three runs of --stats;
#  - host instructions per emulated instruction, counted by callgrind: the
#    difference between a 2-round and a 6-round run, so start-up, loading
#    and saving "membackup" cancel out. Exact and repeatable on a busy machine.
# Usage: bench/measure.sh [path/to/emu6502]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
binary=${1:-$root/build/emu6502}
image=$root/tests/programs/bench_mix.bin
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The byte at image offset 3 is the number of rounds.
with_rounds() {
    python3 -c 'import sys; b=bytearray(open(sys.argv[1],"rb").read()); b[3]=int(sys.argv[2]); open(sys.argv[3],"wb").write(b)' \
        "$image" "$1" "$2"
}

with_rounds 40 "$work/long.bin"
best=0
for run in 1 2 3; do
    line=$(cd "$work" && "$binary" --clean --stats long.bin 2>&1 >/dev/null | grep '^stats:')
    speed=$(echo "$line" | sed 's/.* s, \([0-9.]*\) million instructions\/s.*/\1/')
    best=$(python3 -c "print(max($best, $speed))")
done
echo "$line" | sed 's/stats: \([0-9]*\) instructions.*/workload: \1 emulated instructions (bench_mix, 40 rounds)/'
echo "speed: $best million emulated instructions per second (best of 3)"

if command -v valgrind >/dev/null 2>&1; then
    count() {
        with_rounds "$1" "$work/r$1.bin"
        # Counted without --stats, whose cycle sum is not part of a plain run.
        (cd "$work" && valgrind --tool=callgrind --callgrind-out-file="$work/cg.$1" "$binary" --clean "r$1.bin" \
            >/dev/null 2>&1)
        host=$(grep -E '^(summary|totals):' "$work/cg.$1" | head -1 | awk '{print $2}')
        emulated=$(cd "$work" && "$binary" --clean --stats "r$1.bin" 2>&1 >/dev/null | grep '^stats:' |
            sed 's/stats: \([0-9]*\) instructions.*/\1/')
        echo "$host $emulated"
    }
    set -- $(count 2) $(count 6)
    python3 -c "
host = $3 - $1; emulated = $4 - $2
print(f'callgrind: {host} host instructions for {emulated} emulated instructions')
print(f'host instructions per emulated instruction: {host / emulated:.2f}')"
else
    echo "valgrind not installed: host instructions per emulated instruction not measured"
fi
