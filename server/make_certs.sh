#!/bin/sh
# Usage: make_certs.sh OUTDIR
# Makes a throwaway test CA and a localhost server certificate signed by it:
#   OUTDIR/ca.key OUTDIR/ca.crt OUTDIR/server.key OUTDIR/server.crt
# and, with the same server key, four certificates a client must refuse:
#   OUTDIR/other.crt (signed by the CA, for the host other.example only)
#   OUTDIR/selfsigned.crt (localhost, signed by nobody but itself)
#   OUTDIR/expired.crt (localhost, signed by the CA, ended two hours ago)
#   OUTDIR/future.crt (localhost, signed by the CA, valid only from tomorrow on)
# OUTDIR must be a build/temp directory; keys never belong in the repo.
# Everything is regenerated on each call so no test ever reuses an old key.
set -eu

if [ $# -ne 1 ] || [ -z "$1" ]; then
    echo "usage: $0 OUTDIR" >&2
    exit 2
fi
out=$1
mkdir -p "$out"
out=$(cd "$out" && pwd)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

# openssl ca is used instead of "x509 -req" because OpenSSL 3.0 cannot
# backdate notBefore otherwise; the day of slack covers clock skew between
# this machine and whatever validates the chain.
start=$(date -u -d '1 day ago' +%y%m%d%H%M%SZ)
# The expired certificate lies within the CA's validity, so it fails only for its own end.
old_end=$(date -u -d '2 hours ago' +%y%m%d%H%M%SZ)
ca_end=$(date -u -d '31 days' +%y%m%d%H%M%SZ)
srv_end=$(date -u -d '30 days' +%y%m%d%H%M%SZ)
# Not valid yet, as every certificate looks to a computer whose clock is behind.
later_start=$(date -u -d '1 day' +%y%m%d%H%M%SZ)

mkdir "$work/newcerts"
: > "$work/index.txt"
cat > "$work/openssl.cnf" <<CNF
[ ca ]
default_ca = test_ca

[ test_ca ]
dir = $work
database = $work/index.txt
new_certs_dir = $work/newcerts
serial = $work/serial
default_md = sha256
policy = policy_cn
unique_subject = no
copy_extensions = none
email_in_dn = no

[ policy_cn ]
commonName = supplied

[ req ]
distinguished_name = req_dn
prompt = no
default_md = sha256

[ req_dn ]
CN = unused

[ ext_ca ]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign, digitalSignature
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid:always

[ ext_server ]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = DNS:localhost, IP:127.0.0.1
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid, issuer

[ ext_other ]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = DNS:other.example
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid, issuer

[ ext_self ]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature, keyEncipherment, keyCertSign
extendedKeyUsage = serverAuth
subjectAltName = DNS:localhost, IP:127.0.0.1
subjectKeyIdentifier = hash
CNF

run() {
    # Quiet on success, show what openssl said on failure.
    if ! "$@" > "$work/cmd.log" 2>&1; then
        cat "$work/cmd.log" >&2
        echo "make_certs.sh: failed: $*" >&2
        exit 1
    fi
}

cnf=$work/openssl.cnf
old_umask=$(umask)
umask 077
run openssl genrsa -out "$work/ca.key" 2048
run openssl genrsa -out "$work/server.key" 2048
umask "$old_umask"

run openssl req -new -config "$cnf" -key "$work/ca.key" \
    -subj "/CN=Halvoren Test CA" -out "$work/ca.csr"
run openssl ca -batch -config "$cnf" -selfsign -keyfile "$work/ca.key" \
    -in "$work/ca.csr" -out "$work/ca.crt" -notext -rand_serial \
    -startdate "$start" -enddate "$ca_end" -extensions ext_ca

run openssl req -new -config "$cnf" -key "$work/server.key" \
    -subj "/CN=localhost" -out "$work/server.csr"
run openssl ca -batch -config "$cnf" -cert "$work/ca.crt" -keyfile "$work/ca.key" \
    -in "$work/server.csr" -out "$work/server.crt" -notext -rand_serial \
    -startdate "$start" -enddate "$srv_end" -extensions ext_server

run openssl verify -CAfile "$work/ca.crt" -purpose sslserver "$work/server.crt"

run openssl req -new -config "$cnf" -key "$work/server.key" \
    -subj "/CN=other.example" -out "$work/other.csr"
run openssl ca -batch -config "$cnf" -cert "$work/ca.crt" -keyfile "$work/ca.key" \
    -in "$work/other.csr" -out "$work/other.crt" -notext -rand_serial \
    -startdate "$start" -enddate "$srv_end" -extensions ext_other
run openssl ca -batch -config "$cnf" -cert "$work/ca.crt" -keyfile "$work/ca.key" \
    -in "$work/server.csr" -out "$work/expired.crt" -notext -rand_serial \
    -startdate "$start" -enddate "$old_end" -extensions ext_server
run openssl ca -batch -config "$cnf" -cert "$work/ca.crt" -keyfile "$work/ca.key" \
    -in "$work/server.csr" -out "$work/future.crt" -notext -rand_serial \
    -startdate "$later_start" -enddate "$srv_end" -extensions ext_server
run openssl req -new -x509 -config "$cnf" -key "$work/server.key" -subj "/CN=localhost" \
    -days 30 -extensions ext_self -out "$work/selfsigned.crt"

# Install atomically-ish: keys stay 0600, certs are world readable.
for f in ca.key server.key; do
    cp "$work/$f" "$out/$f.tmp" && chmod 600 "$out/$f.tmp" && mv -f "$out/$f.tmp" "$out/$f"
done
for f in ca.crt server.crt other.crt selfsigned.crt expired.crt future.crt; do
    cp "$work/$f" "$out/$f.tmp" && chmod 644 "$out/$f.tmp" && mv -f "$out/$f.tmp" "$out/$f"
done
