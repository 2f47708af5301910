#!/bin/sh
# The translating core (--core translate) against the interpreter, in the
# same binary, with valgrind's callgrind: host instructions per emulated
# instruction, the difference of a short and a long run so that start-up
# cancels out while translating and the block cache count in, plain, with
# --stats and with --deterministic, on the instruction mix (bench_mix), the
# indexed-memory workload (bench_memory) and a loop that rewrites its own
# code every turn (an INC of the operand of the LDA that follows it). Then
# each core's start-up: host instructions and wall clock (best of 20) of a
# program that ends at its first instruction.
#
# Usage: bench/translate.sh [emu6502]     (default: build/emu6502)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
binary=$(realpath "${1:-$root/build/emu6502}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
command -v valgrind >/dev/null 2>&1 || { echo "valgrind not installed: nothing measured"; exit 1; }
"$binary" --version | grep -q "translating core: not built" && echo "note: this build has no translating core"

# image NAME ROUNDS OUT: a workload with its number of rounds set.
image() {
    python3 - "$root" "$1" "$2" "$3" <<'PY'
import sys
root, name, rounds, out = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
if name == "rewrite":
    # LDY #rounds; outer: LDX #0; loop: INC $0208; LDA #0; STA $3000,X; INX;
    # BNE loop; DEY; BNE outer; JMP $0000
    b = bytearray([0xA0, rounds, 0xA2, 0x00, 0xEE, 0x08, 0x02, 0xA9, 0x00, 0x9D, 0x00, 0x30,
                   0xE8, 0xD0, 0xF5, 0x88, 0xD0, 0xF0, 0x4C, 0x00, 0x00])
elif name == "end":
    b = bytearray([0x4C, 0x00, 0x00])
else:
    b = bytearray(open(f"{root}/tests/programs/{name}.bin", "rb").read())
    b[3] = rounds
open(out, "wb").write(b)
PY
}

emulated() {
    (cd "$work" && "$binary" --clean --stats $2 "$1" 2>&1 >/dev/null) | sed -n 's/^stats: \([0-9]*\) instructions.*/\1/p'
}
host() {
    (cd "$work" && valgrind --tool=callgrind --callgrind-out-file=cg.out "$binary" --clean $2 "$1" >/dev/null 2>&1)
    grep -E '^(summary|totals):' "$work/cg.out" | head -1 | awk '{print $2}'
}
# per_instruction WORKLOAD SHORT LONG OPTIONS
per_instruction() {
    image "$1" "$2" "$work/short.bin"
    image "$1" "$3" "$work/long.bin"
    h1=$(host short.bin "$4")
    h2=$(host long.bin "$4")
    e1=$(emulated short.bin "$4")
    e2=$(emulated long.bin "$4")
    python3 -c "print(f'{($h2 - $h1) / ($e2 - $e1):.2f}')"
}

echo "host instructions per emulated instruction (callgrind):"
printf '  %-14s %-16s %10s %10s %10s\n' "workload" "" "interpret" "translate" "ratio"
# WORKLOADS="NAME SHORT LONG;..." measures others (rounds of a short and a long run).
workloads=${WORKLOADS:-"bench_mix 2 6;bench_memory 1 3;rewrite 20 60"}
echo "$workloads" | tr ';' '\n' | while read -r name short long; do
    set -- "$name" "$short" "$long"
    for options in "" "--stats" "--deterministic"; do
        i=$(per_instruction "$1" "$2" "$3" "--core=interpret $options")
        t=$(per_instruction "$1" "$2" "$3" "--core=translate $options")
        printf '  %-14s %-16s %10s %10s %10s\n' "$1" "${options:-plain}" "$i" "$t" "$(python3 -c "print(f'{$t / $i:.2f}')")"
    done
done

image end 0 "$work/end.bin"
echo "start-up: a program that ends at its first instruction:"
for core in interpret translate; do
    printf '  %-10s %12s host instructions\n' "$core" "$(host end.bin "--core=$core")"
done
python3 - "$work" "$binary" <<'PY'
import subprocess, sys, time
work, binary = sys.argv[1:3]
def seconds(core):
    start = time.perf_counter()
    subprocess.run([binary, "--clean", "--core=" + core, "end.bin"], cwd=work,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    return time.perf_counter() - start
best = {core: min(seconds(core) for _ in range(20)) for core in ("interpret", "translate")}
print(f"  wall clock, best of 20: interpret {best['interpret'] * 1000:.2f} ms, translate {best['translate'] * 1000:.2f} ms")
PY
