#!/usr/bin/env bash
# A real Linux boots from one image four ways: SeaBIOS from a CD-ROM and from
# a disk (ISOLINUX, through the isohybrid MBR on the disk), OVMF from a
# CD-ROM and from a disk (GRUB in the EFI image). Everything comes from
# Debian packages: the host's kernel, busybox-static, isolinux and
# syslinux-common, grub-efi-amd64-bin, mtools, ovmf. The tree lays the kernel
# and initramfs out as Debian's installer does (install.amd/); the
# initramfs's init mounts the boot medium with the kernel's isofs, checks a
# symbolic link, an executable bit and a 100-character name through Rock
# Ridge and a file's checksum, prints one line on the serial console and
# powers off. The peers' image of the same tree boots the same four ways, so
# that a failure says whether the tree or the image is at fault.
#
# usage: tests/e2e/live_boot_test.sh [WORK_DIR]
# Environment: TARNWICKISO (default build/tarnwickiso), KERNEL (default the
# newest /boot/vmlinuz-*), OVMF_CODE, OVMF_VARS.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
program=${TARNWICKISO:-$top/build/tarnwickiso}
kernel=${KERNEL:-$(ls /boot/vmlinuz-* 2>/dev/null | sort -V | tail -n 1)}
ovmf_code=${OVMF_CODE:-/usr/share/OVMF/OVMF_CODE.fd}
ovmf_vars=${OVMF_VARS:-/usr/share/OVMF/OVMF_VARS.fd}
isolinux_dir=/usr/lib/ISOLINUX
syslinux_bios=/usr/lib/syslinux/modules/bios
work=${1:-$(mktemp -d /tmp/tw-live.XXXXXX)}
began=$(date +%s)
. "$here/serial_wait.sh"
. "$here/guest_modules.sh"

fail_setup() { echo "live_boot_test: $*" >&2; echo "0 passed, 1 failed"; exit 1; }
for tool in qemu-system-x86_64 busybox cpio gzip mkfs.fat mmd mcopy grub-mkstandalone xorriso md5sum; do
  command -v $tool >/dev/null || fail_setup "$tool is missing"
done
for file in "$ovmf_code" "$ovmf_vars" "$isolinux_dir/isolinux.bin" "$isolinux_dir/isohdpfx.bin" \
  "$syslinux_bios/ldlinux.c32"; do
  [ -r "$file" ] || fail_setup "$file is missing (packages ovmf, isolinux, syslinux-common)"
done
[ -n "$kernel" ] && [ -r "$kernel" ] || fail_setup "no readable kernel in /boot (package linux-image-amd64)"
modules=/lib/modules/${kernel#*/vmlinuz-}
[ -d "$modules" ] || fail_setup "no modules for $kernel in $modules"
busybox_binary=$(command -v busybox)
file -L "$busybox_binary" 2>/dev/null | grep -q 'statically linked' ||
  fail_setup "$busybox_binary is not statically linked (package busybox-static)"

line="TARNWICK LIVE SYSTEM UP"
long_name=$(printf 'n%.0s' $(seq 100))
rm -rf "$work/boot" "$work/system" "$work/data" "$work/initramfs" "$work/efi"
mkdir -p "$work"

# Three source folders, grafted into the image's tree: the boot loader's
# (isolinux/), the system's (install.amd/) and the data's.
mkdir -p "$work/boot/loader" "$work/system/kernel" "$work/data/tools"
cp "$isolinux_dir/isolinux.bin" "$syslinux_bios/ldlinux.c32" "$work/boot/loader/"
cat >"$work/boot/loader/isolinux.cfg" <<EOF
serial 0 115200
default live
prompt 0
timeout 0
label live
  kernel /install.amd/vmlinuz
  append initrd=/install.amd/initrd.gz console=ttyS0 panic=-1 quiet
EOF
printf '#!/bin/sh\necho tool\n' >"$work/data/tools/run.sh"
chmod 755 "$work/data/tools/run.sh"
ln -s tools/run.sh "$work/data/link"
echo "a name of a hundred characters" >"$work/data/$long_name"
head -c 300000 /dev/urandom >"$work/data/payload.bin"
sum=$(md5sum <"$work/data/payload.bin" | cut -d' ' -f1)

# The initramfs: busybox, the drivers of the emulated CD-ROM and disk, isofs.
root=$work/initramfs
mkdir -p "$root/bin" "$root/lib/modules" "$root/proc" "$root/sys" "$root/dev" "$root/mnt"
cp "$busybox_binary" "$root/bin/busybox"
copy_guest_modules "$modules" "$root/lib/modules" scsi_common scsi_mod cdrom sr_mod crct10dif_common \
  crct10dif_generic crc-t10dif crc64 crc64_rocksoft_generic crc64-rocksoft t10-pi sd_mod libata ata_piix isofs ||
  fail_setup "kernel modules missing under $modules"
cat >"$root/init" <<EOF
#!/bin/busybox sh
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
for m in \$(cat /lib/modules/order); do insmod /lib/modules/\$m.ko 2>/dev/null; done
found=
for n in 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20; do
  for d in /dev/sr0 /dev/sda; do
    [ -b \$d ] && mount -t iso9660 -o ro \$d /mnt 2>/dev/null && found=\$d && break 2
  done
  sleep 1
done
if [ -z "\$found" ]; then echo "LIVE: no boot medium"; poweroff -f; fi
ok=yes
[ "\$(readlink /mnt/data/link)" = tools/run.sh ] || { echo "LIVE: link '\$(readlink /mnt/data/link)'"; ok=no; }
[ -x /mnt/data/tools/run.sh ] || { echo "LIVE: run.sh is not executable"; ok=no; }
[ -f /mnt/data/$long_name ] || { echo "LIVE: the long name is missing"; ok=no; }
[ "\$(md5sum < /mnt/data/payload.bin | cut -d' ' -f1)" = $sum ] || { echo "LIVE: payload.bin differs"; ok=no; }
[ \$ok = yes ] && echo "$line from \$found"
poweroff -f
EOF
chmod +x "$root/init"
mkdir -p "$work/system/kernel"
cp "$kernel" "$work/system/kernel/vmlinuz"
(cd "$root" && find . | cpio -o -H newc --quiet | gzip -1) >"$work/system/kernel/initrd.gz"

# GRUB for UEFI in a FAT image: it finds the medium by the kernel's path.
mkdir -p "$work/efi"
cat >"$work/efi/grub.cfg" <<EOF
serial --unit=0 --speed=115200
terminal_output serial
search --no-floppy --file --set=root /install.amd/vmlinuz
linux /install.amd/vmlinuz console=ttyS0 panic=-1 quiet
initrd /install.amd/initrd.gz
boot
EOF
grub-mkstandalone -O x86_64-efi -o "$work/efi/BOOTX64.EFI" \
  --install-modules="linux normal search search_fs_file iso9660 part_gpt part_msdos fat serial terminal configfile" \
  --modules="linux search search_fs_file iso9660 part_gpt part_msdos serial" --locales= --fonts= --themes= \
  "boot/grub/grub.cfg=$work/efi/grub.cfg" >"$work/grub.log" 2>&1 || fail_setup "grub-mkstandalone failed, see $work/grub.log"
rm -f "$work/efi/efi.img"
mkfs.fat -C "$work/efi/efi.img" 4096 >/dev/null && mmd -i "$work/efi/efi.img" ::/EFI ::/EFI/BOOT &&
  mcopy -i "$work/efi/efi.img" "$work/efi/BOOTX64.EFI" ::/EFI/BOOT/ || fail_setup "the EFI image could not be made"

# The images: this project's (the boot image a hidden copy, and the tree's
# file with --boot-path), and the peers' of the same tree.
for boot in "--boot $work/boot/loader/isolinux.bin" "--boot-path isolinux/isolinux.bin"; do
  name=live
  [ "${boot#--boot-path}" != "$boot" ] && name=live-path
  SOURCE_DATE_EPOCH=1700000000 "$program" build --quiet -R --joliet-long --relaxed-names \
    $boot --boot-media custom --sector-count 4 --boot-info-table \
    --efi-boot "$work/efi/efi.img" --hybrid --mbr-code "$isolinux_dir/isohdpfx.bin" --verify \
    --graft-points -o "$work/$name.iso" isolinux="$work/boot/loader" install.amd="$work/system/kernel" \
    data="$work/data" >"$work/$name.log" 2>&1 ||
    fail_setup "the build of $name failed, see $work/$name.log"
done
xorriso -as mkisofs -quiet -R -J -joliet-long -graft-points -o "$work/peer.iso" \
  -b isolinux/isolinux.bin -c isolinux/boot.cat -no-emul-boot -boot-load-size 4 -boot-info-table \
  -isohybrid-mbr "$isolinux_dir/isohdpfx.bin" -eltorito-alt-boot -e efi.img -no-emul-boot -isohybrid-gpt-basdat \
  isolinux="$work/boot/loader" install.amd="$work/system/kernel" data="$work/data" \
  efi.img="$work/efi/efi.img" >"$work/peer.log" 2>&1 || fail_setup "the peers' build failed, see $work/peer.log"
echo "   images: $(stat -c %s "$work/live.iso") bytes, the peers' $(stat -c %s "$work/peer.iso") bytes" \
  "($(( $(date +%s) - began )) s to make)"

passed=0
failed=0
check() {  # check NAME COMMAND...: the command's output is shown when it fails
  if "${@:2}" >"$work/check.log" 2>&1; then
    echo "PASS $1"
    passed=$((passed + 1))
  else
    echo "FAIL $1"
    sed 's/^/   /' "$work/check.log" | head -n 20
    failed=$((failed + 1))
  fi
}
# The readers take both images' catalogs and partition tables.
xorriso_reads() {
  xorriso -indev "$1" -report_el_torito plain -report_system_area plain 2>&1 | tee "$work/xorriso.log" |
    grep -E 'El Torito boot img|MBR partition  ' && ! grep -qiE 'FAILURE|SORRY|WARNING' "$work/xorriso.log"
}
check "xorriso reads the catalog and the system area of --boot-path's image without complaint" \
  xorriso_reads "$work/live-path.iso"
if command -v sgdisk >/dev/null && command -v fdisk >/dev/null; then
  check "sgdisk and fdisk read the partition tables" \
    sh -c "sgdisk -v '$work/live.iso' | grep -q 'No problems found' && fdisk -l '$work/live.iso' | grep -q 'EFI System'"
fi
check "the reader checks the images clean" "$program" verify "$work/live.iso" "$work/live-path.iso"

# boot IMAGE FIRMWARE(bios|uefi) MEDIUM(cd|disk): waits for the line.
boot() {
  local image=$1 firmware=$2 medium=$3 run="$1-$2-$3" start
  start=$(date +%s)
  local args=(-accel tcg -m 512 -display none -no-reboot -net none -monitor none -parallel none
    -serial "file:$work/$run.serial")
  if [ "$firmware" = uefi ]; then
    cp "$ovmf_vars" "$work/$run.vars"
    args+=(-drive "if=pflash,format=raw,readonly=on,file=$ovmf_code" -drive "if=pflash,format=raw,file=$work/$run.vars")
  fi
  if [ "$medium" = cd ]; then
    args+=(-boot d -drive "if=ide,index=2,media=cdrom,format=raw,readonly=on,file=$work/$image.iso")
  else
    args+=(-boot c -drive "if=ide,index=0,format=raw,snapshot=on,file=$work/$image.iso")
  fi
  : >"$work/$run.serial"
  qemu-system-x86_64 "${args[@]}" 2>>"$work/$run.log" &
  if WAIT_SECONDS=150 wait_for_serial "$work/$run.serial" "$line" $!; then
    echo "PASS $image: $firmware from a $medium ($(( $(date +%s) - start )) s)"
  else
    echo "FAIL $image: $firmware from a $medium; serial output:"
    tr -d '\r' <"$work/$run.serial" | grep -v '^$' | tail -n 15 | sed 's/^/   /'
    return 1
  fi
}
# Two at a time: the machines have two cores or more.
runs=()
for image in live live-path peer; do
  for firmware in bios uefi; do
    for medium in cd disk; do
      runs+=("$image $firmware $medium")
    done
  done
done
for ((i = 0; i < ${#runs[@]}; i += 2)); do
  boot ${runs[$i]} >"$work/result.$i" 2>&1 &
  first=$!
  second=
  if [ $((i + 1)) -lt ${#runs[@]} ]; then
    boot ${runs[$((i + 1))]} >"$work/result.$((i + 1))" 2>&1 &
    second=$!
  fi
  wait $first && passed=$((passed + 1)) || failed=$((failed + 1))
  cat "$work/result.$i"
  if [ -n "$second" ]; then
    wait $second && passed=$((passed + 1)) || failed=$((failed + 1))
    cat "$work/result.$((i + 1))"
  fi
done
echo "whole test: $(( $(date +%s) - began )) s; files in $work"
echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
