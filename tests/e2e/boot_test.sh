#!/usr/bin/env bash
# Boots images made by tarnwickiso in qemu: one with a 1.44 MB floppy
# emulation boot image and one with a no-emulation boot image. Each boot
# sector writes its own message to the serial port; the test waits for it.
set -uo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
program=${TARNWICKISO:-$top/build/tarnwickiso}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$top/tests/e2e/serial_wait.sh"
passed=0
failed=0

for tool in nasm qemu-system-i386; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed"; echo "0 passed, 1 failed"; exit 1; }
done

boot_case() {
  local name=$1 media=$2 message=$3 options=$4
  nasm -f bin -DBOOT_MESSAGE="'$message'" -o "$work/$name.sector" "$top/tests/e2e/boot_sector.asm" || return 1
  if [ "$media" = 1.44 ]; then
    # The sector at the start of a 1.44 MB diskette image.
    cp "$work/$name.sector" "$work/$name.img"
    truncate -s 1474560 "$work/$name.img"
  else
    cp "$work/$name.sector" "$work/$name.img"
    truncate -s 2048 "$work/$name.img"
  fi
  mkdir -p "$work/tree"
  echo "payload" >"$work/tree/readme.txt"
  SOURCE_DATE_EPOCH=1070971200 "$program" build --quiet --boot "$work/$name.img" --boot-media "$media" $options \
    -o "$work/$name.iso" "$work/tree" || return 1
  : >"$work/$name.serial"
  qemu-system-i386 -accel tcg -m 32 -display none -no-reboot -boot d -cdrom "$work/$name.iso" \
    -serial "file:$work/$name.serial" -monitor none -parallel none -net none &
  local found=0
  wait_for_serial "$work/$name.serial" "$message" $! || found=1
  [ "$found" = 0 ] || { echo "serial output of $name:"; cat "$work/$name.serial"; }
  return $found
}

run() {
  if boot_case "$@"; then
    echo "ok: $1"
    passed=$((passed + 1))
  else
    echo "FAILED: $1"
    failed=$((failed + 1))
  fi
}

run floppy 1.44 "TARNWICK FLOPPY BOOT OK" ""
run no-emulation custom "TARNWICK NO EMULATION BOOT OK" "--sector-count 4 --load-segment 0"
echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
