#!/usr/bin/env bash
# The kernel test: boots the virtual machine that build-image.sh makes from
# BUILD_DIR and reports what the guest checked. Fails with the guest's own
# report when a scenario fails, and when the guest crashes, hangs or never
# reports (the boot is given TIMEOUT seconds, default 240).
set -euo pipefail
build=$(cd "${1:?usage: run.sh BUILD_DIR [TIMEOUT]}" && pwd)
timeout_seconds=${2:-240}
here=$(cd "$(dirname "$0")" && pwd)
"$here/build-image.sh" "$build"
vm=$build/vm

# Software emulation: it works on every machine. Where KVM is known to work,
# DIMMER_VM_KVM=1 uses it (where it is offered but broken, as in some nested
# virtual machines, a KVM guest may never start).
accel=(-accel tcg -cpu qemu64)
if [ "${DIMMER_VM_KVM:-0}" = 1 ]; then
  accel=(-accel kvm -cpu host)
fi
start=$(date +%s.%N)
status=0
timeout --kill-after=10 "$timeout_seconds" qemu-system-x86_64 "${accel[@]}" -m 256 -nographic \
  -no-reboot -kernel "$vm/vmlinuz" -initrd "$vm/initramfs.gz" \
  -append "console=ttyS0 panic=-1 quiet loglevel=3" </dev/null >"$vm/console.log" 2>&1 ||
  status=$?
seconds=$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN {printf "%.1f", b - a}')

tr -d '\r' <"$vm/console.log" | sed -n '/^\(PASS\|FAIL\) /,/^VM-RESULT:/p' | grep -v '^VM-RESULT:' || true
result=$(grep -a '^VM-RESULT:' "$vm/console.log" | tr -d '\r' || true)
if [ $status -eq 124 ] || [ $status -eq 137 ]; then
  echo "FAIL: the guest did not finish within ${timeout_seconds}s; its console is $vm/console.log"
  exit 1
fi
if [ -z "$result" ]; then
  echo "FAIL: the guest gave no result (qemu exited with $status); its console:"
  tail -n 30 "$vm/console.log"
  exit 1
fi
echo "$result (boot, scenarios and power-off in ${seconds}s, ${accel[1]})"
[[ "$result" == *" 0 failed" ]]
