#!/bin/sh
# Prepares the Wine prefix of the GUI tests and screenshots: a 32-bit prefix
# (or a 64-bit one where only wine64 can run, see env.sh),
# the ja_JP.UTF-8 locale (code page 932 for the ANSI calls), IPA fonts in
# place of the Japanese fonts that the dialogs name, and a virtual desktop so
# that captions and menus are drawn without a window manager.
#
# Needs: wine, wine32 or wine64, locales, fonts-ipafont-gothic. Generating the locale
# needs root once; everything else runs as the user.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
. "$here/env.sh"
if [ -n "$TW_WINE_ERROR" ]; then
    echo "setup-prefix: $TW_WINE_ERROR" >&2
    exit 1
fi

if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
    if [ "$(id -u)" -ne 0 ]; then
        echo "setup-prefix: the locale ja_JP.UTF-8 is missing; as root run:" >&2
        echo "  sed -i 's/^# *ja_JP.UTF-8/ja_JP.UTF-8/' /etc/locale.gen && locale-gen" >&2
        exit 1
    fi
    if grep -q '^# *ja_JP.UTF-8 UTF-8' /etc/locale.gen; then
        sed -i 's/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/' /etc/locale.gen
    elif ! grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen; then
        echo 'ja_JP.UTF-8 UTF-8' >> /etc/locale.gen
    fi
    locale-gen >/dev/null
fi

if ! fc-list 2>/dev/null | grep -q 'IPAPGothic'; then
    echo "setup-prefix: the IPA gothic fonts are missing (package fonts-ipafont-gothic)" >&2
    exit 1
fi

stamp="$WINEPREFIX/.tarnwickiso-prefix"
reg_source="$here/japanese.reg.txt"
if [ -f "$stamp" ] && [ "$stamp" -nt "$reg_source" ]; then
    exit 0
fi

mkdir -p "$WINEPREFIX"
# wineboot needs no display; keep it from opening one that may not exist.
(unset DISPLAY; wineboot -i >/dev/null 2>&1) || true
"${WINESERVER:-wineserver}" -w

# regedit reads UTF-16 with a byte order mark.
reg="$WINEPREFIX/tarnwickiso-japanese.reg"
{ printf '\377\376'; sed 's/$/\r/' "$reg_source" | iconv -f UTF-8 -t UTF-16LE; } > "$reg"
(unset DISPLAY; wine regedit /S "$(winepath -w "$reg")" >/dev/null 2>&1)
"${WINESERVER:-wineserver}" -w
touch "$stamp"
echo "setup-prefix: prefix ready at $WINEPREFIX"
