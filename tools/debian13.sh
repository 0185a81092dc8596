#!/usr/bin/env bash
# Usage: tools/debian13.sh [--fresh] CHECKOUT [COMMAND...]
# Runs ./run-tests.sh of CHECKOUT (or COMMAND, in CHECKOUT) on a Debian 13 machine, as root and under
# env -i with LANG unset, as in a minimal container: a minimal trixie made once per machine with
# debootstrap in /var/cache/halvoren/trixie-machine (outside any checkout; HALVOREN_DEBIAN13_MACHINE
# puts it elsewhere), entered through chroot in a private mount namespace with /proc, /dev, /sys,
# /tmp and CHECKOUT bound in at their own paths. The packages a run installs stay in the machine for
# the next; --fresh makes it again first, so the run installs everything as on a new machine. It is
# not the Wine 10 lane's root (/var/cache/halvoren/trixie), which no run changes. Runs take turns.
set -uo pipefail
fresh=
[ "${1:-}" = --fresh ] && { fresh=1; shift; }
[ $# -ge 1 ] && [ -d "$1" ] || { sed -n 2,9p "$0"; exit 2; }
checkout=$(cd "$1" && pwd)
shift
[ $# -gt 0 ] || set -- ./run-tests.sh
machine=${HALVOREN_DEBIAN13_MACHINE:-/var/cache/halvoren/trixie-machine}
[ "$(id -u)" -eq 0 ] || { echo "debootstrap, chroot and mounts need root" >&2; exit 1; }
command -v debootstrap > /dev/null ||
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq debootstrap > /dev/null || exit 1

mkdir -p "$(dirname "$machine")"
exec 9> "$machine.lock"
flock 9
if [ -n "$fresh" ] || [ ! -f "$machine/.made" ]; then
    echo "== making a Debian 13 machine in $machine"
    # Only the private namespaces of runs, all ended, ever mounted anything in it.
    ! grep -q " $machine/" /proc/self/mountinfo || { echo "$machine has mounts in it" >&2; exit 1; }
    rm -rf "$machine"
    debootstrap --variant=minbase trixie "$machine" http://deb.debian.org/debian > "$machine.log" 2>&1 ||
        { tail -20 "$machine.log"; exit 1; }
    # What an installed machine has and debootstrap leaves out: its updates and a hosts file.
    printf '%s\n' "deb http://deb.debian.org/debian trixie-updates main" \
        "deb http://deb.debian.org/debian-security trixie-security main" >> "$machine/etc/apt/sources.list"
    printf '%s\n' "127.0.0.1 localhost" "::1 localhost ip6-localhost ip6-loopback" > "$machine/etc/hosts"
    # No daemon of an installed package may start inside the chroot and outlive the run.
    printf '%s\n' '#!/bin/sh' 'exit 101' > "$machine/usr/sbin/policy-rc.d"
    chmod +x "$machine/usr/sbin/policy-rc.d"
    touch "$machine/.made"
fi

echo "== Debian $(cat "$machine/etc/debian_version") in $machine: $* in $checkout"
started=$(date +%s)
# The mounts live in a namespace of our own and vanish with it, whatever way the run ends.
unshare -m --propagation private /bin/sh -c '
    m=$1 checkout=$2
    shift 2
    for d in /proc /dev /sys /tmp "$checkout"; do
        mkdir -p "$m$d" && mount --rbind "$d" "$m$d" || exit 1
    done
    cp /etc/resolv.conf "$m/etc/resolv.conf"
    # The host'"'"'s own local CAs (an office'"'"'s TLS-inspecting proxy, say), so that npm reaches its
    # registry from the machine as from the host; the test CAs of runs stay out.
    mkdir -p "$m/usr/local/share/ca-certificates"
    rm -f "$m"/usr/local/share/ca-certificates/host-*.crt
    for c in /usr/local/share/ca-certificates/*.crt; do
        case $c in */halvoren-test-ca*|*"*"*) continue ;; esac
        cp "$c" "$m/usr/local/share/ca-certificates/host-${c##*/}"
    done
    [ ! -x "$m/usr/sbin/update-ca-certificates" ] || chroot "$m" update-ca-certificates --fresh > /dev/null 2>&1
    exec chroot "$m" /usr/bin/env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        HOME=/root /bin/sh -c "cd \"\$0\" && exec \"\$@\"" "$checkout" "$@"
' sh "$machine" "$checkout" "$@"
status=$?
echo "== Debian 13: $* $([ $status -eq 0 ] && echo passed || echo "FAILED ($status)") in $(( $(date +%s) - started )) s"
exit $status
