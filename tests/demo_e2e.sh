#!/usr/bin/env bash
# Usage: tests/demo_e2e.sh BUILD_DIR RUN_DIR
# The whole attendance against the demo server: the client built for localhost in BUILD_DIR runs under
# Wine while headless Chromium plays the technician in the console (tests/e2e/attendance.js).
# Everything runs in a private network namespace, so the demo server owns port 443 of its own loopback
# and nothing else on the machine is touched. Screenshots go to build/screenshots/demo/ (or
# $HALVOREN_SHOTS/demo).
set -uo pipefail
[ $# -eq 2 ] || { sed -n 2,6p "$0"; exit 2; }
source "$(dirname "$0")/../tools/common.sh"
if [ -z "${HALVOREN_E2E_NETNS:-}" ]; then
    # Packages and npm need the network, so they come before the namespace.
    install_packages || exit 1
    npm_install "$top/tests/e2e" || exit 1
    exec env HALVOREN_E2E_NETNS=1 unshare -n "$0" "$@"
fi
ip link set lo up
started=$(date +%s)
mkdir -p "$1" && build "$1" localhost || exit 1
out=$(cd "$1" && pwd)
mkdir -p "$2"
run=$(cd "$2" && pwd)

demo_pid=""
cleanup() {
    [ -n "${WINEPREFIX:-}" ] && wineserver -k > /dev/null 2>&1
    [ -n "$demo_pid" ] && kill "$demo_pid" 2> /dev/null && wait "$demo_pid" 2> /dev/null
    "$top/server/trust_ca.sh" remove "$run" > /dev/null 2>&1
    [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2> /dev/null
    return 0
}
trap cleanup EXIT

"$top/server/make_certs.sh" "$run" > /dev/null || exit 1
"$top/server/trust_ca.sh" install "$run" || exit 1
rm -f "$run/ports.json"
/usr/bin/python3 "$top/server/demo_server.py" --cert "$run/server.crt" --key "$run/server.key" \
    --api-port 443 --console-port 0 --portfile "$run/ports.json" > "$run/demo_server.log" 2>&1 < /dev/null &
demo_pid=$!
for _ in $(seq 100); do
    [ -f "$run/ports.json" ] && break
    kill -0 "$demo_pid" 2> /dev/null || { echo "the demo server did not start:"; cat "$run/demo_server.log"; exit 1; }
    sleep 0.1
done
[ -f "$run/ports.json" ] || { echo "the demo server did not start"; exit 1; }

start_display "$run" || exit 1
export WINEPREFIX="$run/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
[ -d "$WINEPREFIX/drive_c" ] || make_prefix "$WINEPREFIX"
# The checkout link is recorded instead of opening a browser.
probe_exe="Z:$(echo "$out/tests/probe.exe" | tr / '\\')"
wine reg add 'HKCR\https\shell\open\command' /ve /d "\"$probe_exe\" record \"%1\"" /f > /dev/null 2>&1 ||
    wine reg add 'HKCR\https\shell\open\command' /ve /d "\"$probe_exe\" record \"%1\"" /f > /dev/null 2>&1
wineserver -p
# The first window also starts Wine's desktop process; start it here so the first test step is quick.
wine "$out/tests/suporte_tests.exe" --no-version --test-case="the brushes have their colours" \
    > "$run/warm-up.log" 2>&1

shots="${HALVOREN_SHOTS:-$top/build/screenshots}/demo"
rm -rf "$shots"
mkdir -p "$shots"
HALVOREN_BUILD="$out" HALVOREN_RUN="$run" HALVOREN_SHOTS="$shots" \
    timeout 300 node "$top/tests/e2e/attendance.js"
status=$?
echo "== demo attendance: $([ $status -eq 0 ] && echo passed || echo FAILED) in $(( $(date +%s) - started )) s"
[ $status -eq 0 ] || { echo "-- demo server log:"; tail -30 "$run/demo_server.log"; }
exit $status
