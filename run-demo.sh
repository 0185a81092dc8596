#!/usr/bin/env bash
# Builds the program for the local support server, starts that server with a test certificate, and
# runs the program under Wine. With a display it stays up until you close the window; without one
# it runs on a private Xvfb display, saves a screenshot to build/demo/screenshot.png and closes.
set -uo pipefail
source "$(dirname "$0")/tools/common.sh"

install_packages || exit 1
out="$top/build/demo"
mkdir -p "$out"
echo "== building for localhost"
build "$out" localhost || exit 1

run="$out/run"
mkdir -p "$run"
trap 'stop_everything "$run"' EXIT
start_fake_server "$run" || exit 1
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
