#!/usr/bin/env bash
# Copies the named HID modules of an unpacked kernel package into DEST as
# plain .ko files, and prints the kernel's release. The package may keep its
# modules under lib/modules (Debian 12) or usr/lib/modules (Debian 13), and
# plain or compressed with xz or zstd (.ko, .ko.xz, .ko.zst).
#   kernel-modules.sh KERNEL_ROOT DEST MODULE...
set -euo pipefail
kernel=${1:?usage: kernel-modules.sh KERNEL_ROOT DEST MODULE...}
dest=${2:?usage: kernel-modules.sh KERNEL_ROOT DEST MODULE...}
shift 2
modules=
for candidate in "$kernel/lib/modules" "$kernel/usr/lib/modules"; do
  [ -d "$candidate" ] && { modules=$candidate; break; }
done
[ -n "$modules" ] || { echo "no lib/modules or usr/lib/modules in $kernel" >&2; exit 1; }
release=$(ls "$modules" | head -n 1)
mkdir -p "$dest"
for module in "$@"; do
  base=$modules/$release/kernel/drivers/hid/$module.ko
  if [ -f "$base" ]; then
    cp "$base" "$dest/$module.ko"
  elif [ -f "$base.xz" ]; then
    xz -dc "$base.xz" >"$dest/$module.ko"
  elif [ -f "$base.zst" ]; then
    zstd -qdc "$base.zst" >"$dest/$module.ko"
  else
    echo "no $module.ko, .ko.xz or .ko.zst in $modules/$release" >&2
    exit 1
  fi
done
echo "$release"
