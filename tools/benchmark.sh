#!/usr/bin/env bash
# Usage: tools/benchmark.sh [BUILD_DIR]
# The remote frame step under Wine on a 1280 x 720 and a 1920 x 1080 screen: the median and worst of
# the whole step and of its parts (screen read with halftone stretch, upload and answer on loopback,
# commands), and the step's share of the 350 ms fast period.
set -uo pipefail
out=${1:-/tmp/halvoren-benchmark}
status=0
for screen in 1280x720x24 1920x1080x24; do
    rm -f "$out/run/review/remote-timing.txt"
    HALVOREN_SCREEN=$screen "$(dirname "$0")/dev-test.sh" "$out" "frame step timing" > "$out.log" 2>&1 ||
        { echo "the benchmark failed on $screen; see $out.log"; status=1; continue; }
    cat "$out/run/review/remote-timing.txt"
done
exit $status
