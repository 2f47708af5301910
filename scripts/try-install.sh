#!/bin/sh
# Tries the README's install section on a fresh Debian: a minimal system made
# by debootstrap, this tree copied in, then scripts/install-deps.sh, the
# build and the demo, and the debug adapter's tests (which need npm). With
# NODEJS_DEB, that Node.js package is installed first, as a machine whose
# Node.js came from another package source has it (one that holds npm itself
# and conflicts with Debian's npm). Not part of the test command: it needs
# root, the network and some minutes.
# Usage: try-install.sh WORK_DIR [NODEJS_DEB]
set -eu
[ "$(id -u)" = 0 ] || { echo "try-install.sh: run it as root (it uses debootstrap and chroot)" >&2; exit 2; }
[ $# -ge 1 ] || { echo "usage: try-install.sh WORK_DIR [NODEJS_DEB]" >&2; exit 2; }
work=$1
deb=${2:-}
source=$(cd "$(dirname "$0")/.." && pwd)
root=$work/root
cache=$work/apt-cache
mkdir -p "$work" "$cache"
command -v debootstrap >/dev/null || apt-get install -y -qq debootstrap
[ -d "$root/usr" ] || debootstrap --variant=minbase bookworm "$root" http://deb.debian.org/debian >"$work/debootstrap.log"
# Downloads kept between tries.
mkdir -p "$root/var/cache/apt/archives"
mount --bind "$cache" "$root/var/cache/apt/archives"
mount -t proc proc "$root/proc"
mount --bind /dev "$root/dev"
trap 'umount "$root/dev" "$root/proc" "$root/var/cache/apt/archives"' EXIT
trap 'exit 1' INT TERM HUP
cp /etc/resolv.conf "$root/etc/resolv.conf"
# The host's own certificate authorities (a proxy's, say), which npm needs to
# reach its registry from here (with NODE_EXTRA_CA_CERTS passed on).
if ls /usr/local/share/ca-certificates/*.crt >/dev/null 2>&1; then
    mkdir -p "$root/usr/local/share/ca-certificates"
    cp /usr/local/share/ca-certificates/*.crt "$root/usr/local/share/ca-certificates/"
fi
rm -rf "$root/src" && mkdir "$root/src"
(cd "$source" && git ls-files -z | xargs -0 tar cf -) | tar xf - -C "$root/src"
run() { chroot "$root" /usr/bin/env -i DEBIAN_FRONTEND=noninteractive ${NODE_EXTRA_CA_CERTS:+NODE_EXTRA_CA_CERTS=$NODE_EXTRA_CA_CERTS} PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/root sh -c "$1"; }
run "apt-get update -qq && apt-get install -y -qq ca-certificates >/dev/null && update-ca-certificates >/dev/null"
if [ -n "$deb" ]; then
    cp "$deb" "$root/tmp/nodejs.deb"
    run "apt-get update -qq && apt-get install -y -qq /tmp/nodejs.deb >/dev/null"
    echo "Node.js from elsewhere: $(run 'dpkg-query -W -f="\${Version} (\${Maintainer}); Conflicts: \${Conflicts}" nodejs')"
    echo "a plain apt-get of the package list would say:"
    run "apt-get install -s nodejs npm 2>&1 | grep 'Conflicts: npm' || true"
fi
echo "scripts/install-deps.sh:"
run "cd /src && scripts/install-deps.sh 2>&1 | tail -3"
run "cd /src && cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null && cmake --build build -j\$(nproc) --target demo 2>&1 | tail -4"
echo "node $(run 'node --version'), npm $(run 'npm --version')"
run "cd /src && scripts/test-dap.sh build/emu6502 2>&1 | tail -3"
