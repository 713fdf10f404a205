#!/usr/bin/env bash
# Installs the Debian packages that the builds and the tests need. Quick when
# everything is already there; otherwise runs apt-get update once first.
set -euo pipefail

packages=(
  cmake g++ make python3 googletest libgtest-dev libgmock-dev
  clang libclang-rt-14-dev
  mingw-w64 g++-mingw-w64-i686 binutils-mingw-w64-i686
  wine wine32 xvfb x11-utils imagemagick locales fonts-ipafont-gothic
  genisoimage xorriso 7zip libcdio-utils bchunk
  qemu-system-x86 nasm
  busybox-static cpio xz-utils linux-image-amd64
)

need_i386=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  need_i386=1
fi
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

# Japanese locale for Wine's code page 932.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP.utf8$'; then
  SUDO=""
  [ "$(id -u)" = 0 ] || SUDO="sudo"
  $SUDO sed -i 's/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen >/dev/null
fi
