#!/bin/sh
# Runs a test program under Wine. Rarely a wine start exits 1 having printed nothing at all, before the
# program ran (seen about once in a thousand starts): that start alone is made again, once. A program
# that ran and failed always prints doctest's summary, so its failure is never retried.
log=$(mktemp)
wine "$@" > "$log" 2>&1
status=$?
if [ $status -ne 0 ] && [ ! -s "$log" ]; then
    wine "$@" > "$log" 2>&1
    status=$?
fi
cat "$log"
rm -f "$log"
exit $status
