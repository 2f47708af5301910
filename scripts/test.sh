#!/bin/sh
# Installs what is missing (scripts/install-deps.sh), then builds and runs
# every test:
#  1. the release build's unit and end-to-end tests (CTest), and the demo;
#  2. its Debian package: lintian, then installed into a scratch root and
#     run from there;
#  3. the unit tests of the examples and the kit's library (emu6502 test),
#     the shipped test files checked against their JSON Schema;
#  4. the coverage and profile files read by lcov's genhtml and
#     callgrind_annotate (scripts/test-viewers.sh);
#  5. the 6502 program images rebuilt from their sources must match the
#     committed ones byte for byte (needs cc65);
#  6. the Windows build (mingw-w64), its tests under Wine and its zip;
#  7. the whole suite again under AddressSanitizer and UBSan;
#  8. a bounded fuzzing run of the machine (40 seconds; needs clang).
# Set EMU6502_QUICK=1 to run step 1 only.
set -eu
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
started=$(date +%s)
# Each step's heading says when it began, so a slow step shows in CI's log.
step() { echo "== $1 (at $(($(date +%s) - started)) s)"; }

scripts/install-deps.sh

step "release build and tests"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"
[ "${EMU6502_QUICK:-0}" = 1 ] && exit 0

step "the demo of README.md"
demo=$(cmake --build build --target demo)
echo "$demo" | grep -q "^Hello from the 6502!" || { echo "the demo did not greet"; exit 1; }
echo "demo ok"

scripts/test-package.sh build

step "the debug adapter through the protocol's test client"
scripts/test-dap.sh build/emu6502

step "the examples' and the kit library's unit tests (emu6502 test)"
scripts/test-tester.sh build/emu6502

step "coverage and profile files in genhtml, lcov and callgrind_annotate"
scripts/test-viewers.sh build/emu6502

step "program images match their sources"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp tests/programs/build.sh tests/programs/*.s tests/programs/*.inc "$work/"
sh "$work/build.sh"
for image in tests/programs/*.bin; do
    cmp "$image" "$work/$(basename "$image")" || { echo "$image differs from its source"; exit 1; }
done
scripts/build-examples.sh --check
echo "images ok"

step "windows build under wine"
scripts/test-windows.sh build/emu6502

step "sanitizer build and tests"
scripts/test-sanitize.sh

step "fuzzing"
scripts/fuzz.sh "${EMU6502_FUZZ_SECONDS:-40}"

echo "all tests passed in $(($(date +%s) - started)) s"
