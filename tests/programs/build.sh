#!/bin/sh
# Rebuilds every program image in this folder from its source: NAME.s ->
# NAME.bin, a raw image to be loaded at 0x0200. The output depends only on
# the sources, so a rebuild must reproduce the committed images byte for byte.
set -eu
cd "$(dirname "$0")"
for src in *.s; do
    name=${src%.s}
    cl65 -t none --start-addr 0x200 -o "$name.bin" "$src"
    rm -f "$name.o"
done
