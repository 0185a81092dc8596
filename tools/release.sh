#!/usr/bin/env bash
# Usage: tools/release.sh [--pkcs12 FILE | --cert FILE --key FILE] [--password-file FILE]
#                         [--timestamp URL] [--ca FILE] [--out DIR]
# Builds the production program (build/release) and puts the program handed to customers into DIR
# (default build/dist/suporte.exe), Authenticode-signed with the operator's certificate and key when
# they are given (a PKCS#12 file, or a PEM certificate chain and key) and then verified. Without them
# the program is left unsigned, and the script says so.
#   --password-file FILE  the password of the PKCS#12 file or of the PEM key
#   --timestamp URL       an RFC 3161 timestamp server, so the signature stays valid after the
#                         certificate expires
#   --ca FILE             the roots the signature and the timestamp are verified against
#                         (default: the system's, /etc/ssl/certs/ca-certificates.crt)
set -uo pipefail
source "$(dirname "$0")/common.sh"

usage() { sed -n 2,12p "$0" >&2; exit 2; }
pkcs12="" cert="" key="" password="" timestamp="" ca=/etc/ssl/certs/ca-certificates.crt dist="$top/build/dist"
while [ $# -gt 0 ]; do
    [ $# -ge 2 ] || usage
    case "$1" in
        --pkcs12) pkcs12=$2 ;;
        --cert) cert=$2 ;;
        --key) key=$2 ;;
        --password-file) password=$2 ;;
        --timestamp) timestamp=$2 ;;
        --ca) ca=$2 ;;
        --out) dist=$2 ;;
        *) usage ;;
    esac
    shift 2
done
# One kind of credentials, and a PEM certificate only together with its key.
if [ -n "$pkcs12" ]; then
    [ -z "$cert$key" ] || usage
elif [ -n "$cert$key" ]; then
    [ -n "$cert" ] && [ -n "$key" ] || usage
fi

install_packages || exit 1
echo "== building the production program"
build "$top/build/release" suporte.halvoren.com.br || exit 1
mkdir -p "$dist" || exit 1
exe="$dist/suporte.exe"
rm -f "$exe"

if [ -z "$pkcs12$cert" ]; then
    cp "$top/build/release/suporte.exe" "$exe" || exit 1
    echo "== UNSIGNED: no certificate given (--pkcs12, or --cert and --key); Windows will warn"
    echo "   customers away from this program"
else
    args=(-h sha256 -n "Halvoren Zivavoz")
    if [ -n "$pkcs12" ]; then args+=(-pkcs12 "$pkcs12"); else args+=(-certs "$cert" -key "$key"); fi
    [ -n "$password" ] && args+=(-readpass "$password")
    [ -n "$timestamp" ] && args+=(-ts "$timestamp")
    echo "== signing${timestamp:+ (timestamp from $timestamp)}"
    osslsigncode sign "${args[@]}" -in "$top/build/release/suporte.exe" -out "$exe" > "$dist/sign.log" 2>&1 ||
        { cat "$dist/sign.log"; rm -f "$exe"; exit 1; }
    echo "== verifying the signature against $ca"
    # A file that does not verify is not handed out.
    osslsigncode verify -CAfile "$ca" -TSA-CAfile "$ca" -in "$exe" > "$dist/verify.log" 2>&1 ||
        { cat "$dist/verify.log"; rm -f "$exe"; exit 1; }
    grep -m1 'Subject:' "$dist/verify.log" | sed 's/^\s*Subject:/   signer:/'
    grep -E '^(Timestamp is not available|Timestamp Server Signature verification:|Signature verification:)' \
        "$dist/verify.log" | sed 's/^/   /'
    echo "== signed"
fi
echo "   $exe"
echo "   sha256 $(sha256sum "$exe" | cut -d' ' -f1)"
