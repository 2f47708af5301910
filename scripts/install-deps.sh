#!/bin/sh
# Installs with apt-get the Debian packages that building and testing need
# and that this machine lacks (as root, or through sudo).
set -eu
packages="cmake make g++ clang libclang-rt-14-dev libgtest-dev libbenchmark-dev cc65 valgrind lcov python3 libedit-dev pkg-config
          g++-mingw-w64-x86-64 wine wine64 scdoc groff-base man-db bash-completion dpkg-dev file lintian nlohmann-json3-dev libxbyak-dev
          libclang-dev"
# Node.js and npm run the debug adapter's tests. A machine that has npm
# keeps its own; they are installed apart from the rest, because a Node.js
# from another package source holds npm itself and conflicts with Debian's
# npm (`nodejs : Conflicts: npm`), which would make one apt-get of the
# whole list install nothing.
node=""
command -v npm >/dev/null 2>&1 || node="nodejs npm"
missing=""
for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && [ -z "$node" ] && exit 0
echo "installing:$missing${node:+ $node}"
if [ "$(id -u)" = 0 ]; then
    as_root=""
elif command -v sudo >/dev/null 2>&1; then
    as_root="sudo"
else
    echo "missing packages:$missing${node:+ $node}; install them with apt-get as root" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
$as_root apt-get update -qq
# shellcheck disable=SC2086
[ -z "$missing" ] || $as_root apt-get install -y -qq $missing
if [ -n "$node" ]; then
    # Debian's Node.js with its npm; where the two conflict, the Node.js the
    # package sources offer, npm included.
    $as_root apt-get install -y -qq nodejs npm ||
        $as_root apt-get install -y -qq nodejs ||
        true
    command -v npm >/dev/null 2>&1 ||
        echo "npm could not be installed: the debug adapter's tests (scripts/test-dap.sh) will not run" >&2
fi
exit 0
