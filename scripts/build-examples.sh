#!/bin/bash
# Rebuilds every example image from its source with cc65.
#
#   scripts/build-examples.sh           rebuild and update examples/*.bin,
#                                       their debug files examples/*.dbg and
#                                       the C examples' labels examples/*.lbl
#   scripts/build-examples.sh --check   rebuild into a temporary directory and
#                                       compare byte for byte with the images
#                                       and debug files in the repository
#                                       (exit 1 on any difference or missing
#                                       file)
#
# How an example is built:
#   examples/hello.s   cl65 -t none --start-addr 0x200 (it sets its own .org)
#   examples/NAME.c    sdk/build.sh: C with the kit's runtime (sdk/*.s)
#   examples/NAME.s    sdk/build.sh: assembly linked with sdk/emu6502.cfg
# Each is built from a copy of examples/ and sdk/ whose files all carry one
# fixed time, in examples/ of that copy, and the debug file names the kit's
# files as ../sdk/...: the debug files record the sources' names and times.
# So the images and the debug files depend only on the sources and the kit,
# and the result is the same on every run and every machine with the same
# cc65.
set -euo pipefail
cd "$(dirname "$0")/.."

check=no
case ${1:-} in
    --check) check=yes ;;
    "") ;;
    *) echo "usage: $0 [--check]" >&2; exit 2 ;;
esac

command -v cl65 >/dev/null || { echo "$0: cl65 not found (install cc65)" >&2; exit 2; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# The kit's runtime and C library must assemble on their own, whatever
# the examples use.
for src in sdk/*.s sdk/lib/*.s; do
    ca65 -I sdk -o "$tmp/$(basename "$src" .s).o" "$src"
done

tree="$tmp/tree"
mkdir -p "$tree/examples" "$tree/sdk"
cp -R sdk/. "$tree/sdk/"  # subfolders (headers, libraries) too
cp examples/*.[cs] "$tree/examples/"
find "$tree" -type f -exec env TZ=UTC touch -t 200001010000 {} +

built=()
with_labels=()
for src in examples/*.s examples/*.c; do
    [[ -e $src ]] || continue
    name=$(basename "$src")
    name=${name%.*}
    out="$tmp/$name.bin"
    if [[ -e $out ]]; then
        echo "$0: two sources for examples/$name.bin" >&2
        exit 1
    fi
    if [[ $src == examples/hello.s ]]; then
        (cd "$tree/examples" && cl65 -t none -g --start-addr 0x200 -Wl --dbgfile,"$tmp/hello.dbg" -o "$out" hello.s)
    else
        (cd "$tree/examples" && ../sdk/build.sh "$out" "$name.${src##*.}")
    fi
    sed -i "s|\"$tree/|\"../|g; s|\"$tmp/|\"|g" "$tmp/$name.dbg"
    built+=("$name")
    # A C example's label file names the C runtime's routines, which its
    # debug file does not.
    [[ $src == *.c ]] && with_labels+=("$name")
done

status=0
for name in "${built[@]}"; do
    kinds=(bin dbg)
    [[ " ${with_labels[*]} " == *" $name "* ]] && kinds+=(lbl)
    for kind in "${kinds[@]}"; do
        repo="examples/$name.$kind"
        if [[ $check == yes ]]; then
            if [[ ! -e $repo ]]; then
                echo "MISSING  $repo (run scripts/build-examples.sh)"
                status=1
            elif ! cmp -s "$tmp/$name.$kind" "$repo"; then
                echo "DIFFERS  $repo: $(cmp "$tmp/$name.$kind" "$repo" 2>&1 | head -1) (run scripts/build-examples.sh)"
                status=1
            else
                echo "ok       $repo"
            fi
        else
            if [[ -e $repo ]] && cmp -s "$tmp/$name.$kind" "$repo"; then
                echo "same     $repo"
            else
                cp "$tmp/$name.$kind" "$repo"
                echo "updated  $repo"
            fi
        fi
    done
done
if [[ $check == yes && $status -ne 0 ]]; then
    echo "$0: example images or debug files do not match their sources" >&2
fi
exit $status
