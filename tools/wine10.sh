#!/usr/bin/env bash
# Usage: tools/wine10.sh BUILD_DIR RUN_DIR [CTEST_REGEX] [--full]
# The Wine 10 lane: runs the CTest cases of the test build in BUILD_DIR whose names match CTEST_REGEX
# (default '^dpi: ') under Wine 10 at each display scale, on its own 1920x1080 Xvfb screen, with a
# fresh prefix per scale (LogPixels 96, 120, 144, 192, or those in HALVOREN_DPIS). Each scale runs
# with HALVOREN_DPI=<dpi> and HALVOREN_REVIEW=Z:RUN_DIR/review-<dpi>. With --full the whole suite runs
# at 96 DPI instead of the selection. The fake server of RUN_DIR (its ca.crt) must be up on port 443.
# Screens the 144-DPI run leaves as scaled-*.bmp go to $HALVOREN_SHOTS/150/*.png when that is set.
# Wine 8 does not scale like Windows, so on a host whose Wine is older than 10 the lane runs Wine 10 in
# a Debian 13 root made once per machine (tools/common.sh wine10_root), through a private mount
# namespace and an overlay: the cached root itself is never changed by a run.
set -uo pipefail
[ $# -ge 2 ] || { sed -n 2,11p "$0"; exit 2; }
source "$(dirname "$0")/common.sh"
build_dir=$(cd "$1" && pwd)
run=$(cd "$2" && pwd)
shift 2
regex='^dpi: '
full=
for a in "$@"; do
    case "$a" in
    --full) full=1 ;;
    *) regex=$a ;;
    esac
done

if ! host_wine_is_10 && [ -z "${HALVOREN_WINE10_NS:-}" ]; then
    wine10_root || { echo "no Debian 13 root with Wine 10" >&2; exit 1; }
    # Mounts made in a namespace of our own vanish with it, whatever way the run ends.
    exec env HALVOREN_WINE10_NS=1 unshare -m --propagation private "$0" "$build_dir" "$run" "$regex" \
        ${full:+--full}
fi

lane="$run/wine10"
mkdir -p "$lane"
cleanup() {
    wineserver -k > /dev/null 2>&1
    [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2> /dev/null
    [ -n "${HALVOREN_WINE10_NS:-}" ] && leave_wine10_root "$lane"
}
trap cleanup EXIT
if [ -n "${HALVOREN_WINE10_NS:-}" ]; then
    enter_wine10_root "$lane" "$run" "$build_dir" || exit 1
    export PATH="$lane/bin:$PATH"
fi
# CTest finds its emulator `wine` through PATH: make sure it is this lane's.
echo "Wine of the lane: $(command -v wine), $(wine --version 2> /dev/null)"
case "$(wine --version 2> /dev/null)" in wine-[1-9][0-9].*) ;; *) echo "that is not Wine 10" >&2; exit 1 ;; esac

HALVOREN_SCREEN=1920x1080x24 start_display "$lane" || exit 1
unset HALVOREN_SHOTS_TAKEN
status=0
dpis=${HALVOREN_DPIS:-96 120 144 192}
# With --full the whole suite runs at 96 DPI, last, in place of the selection there.
if [ -n "$full" ]; then
    dpis="$(echo " $dpis " | sed 's/ 96 / /') 96"
fi
for dpi in $dpis; do
    make_prefix "$lane/prefix-$dpi"
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f > /dev/null 2>&1
    wineserver -w
    review="$run/review-$dpi"
    rm -rf "$review"
    mkdir -p "$review"
    start_wine "$build_dir" "$lane"
    selection=(-R "$regex")
    [ -n "$full" ] && [ "$dpi" = 96 ] && selection=()
    echo "-- Wine 10 at $dpi DPI: ${selection[1]:-the whole suite}"
    (cd "$build_dir" && HALVOREN_DPI=$dpi HALVOREN_REVIEW="Z:$review" \
        ctest --output-on-failure --timeout 120 --no-tests=error "${selection[@]}") || status=1
    wineserver -k > /dev/null 2>&1
    # A prefix takes about 800 MB; the review folder keeps what the scale showed.
    rm -rf "$lane/prefix-$dpi"
    if [ "$dpi" = 144 ] && [ -n "${HALVOREN_SHOTS:-}" ]; then
        for bmp in "$review"/scaled-*.bmp; do
            [ -f "$bmp" ] || continue
            name=$(basename "$bmp" .bmp)
            mkdir -p "$HALVOREN_SHOTS/150"
            convert "$bmp" -alpha off "$HALVOREN_SHOTS/150/${name#scaled-}.png"
        done
    fi
done
exit $status
