#!/usr/bin/env bash
# Usage: tools/benchmark.sh [BUILD_DIR]
# Benchmarks under Wine, outside the test suite: the remote frame step (screen read, the pointer drawn
# in, reduction to 640 x 360, packing; median and worst, and their share of the 350 ms fast period) on
# screens of 1280 x 720 to 3840 x 2160 showing small text, beside GDI's halftone stretch of the same screen in the
# same run, their ratio and the mean and largest per-channel difference of the two frames; the tick with
# its upload on loopback and the commands; then the chat poll that rebuilds the list against one that
# finds the text unchanged, up to the largest answer the client reads.
set -uo pipefail
out=${1:-/tmp/halvoren-benchmark}
status=0
bench() {
    HALVOREN_SCREEN=$1 "$(dirname "$0")/dev-test.sh" "$out" --run \
        wine "$out/tests/suporte_benchmarks.exe" --no-version --test-case="$2" > "$out.log" 2>&1 ||
        { echo "the benchmark \"$2\" failed on $1; see $out.log"; status=1; return; }
    grep -E "frame step median|^  per-channel|^  tick with|^  screen read|chat poll," "$out.log"
}
bench 1280x720x24 "frame step"
bench 1920x1080x24 "frame step"
bench 2560x1440x24 "frame step"
bench 3840x2160x24 "frame step"
bench 1280x800x24 "chat rebuild"
exit $status
