#!/usr/bin/env bash
# Makes the payloads of the signature and digest tests from the setup stand-in, with tools of others:
# a throwaway code-signing certificate (openssl), the stand-in signed with it (osslsigncode), a copy with
# one byte of its code flipped after signing, their Firebird and NF-e packages (Info-ZIP), and an archive
# with its SHA-256 (coreutils).
#   sign_standins.sh STANDIN_EXE OUT_DIR
set -euo pipefail
standin=$(realpath "$1") out=$(realpath -m "$2")
work=$out.signing
rm -rf "$work" "$out/assinatura" "$out/sha256"
mkdir -p "$work" "$out/assinatura" "$out/sha256"

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Velacorte teste de assinatura" \
  -addext "extendedKeyUsage=codeSigning" -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -n "Velacorte teste" \
  -in "$standin" -out "$work/signed.exe" >/dev/null
osslsigncode verify -CAfile "$work/cert.pem" -in "$work/signed.exe" >/dev/null

# The middle of the file lies in the signed code, far from the signature at its end.
cp "$work/signed.exe" "$work/altered.exe"
middle=$(($(stat -c %s "$standin") / 2))
byte=$(od -An -tu1 -j "$middle" -N1 "$work/altered.exe" | tr -d ' ')
printf "$(printf '\\%03o' $((byte ^ 0xff)))" | dd of="$work/altered.exe" bs=1 seek="$middle" conv=notrunc status=none
if osslsigncode verify -CAfile "$work/cert.pem" -in "$work/altered.exe" >/dev/null 2>&1; then
  echo "sign_standins: osslsigncode still accepts the altered copy" >&2
  exit 1
fi

package() { # ZIP STAGE_DIR: the stage's content, relative names
  (cd "$2" && zip -q -r -X "$1" .)
}
for kind in signed altered; do
  stage=$work/firebird-$kind
  mkdir -p "$stage"
  cp "$work/$kind.exe" "$stage/Firebird-2.5.2_x64.exe"
  package "$out/assinatura/Firebird-$kind.zip" "$stage"
done
stage=$work/nfe2
mkdir -p "$stage/capicom"
cp "$work/altered.exe" "$stage/capicom/capicom.dll"
cp "$work/signed.exe" "$stage/capicom/msxml5.dll"
printf 'Velacorte teste: msxml5r.dll\r\n' >"$stage/capicom/msxml5r.dll"
package "$out/assinatura/nfe2.zip" "$stage"

cp "$work/signed.exe" "$work/altered.exe" "$out/assinatura/"
stage=$work/sha256
mkdir -p "$stage"
printf 'Velacorte teste: Verificado.txt\r\n' >"$stage/Verificado.txt"
package "$out/sha256/caso.zip" "$stage"
sha256sum "$out/sha256/caso.zip" | cut -d' ' -f1 >"$out/sha256/caso.zip.sha256"
