#!/bin/sh
# The manual page renders without a warning, and it names the same options
# as --help: an option added to one must be added to the other.
# Usage: man_page.sh EMU6502 PAGE PAGE-SOURCE [OTHER-PAGE...]; the other
# pages are only rendered.
set -u
emu=$1 page=$2 source=$3
shift 3
status=0
lists=$(mktemp -d)
trap 'rm -rf "$lists"' EXIT

for rendered_page in "$page" "$@"; do
    warnings=$(groff -man -Tutf8 -ww -z "$rendered_page" 2>&1)
    if [ -n "$warnings" ]; then
        echo "groff warns about $rendered_page:"; echo "$warnings"; status=1
    fi
done
rendered=$(MANWIDTH=80 man -l "$page" 2>&1)
for section in NAME SYNOPSIS DESCRIPTION OPTIONS 'THE MACHINE' FILES 'EXIT STATUS' ENVIRONMENT EXAMPLES; do
    printf '%s\n' "$rendered" | grep -q "^$section\$" || { echo "man -l shows no $section section"; status=1; }
done

# "  -h, --help   ...", "  --cpu NAME   ...": the names before the first two spaces.
"$emu" --help | grep -E '^  -' | sed -E 's/^  //; s/  .*//; s/ [A-Z].*//; s/, /\n/g' | sort >"$lists/help"
# "*-h*, *--help*", "*--cpu* _NAME_": the term lines of the page source
# (so no line of running text may start with an option).
grep -E '^\*-' "$source" | grep -oE '\*-[^*]*\*' | tr -d '*' | sort >"$lists/page"
if ! diff "$lists/help" "$lists/page" >/dev/null; then
    echo "--help and the manual page name different options (< only in --help, > only in the page):"
    diff "$lists/help" "$lists/page" | grep '^[<>]'
    status=1
fi
[ "$status" = 0 ] && echo "$(wc -l <"$lists/help") options in both; the page renders cleanly"
exit $status
