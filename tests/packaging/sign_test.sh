#!/usr/bin/env bash
# packaging/sign.sh signs copies of the 64-bit and the 32-bit program and of
# their four installers (per user and machine-wide, each 64- and 32-bit) with a
# throwaway self-signed certificate: each verifies against it, not against another.
#   sign_test.sh <packaging/sign.sh> <build/windows> <build/windows-x86>
set -euo pipefail
sign=$(realpath "$1")
# The packages the build made, as make sign finds them.
mapfile -t packages < <(sed -n 's/^PELLUX_MSI[A-Z0-9_]*:INTERNAL=//p' "$2/CMakeCache.txt")
[ ${#packages[@]} -eq 4 ] || { echo "FAIL: the build names ${#packages[@]} installer packages, not 4"; exit 1; }
work=$(mktemp -d) && trap 'rm -rf "$work"' EXIT
cp "$2/PelluxMONITOR.exe" "${packages[@]}" "$work" && cp "$3/PelluxMONITOR.exe" "$work/PelluxMONITOR-x86.exe"
cd "$work"
files=(PelluxMONITOR.exe PelluxMONITOR-x86.exe)
for msi in "${packages[@]}"; do files+=("$(basename "$msi")"); done
for name in signer stranger; do
  openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "/CN=test $name" -addext extendedKeyUsage=codeSigning \
    -keyout $name.key -out $name.pem 2>/dev/null
  openssl pkcs12 -export -inkey $name.key -in $name.pem -out $name.pfx -passout "pass:it's s3cret"
done
PELLUX_SIGN_PASS="it's s3cret" "$sign" signer.pfx "" "${files[@]}"
for file in "${files[@]}"; do
  osslsigncode verify -CAfile signer.pem -in "$file" >/dev/null || { echo "FAIL: $file is not signed by signer"; exit 1; }
  if osslsigncode verify -CAfile stranger.pem -in "$file" >/dev/null 2>&1; then
    echo "FAIL: $file verifies against another certificate"; exit 1
  fi
done
echo "PASS: both programs and the four installers signed"
