#!/usr/bin/env bash
# Installs what the tests need, builds the program twice (production host and localhost), starts the
# fake support server, a display and a fresh Wine prefix, and runs every test. Exit code 0 only when
# everything passed.
set -uo pipefail
source "$(dirname "$0")/tools/common.sh"

install_packages || exit 1
out="$top/build"
mkdir -p "$out"
echo "== layers (every include points down)"
/usr/bin/python3 "$top/tools/check_layers.py" || { echo "an include points up or sideways"; exit 1; }
echo "== building"
build "$out/release" suporte.halvoren.com.br || { echo "production build failed"; exit 1; }
build "$out/test" localhost || { echo "test build failed"; exit 1; }

run="$out/test/run"
rm -rf "$run"
mkdir -p "$run"
trap 'stop_everything "$run"' EXIT
start_fake_server "$run" || exit 1
start_display "$run" || exit 1
make_prefix "$run/prefix"
start_wine "$out/test" "$run"

# The screens a run takes; tools/screenshots.sh copies them into docs/screenshots for the README.
shots="$out/screenshots"
rm -rf "$shots"
mkdir -p "$shots"
export HALVOREN_CERTS="$run" HALVOREN_BUILD="$out/test" HALVOREN_RELEASE="$out/release" HALVOREN_SHOTS="$shots"
# The drawing tests leave the screens they render here; the README shows some of them.
mkdir -p "$run/review"
export HALVOREN_REVIEW="Z:$run/review"
status=0
echo "== readers and text helpers (native, no Wine)"
build_native "$out/native" || status=1
# The same tables and a minute of fuzzing under AddressSanitizer and UndefinedBehaviorSanitizer (clang);
# pytest's tests/test_sanitized_readers.py replays the corpus in the same folder without fuzzing.
echo "== readers under AddressSanitizer and UndefinedBehaviorSanitizer (native tables, corpus, 50 s of fuzzing)"
"$top/tests/fuzz/run.sh" "$HALVOREN_BUILD/sanitized" 50 || status=1
echo "== in-process tests (CTest under Wine)"
(cd "$out/test" && ctest --output-on-failure --timeout 120) || status=1
echo "== Wine 10 lane (the dpi: cases at 96, 120, 144 and 192 DPI on a 1920x1080 screen)"
"$top/tools/wine10.sh" "$out/test" "$run" || status=1
echo "== two monitors (Xorg's dummy driver with two outputs: the remote cases that show a monitor or the bar)"
"$top/tools/two-screens.sh" "$out/test" 'monitor|pointer|frame says|bar' || status=1
echo "== end-to-end and tool tests (pytest)"
/usr/bin/python3 -m pytest -q -p no:cacheprovider "$top/tests" || status=1
echo "== demo attendance (./run-demo.sh without a display; noVNC and the console in headless Chromium)"
"$top/tests/demo_e2e.sh" "$out/test" "$out/demo-e2e" || status=1
for screen in home credits history session-chat:conversa bar frame-paused frame-protected frame-elevated; do
    [ -f "$run/review/${screen%%:*}.bmp" ] &&
        convert "$run/review/${screen%%:*}.bmp" -alpha off "$shots/${screen##*:}.png"
done
exit $status
