#!/usr/bin/env bash
# Builds the program for the local support server, starts the demo support server (support API on
# port 443 with a test certificate, technician console on a loopback port) and runs the program under
# Wine. Open the console's address in a browser to play the technician. With a display the program
# stays up until you close its window; without one it runs on a private Xvfb display, saves a
# screenshot to build/demo/screenshot.png and closes.
# Env: HALVOREN_CONSOLE_PORT (default 8080).
set -uo pipefail
source "$(dirname "$0")/tools/common.sh"

install_packages || exit 1
out="$top/build/demo"
mkdir -p "$out"
echo "== building for localhost"
build "$out" localhost || exit 1

run="$out/run"
mkdir -p "$run"
console_port=${HALVOREN_CONSOLE_PORT:-8080}
demo_pid=""
stop_demo() {
    [ -n "$demo_pid" ] && kill "$demo_pid" 2> /dev/null && wait "$demo_pid" 2> /dev/null
    stop_everything "$run"
}
trap stop_demo EXIT

# Fresh certificates each run; the test CA is trusted only while the run lasts.
"$top/server/make_certs.sh" "$run" > /dev/null || exit 1
"$top/server/trust_ca.sh" install "$run" || exit 1
rm -f "$run/ports.json"
/usr/bin/python3 "$top/server/demo_server.py" --cert "$run/server.crt" --key "$run/server.key" \
    --api-port 443 --console-port "$console_port" --portfile "$run/ports.json" \
    > "$run/demo_server.log" 2>&1 < /dev/null &
demo_pid=$!
for _ in $(seq 50); do
    [ -f "$run/ports.json" ] && curl -fsS --max-time 2 --cacert "$run/ca.crt" \
        https://localhost/suporte/avulso/api/presenca > /dev/null 2>&1 && break
    if ! kill -0 "$demo_pid" 2> /dev/null; then
        echo "the demo server did not start:"
        cat "$run/demo_server.log"
        exit 1
    fi
    sleep 0.2
done
echo
echo "   Console do técnico:     http://127.0.0.1:$console_port/"
sed -n 's/^\[[0-9:]*\] \(Conta de demonstração: .*\)/   \1/p' "$run/demo_server.log"
echo "   Registro do servidor:   $run/demo_server.log (os códigos de cadastro aparecem ali e no console)"
echo

headless=0
if [ -z "${DISPLAY:-}" ]; then
    headless=1
    start_display "$run" || exit 1
fi
[ -d "$run/prefix" ] || make_prefix "$run/prefix"
export WINEPREFIX="$run/prefix" WINEDEBUG=-all

echo "== running the program against https://localhost"
if [ $headless -eq 0 ]; then
    wine "$out/suporte.exe"
    exit $?
fi
wine "$out/suporte.exe" > "$run/wine.log" 2>&1 &
program=$!
for _ in $(seq 100); do
    id=$(xdotool search --onlyvisible --name '^Halvoren Rezovi v48 - Teste$' 2> /dev/null | head -n 1)
    [ -n "$id" ] && break
    sleep 0.2
done
[ -n "${id:-}" ] || { echo "the window did not appear"; exit 1; }
sleep 3
eval "$(xdotool getwindowgeometry --shell "$id")"
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out/screenshot.png"
echo "screenshot: $out/screenshot.png"
xdotool key alt+F4
for _ in $(seq 50); do kill -0 "$program" 2> /dev/null || break; sleep 0.2; done
wait "$program"
