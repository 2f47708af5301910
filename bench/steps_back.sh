#!/bin/sh
# How long steps backwards take: the instruction mix (tests/programs/
# bench_mix) runs in a deterministic run under the monitor to instruction
# count 10,000,000; then `back 1`, `back #1000000` and `rc` (with a
# breakpoint that is never reached, so that rc runs back through all the
# past kept) each answer, timed from sending the command to the end of the
# `r` sent after it. Then the run's peak memory at the start and at the
# end: the difference is the past kept.
#
# Usage: bench/steps_back.sh [emu6502]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
binary=$(realpath "${1:-$root/build/emu6502}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 -c 'import sys; b=bytearray(open(sys.argv[1],"rb").read()); b[3]=20; open(sys.argv[2],"wb").write(b)' \
    "$root/tests/programs/bench_mix.bin" "$work/mix.bin"

python3 - "$binary" "$work" <<'PY'
import os, subprocess, sys, time
binary, work = sys.argv[1:]
os.mkfifo(f"{work}/commands")
run = subprocess.Popen([binary, "--clean", "--deterministic", "--commands", "commands", "mix.bin"],
                       cwd=work, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
commands = open(f"{work}/commands", "w")
said = b""

def ask(line):
    """Sends a command and r; the milliseconds until r has answered, and the instruction count."""
    global said
    start = time.perf_counter()
    commands.write(line + "\nr\n")
    commands.flush()
    while b"(sw resets it)\n" not in said:
        said += os.read(run.stderr.fileno(), 65536)
    elapsed = (time.perf_counter() - start) * 1000
    answer, said = said.split(b"(sw resets it)\n", 1)
    count = answer.split(b"instruction count ")[-1].split(b",")[0].decode()
    return elapsed, count

def peak_kib(pid):
    with open(f"/proc/{pid}/status") as status:
        return next(int(line.split()[1]) for line in status if line.startswith("VmHWM:"))

ask("b fff0")
start_kib = peak_kib(run.pid)
ms, count = ask("until #10000000")
print(f"run to instruction count {count}: {ms:.1f} ms")
for command in ("back 1", "back 1", "back #1000000", "rc"):
    ms, count = ask(command)
    print(f"{command:14} {ms:8.1f} ms   now at instruction count {count}")
end_kib = peak_kib(run.pid)
print(f"peak memory: {start_kib / 1024:.1f} MiB at the start, {end_kib / 1024:.1f} MiB with the past of "
      f"10 million instructions kept ({(end_kib - start_kib) / 1024:.1f} MiB more)")
commands.write("q\n")
commands.close()
run.wait()
print("goal: back 1 after 10 million instructions under 50 ms; the past kept under 64 MiB")
PY
