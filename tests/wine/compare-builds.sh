#!/bin/sh
# Builds the same tree with the same settings twice, once from the Windows
# program's window under Wine (the GUI test BuildComparison) and once with the
# native command line, and compares the images byte for byte.
#
# Usage: compare-builds.sh [WIN32_BUILD_DIR [NATIVE_BUILD_DIR]]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
[ -n "${1:-}" ] && TW_WIN_BUILD=$(cd "$1" && pwd)
native_build=$(cd "${2:-$root/build}" && pwd)
cli="$native_build/tarnwickiso"

. "$here/env.sh"
tw_announce_wine
win32_build=$TW_WIN_BUILD
tests="$win32_build/tarnwickiso_gui_tests.exe"
"$here/setup-prefix.sh"

work=$(mktemp -d /tmp/tarnwickiso-compare.XXXXXX)
cleanup() {
    tw_stop_wine
    tw_stop_xvfb
    if [ -n "${TW_COMPARE_KEEP:-}" ]; then echo "kept $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT INT TERM

# The tree: nested folders, an empty folder, names that clash in 8.3 form,
# long and lower-case names, a name with several dots, a hidden entry below a
# folder (left out by both), files of 0, 1, 2048, 2049 bytes and a larger one.
tree="$work/tree"
mkdir -p "$tree/docs/deep/deeper" "$tree/empty" "$tree/Music Files"
printf 'hello\r\n' > "$tree/readme.txt"
: > "$tree/docs/zero.dat"
printf 'x' > "$tree/docs/one.dat"
head -c 2048 /dev/urandom > "$tree/docs/exact.bin"
head -c 2049 /dev/urandom > "$tree/docs/deep/over.bin"
head -c 300000 /dev/urandom > "$tree/docs/deep/deeper/large.bin"
printf 'a' > "$tree/docs/a long file name number one.text"
printf 'b' > "$tree/docs/a long file name number two.text"
printf 'c' > "$tree/Music Files/track.01.final.wav"
printf 'hidden' > "$tree/docs/.hidden"
find "$tree" -exec touch -h -d '2003-11-26 12:34:56 UTC' {} +

boot="$work/boot.img"
head -c 1474560 /dev/urandom > "$boot"
out="$work/out"
mkdir -p "$out/gui" "$out/cli"

# A wine server left from an earlier run would keep its old display.
tw_stop_wine
tw_start_xvfb
TW_COMPARE_TREE=$(winepath -w "$tree") \
TW_COMPARE_OUT=$(winepath -w "$out/gui") \
TW_COMPARE_BOOT=$(winepath -w "$boot") \
    timeout 600 wine "$tests" --gtest_filter='BuildComparison.*' >"$work/gui.log" 2>&1 || {
    cat "$work/gui.log" >&2
    echo "compare-builds: the window builds failed" >&2
    exit 1
}

common="--quiet --system-id TARNWICK --volume-id DISC_01 --publisher-id 'Tarn Publishing'"
common="$common --creation-date 2003120908050345,36 --modification-date 2003120908050345,36"
# Keep in step with the cases of BuildComparison in tests/win32/build_test.cpp.
cases='plain-joliet|.iso|
plain-nojoliet|.iso|--no-joliet
raw-joliet|.bin|--raw
raw-nojoliet|.bin|--raw --no-joliet
plain-boot|.iso|--boot "$boot"
raw-boot-noemul|.bin|--raw --boot "$boot" --boot-media custom --sector-count 4 --boot-id "TW BOOT"
plain-recorded|.iso|--record-date 2003120908050300,36'

passed=0
failed=0
old_ifs=$IFS
IFS='
'
for line in $cases; do
    IFS=$old_ifs
    name=${line%%|*}
    rest=${line#*|}
    ext=${rest%%|*}
    extra=${rest#*|}
    date_option="--root-date 2003120908050300,36"
    case "$extra" in *--record-date*) date_option= ;; esac
    gui_image="$out/gui/$name$ext"
    cli_image="$out/cli/$name$ext"
    eval "\"\$cli\" build -o \"\$cli_image\" $common $date_option $extra \"\$tree\"/*" \
        >"$work/$name.cli.log" 2>&1 || true
    if [ ! -f "$gui_image" ]; then
        echo "FAIL $name: the window wrote no image"
        failed=$((failed + 1))
    elif [ ! -f "$cli_image" ]; then
        echo "FAIL $name: the command line wrote no image:"
        sed 's/^/    /' "$work/$name.cli.log"
        failed=$((failed + 1))
    elif cmp -s "$gui_image" "$cli_image"; then
        echo "ok   $name ($(wc -c < "$gui_image") bytes)"
        passed=$((passed + 1))
    else
        echo "FAIL $name: images differ ($(wc -c < "$gui_image") and $(wc -c < "$cli_image") bytes)"
        cmp -l "$gui_image" "$cli_image" 2>/dev/null | head -8 | sed 's/^/    /'
        failed=$((failed + 1))
    fi
    IFS='
'
done
IFS=$old_ifs
echo "compare-builds: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
