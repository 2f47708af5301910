#!/bin/bash
# The Debian package of a build folder, checked as a user would meet it:
#  1. cpack -G DEB builds it, and lintian finds no error in it;
#  2. dpkg installs it into a scratch root (its own dpkg database, so the
#     machine's is untouched), and the programs run from there: the demo
#     greets, and emu6502-build builds an example, byte for byte the
#     committed image, which runs;
#  3. emu6502-build's bad input: one line on standard error, exit status 2.
# Ends with "N passed, M failed". Usage: scripts/test-package.sh [build-folder]
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)

passed=0
failed=0
pass() { passed=$((passed + 1)); }
fail() { failed=$((failed + 1)); echo "FAIL: $*"; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "== the Debian package"
(cd "$build" && cpack -G DEB >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$build"/emu6502_*.deb)
dpkg-deb -f "$deb" Package Version Depends Recommends
# Lintian's tags are shown (warnings too); an error fails. As root it says so first.
lintian --fail-on error "$deb" >"$work/lintian.log" 2>&1
lintian_status=$?
grep -v 'root privileges' "$work/lintian.log"
if [ "$lintian_status" = 0 ]; then pass; else fail "lintian found errors"; fi
# The libraries the program links are declared.
depends=$(dpkg-deb -f "$deb" Depends)
for library in libc6 libstdc++6 libedit2; do
    case $depends in *"$library "*) pass ;; *) fail "Depends lacks $library: $depends" ;; esac
done

echo "== installed into a scratch root"
target=$work/root
mkdir -p "$target/var/lib/dpkg/info" "$target/var/lib/dpkg/updates"
touch "$target/var/lib/dpkg/status"
# The libraries come from this machine: their packages are not in the scratch root.
if dpkg --root="$target" --force-depends --log=/dev/null -i "$deb" >"$work/dpkg.log" 2>&1; then pass; else
    fail "dpkg -i"; cat "$work/dpkg.log"; fi
bin=$target/usr/bin
examples=$target/usr/share/doc/emu6502/examples
share=$target/usr/share
for file in man/man1/emu6502.1.gz man/man1/emu6502-build.1.gz bash-completion/completions/emu6502 \
    bash-completion/completions/emu6502-build zsh/vendor-completions/_emu6502 emu6502/sdk/emu6502.cfg; do
    [ -f "$share/$file" ] && pass || fail "not installed: /usr/share/$file"
done
grep -q "^License: MIT$" "$share/doc/emu6502/copyright" && pass || fail "the copyright file names no MIT licence"
# The README and the manual beside it, where the README's links lead.
for chapter in "$root"/doc/manual/*.md; do
    cmp -s "$chapter" "$share/doc/emu6502/doc/manual/${chapter##*/}" || fail "not installed: the manual's ${chapter##*/}"
done && [ -f "$share/doc/emu6502/README.md" ] && pass || fail "not installed: README.md beside the manual"
case $(man -l "$share/man/man1/emu6502.1.gz" 2>&1) in *"emu6502 - a 6502 computer"*) pass ;; *) fail "man -l on the installed page" ;; esac
mkdir "$work/run" && cd "$work/run" || exit 1

out=$("$bin/emu6502" "$examples/hello.bin" 2>/dev/null)
case $out in "Hello from the 6502!"*) pass ;; *) fail "the installed demo did not greet: $out" ;; esac

if "$bin/emu6502-build" c_hello.bin "$examples/c_hello.c" 2>"$work/build.err" &&
    cmp -s c_hello.bin "$examples/c_hello.bin"; then pass; else
    fail "emu6502-build c_hello.c"; cat "$work/build.err"; fi
out=$("$bin/emu6502" --clean c_hello.bin 2>&1)
[ "$out" = "Hello from C on the 6502!" ] && pass || fail "the image built by emu6502-build said: $out"

# The test runner on an installed example's tests, the schema they name
# installed where their "$schema" leads.
if "$bin/emu6502" test "$examples/hello.test.json" >"$work/test.out" 2>&1; then pass; else
    fail "emu6502 test on the installed hello.test.json"; cat "$work/test.out"; fi
[ -f "$examples/../schema/emu6502-test.schema.json" ] && [ -f "$share/emu6502/schema/emu6502-test.schema.json" ] &&
    pass || fail "not installed: the test files' schema"

# bad NAME MESSAGE ARGS...: emu6502-build says MESSAGE (its name first) and exits 2.
bad() {
    local name=$1 message=$2
    shift 2
    local err status
    err=$("$bin/emu6502-build" "$@" 2>&1 >/dev/null)
    status=$?
    if [ "$status" = 2 ] && [ "$err" = "$bin/emu6502-build: $message" ]; then pass; else
        fail "$name: status $status, said '$err'"; fi
}
printf 'int main(void) { return 0; }\n' >main.c
bad missing_source "nothing.c: no such source file" out.bin main.c nothing.c
bad output_is_a_source "main.c: the output must be an image (e.g. main.bin), not a source" main.c main.c
bad unknown_cpu "--cpu needs 6502, 6502X or 65C02" --cpu 65816 out.bin main.c
[ ! -e out.bin ] && pass || fail "a refused build wrote out.bin"

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
