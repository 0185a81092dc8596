#!/bin/sh
# Usage: start.sh OUTDIR
# Starts fake_server.py in the background with OUTDIR/server.{crt,key}
# (from make_certs.sh), logging to OUTDIR/fake_server.log, pid in
# OUTDIR/fake_server.pid. Returns once /__fake/ping answers over TLS
# validated against OUTDIR/ca.crt, or fails after ~10 s.
# Env: HALVOREN_FAKE_HOST (default 127.0.0.1), HALVOREN_FAKE_PORT (default
# 443, which needs root), HALVOREN_PROXY_PORT (default 3128: the CONNECT proxy
# beside the server, on the same host).
set -eu

if [ $# -ne 1 ] || [ -z "$1" ]; then
    echo "usage: $0 OUTDIR" >&2
    exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
out=$(cd "$1" && pwd)
host=${HALVOREN_FAKE_HOST:-127.0.0.1}
port=${HALVOREN_FAKE_PORT:-443}
proxy_port=${HALVOREN_PROXY_PORT:-3128}
py=/usr/bin/python3
[ -x "$py" ] || py=python3

for f in server.crt server.key ca.crt; do
    if [ ! -f "$out/$f" ]; then
        echo "start.sh: $out/$f missing (run make_certs.sh $out)" >&2
        exit 1
    fi
done

# Restarting must not trip over the previous instance still holding the port.
"$here/stop.sh" "$out"

pidfile=$out/fake_server.pid
logfile=$out/fake_server.log
nohup "$py" "$here/fake_server.py" --cert "$out/server.crt" --key "$out/server.key" \
    --host "$host" --port "$port" --proxy-port "$proxy_port" --pidfile "$pidfile" \
    >> "$logfile" 2>&1 < /dev/null &
child=$!

case $host in
    *:*) addr="[$host]" ;;
    *) addr=$host ;;
esac
i=0
while [ $i -lt 50 ]; do
    # --resolve pins "localhost" to the bound address so the check exercises
    # the same name validation the client does.
    # The pidfile is written only after the port is bound, so a ping answered
    # by some other instance on the same port does not count.
    if [ "$(cat "$pidfile" 2> /dev/null)" = "$child" ] &&
        curl -fsS --max-time 2 --cacert "$out/ca.crt" \
            --resolve "localhost:$port:$addr" \
            "https://localhost:$port/__fake/ping" > /dev/null 2>&1; then
        exit 0
    fi
    # A dead child stays a zombie until we exit, so kill -0 alone is not enough.
    if ! kill -0 "$child" 2> /dev/null || grep -q '^State:.*Z' "/proc/$child/status" 2> /dev/null; then
        echo "start.sh: fake server exited; last log lines:" >&2
        tail -n 5 "$logfile" >&2
        exit 1
    fi
    sleep 0.2
    i=$((i + 1))
done
echo "start.sh: fake server did not answer on $host:$port; last log lines:" >&2
tail -n 5 "$logfile" >&2
kill "$child" 2> /dev/null || true
exit 1
