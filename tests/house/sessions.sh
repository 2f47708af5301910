#!/bin/sh
# Every example session of the README and the manual is the program's real
# output. Two kinds of block are run, each in a fresh folder holding copies
# of examples/ and sdk/, with emu6502 and emu6502-build on PATH:
#  - a fenced block whose info string is `session`: each line starting with
#    "$ " is a command, run by bash; the other lines are what the commands
#    print, standard output and standard error together;
#  - a fenced block right after a line `<!-- session: COMMAND -->`: the
#    block is what COMMAND prints; its lines starting with "> " are the
#    monitor's commands, put in the file `commands` first.
# A fenced block right after a line `<!-- file: PATH -->` is the file PATH
# of the sources, whole.
# The output must be the block's byte for byte, but for a carriage return
# before a line's end, which a terminal shows as nothing.
# A block that looks like a session (a line starting with "$ " or "> ") but
# is neither must follow a line `<!-- not run: WHY -->`.
# Usage: sessions.sh SOURCE_DIR EMU6502
source_dir=$(cd "$1" && pwd) || exit 2
emu=$(cd "$(dirname "$2")" && pwd)/$(basename "$2") || exit 2
work=$(mktemp -d) || exit 2
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin" "$work/blocks"
ln -s "$emu" "$work/bin/emu6502"
ln -s "$source_dir/sdk/build.sh" "$work/bin/emu6502-build"

# Each block to run becomes blocks/N.script (the shell commands), N.expected,
# N.commands (for the monitor) and N.where (file:line).
cd "$source_dir" || exit 2
awk -v out="$work/blocks" '
FNR == 1 { marker = ""; previous = "" }
{
    line = $0
    if (!fence && line ~ /^```/) {
        fence = 1; kind = ""; unmarked = 0
        if (line == "```session") kind = "session"
        else if (previous ~ /^<!-- session: .* -->$/) {
            kind = "command"
            command = substr(previous, 15, length(previous) - 18)
        } else if (previous ~ /^<!-- file: .* -->$/) {
            kind = "command"
            command = "cat \"$SOURCE_DIR/" substr(previous, 12, length(previous) - 15) "\""
        } else if (previous !~ /^<!-- not run: .* -->$/) unmarked = 1
        start = FNR; base = out "/" n; looks = 0
        if (kind != "") {
            printf "" > (base ".expected"); printf "" > (base ".commands")
            print FILENAME ":" FNR > (base ".where")
            if (kind == "command") print "{ " command "\n} 2>&1" > (base ".script")
            else printf "" > (base ".script")
        }
        previous = line; next
    }
    if (fence && line ~ /^```$/) {
        fence = 0
        if (kind != "") { close(base ".expected"); close(base ".commands"); close(base ".script"); close(base ".where"); n++ }
        else if (unmarked && looks) print FILENAME ":" start ": a session that is not run: mark it <!-- not run: WHY -->" > (out "/unmarked")
        previous = line; next
    }
    if (fence) {
        if (line ~ /^\$ / || line ~ /^> /) looks = 1
        if (kind == "session" && line ~ /^\$ /) print "{ " substr(line, 3) "\n} 2>&1" > (base ".script")
        else if (kind != "") {
            print line > (base ".expected")
            if (kind == "command" && line ~ /^> /) print substr(line, 3) > (base ".commands")
        }
    }
    previous = line
}' README.md doc/manual/*.md

status=0
if [ -s "$work/blocks/unmarked" ]; then cat "$work/blocks/unmarked"; status=1; fi
have_cc65=yes
command -v cl65 >/dev/null 2>&1 || have_cc65=no
count=0
for script in "$work"/blocks/*.script; do
    [ -e "$script" ] || break
    base=${script%.script}
    where=$(cat "$base.where")
    if [ $have_cc65 = no ] && grep -q emu6502-build "$script"; then
        echo "$where: skipped (no cc65)"
        continue
    fi
    run=$work/run
    rm -rf "$run" && mkdir "$run" && cp -R "$source_dir/examples" "$source_dir/sdk" "$run/"
    cp "$base.commands" "$run/commands"
    # A terminal shows a carriage return before a line feed as nothing, and
    # so does the block; every other byte must be as shown.
    (cd "$run" && SOURCE_DIR=$source_dir PATH="$work/bin:$PATH" timeout 20 bash "$script" </dev/null 2>&1) | sed 's/\r$//' >"$base.actual"
    if cmp -s "$base.expected" "$base.actual"; then
        count=$((count + 1))
    else
        echo "$where: the session's output is not the program's:"
        diff -u "$base.expected" "$base.actual" | sed '1,2d'
        status=1
    fi
done
[ $status = 0 ] && echo "$count sessions give the output shown"
exit $status
