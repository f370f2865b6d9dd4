#!/usr/bin/env bash
# make test, once the Windows programs and their packages are built: the
# end-to-end lanes under Wine (ctest -L e2e -j 4), and beside them, niced, the
# native, sanitized and fuzz builds and then every test but e2e two at a time.
# The lanes mostly wait for the monitor's 3-second cycles, so the builds and
# the CPU-bound checks use what they leave; niced, they never keep a lane's
# monitor waiting for the processor. The checks' report is kept in a file and
# printed after the lanes'; either run failing fails.
#   tools/run_tests.sh <native build dir>
set -uo pipefail
natdir=$1
log=$natdir/checks.log
mkdir -p "$natdir"

# A session of its own, so that an interrupted run ends the checks with it.
setsid bash -c "nice -n 10 make --no-print-directory fuzz asan native && \
  nice -n 10 ctest --test-dir '$natdir' --output-on-failure -LE e2e -j 2" >"$log" 2>&1 &
checks=$!
trap 'kill -- -$checks 2>/dev/null' INT TERM

ctest --test-dir "$natdir" --output-on-failure -L e2e -j 4
lanes=$?
echo "== the lanes are done; the builds and checks beside them:"
wait "$checks"
before=$?
cat "$log"
[ "$before" -eq 0 ] && [ "$lanes" -eq 0 ]
