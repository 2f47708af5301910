#!/bin/sh
# The console's costs, measured on the real emu6502 binary:
#  (a) examples/echo.bin waiting for a key on a pseudo-terminal: the share
#      of one core it uses over 3 s (goal: at most 2 %), and the delay from
#      a key typed to its echo on the terminal (goal: under 10 ms);
#  (b) a program writing 10 MiB to the console, to /dev/null and through a
#      pipe, next to cat copying a 10 MiB file the same ways (goal: within
#      3 times cat's time). The same program storing its bytes in RAM
#      instead shows what the 31 million emulated instructions cost by
#      themselves; the rest is the console's.
# Usage: bench/terminal.sh [path/to/emu6502]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
binary=${1:-$root/build/emu6502}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 - "$binary" "$root/examples/echo.bin" "$work" <<'EOF'
import os, pty, select, statistics, subprocess, sys, time

binary, echo_image, work = sys.argv[1:4]
ticks = os.sysconf("SC_CLK_TCK")

def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / ticks  # utime + stime

def read_until(fd, text, timeout):
    seen = b""
    end = time.monotonic() + timeout
    while text not in seen:
        left = end - time.monotonic()
        if left <= 0 or not select.select([fd], [], [], left)[0]:
            raise SystemExit(f"no {text!r} on the terminal; got {seen!r}")
        try:
            seen += os.read(fd, 4096)
        except OSError:  # the child has not opened its side yet
            time.sleep(0.01)
    return seen

# (a) Waiting for a key on a terminal.
pid, master = pty.fork()
if pid == 0:
    os.chdir(work)
    os.execv(binary, [binary, "--clean", echo_image])
read_until(master, b"ends):", 10)
time.sleep(0.2)  # past the start
before_cpu, before = cpu_seconds(pid), time.monotonic()
time.sleep(3)
share = (cpu_seconds(pid) - before_cpu) / (time.monotonic() - before) * 100
delays = []
for key in b"abcdefghijklmnoprstu":  # not q, which ends
    time.sleep(0.05)
    typed = time.monotonic()
    os.write(master, bytes([key]))
    read_until(master, bytes([key]), 5)
    delays.append((time.monotonic() - typed) * 1000)
os.write(master, b"q")
read_until(master, b"Bye.", 5)
os.waitpid(pid, 0)
print(f"echo.bin waiting for a key: {share:.1f} % of a core over 3 s (goal: at most 2 %)")
print(f"key to echo: median {statistics.median(delays):.2f} ms, worst {max(delays):.2f} ms "
      f"over {len(delays)} keys (goal: under 10 ms)")

# (b) 10 MiB of output. The program writes X to CON_OUT for X, Y over 0-255
# and 160 rounds of that, then ends.
program = bytes([
    0x78,              # SEI
    0xA9, 0xA0,        # LDA #160
    0x85, 0x10,        # STA $10
    0xA2, 0x00,        # LDX #0
    0xA0, 0x00,        # LDY #0
    0x8E, 0x01, 0xFF,  # inner: STX $FF01
    0xE8,              # INX
    0xD0, 0xFA,        # BNE inner
    0xC8,              # INY
    0xD0, 0xF7,        # BNE inner
    0xC6, 0x10,        # DEC $10
    0xD0, 0xF3,        # BNE inner
    0x4C, 0x00, 0x00,  # JMP $0000
])
size = 160 * 65536
with open(os.path.join(work, "out.bin"), "wb") as f:
    f.write(program)
with open(os.path.join(work, "ram.bin"), "wb") as f:
    f.write(program[:11] + bytes([0x10]) + program[12:])  # STX $1001 instead of $FF01
with open(os.path.join(work, "data"), "wb") as f:
    f.write(bytes(range(256)) * (size // 256))

def best_of_three(command):
    best = None
    for _ in range(3):
        start = time.monotonic()
        subprocess.run(["sh", "-c", command], cwd=work, check=True, stderr=subprocess.DEVNULL)
        elapsed = time.monotonic() - start
        best = elapsed if best is None else min(best, elapsed)
    return best

check = subprocess.run([binary, "--clean", "out.bin"], cwd=work, capture_output=True, check=True).stdout
if len(check) != size:
    raise SystemExit(f"the output program wrote {len(check)} bytes, not {size}")
q = f"'{binary}'"
alone = best_of_three(f"{q} --clean ram.bin")
print(f"the same instructions without output: {alone:.3f} s")
for where, emulator, cat in [
    ("/dev/null", f"{q} --clean out.bin >/dev/null", "cat data >/dev/null"),
    ("a pipe", f"{q} --clean out.bin | cat >/dev/null", "cat data | cat >/dev/null"),
]:
    e, c = best_of_three(emulator), best_of_three(cat)
    print(f"10 MiB to {where}: emu6502 {e:.3f} s (console {max(e - alone, 0):.3f} s), cat {c:.3f} s: "
          f"{e / c:.1f} x cat in all, console alone {max(e - alone, 0) / c:.1f} x cat (goal: within 3 x)")
EOF
