#!/bin/sh
# Builds the libFuzzer target with clang and runs it for a bounded time on a
# scratch copy of fuzz/corpus (the checked-in seeds never grow). Prints the
# executions and coverage at the end; exits non-zero when the fuzzer finds
# a crash, a sanitizer report or a broken invariant, whose input is kept in
# <build-dir>/fuzz-artifacts/.
#
#   scripts/fuzz.sh [seconds] [build-dir]     (defaults: 60, build-fuzz)
#
# Reproduce a finding:  <build-dir>/fuzz/fuzz_machine <artifact>
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-60}
build_dir=${2:-build-fuzz}
jobs=$(nproc 2>/dev/null || echo 2)

cmake -S . -B "$build_dir" -DCMAKE_CXX_COMPILER=clang++ -DEMU6502_FUZZ=ON \
  -DEMU6502_TESTS=OFF -DEMU6502_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build_dir" -j"$jobs" --target fuzz_machine
build_dir=$(cd "$build_dir" && pwd)

# The corpus copy, and the directory the target makes its own scratch
# folder in (data files land there), go away with the run.
work=$(mktemp -d "${TMPDIR:-/tmp}/emu6502-fuzz-run.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM HUP
mkdir "$work/corpus" "$work/tmp"
cp fuzz/corpus/* "$work/corpus/"
artifacts="$build_dir/fuzz-artifacts"
mkdir -p "$artifacts"
log="$build_dir/fuzz.log"

echo "fuzzing for $seconds s; log in $log"
status=0
TMPDIR="$work/tmp" "$build_dir/fuzz/fuzz_machine" \
  -max_total_time="$seconds" -max_len=4096 -timeout=25 -print_final_stats=1 \
  -artifact_prefix="$artifacts/" "$work/corpus" </dev/null >"$log" 2>&1 || status=$?

# The last progress line carries the coverage ("cov:" edges of the machine's
# code, "ft:" features).
grep -E '^#[0-9]+' "$log" | tail -n 1 || true
grep -E '^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' "$log" || true
if [ "$status" -ne 0 ]; then
  echo "fuzzer stopped with status $status:" >&2
  grep -E 'invariant violated|ERROR:|SUMMARY:|runtime error|Test unit written' "$log" >&2 || tail -n 40 "$log" >&2
  exit 1
fi
echo "no crash found"
