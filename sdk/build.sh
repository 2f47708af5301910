#!/bin/bash
# Builds a raw program image for the emu6502 machine with cc65.
#
#   sdk/build.sh [--cpu 6502|6502X|65C02] OUTPUT.bin SOURCE.c|SOURCE.s ...
#
# --cpu picks the instruction set the compiler and assembler may use; run
# the image with the same --cpu (default 6502).
#
# Sources are compiled/assembled in a temporary directory (nothing is
# written next to them) and linked with sdk/emu6502.cfg.  When any source
# is C, sdk/include comes first on the include path (the machine's
# <target.h> for conio, and <time.h>), and the kit's runtime (sdk/*.s:
# start-up, console, devices) is linked in, with the C library of
# sdk/lib (conio, clock, time, files: only the parts the program uses)
# searched together with cc65's "none" library; an assembly-only program
# gets only the "none" library, and its first source's CODE segment starts
# the image at $0200.
# Beside OUTPUT.bin it writes OUTPUT.lbl, the labels for the monitor, and
# OUTPUT.dbg, the linker's debug information (source lines, scopes, C
# symbols) for the emulator (from cc65 -g and ca65 -g: they do not change
# the image).  The image depends only on the sources; the debug file also
# names them as given and records their sizes and modification times.
set -euo pipefail

cpu=6502
if [[ ${1:-} == --cpu ]]; then
    case ${2:-} in
        6502|6502[Xx]|65[Cc]02) cpu=${2^^} ;;
        *) echo "$0: --cpu needs 6502, 6502X or 65C02" >&2; exit 2 ;;
    esac
    shift 2
fi
if (($# < 2)); then
    echo "usage: $0 [--cpu 6502|6502X|65C02] OUTPUT.bin SOURCE..." >&2
    exit 2
fi
# The kit's files are beside this script, wherever it is installed: found
# through the link when run as emu6502-build.
sdk=$(dirname "$(readlink -f "$0")")
out=$1
shift
case ${out,,} in
    # A slip like "build.sh hello.s hello.c" (or PROG.S) would overwrite a source.
    *.c|*.s|*.h|*.inc) echo "$0: $out: the output must be an image (e.g. ${out%.*}.bin), not a source" >&2; exit 2 ;;
esac

# The monitor's labels (ld65 -Ln format) go next to the image.
base=${out##*/}
if [[ $base == ?*.* && $base != *.lbl ]]; then
    labels=${out%.*}.lbl
else
    labels=$out.lbl  # no extension to replace
fi
debug=${labels%.lbl}.dbg
[[ $debug != "$out" ]] || debug=$out.dbg  # an image named NAME.dbg stays the image
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

objects=()
with_runtime=no
n=0
# cc65 and ca65 are called directly, each output named in $tmp: cl65 would
# put the compiler's intermediate NAME.s next to NAME.c (and delete it).
compile() {
    n=$((n + 1))
    local obj="$tmp/$n.o"
    local src=$1
    [[ $src == -* ]] && src=./$src  # a name like -x.s is a file, not an option
    case $src in
        *.c)
            # The source's own folder first, for its quoted includes.
            cc65 -g -t none --cpu "$cpu" -O -I "$sdk/include" -I "$(dirname -- "$src")" -I "$sdk" -o "$tmp/$n.s" "$src"
            # The debug file records the compiler's output too: with a fixed
            # time it does not differ from one build to the next.
            TZ=UTC touch -t 200001010000 "$tmp/$n.s"
            ca65 -g -t none --cpu "$cpu" -o "$obj" "$tmp/$n.s"
            ;;
        *) ca65 -g -t none --cpu "$cpu" -I "$(dirname -- "$src")" -I "$sdk" -o "$obj" "$src" ;;
    esac
    objects+=("$obj")
}
for src in "$@"; do
    [[ -f $src ]] || { echo "$0: $src: no such source file" >&2; exit 2; }
done
for src in "$@"; do
    case $src in
        *.c) with_runtime=yes ;;
        *.s) ;;
        *) echo "$0: $src: expected a .c or .s file" >&2; exit 2 ;;
    esac
    compile "$src"
done
libraries=(none.lib)
if [[ $with_runtime == yes ]]; then
    for src in "$sdk"/crt0.s "$sdk"/console.s "$sdk"/devices.s; do
        compile "$src"
    done
    # The C library: an archive, so that only the modules a program needs
    # are linked; grouped with cc65's library, whose stdio calls into it
    # (cc65's first: ld65 2.19 fails on a group whose first library gives
    # nothing, and cc65's always gives the runtime). It comes once before
    # the group as well, so that where both define a function (gmtime,
    # mktime, ctime...) the program gets the kit's.
    runtime=("${objects[@]}")
    for src in "$sdk"/lib/*.s "$sdk"/lib/*.c; do
        compile "$src"
    done
    ar65 a "$tmp/emu6502.lib" "${objects[@]:${#runtime[@]}}"
    objects=("${runtime[@]}")
    libraries=("$tmp/emu6502.lib" --start-group none.lib "$tmp/emu6502.lib" --end-group)
fi
ld65 -C "$sdk/emu6502.cfg" -Ln "$tmp/image.lbl" --dbgfile "$tmp/image.dbg" -o "$tmp/image.bin" \
    "${objects[@]}" "${libraries[@]}"
cp -- "$tmp/image.bin" "$out"
cp -- "$tmp/image.lbl" "$labels"
# The temporary folder's name would make every build's debug file differ.
sed "s|\"$tmp/|\"|g" "$tmp/image.dbg" >"$debug"
