#!/usr/bin/env bash
# Usage: run-demo.sh [--screenshot]
# Builds the program for the local support server, starts the demo support server (support API on
# port 443 with a test certificate, technician console on a loopback port) and runs the program under
# Wine. Open the console's address in a browser to play the technician. With a display the program
# opens there and the demo lasts until its window is closed. Without one it runs on a private Xvfb
# display that noVNC serves to the browser at a second address, until Ctrl+C or until the window is
# closed. --screenshot runs it on a private display, saves build/demo/screenshot.png and closes it.
# Env: HALVOREN_CONSOLE_PORT (default 8080), HALVOREN_VNC_PORT (default 6080); HALVOREN_DEMO_BUILD and
# HALVOREN_DEMO_RUN (default build/demo and its run/) let the demo attendance test reuse its build.
set -uo pipefail
source "$(dirname "$0")/tools/common.sh"

case "${1:-}" in
    "") mode=browser; [ -n "${DISPLAY:-}" ] && mode=display ;;
    --screenshot) mode=screenshot ;;
    *) sed -n 2,10p "$0"; exit 2 ;;
esac

install_packages || exit 1
out=${HALVOREN_DEMO_BUILD:-$top/build/demo}
mkdir -p "$out"
echo "== building for localhost"
build "$out" localhost || exit 1

run=${HALVOREN_DEMO_RUN:-$out/run}
mkdir -p "$run"
# Set before anything can fail, so the clean-up's wineserver -k never reaches another prefix.
export WINEPREFIX="$run/prefix" WINEDEBUG=-all
console_port=${HALVOREN_CONSOLE_PORT:-8080}
vnc_port=${HALVOREN_VNC_PORT:-6080}
pids=()
stop_demo() {
    wineserver -k > /dev/null 2>&1
    for pid in "${pids[@]}"; do kill "$pid" 2> /dev/null && wait "$pid" 2> /dev/null; done
    stop_everything "$run"
}
trap stop_demo EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Waits until a command succeeds while the process PID lives; shows LOG when it does not.
await() {
    local pid=$1 log=$2
    shift 2
    for _ in $(seq 100); do
        "$@" > /dev/null 2>&1 && return 0
        kill -0 "$pid" 2> /dev/null || break
        sleep 0.1
    done
    echo "$(basename "$log" .log) did not start:"
    tail -20 "$log"
    return 1
}

# Fresh certificates each run; the test CA is trusted only while the run lasts.
"$top/server/make_certs.sh" "$run" > /dev/null || exit 1
"$top/server/trust_ca.sh" install "$run" || exit 1
/usr/bin/python3 "$top/server/demo_server.py" --cert "$run/server.crt" --key "$run/server.key" \
    --api-port 443 --console-port "$console_port" > "$run/demo_server.log" 2>&1 < /dev/null &
pids+=($!)
await $! "$run/demo_server.log" curl -fsS --max-time 2 --cacert "$run/ca.crt" \
    https://localhost/suporte/avulso/api/presenca || exit 1

if [ "$mode" != display ]; then
    start_display "$run" || exit 1
fi
[ -d "$WINEPREFIX/drive_c" ] || make_prefix "$WINEPREFIX"
if [ "$mode" = browser ]; then
    # x11vnc picks a free loopback port of its own and names it; websockify serves noVNC's page and
    # carries its WebSocket to that port, so one browser plays both sides.
    x11vnc -display "$DISPLAY" -localhost -noipv6 -nopw -forever -shared \
        -desktop "Halvoren Zivavoz (demonstração)" > "$run/x11vnc.log" 2>&1 < /dev/null &
    pids+=($!)
    await $! "$run/x11vnc.log" grep -q '^PORT=' "$run/x11vnc.log" || exit 1
    rfb_port=$(sed -n 's/^PORT=//p' "$run/x11vnc.log")
    # noVNC's own page, but its "Connecting..." screen goes at once, as in noVNC 1.3 (Debian 12):
    # noVNC 1.6 (Debian 13) fades it out for half a second over the remote screen already drawn, and
    # a click in that time lands on it, takes the keyboard focus from the screen and loses the keys
    # typed after it.
    web="$run/novnc"
    rm -rf "$web"
    mkdir -p "$web"
    for f in /usr/share/novnc/*; do [ "${f##*/}" = vnc.html ] || ln -s "$f" "$web/"; done
    sed 's|</head>|<style>#noVNC_transition { transition: none; }</style></head>|' /usr/share/novnc/vnc.html \
        > "$web/vnc.html"
    websockify --web "$web" "127.0.0.1:$vnc_port" "127.0.0.1:$rfb_port" \
        > "$run/websockify.log" 2>&1 < /dev/null &
    pids+=($!)
    await $! "$run/websockify.log" curl -fsS --max-time 2 "http://127.0.0.1:$vnc_port/vnc.html" || exit 1
fi

echo
echo "   Console do técnico:     http://127.0.0.1:$console_port/"
[ "$mode" = browser ] &&
    echo "   Tela do programa:       http://127.0.0.1:$vnc_port/vnc.html?autoconnect=1&resize=scale"
sed -n 's/^\[[0-9:]*\] \(Conta de demonstração: .*\)/   \1/p' "$run/demo_server.log"
echo "   Registro do servidor:   $run/demo_server.log (os códigos de cadastro aparecem ali e no console)"
echo

if [ "$mode" = display ]; then
    echo "== running the program against https://localhost"
    wine "$out/suporte.exe"
    exit $?
fi
echo "== running the program against https://localhost on the private display $DISPLAY"
wine "$out/suporte.exe" > "$run/wine.log" 2>&1 &
program=$!
if [ "$mode" = browser ]; then
    echo "== until its window is closed or Ctrl+C"
    wait "$program"
    exit $?
fi
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
