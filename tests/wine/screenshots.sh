#!/bin/sh
# Screenshots of the Windows program under Wine and Xvfb: the main window with
# registered lines and the estimate, each settings window, the Tool window's
# template and the Tool window itself with a cue sheet text in its output box
# (tool.png), and Help and About with the icon and with their pictures.
#
# Usage: screenshots.sh [OUTPUT_DIR [WIN32_BUILD_DIR]]
#   defaults: /tmp/tarnwickiso-shots and the cross build env.sh chooses.
# Needs ImageMagick (import) besides the Wine set-up of setup-prefix.sh.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
shots=${1:-/tmp/tarnwickiso-shots}
[ -n "${2:-}" ] && TW_WIN_BUILD=$(cd "$2" && pwd)
mkdir -p "$shots"
shots=$(cd "$shots" && pwd)

. "$here/env.sh"
tw_announce_wine
tests="$TW_WIN_BUILD/tarnwickiso_gui_tests.exe"
"$here/setup-prefix.sh"

handshake=$(mktemp -d /tmp/tarnwickiso-shots-hs.XXXXXX)
wine_pid=
cleanup() {
    if [ -n "$wine_pid" ]; then kill "$wine_pid" 2>/dev/null || true; fi
    tw_stop_wine
    tw_stop_xvfb
    rm -rf "$handshake"
}
trap cleanup EXIT INT TERM

tw_stop_wine
tw_start_xvfb
TW_SHOTS_DIR=$(winepath -w "$handshake") \
    wine "$tests" --gtest_filter='Screenshots.*' >"$handshake/log" 2>&1 &
wine_pid=$!

taken=0
while kill -0 "$wine_pid" 2>/dev/null; do
    for ready in "$handshake"/*.ready; do
        [ -e "$ready" ] || continue
        name=$(basename "$ready" .ready)
        read -r x y w h < "$ready"
        import -window root -crop "${w}x${h}+${x}+${y}" +repage "$shots/$name.png"
        import -window root "$shots/$name-desktop.png"
        rm -f "$ready"
        touch "$handshake/$name.done"
        echo "screenshots: $shots/$name.png"
        taken=$((taken + 1))
    done
    sleep 0.1
done
status=0
wait "$wine_pid" || status=$?
wine_pid=
if [ "$status" -ne 0 ]; then
    cat "$handshake/log" >&2
    echo "screenshots: the window program failed ($status)" >&2
    exit 1
fi
echo "screenshots: $taken pictures in $shots"
