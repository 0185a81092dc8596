#!/bin/sh
# Usage: stop.sh OUTDIR
# Stops the fake server started by start.sh OUTDIR. Nothing to do is fine.
set -eu

if [ $# -ne 1 ] || [ -z "$1" ]; then
    echo "usage: $0 OUTDIR" >&2
    exit 2
fi
pidfile=$1/fake_server.pid
[ -f "$pidfile" ] || exit 0
pid=$(cat "$pidfile" 2> /dev/null || true)

# Only signal the pid if it still is our server; a stale file after a reboot
# could name some unrelated process.
case $pid in
    ''|*[!0-9]*) rm -f "$pidfile"; exit 0 ;;
esac
if ! tr '\0' ' ' < "/proc/$pid/cmdline" 2> /dev/null | grep -q 'fake_server\.py'; then
    rm -f "$pidfile"
    exit 0
fi

kill -TERM "$pid" 2> /dev/null || true
i=0
while [ $i -lt 50 ] && kill -0 "$pid" 2> /dev/null; do
    sleep 0.1
    i=$((i + 1))
done
if kill -0 "$pid" 2> /dev/null; then
    echo "stop.sh: pid $pid ignored SIGTERM, killing" >&2
    kill -KILL "$pid" 2> /dev/null || true
fi
rm -f "$pidfile"
