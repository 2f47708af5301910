#!/bin/sh
# Installs with apt-get the Debian packages that building and testing need
# and that this machine lacks (as root, or through sudo).
set -eu
packages="cmake make g++ clang libclang-rt-14-dev libgtest-dev libbenchmark-dev cc65 valgrind python3 libedit-dev pkg-config
          g++-mingw-w64-x86-64 wine wine64 scdoc groff-base man-db bash-completion dpkg-dev file lintian nlohmann-json3-dev
          libclang-dev"
# Node.js and npm run the debug adapter's tests; a machine that has them
# from elsewhere keeps its own.
command -v npm >/dev/null 2>&1 || packages="$packages nodejs npm"
missing=""
for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
echo "installing:$missing"
if [ "$(id -u)" = 0 ]; then
    as_root=""
elif command -v sudo >/dev/null 2>&1; then
    as_root="sudo"
else
    echo "missing packages:$missing; install them with apt-get as root" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
$as_root apt-get update -qq
# shellcheck disable=SC2086
$as_root apt-get install -y -qq $missing
