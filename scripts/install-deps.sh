#!/usr/bin/env bash
# Installs the Debian packages that a job needs. Quick when everything is
# already there; otherwise runs apt-get update once first.
#
#   install-deps.sh demo   what building the command line and showing the demo
#                          image need: cmake, g++, make, the headers of
#                          OpenSSL's libcrypto and of zlib (the hashes and the
#                          GPT's CRC) and isoinfo (genisoimage)
#   install-deps.sh [all]  everything the tests need besides: GoogleTest, clang
#                          for the fuzzers, the mingw-w64 cross compilers and
#                          zlib built for them, Wine
#                          (wine32 and wine64), Xvfb, fonts and the Japanese
#                          locale, the image readers, QEMU with OVMF, mtools,
#                          dosfstools, gdisk, fdisk, a Linux kernel, and the
#                          boot loaders a live system boots with (ISOLINUX,
#                          GRUB for UEFI), and what the packaging test uses
#                          (dpkg-dev, lintian, mandoc, man-db, zip, unzip,
#                          bash-completion, zsh)
set -euo pipefail

group=${1:-all}
packages=(cmake g++ make libssl-dev zlib1g-dev genisoimage)
need_i386=0
case "$group" in
demo) ;;
all)
  packages+=(
    python3 googletest libgtest-dev libgmock-dev
    clang libclang-rt-14-dev clang-format
    mingw-w64 g++-mingw-w64-i686 binutils-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
    libz-mingw-w64-dev
    wine wine32 wine64 xvfb x11-utils imagemagick locales fonts-ipafont-gothic
    xorriso 7zip libcdio-utils bchunk libarchive-tools
    qemu-system-x86 nasm ovmf mtools dosfstools gdisk
    busybox-static cpio xz-utils linux-image-amd64
    isolinux syslinux-common grub-efi-amd64-bin grub-common fdisk
    dpkg-dev file lintian mandoc man-db zip unzip bash-completion zsh
  )
  # wine32 is an i386 package; it installs on any amd64 machine, even one
  # whose kernel cannot run it (the Wine scripts probe that and use wine64).
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    need_i386=1
  fi
  ;;
*)
  echo "install-deps: unknown group '$group' (demo or all)" >&2
  exit 2
  ;;
esac
missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ "$need_i386" = 1 ] || [ "${#missing[@]}" -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" = 0 ] || SUDO="sudo"
  [ "$need_i386" = 1 ] && $SUDO dpkg --add-architecture i386
  $SUDO apt-get update -q
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q "${missing[@]}"
fi

[ "$group" = all ] || exit 0

# Japanese locale for Wine's code page 932.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP.utf8$'; then
  SUDO=""
  [ "$(id -u)" = 0 ] || SUDO="sudo"
  $SUDO sed -i 's/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen >/dev/null
fi
