#!/bin/sh
# Builds the whole test suite (unit and end-to-end) with AddressSanitizer and
# UndefinedBehaviorSanitizer and runs it. The emulator binary that the
# end-to-end tests start is instrumented too, so a fault in a run of the real
# program fails its test. Any sanitizer report aborts the process. Then the
# debug adapter's mocha suite runs against the instrumented emulator.
#
#   scripts/test-sanitize.sh [build-dir]     (default: build-sanitize)
set -eu
cd "$(dirname "$0")/.."
build_dir=${1:-build-sanitize}
jobs=$(nproc 2>/dev/null || echo 2)

# Stop at the first report, and make leaks and UB findings fatal as well.
ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1:strict_string_checks=1:check_initialization_order=1}
UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
# libedit's own leak (see lsan.supp) is not the emulator's.
LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$(pwd)/scripts/lsan.supp}
export ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS

# -O1 and line tables only: the sanitizers' usual level, and the build takes
# a fraction of the time -O2 -g does.
cmake -S . -B "$build_dir" -DEMU6502_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo -DEMU6502_BENCH=OFF \
      "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG"
cmake --build "$build_dir" -j"$jobs"
# The sanitized emulator runs a few times slower; the end-to-end tests
# carry their own per-test timeouts, generous enough for that.
ctest --test-dir "$build_dir" --output-on-failure -j"$jobs"

# The debug adapter's suite against the sanitized emulator too (where its
# npm packages can be had): the adapter's launch moves strings around. With
# stack frames kept after their function returns, a pointer into a returned
# function's local (a short string that moved out of it) is caught.
if command -v npx >/dev/null 2>&1 && "$build_dir/emu6502" --version | grep -q "debug adapter: built in"; then
    ASAN_OPTIONS=$ASAN_OPTIONS:detect_stack_use_after_return=1 scripts/test-dap.sh "$build_dir/emu6502"
fi
