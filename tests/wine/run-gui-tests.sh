#!/bin/sh
# Runs the GUI tests of the Windows program under Wine on a private Xvfb
# display, with code page 932 and the Japanese fonts, then the byte-for-byte
# comparison of window builds with command-line builds.
#
# Usage: run-gui-tests.sh [WIN32_BUILD_DIR [NATIVE_BUILD_DIR]] [-- GTEST_ARGS...]
#   defaults: the cross build that env.sh chooses for this machine
#   (build-win32 or build-win64) and build beside the sources.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
win32_build=
native_build="$root/build"
if [ $# -gt 0 ] && [ "$1" != "--" ]; then win32_build=$(cd "$1" && pwd); shift; fi
if [ $# -gt 0 ] && [ "$1" != "--" ]; then native_build=$(cd "$1" && pwd); shift; fi
if [ $# -gt 0 ] && [ "$1" = "--" ]; then shift; fi

[ -n "$win32_build" ] && TW_WIN_BUILD=$win32_build
. "$here/env.sh"
tw_announce_wine
win32_build=$TW_WIN_BUILD
"$here/setup-prefix.sh"

tests="$win32_build/tarnwickiso_gui_tests.exe"
if [ ! -f "$tests" ]; then
    echo "run-gui-tests: $tests is missing (build the cross target first)" >&2
    exit 1
fi

scratch=$(mktemp -d /tmp/tarnwickiso-gui.XXXXXX)
cleanup() {
    tw_stop_wine
    tw_stop_xvfb
    rm -f "$WINEPREFIX/dosdevices/t:"
    rm -rf "$scratch"
}
trap cleanup EXIT INT TERM

# Drive T: stands for a drive whose root the tests register.
mkdir -p "$scratch/drive-t"
rm -f "$WINEPREFIX/dosdevices/t:"
ln -s "$scratch/drive-t" "$WINEPREFIX/dosdevices/t:"

# A wine server left from an earlier run would keep its old display.
tw_stop_wine
tw_start_xvfb
status=0
{ timeout 900 wine "$tests" "$@" 2>&1; echo $? > "$scratch/tests.rc"; } | tee "$scratch/tests.log"
status=$(cat "$scratch/tests.rc")
if [ "$status" -ne 0 ]; then
    echo "run-gui-tests: GUI tests failed ($status)" >&2
elif ! grep -q '^\[==========\] .* ran\.' "$scratch/tests.log"; then
    # A program that never started says nothing and may still end with 0.
    echo "run-gui-tests: $tests did not run its tests" >&2
    status=1
fi

# The program itself: it starts alone and ends with code 0 when its window is
# asked to close (taskkill without /f sends the close request).
program="$win32_build/TarnwickISO.exe"
if [ -f "$program" ]; then
    (timeout 60 wine "$program" >/dev/null 2>&1; echo $? > "$scratch/program.rc") &
    i=0
    until wine tasklist 2>/dev/null | grep -q TarnwickISO.exe || [ "$i" -gt 50 ]; do
        sleep 0.2
        i=$((i + 1))
    done
    sleep 1
    wine taskkill /im TarnwickISO.exe >/dev/null 2>&1 || true
    i=0
    while [ ! -s "$scratch/program.rc" ] && [ "$i" -lt 150 ]; do
        sleep 0.2
        i=$((i + 1))
    done
    if [ "$(cat "$scratch/program.rc" 2>/dev/null)" = 0 ]; then
        echo "run-gui-tests: TarnwickISO.exe started and ended with code 0"
    else
        echo "run-gui-tests: TarnwickISO.exe did not end with code 0 on close" >&2
        status=1
    fi
else
    echo "run-gui-tests: $program is missing" >&2
    status=1
fi

tw_stop_wine
tw_stop_xvfb

if [ -x "$native_build/tarnwickiso" ]; then
    "$here/compare-builds.sh" "$win32_build" "$native_build" || status=1
else
    echo "run-gui-tests: $native_build/tarnwickiso is missing; comparison skipped" >&2
    status=1
fi
exit "$status"
