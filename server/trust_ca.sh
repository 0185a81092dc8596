#!/bin/sh
# Usage: trust_ca.sh install OUTDIR | trust_ca.sh remove [OUTDIR]
# Puts the test CA from make_certs.sh into (or takes it out of) the system
# trust store. Wine's crypt32 builds its root store from the host bundle,
# so this is what lets WinHTTP validate the fake server normally.
# Each CA gets a file named after its fingerprint, so runs side by side (in
# separate network namespaces) keep each other's CA; remove without OUTDIR
# takes out every test CA. Needs root. Safe to repeat; silent unless
# something fails.
set -eu

store=/usr/local/share/ca-certificates

quiet() {
    log=$(mktemp)
    # One rebuild of the bundle at a time.
    if ! flock /tmp/halvoren-trust.lock "$@" > "$log" 2>&1; then
        cat "$log" >&2
        rm -f "$log"
        echo "trust_ca.sh: failed: $*" >&2
        exit 1
    fi
    rm -f "$log"
}

name_of() {
    echo "halvoren-test-ca-$(sha256sum "$1" | cut -c1-16)"
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
    name=$(name_of "$src")
    # Skip the slow rebuild when this exact CA is already trusted.
    # update-ca-certificates names the /etc/ssl/certs link after the file.
    if [ -e "$store/$name.crt" ] && [ -e "/etc/ssl/certs/$name.pem" ]; then
        exit 0
    fi
    mkdir -p "$store"
    cp "$src" "$store/$name.crt.tmp"
    chmod 644 "$store/$name.crt.tmp"
    mv -f "$store/$name.crt.tmp" "$store/$name.crt"
    quiet update-ca-certificates
    ;;
remove)
    if [ $# -gt 2 ]; then
        echo "usage: $0 remove [OUTDIR]" >&2
        exit 2
    fi
    if [ $# -eq 2 ]; then
        [ -f "$2/ca.crt" ] || exit 0
        files=$store/$(name_of "$2/ca.crt").crt
    else
        files=$(ls "$store"/halvoren-test-ca*.crt 2> /dev/null || true)
    fi
    found=0
    for f in $files; do
        if [ -e "$f" ]; then
            rm -f "$f"
            found=1
        fi
    done
    # --fresh drops the removed CA's link and bundle entry.
    [ $found -eq 0 ] || quiet update-ca-certificates --fresh
    ;;
*)
    echo "usage: $0 install OUTDIR | $0 remove [OUTDIR]" >&2
    exit 2
    ;;
esac
