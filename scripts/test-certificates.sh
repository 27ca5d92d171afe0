#!/usr/bin/env bash
# Makes the throwaway certificates of the HTTPS tests in FOLDER with openssl: two self-signed
# authorities, "ca" (the tests' own, also as ca.der for Windows' certificate store) and "other" (one
# that nobody trusts), and for each a server certificate for localhost, "trusted" (from ca) and
# "stranger" (from other), with their keys. Usage: test-certificates.sh FOLDER
set -euo pipefail
certs=$1
rm -rf "$certs" && mkdir -p "$certs"

# authority NAME: a self-signed authority NAME.pem with its key NAME.key.
authority() {
  openssl req -x509 -newkey rsa:2048 -nodes -days 825 -subj "/CN=Velacorte teste $1" \
    -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign \
    -keyout "$certs/$1.key" -out "$certs/$1.pem" 2>/dev/null
}

# server NAME AUTHORITY: a certificate NAME.pem for localhost, with its key, signed by AUTHORITY.
server() {
  openssl req -newkey rsa:2048 -nodes -subj /CN=localhost -keyout "$certs/$1.key" -out "$certs/$1.csr" 2>/dev/null
  openssl x509 -req -days 825 -in "$certs/$1.csr" -CA "$certs/$2.pem" -CAkey "$certs/$2.key" -CAcreateserial \
    -extfile <(printf 'subjectAltName=DNS:localhost\nbasicConstraints=CA:FALSE\nkeyUsage=digitalSignature,keyEncipherment\nextendedKeyUsage=serverAuth\n') \
    -out "$certs/$1.pem" 2>/dev/null
}

authority ca
authority other
server trusted ca
server stranger other
openssl x509 -in "$certs/ca.pem" -outform DER -out "$certs/ca.der"
