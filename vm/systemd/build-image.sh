#!/usr/bin/env bash
# Makes the disk image of the systemd leg's test machine, once: Debian 12
# (bookworm) with systemd as PID 1, udev, Debian's kernel, curl, and the
# libraries and INDI tools that the project's packages depend on, so that
# apt installs them inside it without a network. A unit in it runs
# /payload/guest.sh from a second disk at every boot where that disk is
# there. Prints the folder that holds the image (rootfs.img), the kernel
# (vmlinuz) and its initramfs (initrd.img).
#
# Kept in ~/.cache/light-dimmer/systemd-vm, outside the clone, and made
# again once it is a week old or this script has changed; a run boots it
# through a copy-on-write overlay and never changes it.
#   build-image.sh
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cache=${XDG_CACHE_HOME:-$HOME/.cache}/light-dimmer
image=$cache/systemd-vm
made=$image/.made-$(sha256sum "$0" | cut -c1-16)
if [ -f "$made" ] && [ -z "$(find "$made" -mtime +7)" ]; then
  echo "$image"
  exit 0
fi

echo "Making the systemd test machine's image in $image" >&2
work=$(mktemp -d "$cache/systemd-vm-make.XXXXXX")
trap 'rm -rf "$work"' EXIT
root=$work/root
packages=systemd-sysv,udev,kmod,linux-image-amd64,curl,procps,libhidapi-hidraw0,indi-bin
packages+=,libindidriver1,libstdc++6,libgcc-s1
debootstrap --variant=minbase --include="$packages" bookworm "$root" \
  http://deb.debian.org/debian >"$work/debootstrap.log" 2>&1 ||
  { tail -n 30 "$work/debootstrap.log" >&2; exit 1; }

echo 'dimmer-test' >"$root/etc/hostname"
echo '/dev/vda / ext4 rw,errors=remount-ro 0 1' >"$root/etc/fstab"
# Quiet and steady: no login prompt on the console, no apt runs of its own.
for unit in serial-getty@ttyS0.service getty@tty1.service apt-daily.timer \
            apt-daily-upgrade.timer; do
  ln -sf /dev/null "$root/etc/systemd/system/$unit"
done
cat >"$root/etc/systemd/system/payload.service" <<'UNIT'
[Unit]
Description=The test on the payload disk
ConditionPathExists=/dev/vdb
After=multi-user.target

[Service]
Type=oneshot
ExecStart=/bin/sh -c 'mkdir -p /payload && mount -o ro /dev/vdb /payload && exec /payload/guest.sh'
StandardOutput=journal+console
StandardError=journal+console

[Install]
WantedBy=multi-user.target
UNIT
mkdir -p "$root/etc/systemd/system/multi-user.target.wants"
ln -sf ../payload.service "$root/etc/systemd/system/multi-user.target.wants/payload.service"
rm -rf "$root"/var/cache/apt/archives/*.deb "$root"/var/lib/apt/lists/*

mkdir -p "$work/image"
cp "$(ls "$root"/boot/vmlinuz-* | head -n 1)" "$work/image/vmlinuz"
cp "$(ls "$root"/boot/initrd.img-* | head -n 1)" "$work/image/initrd.img"
mkfs.ext4 -q -L root -d "$root" "$work/image/rootfs.img" 3G
rm -rf "$image"
mv "$work/image" "$image"
touch "$made"
echo "$image"
