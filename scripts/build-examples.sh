#!/bin/bash
# Rebuilds every example image from its source with cc65.
#
#   scripts/build-examples.sh           rebuild and update examples/*.bin
#   scripts/build-examples.sh --check   rebuild into a temporary directory and
#                                       compare byte for byte with the images
#                                       in the repository (exit 1 on any
#                                       difference or missing image)
#
# How an example is built:
#   examples/hello.s   cl65 -t none --start-addr 0x200 (it sets its own .org)
#   examples/NAME.c    sdk/build.sh: C with the kit's runtime (sdk/*.s)
#   examples/NAME.s    sdk/build.sh: assembly linked with sdk/emu6502.cfg
# The images depend only on the sources and the kit, so the result is the
# same on every run and every machine with the same cc65.
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

built=()
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
        (cd "$tmp" && cp "$OLDPWD/$src" hello.s && cl65 -t none --start-addr 0x200 -o hello.bin hello.s)
    else
        sdk/build.sh "$out" "$src"
    fi
    built+=("$name")
done

status=0
for name in "${built[@]}"; do
    repo="examples/$name.bin"
    if [[ $check == yes ]]; then
        if [[ ! -e $repo ]]; then
            echo "MISSING  $repo (run scripts/build-examples.sh)"
            status=1
        elif ! cmp -s "$tmp/$name.bin" "$repo"; then
            echo "DIFFERS  $repo: $(cmp "$tmp/$name.bin" "$repo" 2>&1 | head -1) (run scripts/build-examples.sh)"
            status=1
        else
            echo "ok       $repo"
        fi
    else
        if [[ -e $repo ]] && cmp -s "$tmp/$name.bin" "$repo"; then
            echo "same     $repo"
        else
            cp "$tmp/$name.bin" "$repo"
            echo "updated  $repo"
        fi
    fi
done
if [[ $check == yes && $status -ne 0 ]]; then
    echo "$0: example images do not match their sources" >&2
fi
exit $status
