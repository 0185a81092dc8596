#!/bin/sh
# Usage: trust_ca.sh install OUTDIR | trust_ca.sh remove
# Puts the test CA from make_certs.sh into (or takes it out of) the system
# trust store. Wine's crypt32 builds its root store from the host bundle,
# so this is what lets WinHTTP validate the fake server normally.
# Needs root. Safe to repeat; silent unless something fails.
set -eu

dest=/usr/local/share/ca-certificates/halvoren-test-ca.crt
# update-ca-certificates names the /etc/ssl/certs link after the file.
link=/etc/ssl/certs/halvoren-test-ca.pem

quiet() {
    log=$(mktemp)
    if ! "$@" > "$log" 2>&1; then
        cat "$log" >&2
        rm -f "$log"
        echo "trust_ca.sh: failed: $*" >&2
        exit 1
    fi
    rm -f "$log"
}

case "${1:-}" in
install)
    if [ $# -ne 2 ]; then
        echo "usage: $0 install OUTDIR" >&2
        exit 2
    fi
    src=$2/ca.crt
    if [ ! -f "$src" ]; then
        echo "trust_ca.sh: $src not found (run make_certs.sh first)" >&2
        exit 1
    fi
    # Skip the slow rebuild when this exact CA is already trusted.
    if cmp -s "$src" "$dest" && [ -e "$link" ]; then
        exit 0
    fi
    mkdir -p "$(dirname "$dest")"
    cp "$src" "$dest.tmp"
    chmod 644 "$dest.tmp"
    mv -f "$dest.tmp" "$dest"
    # A previous CA with the same name may still be in the bundle; --fresh
    # rebuilds it from scratch so only the new one remains.
    quiet update-ca-certificates --fresh
    ;;
remove)
    if [ $# -ne 1 ]; then
        echo "usage: $0 remove" >&2
        exit 2
    fi
    if [ -e "$dest" ] || [ -L "$link" ]; then
        rm -f "$dest"
        quiet update-ca-certificates --fresh
    fi
    ;;
*)
    echo "usage: $0 install OUTDIR | $0 remove" >&2
    exit 2
    ;;
esac
