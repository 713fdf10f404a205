#!/usr/bin/env bash
# Runs the portable test program of the Windows cross build under Wine, with
# code page 932, so the Win32 side of the platform layer and the whole core
# are tested as the Windows program uses them.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
. "$here/env.sh"
sh "$here/setup-prefix.sh" >/dev/null
tests="$top/build-win32/tarnwickiso_tests.exe"
[ -x "$tests" ] || { echo "missing $tests (build the cross build first)"; exit 1; }
cd "$top/build-win32"
status=0
wine "$tests" --gtest_brief=1 2>&1 | tr -d '\r' || status=$?
tw_stop_wine
exit $status
