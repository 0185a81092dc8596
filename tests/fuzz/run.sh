#!/usr/bin/env bash
# Usage: tests/fuzz/run.sh OUT [SECONDS]
# The readers of the server's answers under AddressSanitizer and UndefinedBehaviorSanitizer, built with
# clang in OUT: the native tables of tests/native, then every input of the corpus (tests/fuzz/corpus)
# through the fuzz target, then, with SECONDS, that many seconds of fuzzing from the corpus. Inputs the
# fuzzing finds new go to OUT/corpus, not to the checkout (merge them in with `readers_fuzz -merge=1
# tests/fuzz/corpus OUT/corpus`). Exit code 0 only when nothing was found; a finding is left in OUT
# as crash-*, leak-*, timeout-* or oom-*, with its stack above.
set -uo pipefail
[ $# -ge 1 ] || { sed -n 2,8p "$0"; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
out=$(mkdir -p "$1" && cd "$1" && pwd)
seconds=${2:-0}
command -v clang++ > /dev/null || { echo "clang++ is missing (Debian's clang and libclang-rt-dev)" >&2; exit 1; }
cmake -S "$here" -B "$out" -DCMAKE_CXX_COMPILER=clang++ > "$out.configure.log" 2>&1 ||
    { cat "$out.configure.log"; exit 1; }
cmake --build "$out" -j"$(nproc)" > "$out.build.log" 2>&1 || { tail -40 "$out.build.log"; exit 1; }
if grep -i 'warning:' "$out.build.log"; then exit 1; fi
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
echo "-- the native tables under both sanitizers"
"$out/native/native_tests" --no-version || exit 1
rm -f "$out"/crash-* "$out"/leak-* "$out"/timeout-* "$out"/oom-*
mkdir -p "$out/corpus"
# Every file whole, the long ones too (a run from a folder would cut them at its length limit).
echo "-- the corpus, $(ls "$here/corpus" | wc -l) inputs, through the fuzz target"
"$out/readers_fuzz" -artifact_prefix="$out/" -timeout=10 "$here"/corpus/* > "$out/replay.log" 2>&1 ||
    { grep -v '^Running: \|^Executed ' "$out/replay.log" | tail -60; exit 1; }
[ "$seconds" -gt 0 ] || exit 0
echo "-- $seconds s of fuzzing"
# Inputs up to 8 KB: the readers' bounds (the 4096-byte member list, the 24,600-byte chat form, 110-unit
# rows) lie within it, and longer ones only slow each run.
"$out/readers_fuzz" -artifact_prefix="$out/" -timeout=10 -max_len=8192 -max_total_time="$seconds" \
    -print_final_stats=1 "$out/corpus" "$here/corpus" > "$out/fuzz.log" 2>&1
status=$?
grep -E '^#[0-9]+.*(INITED|DONE)|^stat::(number_of_executed_units|average_exec_per_sec|new_units_added)' \
    "$out/fuzz.log"
if [ $status -ne 0 ]; then
    grep -v '^#' "$out/fuzz.log" | tail -60
    echo "a finding: fix it, add a native table row that catches it, and add the input to tests/fuzz/corpus"
    exit 1
fi
