#!/bin/sh
# What a unit test costs in `emu6502 test`: 1,000 tests of a short routine
# (the hello example's print loop, about 340 cycles, with an expectation
# on X) against the time one process of emu6502 takes to start and end
# (`emu6502 --clean` on the same image, the best of 20); then 200 tests of
# a longer routine (a delay loop of about 330,000 cycles) with -j 1 and
# -j 2, to show the workers sharing the cores. The short tests once more
# under --check and under --coverage, for what watching them costs.
#
# Usage: bench/tester.sh [emu6502]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
binary=$(realpath "${1:-$root/build/emu6502}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 - "$binary" "$work" "$root/examples/hello.bin" <<'PY'
import json, os, subprocess, sys, time
binary, work, hello = sys.argv[1:]

def write(name, tests):
    with open(os.path.join(work, name), "w") as f:
        json.dump({"image": hello, "tests": tests}, f)

write("short.json", [{"name": "t%d" % i, "range": {"from": "start", "to": "done"},
                      "expect": {"registers": {"x": 22}}} for i in range(1000)])
# LDY #0; LDX #0; DEX; BNE -3; DEY; BNE -8; RTS: 256 x 256 turns of 5 cycles.
delay = {"at": "$3000", "bytes": [0xA0, 0, 0xA2, 0, 0xCA, 0xD0, 0xFD, 0x88, 0xD0, 0xF8, 0x60]}
write("long.json", [{"name": "t%d" % i, "routine": "$3000", "setup": {"memory": [delay]},
                     "expect": {"registers": {"x": 0, "y": 0}}} for i in range(200)])

def best(args, runs):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        subprocess.run(args, cwd=work, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
        times.append(time.perf_counter() - start)
    return min(times)

start_up = best([binary, "--clean", hello], 20)
short = best([binary, "test", "-j", "1", "short.json"], 3)
print("process start and end: %.2f ms" % (start_up * 1e3))
print("1000 tests of a short routine, -j 1: %.3f s, %.3f ms a test: %.0f tests in the time of one process start"
      % (short, short, start_up / (short / 1000)))
checked = best([binary, "test", "-j", "1", "--check", "short.json"], 3)
covered = best([binary, "test", "-j", "1", "--coverage", "short.info", "short.json"], 3)
print("the same under --check: %.3f s; under --coverage: %.3f s" % (checked, covered))
one = best([binary, "test", "-j", "1", "long.json"], 3)
two = best([binary, "test", "-j", "2", "long.json"], 3)
print("200 tests of a 330,000-cycle routine: -j 1 %.2f s, -j 2 %.2f s: %.2f x faster" % (one, two, one / two))
PY
