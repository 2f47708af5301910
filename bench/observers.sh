#!/bin/sh
# The cost of what can watch a run, counted by callgrind as bench/measure.sh
# counts the plain run: host instructions per emulated instruction on the
# instruction mix (bench_mix) and the indexed-memory workload
# (bench_memory), for a plain run, --deterministic, the monitor (--commands)
# with two breakpoints that are never reached, the same two with a pass
# count and a condition (looked at only when reached), the monitor with a
# watchpoint on one address that is never touched, --profile, and the
# monitor with its instruction history on (hist on) and nothing set, and
# the inspections: --check, --coverage (with a debug file made here) and
# the call-graph profiles (--profile FILE.callgrind, FILE.folded). Each
# figure is the difference between a short and a long run, so start-up,
# loading and the monitor's own talk cancel out. With a second binary, its
# figures come first ("before"), then the ratios of the measured one to its
# own plain run, against the goals.
#
# Usage: bench/observers.sh [emu6502 [baseline-emu6502]]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
binary=$(realpath "${1:-$root/build/emu6502}")
baseline=${2:+$(realpath "$2")}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
command -v valgrind >/dev/null 2>&1 || { echo "valgrind not installed: nothing measured"; exit 0; }

printf 'c\n' >"$work/history"
printf 'b fff0\nb fff8\nc\n' >"$work/breakpoints"
printf 'w 3000\nc\n' >"$work/watchpoint"
printf 'b fff0 pass 3 if a==1\nb fff8 if [10]>7\nc\n' >"$work/conditional"
printf 'hist on\nc\n' >"$work/history"

# The bench programs' debug files, for --coverage: made here with cc65.
have_debug=no
if command -v cl65 >/dev/null 2>&1; then
    for p in bench_mix bench_memory; do
        cl65 -t none --start-addr 0x200 -g -o "$work/$p.bin" -Wl --dbgfile,"$work/$p.dbg" "$root/tests/programs/$p.s" 2>/dev/null &&
            have_debug=yes
        rm -f "$root/tests/programs/$p.o"
    done
fi

# with_rounds IMAGE ROUNDS OUT: the byte at image offset 3 is the number of rounds.
with_rounds() {
    python3 -c 'import sys; b=bytearray(open(sys.argv[1],"rb").read()); b[3]=int(sys.argv[2]); open(sys.argv[3],"wb").write(b)' \
        "$root/tests/programs/$1.bin" "$2" "$3"
}

# count BINARY IMAGE OPTIONS...: host instructions (callgrind) and emulated instructions (--stats).
count() {
    program=$1
    image=$2
    shift 2
    rm -f "$work/coverage.info"  # a file of another program (the other number of rounds) is refused
    (cd "$work" && valgrind --tool=callgrind --callgrind-out-file="$work/cg" "$program" --clean "$@" "$image" \
        >/dev/null 2>&1) || true
    host=$(grep -E '^(summary|totals):' "$work/cg" | head -1 | awk '{print $2}')
    emulated=$(cd "$work" && "$program" --clean --stats "$image" 2>&1 >/dev/null | sed -n 's/^stats: \([0-9]*\) instructions.*/\1/p')
    echo "$host $emulated"
}

# figure BINARY WORKLOAD SHORT LONG OPTIONS...
figure() {
    program=$1
    workload=$2
    with_rounds "$workload" "$3" "$work/short.bin"
    with_rounds "$workload" "$4" "$work/long.bin"
    [ -f "$work/$workload.dbg" ] && cp "$work/$workload.dbg" "$work/short.dbg" && cp "$work/$workload.dbg" "$work/long.dbg"
    shift 4
    set -- $(count "$program" short.bin "$@") $(count "$program" long.bin "$@")
    python3 -c "print(f'{($3 - $1) / ($4 - $2):.2f}')"
}

# row BINARY WORKLOAD SHORT LONG: the eleven figures.
row() {
    printf '%s %s %s %s %s %s %s %s %s %s %s' \
        "$(figure "$1" "$2" "$3" "$4")" \
        "$(figure "$1" "$2" "$3" "$4" --deterministic)" \
        "$(figure "$1" "$2" "$3" "$4" --commands breakpoints)" \
        "$(figure "$1" "$2" "$3" "$4" --commands conditional)" \
        "$(figure "$1" "$2" "$3" "$4" --commands watchpoint)" \
        "$(figure "$1" "$2" "$3" "$4" --profile "$work/profile.txt")" \
        "$(figure "$1" "$2" "$3" "$4" --commands history)" \
        "$(figure "$1" "$2" "$3" "$4" --check)" \
        "$(if [ $have_debug = yes ]; then figure "$1" "$2" "$3" "$4" --coverage "$work/coverage.info"; else echo 0; fi)" \
        "$(figure "$1" "$2" "$3" "$4" --profile "$work/profile.callgrind")" \
        "$(figure "$1" "$2" "$3" "$4" --profile "$work/profile.folded")"
}

echo "host instructions per emulated instruction (callgrind):"
header='  %-22s %8s %14s %12s %12s %11s %9s %6s %7s %9s %10s %7s\n'
printf "$header" "" plain deterministic breakpoints conditional watchpoint profile hist check coverage callgrind folded
for workload in "bench_mix 2 6" "bench_memory 1 3"; do
    set -- $workload
    if [ -n "$baseline" ]; then
        before=$(row "$baseline" "$1" "$2" "$3")
        printf "$header" "$1, before" $before
    fi
    after=$(row "$binary" "$1" "$2" "$3")
    printf "$header" "$1" $after
    python3 - "$1" $after ${before:-} <<'EOF2'
import sys
name, *numbers = sys.argv[1:]
after = [float(x) for x in numbers[:11]]
plain = after[0]
widths = [8, 14, 12, 12, 11, 9, 6, 7, 9, 10, 7]
print(f"  {name + ', / plain':22} {'':>8}" + "".join(f" {a / plain:{w}.3f}" for a, w in zip(after[1:], widths[1:])))
if len(numbers) == 22:
    before = [float(x) for x in numbers[11:]]
    print(f"  {name + ', after/before':22}" + "".join(f" {a / b:{w}.3f}" for a, b, w in zip(after, before, widths)))
EOF2
done
echo "goals: plain and deterministic within 2 % of before; breakpoints and conditional <= 1.25 (conditional = breakpoints), watchpoint <= 1.5, profile <= 2, hist <= 1.5, check, coverage, callgrind and folded <= 2 x plain"
