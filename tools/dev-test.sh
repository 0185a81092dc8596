#!/usr/bin/env bash
# Usage: tools/dev-test.sh BUILD_DIR [CTEST_REGEX] [-- PYTEST_ARGS...]
#        tools/dev-test.sh BUILD_DIR --run COMMAND...
# A developer's quick run, isolated from any other run on the machine: it enters a private network
# namespace (so its fake server owns port 443 of its own loopback), builds the test program in
# BUILD_DIR, reuses the certificates and the Wine prefix kept there, and runs the CTest cases whose
# names match CTEST_REGEX (all when empty), then pytest with PYTEST_ARGS when given.
# With --run it runs COMMAND in that same prepared environment instead (tools/benchmark.sh does).
# With HALVOREN_STOP_ON_FAILURE set, it stops at the first failing test (the mutation check uses it).
#        HALVOREN_WINE10=1 [HALVOREN_DPIS="120 144"] tools/dev-test.sh BUILD_DIR [CTEST_REGEX]
# runs the CTest selection (default '^dpi: ') in the Wine 10 lane instead (tools/wine10.sh): a 1920x1080
# screen and a fresh prefix at each display scale, 96, 120, 144 and 192 DPI unless HALVOREN_DPIS says;
# the screens each scale leaves are in BUILD_DIR/run/review-<dpi>.
set -uo pipefail
[ $# -ge 1 ] || { sed -n 2,12p "$0"; exit 2; }
if [ -z "${HALVOREN_NETNS:-}" ]; then
    exec env HALVOREN_NETNS=1 unshare -n "$0" "$@"
fi
ip link set lo up
source "$(dirname "$0")/common.sh"
out=$(mkdir -p "$1" && cd "$1" && pwd)
shift
regex=${1:-}
[ $# -gt 0 ] && shift
[ "${1:-}" = "--" ] && shift
build "$out" localhost || exit 1
serve_in_namespace "$out/run" || exit 1
if [ -n "${HALVOREN_WINE10:-}" ] && [ "$regex" != "--run" ]; then
    export HALVOREN_CERTS="$run" HALVOREN_BUILD="$out"
    "$top/tools/wine10.sh" "$out" "$run" "${regex:-^dpi: }"
    exit $?
fi
start_display "$run" || exit 1
export WINEPREFIX="$run/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
[ -d "$WINEPREFIX/drive_c" ] || make_prefix "$WINEPREFIX"
start_wine "$out" "$run"
mkdir -p "$run/review"
export HALVOREN_CERTS="$run" HALVOREN_BUILD="$out" HALVOREN_REVIEW="Z:$run/review"
if [ "$regex" = "--run" ]; then
    "$@"
    exit $?
fi
status=0
stop=${HALVOREN_STOP_ON_FAILURE:+1}
if [ -z "$regex" ]; then
    build_native "$out/native" || status=1
fi
[ -n "$stop" ] && [ $status -ne 0 ] && exit $status
(cd "$out" && ctest --output-on-failure --timeout 120 ${stop:+--stop-on-failure} ${regex:+-R "$regex"}) || status=1
if [ $# -gt 0 ] && { [ -z "$stop" ] || [ $status -eq 0 ]; }; then
    /usr/bin/python3 -m pytest -q -p no:cacheprovider ${stop:+-x} "$@" || status=1
fi
exit $status
