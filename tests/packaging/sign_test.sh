#!/usr/bin/env bash
# The signing step: copies of the program and of its installer package are
# signed through packaging/sign.sh with a throwaway self-signed certificate;
# both signatures must verify against that certificate and fail against
# another one, and a wrong password must leave a file as it was.
#   sign_test.sh <packaging/sign.sh> <build/windows>
set -euo pipefail
sign=$(realpath "$1")
windows_dir=$(realpath "$2")
msi=$(ls -t "$windows_dir"/PelluxMONITOR-*.msi 2>/dev/null | head -n 1)
[ -n "$msi" ] || { echo "FAIL: no PelluxMONITOR-*.msi in $windows_dir (make installer)"; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
certificate() {  # name: a code-signing key and self-signed certificate, and a .pfx of both
  openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "/CN=PelluxMONITOR test $1" \
    -addext extendedKeyUsage=codeSigning -keyout "$1.key" -out "$1.pem" 2>/dev/null
  openssl pkcs12 -export -inkey "$1.key" -in "$1.pem" -out "$1.pfx" -passout "pass:it's s3cret"
}
certificate signer
certificate stranger
cp "$windows_dir/PelluxMONITOR.exe" program.exe
cp "$msi" package.msi

fail() { echo "FAIL: $*"; exit 1; }
verifies() { osslsigncode verify -CAfile "$1" -in "$2" >/dev/null 2>&1; }

cp program.exe unsigned.exe
PELLUX_SIGN_PASS=wrong "$sign" signer.pfx "" unsigned.exe >/dev/null 2>&1 && fail "signed with a wrong password"
cmp -s program.exe unsigned.exe || fail "a failed signing changed the file"
verifies signer.pem unsigned.exe && fail "an unsigned program verifies"

PELLUX_SIGN_PASS="it's s3cret" "$sign" signer.pfx "" program.exe package.msi
for file in program.exe package.msi; do
  verifies signer.pem "$file" || fail "$file does not verify against the signing certificate"
  verifies stranger.pem "$file" && fail "$file verifies against another certificate"
done
echo "PASS: program and package signed and verified"
