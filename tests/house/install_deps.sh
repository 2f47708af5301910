#!/bin/sh
# scripts/install-deps.sh against a stand-in apt-get and dpkg-query: one
# case a line, checking the apt-get calls it makes. The case that matters
# is a Node.js from another package source, whose nodejs conflicts with
# Debian's npm: everything else must still be installed.
# Usage: install_deps.sh SOURCE_DIR
script=$1/scripts/install-deps.sh
work=$(mktemp -d) || exit 2
trap 'rm -rf "$work"' EXIT
status=0
# check NAME MISSING NPM CONFLICT EXPECTED_CALLS (- for any)
check() {
    bin=$work/$1
    mkdir -p "$bin"
    ln -s "$(command -v grep)" "$bin/grep"
    printf '#!/bin/sh\necho 0\n' >"$bin/id"
    # Every package is installed but those named in $2 (ALL: none is).
    printf '#!/bin/sh\nfor p in %s; do [ "$p" = "$3" ] || [ "$p" = ALL ] && exit 1; done\necho "install ok installed"\n' "$2" >"$bin/dpkg-query"
    [ "$3" = yes ] && printf '#!/bin/sh\n' >"$bin/npm"
    cat >"$bin/apt-get" <<STUB
#!/bin/sh
echo "\$*" >>"$bin/calls"
case " \$* " in *" nodejs npm "*) [ "$4" = yes ] && { echo "nodejs : Conflicts: npm" >&2; exit 100; } ;; esac
exit 0
STUB
    chmod +x "$bin"/*
    PATH=$bin /bin/sh "$script" >"$bin/out" 2>&1 || { echo "$1: exit status $?"; cat "$bin/out"; status=1; }
    calls=$(cat "$bin/calls" 2>/dev/null | tr '\n' ';')
    [ "$5" = - ] || [ "$calls" = "$5" ] || { echo "$1: apt-get calls"; echo "  were:     $calls"; echo "  expected: $5"; status=1; }
}
check nothing_missing "" yes no ""
check cc65_missing_npm_there "cc65" yes no "update -qq;install -y -qq cc65;"
check debian_node "cc65 nodejs npm" no no "update -qq;install -y -qq cc65;install -y -qq nodejs npm;"
check foreign_node_conflicts "cc65 npm" no yes "update -qq;install -y -qq cc65;install -y -qq nodejs npm;install -y -qq nodejs;"
# The README and the manual name every package the script installs.
check everything_missing ALL no no -
for p in $(sed -n 's/^installing://p' "$work/everything_missing/out"); do
    for doc in README.md doc/manual/install.md; do
        grep -qw -- "$p" "$1/$doc" || { echo "$doc does not name $p, which scripts/install-deps.sh installs"; status=1; }
    done
done
[ $status = 0 ] && echo "install-deps.sh installs everything, Node.js from any source"
exit $status
