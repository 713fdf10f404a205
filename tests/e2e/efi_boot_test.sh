#!/usr/bin/env bash
# Boots images with a UEFI boot entry in qemu: under OVMF as a CD-ROM and,
# made with --hybrid, as a plain disk, into a tiny UEFI application that prints
# a line on the serial port; and the same images by BIOS (SeaBIOS) through the
# floppy-emulation and no-emulation boot sectors of boot_test.sh and, from the
# disk, through MBR code given with --mbr-code.
set -uo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
program=${TARNWICKISO:-$top/build/tarnwickiso}
ovmf_code=${OVMF_CODE:-/usr/share/OVMF/OVMF_CODE.fd}
ovmf_vars=${OVMF_VARS:-/usr/share/OVMF/OVMF_VARS.fd}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$top/tests/e2e/serial_wait.sh"
passed=0
failed=0
uefi_line="TARNWICK UEFI BOOT OK"

for tool in nasm qemu-system-x86_64 x86_64-w64-mingw32-gcc mkfs.fat mmd mcopy; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed"; echo "0 passed, 1 failed"; exit 1; }
done
for file in "$ovmf_code" "$ovmf_vars"; do
  [ -r "$file" ] || { echo "$file is missing (package ovmf)"; echo "0 passed, 1 failed"; exit 1; }
done

# The UEFI application in FAT images: 1.44 MB (its size fits the catalog's
# sector count) and 40 MiB (beyond 65535 virtual sectors: count 0).
x86_64-w64-mingw32-gcc -Os -nostdlib -ffreestanding -fno-stack-protector -mno-red-zone -fshort-wchar \
  -Wl,--subsystem,10 -Wl,--dynamicbase -e efi_main -o "$work/BOOTX64.EFI" "$top/tests/e2e/efi_app.c" || exit 1
for esp in small:1440 large:40960; do
  name=${esp%%:*}
  mkfs.fat -C "$work/esp-$name.img" "${esp##*:}" >/dev/null &&
    mmd -i "$work/esp-$name.img" ::/EFI ::/EFI/BOOT &&
    mcopy -i "$work/esp-$name.img" "$work/BOOTX64.EFI" ::/EFI/BOOT/ || exit 1
done

# BIOS boot sectors, as in boot_test.sh; the MBR code is the first 432 bytes
# of a third one (its code and message end long before).
sector() { nasm -f bin -DBOOT_MESSAGE="'$2'" -o "$work/$1" "$top/tests/e2e/boot_sector.asm"; }
sector floppy.sector "TARNWICK FLOPPY BOOT OK" && cp "$work/floppy.sector" "$work/floppy.img" &&
  truncate -s 1474560 "$work/floppy.img" || exit 1
sector noemu.img "TARNWICK NO EMULATION BOOT OK" && truncate -s 2048 "$work/noemu.img" || exit 1
sector mbr.sector "TARNWICK MBR BOOT OK" && head -c 432 "$work/mbr.sector" >"$work/mbr.bin" || exit 1
mkdir -p "$work/tree"
echo "payload" >"$work/tree/readme.txt"

build() {
  local name=$1
  shift
  SOURCE_DATE_EPOCH=1070971200 "$program" build --quiet "$@" -o "$work/$name.iso" "$work/tree"
}

# boot NAME FIRMWARE(uefi|bios) MEDIUM(cd|disk) MESSAGE: waits up to a minute
# for the message on the serial port of the qemu it starts, then stops it.
boot() {
  local name=$1 firmware=$2 medium=$3 message=$4
  local run="$name-$firmware-$medium" args=(-accel tcg -m 128 -display none -no-reboot -net none -monitor none
    -parallel none -serial "file:$work/$name-$firmware-$medium.serial")
  if [ "$firmware" = uefi ]; then
    cp "$ovmf_vars" "$work/$run.vars"
    args+=(-drive "if=pflash,format=raw,readonly=on,file=$ovmf_code" -drive "if=pflash,format=raw,file=$work/$run.vars")
  fi
  if [ "$medium" = cd ]; then
    args+=(-boot d -cdrom "$work/$name.iso")
  else
    args+=(-boot c -drive "if=ide,format=raw,file=$work/$name.iso")
  fi
  : >"$work/$run.serial"
  qemu-system-x86_64 "${args[@]}" 2>>"$work/$run.log" &
  if wait_for_serial "$work/$run.serial" "$message" $!; then
    echo "ok: $run"
    passed=$((passed + 1))
  else
    echo "FAILED: $run; serial output:"
    tail -c 2000 "$work/$run.serial"
    echo
    failed=$((failed + 1))
  fi
}

built() {
  if build "$@"; then
    return 0
  fi
  echo "FAILED: building $1"
  failed=$((failed + 1))
  return 1
}

# BIOS floppy emulation and UEFI on one image, also for a disk.
if built both-floppy --boot "$work/floppy.img" --boot-media 1.44 --efi-boot "$work/esp-small.img" \
  --hybrid --mbr-code "$work/mbr.bin"; then
  boot both-floppy uefi cd "$uefi_line"
  boot both-floppy uefi disk "$uefi_line"
  boot both-floppy bios cd "TARNWICK FLOPPY BOOT OK"
  boot both-floppy bios disk "TARNWICK MBR BOOT OK"
fi
# BIOS no emulation and UEFI.
if built both-noemu --boot "$work/noemu.img" --boot-media custom --sector-count 4 --load-segment 0 \
  --efi-boot "$work/esp-small.img"; then
  boot both-noemu bios cd "TARNWICK NO EMULATION BOOT OK"
  boot both-noemu uefi cd "$uefi_line"
fi
# UEFI only, with an image too large for the sector count.
if built uefi-large --efi-boot "$work/esp-large.img" --hybrid; then
  boot uefi-large uefi cd "$uefi_line"
  boot uefi-large uefi disk "$uefi_line"
fi
echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
