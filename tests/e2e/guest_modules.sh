# Sourced by the QEMU tests. copy_guest_modules MODULES_DIR DEST NAME...:
# copies the kernel modules of those names from the kernel's MODULES_DIR into
# DEST, uncompressed (busybox's insmod takes plain .ko), and appends each
# name to DEST/order, the order the guest loads them in. Fails on the first
# module that is not there.
copy_guest_modules() {
  local from=$1 dest=$2 m path
  shift 2
  for m in "$@"; do
    path=$(find "$from/kernel" -name "$m.ko" -o -name "$m.ko.xz" -o -name "$m.ko.zst" | head -n 1)
    [ -n "$path" ] || { echo "module $m not found under $from" >&2; return 1; }
    case $path in
    *.xz) xz -dc "$path" >"$dest/$m.ko" ;;
    *.zst) zstd -dqc "$path" >"$dest/$m.ko" ;;
    *) cp "$path" "$dest/$m.ko" ;;
    esac
    echo "$m" >>"$dest/order"
  done
}
