#!/usr/bin/env bash
# make format / make format-check: clang-format with the tree's .clang-format
# over every C++ file of src/, tests/ and tools/. The .h.in templates and what
# the builds generate (under build/) are not C++ sources of the tree and are
# left out. The reference is Debian 12's clang-format (14); another version
# may lay out a line differently.
#   tools/format.sh          formats the files in place
#   tools/format.sh --check  changes nothing; names each file that is not
#                            formatted, with its first place, and fails
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
mapfile -t files < <(find src tests tools -type f \( -name '*.cpp' -o -name '*.h' \) | LC_ALL=C sort)

if [ "${1:-}" != --check ]; then
  clang-format -i --style=file "${files[@]}"
  exit 0
fi

bad=0
for f in "${files[@]}"; do
  if ! report=$(clang-format --dry-run --Werror --style=file "$f" 2>&1); then
    echo "not formatted: $f ($(printf '%s\n' "$report" | grep -m1 -o '^[^ ]*:[0-9]*:[0-9]*'))"
    bad=$((bad + 1))
  fi
done
if [ "$bad" -gt 0 ]; then
  echo "$bad of ${#files[@]} C++ files are not formatted: run 'make format' ($(clang-format --version))" >&2
  exit 1
fi
echo "${#files[@]} C++ files formatted"
