#!/bin/sh
# Builds the libFuzzer targets with clang and runs them for a bounded time on
# scratch copies of their seeds (the checked-in seeds never grow):
#   fuzz_machine   the processor, bus and devices (fuzz/corpus), half the time;
#   fuzz_threaded  the threaded code and the translating core against the core's step
#                  (fuzz/corpus-threaded), a quarter;
#   fuzz_images    the "$" argument and image and "membackup" loading
#                  (fuzz/corpus-images), an eighth;
#   fuzz_monitor   the monitor's commands, expressions and assembler
#                  (fuzz/corpus-monitor), a twelfth;
#   fuzz_debug_info  the linker's debug file (fuzz/corpus-debug-info), the
#                  rest (a twelfth).
# Prints executions and coverage for each; exits non-zero when a fuzzer finds
# a crash, a sanitizer report or a broken invariant, whose input is kept in
# <build-dir>/fuzz-artifacts/.
#
#   scripts/fuzz.sh [seconds] [build-dir]     (defaults: 60, build-fuzz)
#
# Reproduce a finding:  <build-dir>/fuzz/fuzz_machine <artifact>   (or fuzz_threaded, fuzz_images,
#                                                                   fuzz_monitor, fuzz_debug_info)
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-60}
build_dir=${2:-build-fuzz}
jobs=$(nproc 2>/dev/null || echo 2)

cmake -S . -B "$build_dir" -DCMAKE_CXX_COMPILER=clang++ -DEMU6502_FUZZ=ON \
  -DEMU6502_TESTS=OFF -DEMU6502_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build_dir" -j"$jobs" --target fuzz_targets
build_dir=$(cd "$build_dir" && pwd)

# The corpus copies, and the directory the targets make their own scratch
# folders in (data files land there), go away with the run.
work=$(mktemp -d "${TMPDIR:-/tmp}/emu6502-fuzz-run.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM HUP
artifacts="$build_dir/fuzz-artifacts"
mkdir -p "$artifacts" "$work/tmp"

failed=0
# fuzz TARGET SEEDS SECONDS MAX_LEN
fuzz() {
    target=$1
    mkdir "$work/$target"
    cp "$2"/* "$work/$target/"
    log="$build_dir/$target.log"
    echo "fuzzing $target for $3 s; log in $log"
    status=0
    TMPDIR="$work/tmp" "$build_dir/fuzz/$target" \
      -max_total_time="$3" -max_len="$4" -timeout=25 -print_final_stats=1 \
      -artifact_prefix="$artifacts/" "$work/$target" </dev/null >"$log" 2>&1 || status=$?
    # The last progress line carries the coverage ("cov:" edges of the
    # instrumented code, "ft:" features).
    grep -E '^#[0-9]+' "$log" | tail -n 1 || true
    grep -E '^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' "$log" || true
    if [ "$status" -ne 0 ]; then
        echo "$target stopped with status $status:" >&2
        grep -E 'invariant violated|ERROR:|SUMMARY:|runtime error|Test unit written' "$log" >&2 || tail -n 40 "$log" >&2
        failed=1
    fi
}

machine_seconds=$((seconds / 2))
threaded_seconds=$((seconds / 4))
images_seconds=$((seconds / 6))
fuzz fuzz_machine fuzz/corpus "$machine_seconds" 4096
fuzz fuzz_threaded fuzz/corpus-threaded "$threaded_seconds" 4096
images_seconds=$((seconds / 8))
monitor_seconds=$((seconds / 12))
fuzz fuzz_images fuzz/corpus-images "$images_seconds" 70000
fuzz fuzz_monitor fuzz/corpus-monitor "$monitor_seconds" 4096
fuzz fuzz_debug_info fuzz/corpus-debug-info "$((seconds - machine_seconds - threaded_seconds - images_seconds - monitor_seconds))" 16384
[ "$failed" = 0 ] || exit 1
echo "no crash found"
