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

# One run over every file; each file it would change is named once, at its
# first place.
report=$(clang-format --dry-run --Werror --style=file "${files[@]}" 2>&1) && status=0 || status=$?
bad=$(printf '%s\n' "$report" | sed -n 's/^\([^ :]*\):\([0-9]*\):\([0-9]*\): error: .*/\1 \1:\2:\3/p' | sort -s -u -k1,1)
if [ "$status" -ne 0 ] || [ -n "$bad" ]; then
  if [ -z "$bad" ]; then
    printf '%s\n' "$report" >&2
    exit 1
  fi
  printf '%s\n' "$bad" | while read -r file place; do echo "not formatted: $file (first at $place)"; done
  echo "$(printf '%s\n' "$bad" | wc -l) of ${#files[@]} C++ files are not formatted: run 'make format' ($(clang-format --version))" >&2
  exit 1
fi
echo "${#files[@]} C++ files formatted"
