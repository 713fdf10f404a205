# Shared settings of the Wine scripts; sourced, not run.
#
# Which Windows build runs, and under which Wine, is decided by a direct
# probe: the i686 build (the product) under wine32 where this machine can
# execute a 32-bit x86 program, otherwise the x86_64 build under wine64 with
# a 64-bit prefix of its own. Some kernels cannot execute 32-bit programs at
# all, whatever is installed. TW_WINE_BUILD=win32 or win64 forces the choice.
#
# After sourcing: TW_WIN_BUILD (the cross-build folder), TW_WINE_LINE (one
# line naming the build and the Wine), WINEARCH, WINEPREFIX, WINESERVER;
# TW_WINE_ERROR is set instead when neither can run here.
# The prefixes are the project's own, so the user's ~/.wine stays untouched.
tw_env_root=$(cd "$(dirname "${BASH_SOURCE:-$0}")/../.." 2>/dev/null && pwd)
[ -f "$tw_env_root/tests/wine/env.sh" ] || tw_env_root=$(pwd)
tw_cache=${XDG_CACHE_HOME:-$HOME/.cache}/tarnwickiso
TW_WINE_ERROR=

# True when a 32-bit x86 program starts here: Wine's own 32-bit loader.
tw_can_run_32bit() {
    [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1
}
tw_can_run_64bit() {
    [ -x /usr/lib/wine/wine64 ] && /usr/lib/wine/wine64 --version >/dev/null 2>&1
}

tw_wine_choice=${TW_WINE_BUILD:-}
if [ -z "$tw_wine_choice" ]; then
    if tw_can_run_32bit; then tw_wine_choice=win32; else tw_wine_choice=win64; fi
fi
case "$tw_wine_choice" in
win32)
    export WINEARCH=win32
    : "${TW_WINEPREFIX:=$tw_cache/wine}"
    TW_WIN_BUILD=${TW_WIN_BUILD:-$tw_env_root/build-win32}
    if [ -x /usr/lib/wine/wineserver32 ]; then export WINESERVER=/usr/lib/wine/wineserver32; fi
    if ! tw_can_run_32bit; then
        TW_WINE_ERROR="wine32 cannot run here: $( (/usr/lib/wine/wine --version 2>&1 || true) | head -n 1)"
    fi
    TW_WINE_LINE="wine: the i686 build ($TW_WIN_BUILD) under wine32, WINEARCH=win32"
    ;;
win64)
    export WINEARCH=win64
    : "${TW_WINEPREFIX:=$tw_cache/wine64}"
    TW_WIN_BUILD=${TW_WIN_BUILD:-$tw_env_root/build-win64}
    if [ -x /usr/lib/wine/wineserver64 ]; then export WINESERVER=/usr/lib/wine/wineserver64; fi
    export WINELOADER=/usr/lib/wine/wine64
    # Debian's wine and its tools (winepath, wineboot, regedit) start the
    # 32-bit loader whenever it is installed; these stand-ins start wine64.
    tw_shims=$tw_cache/wine64-bin
    mkdir -p "$tw_shims"
    for tool in wine wine-stable wine64; do
        printf '#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n' >"$tw_shims/$tool"
        chmod +x "$tw_shims/$tool"
    done
    case ":$PATH:" in *":$tw_shims:"*) ;; *) PATH="$tw_shims:$PATH" ;; esac
    export PATH
    if ! tw_can_run_64bit; then
        TW_WINE_ERROR="neither wine32 nor wine64 can run here: $( (/usr/lib/wine/wine64 --version 2>&1 || true) | head -n 1)"
    fi
    TW_WINE_LINE="wine: the x86_64 build ($TW_WIN_BUILD) under wine64, WINEARCH=win64"
    ;;
*)
    TW_WINE_ERROR="TW_WINE_BUILD must be win32 or win64, not '$tw_wine_choice'"
    TW_WINE_LINE="wine: nothing chosen"
    ;;
esac
export WINEPREFIX="$TW_WINEPREFIX"
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko installer prompts when the prefix is created.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# Wine takes its ANSI code page from the locale: ja_JP gives code page 932.
export LANG=ja_JP.UTF-8
export LC_ALL=ja_JP.UTF-8
# Dates in images do not depend on the machine's zone.
export TZ=UTC

# Prints the line naming the build and the Wine; fails with the reason when
# nothing can run here. Every suite calls it first.
tw_announce_wine() {
    echo "$TW_WINE_LINE"
    if [ -n "$TW_WINE_ERROR" ]; then
        echo "wine: $TW_WINE_ERROR" >&2
        return 1
    fi
}

tw_repo_root() { (cd "$(dirname "$1")/../.." && pwd); }

# Starts Xvfb on the first free display from 90 upwards; sets DISPLAY and
# TW_XVFB_PID. Only that Xvfb is stopped again by tw_stop_xvfb.
tw_start_xvfb() {
    n=90
    while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do
        n=$((n + 1))
        if [ "$n" -gt 400 ]; then
            echo "no free X display" >&2
            return 1
        fi
    done
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    TW_XVFB_PID=$!
    i=0
    while [ ! -e "/tmp/.X11-unix/X$n" ]; do
        if ! kill -0 "$TW_XVFB_PID" 2>/dev/null; then
            echo "Xvfb :$n did not start" >&2
            return 1
        fi
        i=$((i + 1))
        if [ "$i" -gt 100 ]; then
            echo "Xvfb :$n did not come up" >&2
            return 1
        fi
        sleep 0.1
    done
    export DISPLAY=":$n"
}

tw_stop_xvfb() {
    if [ -n "${TW_XVFB_PID:-}" ]; then
        kill "$TW_XVFB_PID" 2>/dev/null || true
        wait "$TW_XVFB_PID" 2>/dev/null || true
        TW_XVFB_PID=
    fi
}

# Ends the wine server of this prefix (and with it the prefix's processes)
# and waits for it.
tw_stop_wine() {
    "${WINESERVER:-wineserver}" -k 2>/dev/null || true
    "${WINESERVER:-wineserver}" -w 2>/dev/null || true
}
