#!/usr/bin/env bash
# The kernel test: boots the virtual machine that build-image.sh makes from
# BUILD_DIR and reports what the guest checked. Fails with the guest's own
# report when a scenario fails, and when the guest crashes, hangs or never
# reports (the boot is given DIMMER_VM_TIMEOUT seconds, default 300).
#   run.sh BUILD_DIR [ARCH EMULATOR]    ARCH amd64 (this machine's) or arm64
set -euo pipefail
build=$(cd "${1:?usage: run.sh BUILD_DIR [ARCH EMULATOR]}" && pwd)
arch=${2:-$(dpkg --print-architecture)}
timeout_seconds=${DIMMER_VM_TIMEOUT:-300}
here=$(cd "$(dirname "$0")" && pwd)
"$here/build-image.sh" "$@"
vm=$build/vm

# Software emulation: it works on every machine. Where KVM is known to work,
# DIMMER_VM_KVM=1 uses it for amd64 (where it is offered but broken, as in
# some nested virtual machines, a KVM guest may never start).
case $arch in
  amd64)
    machine=(qemu-system-x86_64 -accel tcg -cpu qemu64)
    [ "${DIMMER_VM_KVM:-0}" = 1 ] && machine=(qemu-system-x86_64 -accel kvm -cpu host)
    console=ttyS0
    ;;
  arm64)
    # A Cortex-A53, as in the Raspberry Pi 3: emulating "max" is about three
    # times slower.
    machine=(qemu-system-aarch64 -M virt -cpu cortex-a53 -accel tcg)
    console=ttyAMA0
    ;;
  *) echo "no virtual machine for $arch"; exit 1 ;;
esac
start=$(date +%s.%N)
status=0
timeout --kill-after=10 "$timeout_seconds" "${machine[@]}" -m 512 -nographic \
  -no-reboot -kernel "$vm/vmlinuz" -initrd "$vm/initramfs.gz" \
  -append "console=$console panic=-1 quiet loglevel=3" </dev/null >"$vm/console.log" 2>&1 ||
  status=$?
seconds=$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN {printf "%.1f", b - a}')

tr -d '\r' <"$vm/console.log" | sed -n '/^\(PASS\|FAIL\) /,/^VM-RESULT:/p' | grep -v '^VM-RESULT:' || true
result=$(grep -a '^VM-RESULT:' "$vm/console.log" | tr -d '\r' || true)
source "$here/guest-verdict.sh"
guest_verdict "$status" "$timeout_seconds" "$vm/console.log" "$result" \
  "$arch: boot, scenarios and power-off in ${seconds}s, ${machine[*]:1}"
