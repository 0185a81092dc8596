#!/usr/bin/env bash
# Usage: tools/two-screens.sh BUILD_DIR [CTEST_REGEX]
# Runs the CTest cases matching CTEST_REGEX (default: the remote session's monitor case) on an X server
# with two monitors side by side: 1280x800, the primary, and 1024x768 to its right. Wine takes its
# monitors from RandR's outputs, and Xvfb has one (its Xinerama screens all stand at 0, 0), so this is
# Xorg's dummy driver with two outputs (Debian packages xserver-xorg-core, xserver-xorg-video-dummy).
# Otherwise as tools/dev-test.sh: its own network namespace, fake server and Wine prefix, kept in
# BUILD_DIR/run-two-screens; the screens the cases leave are in its review folder.
set -uo pipefail
[ $# -ge 1 ] || { sed -n 2,8p "$0"; exit 2; }
source "$(dirname "$0")/common.sh"
if [ -z "${HALVOREN_NETNS:-}" ]; then
    # Packages need the network, so they come before the namespace.
    install_packages || exit 1
    exec env HALVOREN_NETNS=1 unshare -n "$0" "$@"
fi
ip link set lo up
out=$(mkdir -p "$1" && cd "$1" && pwd)
regex=${2:-monitor}
build "$out" localhost || exit 1
serve_in_namespace "$out/run-two-screens" || exit 1
mkdir -p "$run/review"

# The dummy driver offers sixteen outputs, the first connected; the second is given a mode beside it.
cat > "$run/xorg.conf" << 'EOF'
Section "ServerFlags"
    Option "AutoAddDevices" "false"
    Option "DontVTSwitch" "true"
EndSection
Section "Device"
    Identifier "card"
    Driver "dummy"
    VideoRam 256000
EndSection
Section "Monitor"
    Identifier "monitor"
    HorizSync 5.0 - 1000.0
    VertRefresh 5.0 - 200.0
    Modeline "1280x800" 83.46 1280 1344 1480 1680 800 801 804 828
    Modeline "1024x768" 65.00 1024 1048 1184 1344 768 771 777 806
EndSection
Section "Screen"
    Identifier "screen"
    Device "card"
    Monitor "monitor"
    DefaultDepth 24
    SubSection "Display"
        Depth 24
        Modes "1280x800"
        Virtual 2304 800
    EndSubSection
EndSection
EOF
n=97
while [ -e /tmp/.X$n-lock ] || [ -e /tmp/.X11-unix/X$n ]; do n=$((n + 1)); done
Xorg ":$n" -config "$run/xorg.conf" -noreset -nolisten tcp -logfile "$run/xorg.log" > /dev/null 2>&1 &
xorg_pid=$!
export DISPLAY=":$n"
for _ in $(seq 100); do xdpyinfo > /dev/null 2>&1 && break; sleep 0.1; done
xrandr --fb 2304x800 && xrandr --addmode DUMMY1 1024x768 &&
    xrandr --output DUMMY1 --mode 1024x768 --right-of DUMMY0 || { echo "no second monitor" >&2; exit 1; }
xrandr --listmonitors

export WINEPREFIX="$run/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
[ -d "$WINEPREFIX/drive_c" ] || make_prefix "$WINEPREFIX"
start_wine "$out" "$run"
export HALVOREN_CERTS="$run" HALVOREN_BUILD="$out" HALVOREN_REVIEW="Z:$run/review"
cd "$out" && ctest --output-on-failure --timeout 120 --no-tests=error -R "$regex"
