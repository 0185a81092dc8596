#!/usr/bin/env bash
# Usage: tools/screenshots.sh
# Copies the screens that the last ./run-tests.sh took (build/screenshots) into docs/screenshots, where
# the README shows them, with the Wine 10 lane's screens at 150 % in docs/screenshots/150. A test run
# itself never writes into the checkout.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
from="$top/build/screenshots"
[ -f "$from/atendimento.png" ] || { echo "no screens in $from: run ./run-tests.sh first" >&2; exit 1; }
rm -rf "$top/docs/screenshots"
mkdir -p "$top/docs/screenshots"
cp -r "$from"/. "$top/docs/screenshots/"
[ -d "$from/150" ] || echo "no screens at 150 % in $from/150 (the Wine 10 lane leaves them)" >&2
echo "docs/screenshots now holds the screens of the last test run"
