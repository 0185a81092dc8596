#!/usr/bin/env bash
# Usage: tests/demo_e2e.sh BUILD_DIR RUN_DIR
# The whole attendance against the demo server, started as a newcomer starts it on a machine without
# a display: tests/e2e/attendance.js runs ./run-demo.sh with the client built for localhost in
# BUILD_DIR, signs the client in through the noVNC page it prints and plays the technician in the
# console, both in headless Chromium. Everything runs in a private network namespace, so the demo owns
# ports 443, 8080 and 6080 of its own loopback and nothing else on the machine is touched.
# Screenshots go to build/screenshots/demo/ (or $HALVOREN_SHOTS/demo).
set -uo pipefail
[ $# -eq 2 ] || { sed -n 2,8p "$0"; exit 2; }
source "$(dirname "$0")/../tools/common.sh"
if [ -z "${HALVOREN_E2E_NETNS:-}" ]; then
    # Packages and npm need the network, so they come before the namespace.
    install_packages || exit 1
    npm_install "$top/tests/e2e" || exit 1
    exec env HALVOREN_E2E_NETNS=1 unshare -n "$0" "$@"
fi
ip link set lo up
# As on a machine without a display, where run-demo.sh serves its private one through noVNC.
unset DISPLAY
started=$(date +%s)
mkdir -p "$1" && build "$1" localhost || exit 1
out=$(cd "$1" && pwd)
mkdir -p "$2"
run=$(cd "$2" && pwd)

export WINEPREFIX="$run/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# run-demo.sh cleans up after itself; this is for when it was killed.
trap 'wineserver -k > /dev/null 2>&1; "$top/server/trust_ca.sh" remove "$run" > /dev/null 2>&1' EXIT
# The prefix run-demo.sh will use, made here so that the checkout link is recorded instead of opening
# a browser.
[ -d "$WINEPREFIX/drive_c" ] || make_prefix "$WINEPREFIX"
probe_exe="Z:$(echo "$out/tests/probe.exe" | tr / '\\')"
wine reg add 'HKCR\https\shell\open\command' /ve /d "\"$probe_exe\" record \"%1\"" /f > /dev/null 2>&1 ||
    wine reg add 'HKCR\https\shell\open\command' /ve /d "\"$probe_exe\" record \"%1\"" /f > /dev/null 2>&1

shots="${HALVOREN_SHOTS:-$top/build/screenshots}/demo"
rm -rf "$shots"
mkdir -p "$shots"
HALVOREN_BUILD="$out" HALVOREN_RUN="$run" HALVOREN_SHOTS="$shots" timeout 300 node "$top/tests/e2e/attendance.js"
status=$?
echo "== demo attendance: $([ $status -eq 0 ] && echo passed || echo FAILED) in $(( $(date +%s) - started )) s"
[ $status -eq 0 ] || { echo "-- run-demo.sh:"; tail -30 "$run/run-demo.log"; echo "-- demo server log:"; tail -30 "$run/demo_server.log"; }
exit $status
