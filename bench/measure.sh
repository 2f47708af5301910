#!/bin/sh
# Speed of the real emu6502 binary, through its real main loop (trace test,
# stop test and timer all active), against the build of an earlier commit:
#  - host instructions per emulated instruction, counted by callgrind, with
#    and without --stats (and, for the binary measured, with
#    --deterministic), on the instruction mix (bench_mix) and the
#    indexed-memory workload (bench_memory): the difference between a short
#    and a long run, so start-up, loading and saving "membackup" cancel out.
#    Exact and repeatable on a busy machine.
#  - wall clock on bench_mix (40 rounds, about 111 million instructions),
#    the two binaries run in turn, best of five each, with and without
#    --stats; the ratio old/new is the speed-up.
#  - wall clock of the measured binary with --deterministic against a plain
#    run, on bench_mix and bench_memory (256 rounds), best of five each.
#
# Usage: bench/measure.sh [--cpu NAME] [emu6502 [baseline-emu6502]]
#   --cpu NAME         run the measured binary with --cpu NAME (the baseline
#                      runs with its default processor): with the same binary
#                      twice, the processor's cost against the default's
#   emu6502            the binary to measure (default: build/emu6502)
#   baseline-emu6502   the binary to compare with; by default the commit in
#                      BASELINE (default d6e7e2e, the last one before the
#                      threaded run loop) is built in a temporary directory.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cpu_option=""
if [ "${1:-}" = --cpu ]; then
    cpu_option="--cpu=$2"
    shift 2
fi
binary=$(realpath "${1:-$root/build/emu6502}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if [ $# -ge 2 ]; then
    baseline=$(realpath "$2")
    baseline_name=$2
else
    commit=${BASELINE:-d6e7e2e}
    baseline_name="commit $commit"
    echo "building $baseline_name (Release) for the comparison..."
    mkdir "$work/base-src"
    git -C "$root" archive "$commit" | tar -x -C "$work/base-src"
    cmake -S "$work/base-src" -B "$work/base-build" -DCMAKE_BUILD_TYPE=Release \
        -DEMU6502_TESTS=OFF -DEMU6502_BENCH=OFF >/dev/null
    cmake --build "$work/base-build" -j2 --target emu6502 >/dev/null
    baseline=$work/base-build/emu6502
fi

# with_rounds IMAGE ROUNDS OUT: the byte at image offset 3 is the number of rounds.
with_rounds() {
    python3 -c 'import sys; b=bytearray(open(sys.argv[1],"rb").read()); b[3]=int(sys.argv[2]); open(sys.argv[3],"wb").write(b)' \
        "$root/tests/programs/$1.bin" "$2" "$3"
}

# options ROLE: the processor option of the measured binary ("after"), if any.
options() {
    [ "$1" = after ] && echo "$cpu_option" || true
}

# emulated BINARY IMAGE [ROLE]: instructions of a run, from --stats.
emulated() {
    (cd "$work" && "$1" --clean $(options "${3:-}") --stats "$2" 2>&1 >/dev/null) | sed -n 's/^stats: \([0-9]*\) instructions.*/\1/p'
}

# host BINARY IMAGE STATS-OPTION ROLE: host instructions of a run, by callgrind.
host() {
    out=$work/cg.out
    (cd "$work" && valgrind --tool=callgrind --callgrind-out-file="$out" "$1" --clean $(options "$4") $3 "$2" >/dev/null 2>&1)
    grep -E '^(summary|totals):' "$out" | head -1 | awk '{print $2}'
}

# per_instruction ROLE BINARY WORKLOAD SHORT LONG [--stats]
per_instruction() {
    role=$1
    shift
    with_rounds "$2" "$3" "$work/short.bin"
    with_rounds "$2" "$4" "$work/long.bin"
    h1=$(host "$1" short.bin "${5:-}" "$role")
    h2=$(host "$1" long.bin "${5:-}" "$role")
    e1=$(emulated "$1" short.bin "$role")
    e2=$(emulated "$1" long.bin "$role")
    python3 -c "print(f'{($h2 - $h1) / ($e2 - $e1):.2f}')"
}

if command -v valgrind >/dev/null 2>&1; then
    echo "host instructions per emulated instruction (callgrind):"
    printf '  %-28s %10s %10s %10s %10s\n' "" "before" "after" "before" "after"
    printf '  %-28s %10s %10s %10s %10s\n' "workload" "" "" "--stats" "--stats"
    deterministic=""
    for workload in "bench_mix 2 6" "bench_memory 1 3"; do
        set -- $workload
        plain=$(per_instruction after "$binary" "$1" "$2" "$3")
        printf '  %-28s %10s %10s %10s %10s\n' "$1" \
            "$(per_instruction before "$baseline" "$1" "$2" "$3")" "$plain" \
            "$(per_instruction before "$baseline" "$1" "$2" "$3" --stats)" "$(per_instruction after "$binary" "$1" "$2" "$3" --stats)"
        fixed=$(per_instruction after "$binary" "$1" "$2" "$3" --deterministic)
        deterministic="$deterministic$(printf '  %-28s %10s %14s %10s' "$1" "$plain" "$fixed" \
            "$(python3 -c "print(f'{$fixed / $plain:.3f}')")")
"
    done
    echo "the same, after, without and with --deterministic (cycle-driven timer and clock):"
    printf '  %-28s %10s %14s %10s\n' "workload" "plain" "deterministic" "ratio"
    printf '%s' "$deterministic"
else
    echo "valgrind not installed: host instructions per emulated instruction not measured"
fi

with_rounds bench_mix 40 "$work/long.bin"
echo "wall clock, bench_mix 40 rounds ($(emulated "$binary" long.bin after) instructions), best of 5:"
python3 - "$work" "$baseline" "$binary" "$cpu_option" <<'EOF'
import subprocess, sys, time
work, baseline, binary, cpu_option = sys.argv[1:5]
# (program, its options): the same binary may be measured against itself.
runs = [(baseline, []), (binary, [cpu_option] if cpu_option else [])]
def seconds(run, stats):
    program, extra = run
    start = time.perf_counter()
    subprocess.run([program, "--clean"] + extra + (["--stats"] if stats else []) + ["long.bin"], cwd=work,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    return time.perf_counter() - start
for stats in (False, True):
    best = [float("inf"), float("inf")]
    for _ in range(5):
        for i, run in enumerate(runs):
            best[i] = min(best[i], seconds(run, stats))
    label = "with --stats" if stats else "without --stats"
    print(f"  {label:16} before {best[0]:.3f} s, after {best[1]:.3f} s, "
          f"after/before {best[1] / best[0]:.3f} ({best[0] / best[1]:.2f}x as fast)")
EOF
with_rounds bench_memory 0 "$work/memory.bin"  # 0 is 256 rounds
echo "wall clock, after, --deterministic against a plain run, best of 5 (goal: at most 1.05):"
python3 - "$work" "$binary" "$cpu_option" <<'EOF'
import subprocess, sys, time
work, binary, cpu_option = sys.argv[1:4]
def seconds(image, extra):
    start = time.perf_counter()
    subprocess.run([binary, "--clean"] + ([cpu_option] if cpu_option else []) + extra + [image], cwd=work,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    return time.perf_counter() - start
for name, image in (("bench_mix", "long.bin"), ("bench_memory", "memory.bin")):
    plain = fixed = float("inf")
    for _ in range(5):
        plain = min(plain, seconds(image, []))
        fixed = min(fixed, seconds(image, ["--deterministic"]))
    print(f"  {name:16} plain {plain:.3f} s, deterministic {fixed:.3f} s, ratio {fixed / plain:.3f}")
EOF
echo "(before: $baseline_name${cpu_option:+; after: $cpu_option})"
