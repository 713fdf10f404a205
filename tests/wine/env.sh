# Shared settings of the Wine scripts; sourced, not run.
# The prefix is the project's own, so the user's ~/.wine stays untouched.
: "${TW_WINEPREFIX:=${XDG_CACHE_HOME:-$HOME/.cache}/tarnwickiso/wine}"
export WINEPREFIX="$TW_WINEPREFIX"
export WINEARCH=win32
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko installer prompts when the prefix is created.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# Wine takes its ANSI code page from the locale: ja_JP gives code page 932.
export LANG=ja_JP.UTF-8
export LC_ALL=ja_JP.UTF-8
# Dates in images do not depend on the machine's zone.
export TZ=UTC

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
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
}
