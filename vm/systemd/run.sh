#!/usr/bin/env bash
# The systemd leg: boots a Debian 12 machine with systemd as PID 1 under
# QEMU (build-image.sh makes it once), in which guest.sh installs the
# packages of VERSION with apt, enables the service, plugs in the dimmer as a
# USB device, reboots, plugs it in after boot, kills the server, upgrades to
# the packages of UPGRADE_VERSION, removes and purges them. Reports what the
# guest checked; fails when a check fails, or when the guest crashes, hangs
# or never reports (it is given DIMMER_SYSTEMD_VM_TIMEOUT seconds, default
# 900).
#
# Software emulation (TCG) by default: nested KVM stalls on some machines.
# DIMMER_VM_KVM=1 uses KVM where it is known to work.
#   run.sh BUILD_DIR PACKAGE_DIR VERSION UPGRADE_VERSION
set -euo pipefail
build=$(cd "$1" && pwd)
packages=$(cd "$2" && pwd)
version=$3
upgrade=$4
here=$(cd "$(dirname "$0")" && pwd)
timeout_seconds=${DIMMER_SYSTEMD_VM_TIMEOUT:-900}
image=$("$here/build-image.sh")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
payload=$work/payload
mkdir -p "$payload/packages" "$payload/upgrade"
for package in light-dimmer light-dimmer-indi light-dimmer-alpaca; do
  cp "$packages/${package}_${version}_amd64.deb" "$payload/packages/"
  cp "$packages/${package}_${upgrade}_amd64.deb" "$payload/upgrade/"
done
echo "$upgrade" >"$payload/upgrade/version"
cp "$here/guest.sh" "$here/../usb-gadget-dimmer.sh" "$build/testing/kernel_dimmer" "$payload/"
mkfs.ext4 -q -d "$payload" "$work/payload.img" 64M
qemu-img create -q -f qcow2 -b "$image/rootfs.img" -F raw "$work/root.qcow2"

machine=(qemu-system-x86_64 -accel tcg -cpu qemu64)
[ "${DIMMER_VM_KVM:-0}" = 1 ] && machine=(qemu-system-x86_64 -accel kvm -cpu host)
console=$build/systemd-vm-console.log
start=$SECONDS
status=0
timeout --kill-after=10 "$timeout_seconds" "${machine[@]}" -smp 2 -m 1024 -nographic -nic none \
  -kernel "$image/vmlinuz" -initrd "$image/initrd.img" \
  -append "root=/dev/vda rw console=ttyS0 quiet loglevel=3" \
  -drive "file=$work/root.qcow2,if=virtio,format=qcow2" \
  -drive "file=$work/payload.img,if=virtio,format=raw,readonly=on" \
  </dev/null >"$console" 2>&1 || status=$?

# What the guest printed, without the time and unit that the journal puts
# before each line on the console.
said=$(tr -d '\r' <"$console" | sed -n 's/^.*\[ *[0-9]*\.[0-9]*\] [a-z]*\[[0-9]*\]: //p')
grep -E '^(PASS|FAIL) |^    ' <<<"$said" || true
result=$(grep '^VM-RESULT:' <<<"$said" || true)
source "$here/../guest-verdict.sh"
guest_verdict "$status" "$timeout_seconds" "$console" "$result" \
  "two boots, install to purge, in $((SECONDS - start)) s, ${machine[*]:1}"
