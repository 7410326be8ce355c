#!/bin/sh
# The signed Windows download: a throwaway CA and code-signing certificate
# are made with openssl, the download is made again with them
# (SIGN_PFX/SIGN_PASS), and osslsigncode must verify both programs in the zip,
# both programs inside the installer, and the installer itself against that
# CA, and none of them against another CA. The unsigned installer of the
# same build carries no signature.
#   signed-download.sh DIST_SCRIPT WINDOWS_BUILD UNSIGNED_MSI
set -eu
dist=$1
build=$2
unsigned=$3

skip() {
  echo "signed-download: $1"
  [ "${QUARROW_REQUIRE_WINE:-}" = 1 ] && exit 1
  exit 77
}
[ -f "$unsigned" ] || skip "there is no Windows download $unsigned (make dist-windows makes it)"
for tool in openssl osslsigncode wixl msiextract; do
  command -v "$tool" >/dev/null || skip "$tool is not installed"
done

tmp=$(mktemp -d "${TMPDIR:-/tmp}/quarrow-signing-XXXXXX")
trap 'rm -rf "$tmp"' EXIT
cd "$tmp"
fail() { echo "signed-download: $*" >&2; exit 1; }

# A CA, a certificate for code signing that it issued, and an unrelated CA.
ca() {
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.pem" \
    -days 2 -subj "/CN=$2" -addext "basicConstraints=critical,CA:TRUE" \
    -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
}
ca test-ca "Quarrow Test CA"
ca other-ca "Another CA"
openssl req -newkey rsa:2048 -nodes -keyout signer.key -out signer.csr \
  -subj "/CN=Quarrow Test Signer" 2>/dev/null
printf '%s\n' "basicConstraints=CA:FALSE" "keyUsage=critical,digitalSignature" \
  "extendedKeyUsage=codeSigning" >signer.ext
openssl x509 -req -in signer.csr -CA test-ca.pem -CAkey test-ca.key \
  -CAcreateserial -days 2 -extfile signer.ext -out signer.pem 2>/dev/null
SIGN_PASS="pfx pass $$ 'quoted' \$x"
export SIGN_PASS
openssl pkcs12 -export -inkey signer.key -in signer.pem -certfile test-ca.pem \
  -passout env:SIGN_PASS -out signer.p12

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
SIGN_PFX=$tmp/signer.p12 "$dist" "$build" "$version" "$tmp/out" >/dev/null ||
  fail "the signed download was not made"
name=Quarrow-$version-win64

verify() {  # FILE CA: passes when FILE's signature chains to CA
  osslsigncode verify -CAfile "$2" -in "$1" >"$tmp/verify.log" 2>&1
}
mkdir zip msi
(cd zip && cmake -E tar xf "$tmp/out/$name.zip")
msiextract -C msi "$tmp/out/$name.msi" >/dev/null
in_msi() { find msi -name "$1" -type f | head -n 1; }
for file in zip/Quarrow/Quarrow.exe zip/Quarrow/getmail.exe \
            "$(in_msi Quarrow.exe)" "$(in_msi getmail.exe)" "out/$name.msi"; do
  [ -f "$file" ] || fail "missing: $file"
  verify "$file" test-ca.pem || fail "$file does not verify: $(cat "$tmp/verify.log")"
  verify "$file" other-ca.pem && fail "$file verifies against another CA"
done
verify "$unsigned" test-ca.pem && fail "the unsigned installer has a signature"
echo "signed-download: both programs and the installer verify against the test CA"
