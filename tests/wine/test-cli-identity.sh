#!/usr/bin/env bash
# The Windows command-line program under Wine and the Linux one write the
# same image bytes from the same trees and settings: plain and raw, Joliet on
# and off, with a boot image, and a tree with Japanese names (Wine's code page
# 932 against the POSIX build's CP932 mode).
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
. "$here/env.sh"
tw_announce_wine || exit 1
sh "$here/setup-prefix.sh" >/dev/null || exit 1
linux=${TW_LINUX_PROGRAM:-$top/build/tarnwickiso}
windows=${TW_WINDOWS_PROGRAM:-$TW_WIN_BUILD/tarnwickiso.exe}
work=$(mktemp -d /tmp/tw-identity.XXXXXX)
trap 'tw_stop_wine; rm -rf "$work"' EXIT
export SOURCE_DATE_EPOCH=1070971200
passed=0
failed=0

# Trees with fixed contents and fixed last-write times.
mkdir -p "$work/ascii/Program Files/deep/er" "$work/ascii/docs"
printf 'readme\n' >"$work/ascii/readme.txt"
printf 'README\n' >"$work/ascii/docs/README.TXT"
head -c 70000 /dev/zero | tr '\0' 'x' >"$work/ascii/Program Files/A long name with spaces.dat"
printf '' >"$work/ascii/empty"
printf 'deep\n' >"$work/ascii/Program Files/deep/er/leaf.c"
printf 'hidden\n' >"$work/ascii/.hidden-top"
head -c 1474560 /dev/zero >"$work/floppy.img"
printf 'boot' | dd of="$work/floppy.img" conv=notrunc 2>/dev/null
mkdir -p "$work/japanese/日本語フォルダ/ソース"
printf 'nihongo\n' >"$work/japanese/日本語フォルダ/表示.txt"
printf 'so\n' >"$work/japanese/日本語フォルダ/ソース/ソフト.txt"
printf 'ascii\n' >"$work/japanese/plain.txt"
find "$work" -exec touch -h -d '2003-11-26 10:20:30 UTC' {} +
# One file time after SOURCE_DATE_EPOCH: both programs record the epoch.
touch -d '2004-02-03 04:05:06 UTC' "$work/ascii/docs/README.TXT"

# winepath now and then answers nothing on a loaded machine (the wineserver
# is still starting): asked again before the empty answer becomes an empty
# argument.
winpath() {
  local p tries
  for tries in 1 2 3 4 5; do
    p=$(winepath -w "$1" 2>/dev/null)
    [ -n "$p" ] && { printf '%s\n' "$p"; return 0; }
    sleep 1
  done
  echo "winepath gave no Windows path for $1" >&2
  return 1
}

compare() {
  local name=$1 tree=$2 codepage=$3
  shift 3
  local lin="$work/$name.linux" win="$work/$name.windows"
  local cp=()
  [ -n "$codepage" ] && cp=(--code-page "$codepage")
  if ! "$linux" build --quiet "${cp[@]}" -o "$lin" "$@" "$tree" >"$work/$name.linux.log" 2>&1; then
    echo "FAILED: $name (Linux build)"; cat "$work/$name.linux.log"; failed=$((failed + 1)); return
  fi
  local args=() a
  for a in "$@"; do
    case "$a" in
      /*) args+=("$(winpath "$a")") ;;
      *) args+=("$a") ;;
    esac
  done
  if ! wine "$windows" build --quiet -o "$(winpath "$win")" "${args[@]}" "$(winpath "$tree")" \
      >"$work/$name.windows.log" 2>&1; then
    echo "FAILED: $name (Windows build)"; tr -d '\r' <"$work/$name.windows.log"; failed=$((failed + 1)); return
  fi
  if cmp -s "$lin" "$win"; then
    echo "ok: $name ($(stat -c %s "$lin") bytes)"
    passed=$((passed + 1))
  else
    echo "FAILED: $name: the images differ"; cmp "$lin" "$win" | head -3; failed=$((failed + 1))
  fi
}

compare plain "$work/ascii" ""
compare raw "$work/ascii" "" --raw
compare no-joliet "$work/ascii" "" --no-joliet --volume-id IDENTITY
compare boot "$work/ascii" "" --boot "$work/floppy.img" --boot-media 1.44 --boot-id TARNWICK
compare record-date "$work/ascii" "" --record-date 2001020304050600,36 --publisher-id "Tarnwick test"
compare japanese "$work/japanese" CP932 --volume-set-id "日本語" 
TZ=Asia/Tokyo compare tokyo "$work/ascii" ""
# The command line's own options that hold no POSIX attributes (Rock Ridge
# takes the file systems' own, which differ between the two systems).
compare boot-table "$work/ascii" "" --boot "$work/floppy.img" --boot-media custom --sector-count 4 \
  --boot-info-table --relaxed-names --joliet-long
compare excluded "$work/ascii" "" --exclude '*.dat' --exclude 'deep/er/*'

# extract under Wine gives the tree the Linux program gives; on a file
# system that does not tell case apart, a second name differing only in case
# is refused by name (exit 1) and the first kept.
mkdir -p "$work/cases"
printf 'upper\n' >"$work/cases/Case.txt"
printf 'lower\n' >"$work/cases/case.txt"
"$linux" build --quiet -R -o "$work/rr.iso" "$work/ascii" "$work/cases" >/dev/null 2>&1
"$linux" extract "$work/rr.iso" -C "$work/x.linux" >/dev/null 2>&1
status=0
wine "$windows" extract "$(winpath "$work/rr.iso")" -C "$(winpath "$work/x.windows")" >"$work/x.log" 2>&1 || status=$?
if [ "$status" = 1 ] && tr -d '\r' <"$work/x.log" | grep -q 'cases/case.txt: a second entry for a path' &&
  diff -r "$work/x.linux/ascii" "$work/x.windows/ascii" >/dev/null && [ "$(cat "$work/x.windows/cases/Case.txt")" = upper ]; then
  echo "ok: extract (same tree as Linux; a name differing only in case refused)"
  passed=$((passed + 1))
else
  echo "FAILED: extract under Wine (status $status)"; tr -d '\r' <"$work/x.log" | head; failed=$((failed + 1))
fi
# The Windows program's hashes (zlib's CRC, CryptoAPI's digests) equal
# Python's CRC and the coreutils sum programs' of the same file: images
# compared above, and a damaged copy of the raw one (exit 1, its hashes
# printed all the same).
cp "$work/raw.linux" "$work/damaged.bin"
printf 'X' | dd of="$work/damaged.bin" bs=1 seek=40000 conv=notrunc 2>/dev/null
hashes() {
  local name=$1 file=$2 want_status=$3 want got status p
  want=$(python3 -c 'import sys, zlib; print("%08x" % zlib.crc32(open(sys.argv[1], "rb").read()))' "$file")
  for p in md5sum sha1sum sha256sum; do want="$want $("$p" "$file" | cut -d' ' -f1)"; done
  wine "$windows" verify --hash crc32 --hash md5 --hash sha1 --hash sha256 "$(winpath "$file")" \
    >"$work/hashes.out" 2>"$work/hashes.err"
  status=$?
  got=$(tr -d '\r' <"$work/hashes.out" | sed 's/^\\//' | cut -d' ' -f1 | xargs)
  if [ "$got" = "$want" ] && [ "$status" = "$want_status" ]; then
    echo "ok: hashes of $name"
    passed=$((passed + 1))
  else
    echo "FAILED: hashes of $name: exit $status (want $want_status)"; echo "  got:  $got"; echo "  want: $want"
    tr -d '\r' <"$work/hashes.err"; failed=$((failed + 1))
  fi
}
hashes plain "$work/plain.linux" 0
hashes raw "$work/raw.linux" 0
hashes damaged "$work/damaged.bin" 1

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
