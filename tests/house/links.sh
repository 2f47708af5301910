#!/bin/sh
# Every relative link of the README and the manual leads somewhere: the
# file exists and, for a link to a heading (`file.md#heading`, `#heading`),
# the heading is there, named as GitHub names its anchors.
# The README stays short, the rest in the manual, every chapter linked
# from the README and from the contents, and back to both.
# Usage: links.sh SOURCE_DIR
cd "$1" || exit 2
status=0
lines=$(wc -l <README.md)
[ "$lines" -lt 300 ] || { echo "README.md has $lines lines: move what is not a first look into doc/manual"; status=1; }
# Every chapter of the manual is linked from the README and the contents,
# and links back to both.
for chapter in doc/manual/*.md; do
    name=${chapter##*/}
    grep -q "](doc/manual/$name)" README.md || { echo "README.md does not link $chapter"; status=1; }
    [ "$name" = index.md ] || grep -q "]($name)" doc/manual/index.md || { echo "doc/manual/index.md does not link $chapter"; status=1; }
    grep -q "](../../README.md)" "$chapter" || { echo "$chapter does not link back to the README"; status=1; }
    [ "$name" = index.md ] || grep -q "](index.md)" "$chapter" || { echo "$chapter does not link back to the contents"; status=1; }
done
# One line per link, "FILE LINE TARGET", and one per heading, "FILE #ANCHOR",
# code blocks and code spans left out.
awk '
FNR == 1 { fence = 0 }
/^```/ { fence = !fence; next }
fence { next }
/^#+ / {
    h = $0; sub(/^#+ /, "", h); h = tolower(h)
    gsub(/[^a-z0-9 _-]/, "", h); gsub(/ /, "-", h)
    print "anchor", FILENAME, h
}
{
    line = $0; gsub(/`[^`]*`/, "", line)
    while (match(line, /\]\([^)]*\)/)) {
        print "link", FILENAME, FNR, substr(line, RSTART + 2, RLENGTH - 3)
        line = substr(line, RSTART + RLENGTH)
    }
}' README.md doc/manual/*.md >"${TMPDIR:-/tmp}/links.$$"
count=0
while read -r kind file a b; do
    [ "$kind" = link ] || continue
    target=$b
    case $target in http://* | https://* | mailto:*) continue ;; esac
    path=${target%%#*}
    anchor=""
    case $target in *'#'*) anchor=${target#*#} ;; esac
    dir=$(dirname "$file")
    if [ -z "$path" ]; then resolved=$file; else resolved=$dir/$path; fi
    if [ ! -e "$resolved" ]; then
        echo "$file:$a: '$target' leads nowhere"; status=1; continue
    fi
    if [ -n "$anchor" ]; then
        # The target as the awk above named it: a path from the top.
        named=$(realpath --relative-to=. "$resolved")
        grep -qxF "anchor $named $anchor" "${TMPDIR:-/tmp}/links.$$" ||
            { echo "$file:$a: '$target': no heading '$anchor' in $named"; status=1; continue; }
    fi
    count=$((count + 1))
done <"${TMPDIR:-/tmp}/links.$$"
rm -f "${TMPDIR:-/tmp}/links.$$"
[ $status = 0 ] && echo "$count relative links lead where they say"
exit $status
