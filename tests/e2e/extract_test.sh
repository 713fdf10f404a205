#!/usr/bin/env bash
# ls and extract against real images and hostile ones.
#  - Images of one tree written by this program (-R, Joliet only, raw) and by
#    genisoimage and xorriso (-R -J): extract gives the source tree back
#    (names, bytes, modes, link targets; set-id bits cleared), ls -l agrees
#    with xorriso's lsdl, and the boot images come out as they went in.
#  - A table of hostile images, each made from this program's own image with
#    one name or record changed: every escape is refused by name, exit 1,
#    the rest is extracted, and nothing in the folder around the extraction
#    folder changes.
# usage: tests/e2e/extract_test.sh [WORK_DIR]; last line "N passed, N failed".
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
program=${TARNWICKISO:-$top/build/tarnwickiso}
work=${1:-$(mktemp -d /tmp/tw-extract.XXXXXX)}
passed=0
failed=0
ok() { passed=$((passed + 1)); echo "ok: $*"; }
bad() { failed=$((failed + 1)); echo "FAILED: $*"; }
[ -x "$program" ] || { echo "build the program first"; echo "0 passed, 1 failed"; exit 1; }
export TZ=UTC SOURCE_DATE_EPOCH=1700000000
rm -rf "$work"/*
mkdir -p "$work"

# The source tree: names long and Japanese, a set-uid file, links relative,
# climbing and absolute, a FIFO, hard links, an empty file and folder, and a
# tree deep enough to be relocated with -R.
src=$work/src
mkdir -p "$src/sub/empty" "$src/d1/d2/d3/d4/d5/d6/d7/d8/d9/d10"
echo hello >"$src/a.txt"
head -c 300000 /dev/urandom >"$src/sub/random.bin"
: >"$src/sub/empty.txt"
printf 'long\n' >"$src/$(printf 'n%.0s' $(seq 120))"
printf 'kana\n' >"$src/日本語のファイル.txt"
echo deep >"$src/d1/d2/d3/d4/d5/d6/d7/d8/d9/d10/f"
cp "$src/a.txt" "$src/setuid" && chmod 4755 "$src/setuid"
chmod 0700 "$src/sub/empty"
ln -s ../a.txt "$src/sub/rel"
ln -s ../../outside "$src/sub/climb"
ln -s /etc/passwd "$src/abs"
mkfifo "$src/fifo"
ln "$src/a.txt" "$src/hard"
touch -d '2021-05-06 07:08:09' "$src/sub/random.bin" "$src/a.txt"

# Boot images: a no-emulation one and a FAT one for UEFI.
head -c 4096 /dev/urandom >"$work/boot.bin"
have_fat=0
if command -v mkfs.fat >/dev/null; then
  dd if=/dev/zero of="$work/efi.img" bs=1k count=1440 status=none && mkfs.fat -C "$work/efi.img.tmp" 1440 >/dev/null 2>&1 &&
    mv "$work/efi.img.tmp" "$work/efi.img" && have_fat=1
fi

# What a tree holds: type, permission bits (set-id cleared), size of files,
# link target, modification time of files, one line per path.
describe() {
  (cd "$1" && find . -mindepth 1 -printf '%y %m %s %l %p\n' | sed -E 's/^([^l]) ([0-9]+) [0-9]+ /\1 \2 - /;s/^d ([0-9]+) - /d \1 - /' |
    awk '{ m = $2; if (length(m) == 4) m = substr(m, 2); print $1, m, $3, $4, $5 }' | sort)
  # Bytes of every regular file.
  (cd "$1" && find . -type f -exec md5sum {} + | sort -k2)
}
# The same with the sizes of files put back (describe() hides them only for
# the permission column's sake).
expected=$(describe "$src" | sed 's/^\(.\) 4755/\1 755/')

check_tree() {  # LABEL IMAGE [TREE OPTIONS...]
  local label=$1 image=$2
  shift 2
  local into=$work/x-$label
  rm -rf "$into"
  if ! out=$("$program" extract "$image" "$@" -C "$into" 2>&1); then
    bad "$label: extract failed: $out"
    return
  fi
  # The image holds the registered folder's name at its root.
  local got
  got=$(describe "$into/src")
  if [ "$got" = "$expected" ]; then ok "$label: extracted tree equals the source"; else
    bad "$label: extracted tree differs"
    diff <(echo "$expected") <(echo "$got") | head -20
  fi
}

"$program" build -R --quiet -o "$work/ours-r.iso" --boot "$work/boot.bin" --boot-media custom \
  $([ $have_fat = 1 ] && echo --efi-boot "$work/efi.img") "$src" || bad "build -R"
"$program" build -R --raw --quiet -o "$work/ours-r.bin" "$src" || bad "build -R --raw"
check_tree ours-rock-ridge "$work/ours-r.iso" --boot
check_tree ours-raw "$work/ours-r.bin"
if command -v genisoimage >/dev/null; then
  mkdir -p "$work/peer/src" && cp -a "$src/." "$work/peer/src/" && cp "$work/boot.bin" "$work/peer/"
  genisoimage -quiet -R -J -joliet-long -b boot.bin -c boot.cat -no-emul-boot -o "$work/genisoimage.iso" \
    "$work/peer" 2>/dev/null && check_tree genisoimage "$work/genisoimage.iso" --boot
  if cmp -s "$work/x-genisoimage/boot-1-bios.img" "$work/boot.bin"; then ok "--boot of genisoimage's image"; else
    bad "--boot of genisoimage's image"; fi
fi
if command -v xorriso >/dev/null; then
  xorriso -as mkisofs -quiet -R -J -o "$work/xorriso.iso" "$work/peer" 2>/dev/null &&
    check_tree xorriso "$work/xorriso.iso"
fi

# Joliet only: names and bytes (no modes, links or FIFOs there).
"$program" build --quiet --exclude climb -o "$work/ours-j.iso" "$src/sub" || bad "build"
into=$work/x-joliet
if "$program" extract "$work/ours-j.iso" -C "$into" >/dev/null 2>&1 &&
  cmp -s "$into/sub/random.bin" "$src/sub/random.bin" && [ -d "$into/sub/empty" ] &&
  [ "$(cat "$into/sub/rel")" = hello ]; then ok "joliet: names and bytes"; else bad "joliet: names and bytes"; fi

# The boot images as they went in (the EFI one to its FAT volume's size).
if cmp -s "$work/x-ours-rock-ridge/boot-1-bios.img" "$work/boot.bin" &&
  { [ $have_fat = 0 ] || cmp -s "$work/x-ours-rock-ridge/boot-2-efi.img" "$work/efi.img"; }; then
  ok "--boot writes the boot images"
else bad "--boot writes the boot images"; fi

# ls -l against xorriso's lsdl: type, mode, owner, group, date, path, target
# (sizes of folders and links are each reader's own way; xorriso shows a
# boot catalog as a type of its own).
if command -v xorriso >/dev/null; then
  for image in ours-r.iso genisoimage.iso xorriso.iso; do
    [ -f "$work/$image" ] || continue
    ours=$("$program" ls -l "$work/$image" | awk '$1 !~ /^d/ || NR > 1' | grep -v boot.cat |
      awk '{ t = ($1 ~ /^-/) ? $5 : "-"; line = $1 " " $3 " " $4 " " t " " $8; for (i = 9; i <= NF; i++) line = line " " $i; print line }' | sort)
    theirs=$(xorriso -indev "$work/$image" -find / -exec lsdl 2>/dev/null | grep -v "^d.*'/'$" | grep -v "rr_moved" | grep -v boot.cat |
      sed -E "s/'//g" | awk '{ t = ($1 ~ /^-/) ? $5 : "-"; line = $1 " " $3 " " $4 " " t " " $9; for (i = 10; i <= NF; i++) line = line " " $i; print line }' | sort)
    if [ "$ours" = "$theirs" ]; then ok "ls -l of $image agrees with xorriso lsdl"; else
      bad "ls -l of $image differs from xorriso lsdl"
      diff <(echo "$ours") <(echo "$theirs") | head -10
    fi
  done
fi

# Hostile images: this program's image of a small tree, one name or record
# changed in place (same length). Each row: label, tree, what is changed
# (python bytes expressions: old, new), what the refusal says, and what
# must still be extracted.
base=$work/h-src
mkdir -p "$base/pre/in" "$base/ee"
echo good >"$base/good.txt"
echo x >"$base/aa"
echo x >"$base/slashname"
echo x >"$base/d1"
echo x >"$base/d2"
echo x >"$base/jx"
echo x >"$base/pre/in/f"
echo x >"$base/ee/f"
ln -s ../outside "$base/dd"
"$program" build -R --quiet -o "$work/h.iso" "$base" || bad "build of the hostile base"
rows=(
  "dotdot|rock-ridge|b'NM\\x07\\x01\\x00aa'|b'NM\\x07\\x01\\x00..'|stands for a folder itself or its parent"
  "slash|rock-ridge|b'NM\\x0e\\x01\\x00slashname'|b'NM\\x0e\\x01\\x00../escape'|holding '/'"
  "two-records|rock-ridge|b'NM\\x07\\x01\\x00d2'|b'NM\\x07\\x01\\x00d1'|a second entry for a path"
  "link-then-folder|rock-ridge|b'NM\\x07\\x01\\x00ee'|b'NM\\x07\\x01\\x00dd'|dd"
  "joliet-slash|joliet|b'\\x00j\\x00x\\x00;\\x001'|b'\\x00/\\x00x\\x00;\\x001'|holding '/'"
  "joliet-dotdot|joliet|b'\\x00j\\x00x\\x00;\\x001'|b'\\x00.\\x00.\\x00;\\x001'|stands for a folder itself or its parent"
  "symlink-before|rock-ridge|b''|b''|a symbolic link stands at this path"
)
for row in "${rows[@]}"; do
  IFS='|' read -r label tree old new says <<<"$row"
  image=$work/h-$label.iso
  python3 - "$work/h.iso" "$image" "$old" "$new" <<'EOF' || { bad "$label: patch"; continue; }
import ast, sys
data = open(sys.argv[1], 'rb').read()
old, new = ast.literal_eval(sys.argv[3]), ast.literal_eval(sys.argv[4])
if old:
    assert len(old) == len(new) and data.count(old) >= 1, (old, data.count(old))
    data = data.replace(old, new)
open(sys.argv[2], 'wb').write(data)
EOF
  parent=$work/h-parent-$label
  rm -rf "$parent"
  mkdir -p "$parent/outside" "$parent/out/h-src"
  echo keep >"$parent/outside/keep"
  # A link made before the extraction, where the image has a folder.
  ln -s ../../outside "$parent/out/h-src/pre"
  before=$(cd "$parent" && find . -path ./out -prune -o -printf '%y %m %s %p %l\n' | sort; cat outside/keep)
  status=0
  said=$("$program" extract "$image" --tree "$tree" -C "$parent/out" 2>&1) || status=$?
  after=$(cd "$parent" && find . -path ./out -prune -o -printf '%y %m %s %p %l\n' | sort; cat outside/keep)
  if [ "$status" = 1 ] && [ "$before" = "$after" ] && grep -qF -- "$says" <<<"$said" &&
    [ "$(cat "$parent/out/h-src/good.txt" 2>/dev/null)" = good ] && [ -L "$parent/out/h-src/pre" ]; then
    ok "hostile $label: refused by name, nothing outside changed, the rest extracted"
  else
    bad "hostile $label (status $status): $said"
    diff <(echo "$before") <(echo "$after") | head
  fi
done

# An existing file is kept without --overwrite, replaced with it.
into=$work/x-again
"$program" extract "$work/ours-j.iso" -C "$into" >/dev/null 2>&1
echo mine >"$into/sub/empty.txt"
if ! "$program" extract "$work/ours-j.iso" -C "$into" >/dev/null 2>&1 && [ "$(cat "$into/sub/empty.txt")" = mine ] &&
  "$program" extract "$work/ours-j.iso" --overwrite -C "$into" >/dev/null 2>&1 && [ ! -s "$into/sub/empty.txt" ]; then
  ok "existing files kept without --overwrite, replaced with it"
else bad "existing files and --overwrite"; fi
# No temporary entries are left behind.
if [ -z "$(find "$work" -name '.tarnwickiso-*' | head -1)" ]; then ok "no temporary entries left"; else
  bad "temporary entries left: $(find "$work" -name '.tarnwickiso-*' | head -3)"; fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
