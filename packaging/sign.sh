#!/usr/bin/env bash
# Signs Windows programs and installer packages in place with osslsigncode.
#   PELLUX_SIGN_PASS=password packaging/sign.sh cert.pfx [timestamp-url] file...
# The certificate is a PKCS#12 file with the code-signing key; an empty
# timestamp URL signs without a timestamp (the signature then ends with the
# certificate's validity). A file signed before gets the new signature instead.
set -euo pipefail

if [ $# -lt 3 ]; then
  echo "usage: PELLUX_SIGN_PASS=password $0 cert.pfx [timestamp-url] file..." >&2
  exit 2
fi
cert=$1 tsurl=$2
shift 2
[ -f "$cert" ] || { echo "sign.sh: no certificate file $cert" >&2; exit 2; }

for file in "$@"; do
  [ -f "$file" ] || { echo "sign.sh: no file $file" >&2; exit 2; }
  signed="$file.signing"
  args=(sign -pkcs12 "$cert" -h sha256 -n PelluxMONITOR -in "$file" -out "$signed")
  [ -z "$tsurl" ] || args+=(-ts "$tsurl")
  rm -f "$signed"
  # The password comes through a pipe, not the command line that ps shows.
  if ! osslsigncode "${args[@]}" -readpass <(printf '%s' "${PELLUX_SIGN_PASS:-}") >/dev/null; then
    rm -f "$signed"
    echo "sign.sh: signing $file failed" >&2
    exit 1
  fi
  mv "$signed" "$file"
  echo "signed $file"
done
