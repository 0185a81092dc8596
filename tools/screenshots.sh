#!/usr/bin/env bash
# Usage: tools/screenshots.sh
# Copies the screens that the last ./run-tests.sh took (build/screenshots) into docs/screenshots, where
# the README shows them. A test run itself never writes into the checkout.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
from="$top/build/screenshots"
[ -f "$from/atendimento.png" ] || { echo "no screens in $from: run ./run-tests.sh first" >&2; exit 1; }
rm -rf "$top/docs/screenshots"
mkdir -p "$top/docs/screenshots"
cp -r "$from"/. "$top/docs/screenshots/"
echo "docs/screenshots now holds the screens of the last test run"
