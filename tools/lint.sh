#!/usr/bin/env bash
# make lint: clang-tidy with the tree's .clang-tidy over the portable core
# (src/ but src/win32/, which only mingw-w64 compiles) and the tests, through
# the native build's compile commands. Prints every warning and fails when
# there is one. Slow (several minutes a core): run niced, JOBS at a time.
#   tools/lint.sh [native build dir] [file regex]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/native}
files=${2:-$root/(src/(?!win32/)|tests/)}
if [ ! -f "$build/compile_commands.json" ]; then
  echo "No $build/compile_commands.json: configure the native build first (make native)" >&2
  exit 2
fi
out=$(mktemp)
trap 'rm -f "$out"' EXIT
# A header's warnings come once for every file that includes it: each is
# listed once, by file and line.
nice -n 10 run-clang-tidy -p "$build" -j "${JOBS:-1}" -quiet "$files" >"$out" 2>/dev/null || true
warnings=$(sed 's/\x1b\[[0-9;]*m//g' "$out" | grep -E '^/.*:[0-9]+:[0-9]+: (warning|error):' \
  | sed "s|^$root/||" | LC_ALL=C sort -t: -k1,1 -k2,2n -k3,3n -u || true)
if [ -n "$warnings" ]; then
  printf '%s\n' "$warnings"
  echo "clang-tidy: $(printf '%s\n' "$warnings" | wc -l) warnings; mend each, or turn its check off in .clang-tidy with a word of why" >&2
  exit 1
fi
echo "clang-tidy: no warnings"
