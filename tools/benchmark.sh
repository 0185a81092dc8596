#!/usr/bin/env bash
# Usage: tools/benchmark.sh [BUILD_DIR]
# Benchmarks under Wine, outside the test suite: the remote frame step on a 1280 x 720 and a 1920 x 1080
# screen (median and worst of the whole step and of its parts: screen read with halftone stretch,
# upload and answer on loopback, commands; and the step's share of the 350 ms fast period), then the
# chat poll that rebuilds the list against one that finds the text unchanged.
set -uo pipefail
out=${1:-/tmp/halvoren-benchmark}
status=0
bench() {
    HALVOREN_SCREEN=$1 "$(dirname "$0")/dev-test.sh" "$out" --run \
        wine "$out/tests/suporte_benchmarks.exe" --no-version --test-case="$2" > "$out.log" 2>&1 ||
        { echo "the benchmark \"$2\" failed on $1; see $out.log"; status=1; return; }
    grep -E "frame step median|chat poll," "$out.log"
}
bench 1280x720x24 "frame step"
bench 1920x1080x24 "frame step"
bench 1280x800x24 "chat rebuild"
exit $status
