#!/bin/bash
# The Windows console program, cross-built with mingw-w64 and tested under
# Wine with no display:
#  1. the unit tests, cross-compiled (unit_tests.exe);
#  2. the same runs (unit tests by `emu6502 test` among them) through
#     emu6502.exe and through the Linux build, each in
#     a fresh folder with the same files and standard input, compared byte
#     for byte: standard output, standard error, exit status, "membackup"
#     and the data files. The Linux build's behaviour is pinned by its own
#     suite, so every message and status of the manual's table is checked;
#  3. the zip (cpack -G ZIP) holds the program, README.txt, the manual and the examples;
#  4. UTF-8 text printed to a console (Wine's, on a pseudo-terminal) shows
#     as such.
# Ends with "N passed, M failed". Usage: scripts/test-windows.sh [linux-binary]
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
linux=${1:-$root/build/emu6502}
linux=$(cd "$(dirname "$linux")" && pwd)/$(basename "$linux")  # the runs happen in other folders
jobs=$(nproc 2>/dev/null || echo 2)

echo "== windows build (mingw-w64)"
cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release \
    -DEMU6502_BENCH=OFF >/dev/null || exit 1
cmake --build build-windows -j"$jobs" >/dev/null || { cmake --build build-windows; exit 1; }
exe=$root/build-windows/emu6502.exe
# One file to ship: nothing but system DLLs may be imported.
if x86_64-w64-mingw32-objdump -p "$exe" | grep -i 'DLL Name' | grep -viE 'kernel32|msvcrt|user32|shell32|advapi32|ntdll' ; then
    echo "emu6502.exe needs DLLs beyond the system's"; exit 1
fi

work=$(mktemp -d)
trap 'wineserver -k 2>/dev/null; [ -n "${KEEP_WORK:-}" ] || rm -rf "$work"' EXIT
export WINEPREFIX=$work/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
wineboot -i >/dev/null 2>&1

passed=0
failed=0
pass() { passed=$((passed + 1)); }
fail() { failed=$((failed + 1)); echo "FAIL: $*"; }

echo "== unit tests under wine"
if wine "$root/build-windows/tests/unit_tests.exe" --gtest_brief=1 >"$work/unit.log" 2>&1; then
    pass
    grep -E '^\[  PASSED  \]' "$work/unit.log"
else
    fail "unit tests"; tail -30 "$work/unit.log"
fi

examples=$root/examples
programs=$root/tests/programs

echo "== the zip"
if (cd build-windows && cpack -G ZIP >"$work/cpack.log" 2>&1); then
    listing=$(cmake -E tar tf build-windows/emu6502-*-windows-x64.zip)
    missing=""
    for file in emu6502.exe README.txt LICENSE.txt doc/manual/index.md examples/hello.bin examples/hello.s examples/c_greet.c; do
        printf '%s\n' "$listing" | grep -q "^emu6502-[^/]*-windows-x64/$file\$" || missing="$missing $file"
    done
    if [ -z "$missing" ]; then pass; else fail "the zip lacks$missing"; fi
else
    fail "cpack -G ZIP"; cat "$work/cpack.log"
fi

echo "== UTF-8 on the console"
# The program prints "café ──" a byte at a time; the console must get whole
# characters in its UTF-8 code page. Wine draws a space as a cursor move.
mkdir -p "$work/utf8"
printf '\xa2\x00\xbd\x10\x02\xf0\x06\x8d\x01\xff\xe8\xd0\xf5\x4c\x00\x00caf\xc3\xa9 \xe2\x94\x80\xe2\x94\x80\n\x00' \
    >"$work/utf8/prog.bin"
shown=$(cd "$work/utf8" && script -qec "wine '$exe' --clean prog.bin" /dev/null </dev/null |
    sed 's/\x1b\[1C/ /g; s/\x1b\[[0-9;?]*[a-zA-Z]//g' | tr -d '\r')
if [ "$shown" = "café ──" ]; then pass; else fail "utf8 console: showed '$shown'"; fi

# run_one SIDE NAME SETUP INPUT ARGS...: runs one side of a case in its own
# folder; SETUP is shell run there first, INPUT is standard input (printf
# escapes).
run_one() {
    local side=$1 name=$2 setup=$3 input=$4
    shift 4
    local dir=$work/$name/$side
    mkdir -p "$dir"
    (
        cd "$dir" || exit 1
        eval "$setup"
        printf "$input" >"$work/$name/$side.in"
        local binary=$linux
        [ "$side" = windows ] && binary="wine $exe"
        # OUT, when set, is where standard output goes instead of "out".
        $binary "$@" <"$work/$name/$side.in" >"${OUT:-out}" 2>err
        echo $? >status
    )
}

# same NAME SETUP INPUT ARGS...: both builds must leave identical folders.
# MASK, when set, is a sed script applied to both sides' standard output and
# error and data files first (clock, random bytes, timings), and then
# membackup is not compared.
same() {
    local name=$1 setup=$2 input=$3
    shift 3
    run_one linux "$name" "$setup" "$input" "$@"
    run_one windows "$name" "$setup" "$input" "$@"
    if [ -n "${MASK:-}" ]; then
        for side in linux windows; do
            for file in "$work/$name/$side"/out "$work/$name/$side"/err "$work/$name/$side"/file*; do
                [ -f "$file" ] && sed -i -E "$MASK" "$file"
            done
            rm -f "$work/$name/$side/membackup"
        done
    fi
    if diff -r "$work/$name/linux" "$work/$name/windows" >"$work/$name.diff"; then
        pass
    else
        fail "$name"; head -20 "$work/$name.diff"
    fi
}

# Hand-assembled programs.
trace_prog='\xa9\x01\x8d\x03\xff\xa2\x00\xa0\xff\x4c\x00\x00'     # trace on, LDX, LDY, end
files_prog='\x78\xa9\x03\x8d\x0c\xff\xa9\x41\x8d\x0b\xff\xad\x0c\xff\x85\x10\xad\x0a\xff\x85\x11\xad\x0c\xff\x85\x12\x4c\x00\x00'
loop_prog='\x78\x4c\x01\x02'                                      # SEI; JMP *

echo "== emu6502.exe against the Linux build"
# Examples, with their keys piped in on -i.
same hello_first_run "cp $examples/hello.bin ." "" hello.bin
same hello_from_saved_memory "cp $examples/hello.bin .; '$linux' hello.bin >/dev/null 2>&1" "" 
same c_hello "" "" "$examples/c_hello.bin"
same c_greet "" 'ada\n' "$examples/c_greet.bin" -i
same c_greet_editing "" 'Al\b\beve\n' "$examples/c_greet.bin" -i
same echo "" 'abc\r' "$examples/echo.bin" -i
same echo_q "" 'hi qrest\n' "$examples/echo.bin" -i
same files_example "printf 0123456789abcdefXYZ >file1" "" "$examples/files.bin"
MASK='s/[0-9]{2}:[0-9]{2}(:[0-9]{2})?/T/g; s/20[0-9]{2}-[0-9]{2}-[0-9]{2}/D/g' same notes "printf '09:15 old note\\n' >file0" 'milk\rq\r' "$examples/notes.bin" -i
MASK='s/[0-9]/N/g' same clock "" "" "$examples/clock.bin"
MASK='s/^(date|dice):.*/\1/' same c_devices "" "" "$examples/c_devices.bin"
same c_menu "" '\033[B\033OA\r' "$examples/c_menu.bin" -i
same c_diary "printf '2026-12-07 23:59 Snow\\n' >file3" 'Rain\n' --time 2026-12-08T10:30:00 "$examples/c_diary.bin" -i
# The unit-test runner: the examples' tests on two workers (processes the
# runner starts again), a check that fires, and a coverage file (its
# source paths cut to the file's name: Windows sees them on drive Z:).
same tester "cp -r '$examples' ex" "" test -j 2 ex/hello.test.json ex/files.test.json ex/c_units.test.json
check_test='{"image": "hello.bin", "tests": [{"name": "peek", "routine": "$3000", "setup": {"memory": [{"at": "$3000", "bytes": ["$A5", "$10", "$60"]}]}}]}'
MASK='s#^SF:.*/#SF:#' same tester_check_coverage "cp '$examples/hello.bin' '$examples/hello.dbg' '$examples/hello.s' .; printf '%s' '$check_test' >t.json" "" \
    test --check --coverage file.info t.json
same selftest "" "" "$programs/selftest.bin"
same selftest_6502x "" "" --cpu 6502X "$programs/selftest_6502x.bin"
same selftest_65c02 "" "" --cpu 65C02 "$programs/selftest_65c02.bin"
MASK='s/ [0-9.]+ s, .*//' same selftest_65c02_deterministic "" "" --cpu 65C02 --deterministic --stats "$programs/selftest_65c02.bin"
same monitor_commands "printf 's 3\\nb 0204\\nc\\nr\\nx\\n' >c; cp '$root/examples/echo.bin' p.bin" 'hi\r' \
    --commands c p.bin -i
# The trace line, data files, load addresses, options.
same trace "printf '$trace_prog' >prog.bin" "" prog.bin
same data_files "printf '$files_prog' >prog.bin; printf Z >file3" "" prog.bin
same load_address "printf '\\x4c\\x00\\x00' >prog.bin" "" prog.bin '$C000'
same stdin_keys "printf '\\xad\\x00\\xff\\x8d\\x01\\xff\\xad\\x00\\xff\\x8d\\x01\\xff\\x4c\\x00\\x00' >prog.bin" \
    'Q\0' prog.bin -i
same non_ascii_path "printf '$trace_prog' >pr\$'\\xc3\\xb6'gram.bin" "" "pr$(printf '\xc3\xb6')gram.bin"
same clean "printf '\\x4c\\x00\\x00' >prog.bin" "" --clean prog.bin
MASK='s/ [0-9.]+ s, .*//' same options_after_image "printf '$loop_prog' >prog.bin" "" prog.bin --max-instructions 500 --stats
same load_and_start "printf '\\xa9\\x07\\x4c\\x00\\x00' >prog.bin" "" prog.bin --load-address C000 --start C000 --exit-status
same address_and_stdin "printf '\\xad\\x00\\xff\\x4c\\x00\\x00' >prog.bin" 'K' prog.bin '$C000' -i --start C000 --exit-status
same partial_address_warning "printf '\\x4c\\x00\\x00' >prog.bin" "" prog.bin '$12345' extra
same help "" "" --help
# Line editing differs (libedit on Linux, the console's own on Windows), and
# the debug adapter and the translating core are built on Linux only.
MASK='s/^(line editing|debug adapter|translating core): .*/\1/' same version "" "" --version
# Reproducible runs: RANDOM, the clock and the timer give the same bytes on both.
dev_prog='\x78\xad\x02\xff\x8d\x01\xff\xad\x02\xff\x8d\x01\xff\xad\x02\xff\x8d\x01\xff\xad\x02\xff\x8d\x01\xff\xad\x04\xff\x8d\x01\xff\xad\x05\xff\x8d\x01\xff\xad\x06\xff\x8d\x01\xff\xad\x07\xff\x8d\x01\xff\xad\x08\xff\x8d\x01\xff\xad\x09\xff\x8d\x01\xff\x4c\x00\x00'
wait_prog='\x78\xa9\x04\x85\x10\xa0\x00\xa2\x00\xca\xd0\xfd\x88\xd0\xf8\xc6\x10\xd0\xf2'  # 1.3 million cycles
# The IRQ handler (INC $12; RTI) at 0x0300 counts requests; the loop counts rounds until the third.
ticks_prog='\x78\xa9\x00\x8d\xfe\xff\x85\x12\xa9\x03\x8d\xff\xff\x58\xa9\x00\x85\x10\x85\x11\xe6\x10\xd0\x02\xe6\x11\xa5\x12\xc9\x03\xd0\xf4\x78\xa5\x10\x8d\x01\xff\xa5\x11\x8d\x01\xff\x4c\x00\x00'
key_prog='\xad\x00\xff\x8d\x01\xff\x4c\x00\x00'
same deterministic_devices "printf '$dev_prog' >prog.bin" "" --deterministic --seed 5 --time 2024-02-29T23:59:59 prog.bin
same deterministic_leap_day "printf '$wait_prog' >prog.bin; printf '$dev_prog' | tail -c +2 >>prog.bin" "" \
    prog.bin --time=2024-02-29T23:59:59 --exit-status
same deterministic_ticks "printf '$ticks_prog' >prog.bin; head -c 211 /dev/zero | tr '\\0' '\\352' >>prog.bin; printf '\\xe6\\x12\\x40' >>prog.bin" \
    "" --deterministic prog.bin
same replay_crlf "printf '$key_prog' >prog.bin; printf 'emu6502 replay 1\\r\\nkey 0 65\\r\\nend 3 program\\r\\n' >r.txt" "" \
    --replay r.txt prog.bin
same record_stdin_keys "printf '$key_prog' >prog.bin" 'K' --record rec.txt prog.bin -i
same msg_replay_departs "printf '$key_prog' >prog.bin; printf 'emu6502 replay 1\\nkey 1 65\\n' >r.txt" "" --replay r.txt prog.bin
same msg_replay_unparsable "printf 'emu6502 replay 1\\nkey 0\\n' >r.txt" "" --replay r.txt prog.bin
same msg_bad_time "" "" --time 2023-02-29T00:00:00 prog.bin
# Every message of the manual's table (doc/manual/messages.md), with its exit status.
same msg_missing_image "" "" nothing.bin
same msg_directory_image "mkdir prog.bin" "" prog.bin
same msg_image_too_large "head -c 65537 /dev/zero >prog.bin" "" prog.bin
same msg_image_past_the_top "printf abc >prog.bin" "" prog.bin '$FFFE'
same msg_negative_address "printf abc >prog.bin" "" prog.bin '$-1'
same msg_unknown_option "" "" --frobnicate
OUT=/dev/full same msg_console_output_failed "" "" "$examples/hello.bin"
same msg_processor_halted "printf '\\xea\\x02' >prog.bin" "" --cpu 6502X prog.bin
same msg_bad_load_address "" "" --load-address xyz prog.bin
same msg_instruction_limit "printf '$loop_prog' >prog.bin" "" --max-instructions 1000 prog.bin
same msg_membackup_too_long "head -c 65600 /dev/zero >membackup; printf '\\x4c\\x00\\x00' >prog.bin" "" prog.bin
same msg_membackup_too_short "printf ab >membackup; printf '\\x4c\\x00\\x00' >prog.bin" "" prog.bin
same msg_membackup_read_only_warns "printf '\\x4c\\x00\\x00' >prog.bin; '$linux' prog.bin >/dev/null 2>&1; chmod 444 membackup" "" prog.bin
same msg_membackup_directory "mkdir membackup; printf '\\x4c\\x00\\x00' >prog.bin" "" prog.bin

# Two runs in one folder: the second stops at once.
lockdir=$work/lock
mkdir -p "$lockdir" && printf "$loop_prog" >"$lockdir/loop.bin" && printf '\x4c\x00\x00' >"$lockdir/prog.bin"
(cd "$lockdir" && exec wine "$exe" loop.bin >/dev/null 2>&1) &
holder=$!
# Wine may take a while to start the first run on a busy machine: ask
# until it has the folder (a run without a lock never says so).
for try in 1 2 3 4 5 6 7 8 9 10; do
    sleep 1
    second=$(cd "$lockdir" && wine "$exe" prog.bin 2>&1)
    status=$?
    [ "$status" = 1 ] && break
done
kill "$holder" 2>/dev/null
wineserver -k 2>/dev/null
wait "$holder" 2>/dev/null
if [ "$status" = 1 ] && [ "$second" = "another run is using this folder's membackup." ]; then pass; else
    fail "lock: status $status, said '$second'"; fi

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
