#!/usr/bin/env bash
# Runs the portable test program of the Windows cross build under Wine, with
# code page 932, so the Win32 side of the platform layer and the whole core
# are tested as the Windows program uses them.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/env.sh"
tw_announce_wine
sh "$here/setup-prefix.sh" >/dev/null
tests="$TW_WIN_BUILD/tarnwickiso_tests.exe"
[ -x "$tests" ] || { echo "missing $tests (build the cross build first)"; exit 1; }
cd "$TW_WIN_BUILD"
status=0
log=$(mktemp)
wine "$tests" --gtest_brief=1 2>&1 | tr -d '\r' | tee "$log" || status=$?
# A program that never started says nothing and may still end with 0.
if ! grep -q '^\[==========\] .* ran\.' "$log"; then
    echo "run-portable-tests: $tests did not run its tests" >&2
    status=1
fi
rm -f "$log"
tw_stop_wine
exit $status
