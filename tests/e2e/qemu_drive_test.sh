#!/bin/sh
# End-to-end test of the drive commands on real device code: QEMU boots the
# host's Debian kernel with a small initramfs (busybox and a statically linked
# tarnwickiso); the guest runs toc, drive-id, cd-image (with its cue sheet,
# which bchunk then undoes on the host) and disk-image on an
# emulated ATAPI CD-ROM holding an image this project built and on an emulated
# 1.44 MB floppy, and writes what came out to a result disk that the host then
# compares. Software emulation only (TCG); takes a minute or two.
#
# usage: tests/e2e/qemu_drive_test.sh [WORK_DIR]
# Environment: TW_STATIC_BUILD (default build-e2e-static in the source tree),
# KERNEL (default the newest /boot/vmlinuz-*), QEMU_TIMEOUT (seconds, 300).
set -eu

here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
work=${1:-$(mktemp -d /tmp/tw-drive-e2e.XXXXXX)}
static_build=${TW_STATIC_BUILD:-$source_dir/build-e2e-static}
kernel=${KERNEL:-$(ls /boot/vmlinuz-* 2>/dev/null | sort -V | tail -n 1)}
timeout_seconds=${QEMU_TIMEOUT:-300}
began=$(date +%s)
. "$here/guest_modules.sh"
mkdir -p "$work"
trap 'rm -f "$work/big.iso"' EXIT  # 4.4 GB: never left behind

fail_setup() { echo "qemu_drive_test: $*" >&2; echo "0 passed, 1 failed"; exit 1; }

for tool in qemu-system-x86_64 busybox cpio gzip python3 cmake; do
    command -v $tool > /dev/null || fail_setup "$tool is missing"
done
[ -n "$kernel" ] && [ -r "$kernel" ] || fail_setup "no readable kernel in /boot (package linux-image-amd64)"
release=${kernel#*/vmlinuz-}
modules=/lib/modules/$release
[ -d "$modules" ] || fail_setup "no modules for $release in $modules"
busybox_binary=$(command -v busybox)
file -L "$busybox_binary" 2>/dev/null | grep -q 'statically linked' ||
    fail_setup "$busybox_binary is not statically linked (package busybox-static)"

# The program, statically linked so that the initramfs needs no libraries.
echo "== static build in $static_build"
# Found libraries are cached: a cache from before the program took shared
# ones' archives would keep the shared ones. Configuring afresh costs seconds.
rm -f "$static_build/CMakeCache.txt"
cmake -S "$source_dir" -B "$static_build" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_EXE_LINKER_FLAGS=-static -DTW_TESTS=OFF > "$work/cmake.log" 2>&1 ||
    fail_setup "cmake configure failed, see $work/cmake.log"
cmake --build "$static_build" --target tarnwickiso -j "$(nproc)" >> "$work/cmake.log" 2>&1 ||
    fail_setup "static build failed, see $work/cmake.log"
program=$static_build/tarnwickiso

# The disc: an image built by the program itself; the floppy: 1.44 MB of
# deterministic bytes.
echo "== media in $work"
rm -rf "$work/tree" "$work/root" "$work/out"
mkdir -p "$work/tree/DOCS" "$work/tree/DATA"
python3 - "$work/tree" <<'PY'
import random, sys
r = random.Random(1)
root = sys.argv[1]
open(root + "/README.TXT", "w").write("drive tools end-to-end test\n")
for i, size in enumerate([1, 2047, 2048, 70001, 300000, 700000]):
    open("%s/DATA/F%d.BIN" % (root, i), "wb").write(bytes(r.getrandbits(8) for _ in range(size)))
open(root + "/DOCS/NOTE.TXT", "w").write("x" * 5000)
PY
"$program" build --quiet -o "$work/disc.iso" "$work/tree/README.TXT" "$work/tree/DOCS" \
    "$work/tree/DATA" > "$work/iso.log" 2>&1 || fail_setup "the build command failed, see $work/iso.log"
iso_bytes=$(stat -c %s "$work/disc.iso")
[ $((iso_bytes % 2048)) -eq 0 ] || fail_setup "ISO size $iso_bytes is not whole sectors"
sectors=$((iso_bytes / 2048))
# A Rock Ridge image for the kernel's own isofs to mount (through a loop
# device): modes, owners, links kept as links (to a file, to a folder,
# absolute), a FIFO, a device node where mknod may, hard links, a name of
# 200 bytes, a Japanese name and a tree 12 levels deep (relocated in the
# ISO 9660 tree, shown where it is by Rock Ridge).
rr=$work/rrtree
rm -rf "$rr"
mkdir -p "$rr/bin" "$rr/lib" "$rr/d1/d2/d3/d4/d5/d6/d7/d8/d9/d10/d11/d12"
printf '#!/bin/sh\n' > "$rr/bin/run.sh" && chmod 755 "$rr/bin/run.sh"
echo lib > "$rr/lib/libx.so.1" && ln -s libx.so.1 "$rr/lib/libx.so" && ln -s ../bin "$rr/lib/bin"
ln -s /etc/hostname "$rr/abs"
mkfifo "$rr/fifo" && chmod 640 "$rr/fifo"
mknod "$rr/null" c 1 3 2> /dev/null || true
echo hard > "$rr/h1" && ln "$rr/h1" "$rr/h2" && chmod 4711 "$rr/h1"
echo long > "$rr/$(printf 'L%.0s' $(seq 200))"
echo ja > "$rr/日本語のファイル名.txt"
echo deep > "$rr/d1/d2/d3/d4/d5/d6/d7/d8/d9/d10/d11/d12/f"
chown 1234:567 "$rr/bin/run.sh" 2> /dev/null || true
"$program" build --quiet -R -o "$work/rr.iso" "$rr" > "$work/rr.log" 2>&1 &&
    "$program" build --quiet -r -o "$work/rr-r.iso" "$rr" >> "$work/rr.log" 2>&1 ||
    fail_setup "the Rock Ridge build failed, see $work/rr.log"
# A file of 4.5 GiB (sparse here; two extents in the image), on a disk of
# its own: the guest's isofs gives its size and its last bytes. The image is
# removed when the guest is done with it.
# It needs 4.4 GB of room; where there is less, that check is skipped.
big=$work/bigtree
rm -rf "$big" "$work/big.iso"
free_kib=$(df -Pk "$work" | awk 'NR == 2 { print $4 }')
big_skip=
if [ "${free_kib:-0}" -lt $((6 * 1024 * 1024)) ]; then
    big_skip="less than 6 GiB free in $work"
    big_drive=
else
    mkdir -p "$big"
    truncate -s 4500M "$big/big.bin"
    printf 'last bytes' | dd of="$big/big.bin" bs=1 seek=$((4500 * 1048576 - 10)) conv=notrunc 2> /dev/null
    "$program" build --quiet -R --verify -o "$work/big.iso" "$big/big.bin" > "$work/big.log" 2>&1 ||
        fail_setup "the build of a 4.5 GiB file failed, see $work/big.log"
    # extract joins the two extents into the file again (4.4 GB more room).
    big_extract=
    if [ "$free_kib" -ge $((11 * 1024 * 1024)) ]; then
        rm -rf "$work/big-x"
        big_extract=$("$program" extract "$work/big.iso" -C "$work/big-x" 2>&1 && cmp "$big/big.bin" "$work/big-x/big.bin" 2>&1 &&
            echo same) || true
        rm -rf "$work/big-x"
    fi
    rm -rf "$big"
    big_drive="-drive file=$work/big.iso,format=raw,if=ide,index=1,snapshot=on"
fi
# What the tree says, as the guest's listing of the mounted image will.
rr_listing() {  # one line per item: path, mode (hex), links of files, owner, group, size of non-folders, mtime, target
    (cd "$work" && find ./rrtree | LC_ALL=C sort | while IFS= read -r f; do
        if [ -d "$f" ] && [ ! -L "$f" ]; then
            stat -c '%n %f - %u %g - %Y' "$f"
        else
            printf '%s %s\n' "$(stat -c '%n %f %h %u %g %s %Y' "$f")" "$(readlink "$f")"
        fi
    done)
}
rr_listing > "$work/rr.expected"
# With -r: owner and group 0, read for all, execute for all where any had
# it, nothing else.
python3 - "$work/rr.expected" > "$work/rr-r.expected" <<'PY'
import sys
for line in open(sys.argv[1], encoding="utf-8", errors="surrogateescape"):
    f = line.rstrip("\n").split(" ")
    mode = int(f[1], 16)
    f[1] = "%x" % ((mode & 0o170000) | 0o444 | (0o111 if mode & 0o111 else 0))
    f[3] = f[4] = "0"
    sys.stdout.write(" ".join(f) + "\n")
PY

python3 -c "
import random
r = random.Random(2)
open('$work/floppy.img', 'wb').write(bytes(r.getrandbits(8) for _ in range(1474560)))"
rm -f "$work/result.img"
truncate -s 32M "$work/result.img"
echo "   disc: $sectors sectors, floppy 1474560 bytes"

# The initramfs.
mkdir -p "$work/root/bin" "$work/root/lib/modules" "$work/root/proc" "$work/root/sys" "$work/root/dev"
cp "$busybox_binary" "$work/root/bin/busybox"
cp "$program" "$work/root/bin/tarnwickiso"
cp "$here/drive_guest_init.sh" "$work/root/init"
cp "$work/rr.iso" "$work/root/rr.iso"
cp "$work/rr-r.iso" "$work/root/rr-r.iso"
chmod +x "$work/root/init"
# In load order. The SCSI disk driver (for the result disk) needs the CRC
# modules and their generic crypto implementations loaded before it, since
# the guest has no modprobe to fetch them on demand.
# The loop device and isofs mount the Rock Ridge image; the check is skipped
# where the kernel has them built in or not at all.
rr_modules=
for m in loop isofs; do
    find "$modules/kernel" -name "$m.ko*" | grep -q . && rr_modules="$rr_modules $m"
done
guest_modules="scsi_common scsi_mod cdrom sr_mod sg crct10dif_common crct10dif_generic crc-t10dif
    crc64 crc64_rocksoft_generic crc64-rocksoft t10-pi sd_mod libata ata_piix floppy"
: > "$work/root/lib/modules/order"
copy_guest_modules "$modules" "$work/root/lib/modules" $guest_modules $rr_modules ||
    fail_setup "kernel modules missing under $modules"
(cd "$work/root" && find . | cpio -o -H newc --quiet | gzip -1) > "$work/initrd.gz"

echo "== booting $kernel under TCG"
boot_began=$(date +%s)
timeout "$timeout_seconds" qemu-system-x86_64 -accel tcg -m 256 -nographic -no-reboot \
    -kernel "$kernel" -initrd "$work/initrd.gz" \
    -append "console=ttyS0 quiet loglevel=3 panic=-1 e2e_sectors=$sectors" \
    -drive file="$work/result.img",format=raw,if=ide,index=0 \
    $big_drive \
    -drive file="$work/disc.iso",format=raw,if=ide,index=2,media=cdrom \
    -drive if=ide,index=3,media=cdrom \
    -drive file="$work/floppy.img",format=raw,if=floppy,index=0,readonly=on \
    -serial mon:stdio -display none -monitor none < /dev/null > "$work/console.log" 2>&1 || true
boot_seconds=$(( $(date +%s) - boot_began ))
rm -f "$work/big.iso"
grep '^GUEST:' "$work/console.log" | tr -d '\r' | sed 's/^/   /'

mkdir -p "$work/out"
tar xf "$work/result.img" -C "$work/out" 2> /dev/null || true

passed=0
failed=0
check() {  # check NAME COMMAND...
    name=$1
    shift
    if "$@" > "$work/check.log" 2>&1; then
        passed=$((passed + 1))
        echo "PASS $name"
    else
        failed=$((failed + 1))
        echo "FAIL $name"
        sed 's/^/   /' "$work/check.log" | head -n 20
    fi
}
out=$work/out
rc_is() { [ -f "$out/$1.rc" ] && [ "$(cat "$out/$1.rc")" = "$2" ] || { echo "exit status $(cat "$out/$1.rc" 2>/dev/null)"; cat "$out/$1.err" 2>/dev/null; return 1; }; }
err_has() { grep -qF -- "$2" "$out/$1.err" || { echo "stderr: $(cat "$out/$1.err")"; return 1; }; }

check "guest ran to its end" grep -q 'GUEST: done' "$work/console.log"

# The kernel's isofs shows the Rock Ridge tree as it is on disk.
isofs_is() {  # NAME EXPECTED
    [ -s "$out/$1.txt" ] || { echo "no listing from the guest: $(cat "$out/$1.err" 2>/dev/null)"; return 1; }
    diff "$2" "$out/$1.txt" || return 1
    [ -f "$out/$1-moved.txt" ] && [ ! -s "$out/$1-moved.txt" ] ||
        { echo "relocation folder: $(cat "$out/$1-moved.txt" 2>/dev/null)"; return 1; }
}
if [ "$rr_modules" = " loop isofs" ]; then
    check "Linux isofs shows every name, mode, owner, link, hard link and time of a Rock Ridge image" \
        isofs_is isofs "$work/rr.expected"
    check "Linux isofs shows the rationalised modes and owners of -r" isofs_is isofs-r "$work/rr-r.expected"
else
    echo "SKIP Linux isofs of a Rock Ridge image: the kernel has no loop and isofs modules ($rr_modules)"
fi

big_is() {
    printf '/mnt/big/big.bin 4718592000\nlast bytes' | cmp - "$out/big.txt" ||
        { echo "guest: $(cat "$out/big.txt" "$out/big.err" 2>/dev/null)"; return 1; }
}
if [ -n "$big_skip" ]; then
    echo "SKIP Linux isofs of a 4.5 GiB file: $big_skip"
elif [ "$rr_modules" = " loop isofs" ]; then
    check "Linux isofs gives the size and last bytes of a 4.5 GiB file in two extents" big_is
fi
if [ -z "$big_skip" ] && [ -n "${big_extract:-}" ]; then
    check "extract gives back a 4.5 GiB file of two extents byte for byte" grep -qx same <<<"$big_extract"
else
    echo "SKIP extract of a 4.5 GiB file: less than 11 GiB free in $work"
fi

expected_toc() {
    printf 'FILE "?" BINARY\r\nTRACK 01 MODE?/2352\r\n  INDEX 01 00:00:00 // 0\r\n // %d\r\n' "$sectors"
}
toc_is() { rc_is $1 0 && expected_toc | cmp - "$out/$1.out"; }
check "toc /dev/sr0 gives the cue sheet of one data track" toc_is toc
check "toc on the SCSI generic device gives the same text" toc_is sg_toc

id_is() { rc_is id 0 && grep -q '^QEMU    QEMU DVD-ROM    ....$' "$out/id.out" ||
          { echo "identification: '$(cat "$out/id.out")'"; return 1; }; }
check "drive-id shows vendor, product, revision" id_is

raw_is() { rc_is $1 0 && python3 "$here/check_raw_image.py" --binary-header "$out/$2" "$work/disc.iso" $3 $4; }
check "cd-image without a range copies the whole disc" raw_is cd cd.bin 0 $sectors
check "cd-image on the SCSI generic device" raw_is sg sg.bin 16 2

# The sheet of a dump names the dump and its one track; bchunk turns the
# dump and the sheet back into the 2048-byte sectors of the disc image.
bchunk_gives() {  # NAME FIRST COUNT: NAME.bin + NAME.cue give sectors FIRST.. of disc.iso
    printf 'FILE "%s.bin" BINARY\r\n  TRACK 01 MODE1/2352\r\n    INDEX 01 00:00:00\r\n' $1 | cmp - "$out/$1.cue" ||
        { echo "sheet:"; cat -A "$out/$1.cue"; return 1; }
    command -v bchunk > /dev/null || { echo "bchunk is missing (package bchunk)"; return 1; }
    (cd "$out" && bchunk $1.bin $1.cue $1-track) > /dev/null &&
    tail -c +$(($2 * 2048 + 1)) "$work/disc.iso" | head -c $(($3 * 2048)) | cmp - "$out/$1-track01.iso"
}
cue_is() { rc_is cue 0 && bchunk_gives cue 0 $sectors; }
check "cd-image --cue: bchunk turns the dump and its sheet back into the disc image" cue_is
cuepart_is() { rc_is cuepart 0 && bchunk_gives part 16 16; }
check "cd-image --cue of a range from mid-track: the track starts at 00:00:00" cuepart_is

beyond_is() {
    rc_is beyond 1 &&
    err_has beyond "4 of 8 sectors could not be read, the first at sector $sectors" &&
    python3 "$here/check_raw_image.py" --binary-header "$out/beyond.bin" "$work/disc.iso" $((sectors - 4)) 8 $sectors
}
check "cd-image past the lead-out: zero sectors, counted, exit 1" beyond_is

refused_is() { rc_is refused 1 && err_has refused "nothing was written" && [ ! -e "$out/refused.bin" ]; }
check "cd-image refuses last < first - 1 and writes nothing" refused_is

fd_is() { rc_is fd 0 && cmp "$work/floppy.img" "$out/fd.img"; }
check "disk-image /dev/fd0 is a byte copy of the floppy" fd_is
cdvol_is() { rc_is cdvol 0 && cmp "$work/disc.iso" "$out/cdvol.img"; }
check "disk-image /dev/sr0 is a byte copy of the ISO" cdvol_is

fd_toc_is() { rc_is fd_toc 1 && err_has fd_toc "not a SCSI or CD-ROM device"; }
check "toc on the floppy says it is no CD-ROM device, exit 1" fd_toc_is
nodisc_toc_is() { rc_is nodisc_toc 1 && err_has nodisc_toc "cannot read the table of contents of /dev/sr1"; }
check "toc of an empty drive says so, exit 1" nodisc_toc_is
nodisc_cd_is() {
    rc_is nodisc_cd 1 && err_has nodisc_cd "3 of 3 sectors could not be read, the first at sector 0" &&
    [ "$(stat -c %s "$out/nodisc.bin")" = 7056 ] && ! tr -d '\000' < "$out/nodisc.bin" | grep -q .
}
check "cd-image of an empty drive: 3 zero sectors, counted, exit 1" nodisc_cd_is
nodrive_is() { rc_is nodrive 1 && err_has nodrive "cannot open drive /dev/sr7"; }
check "drive-id on a missing drive says so, exit 1" nodrive_is

total_seconds=$(( $(date +%s) - began ))
echo "guest boot and commands: ${boot_seconds} s; whole test: ${total_seconds} s; files in $work"
echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
