#!/usr/bin/env bash
# kernel-modules.sh on a small unpacked tree of each layout: Debian 12's
# plain modules under lib/modules, and Debian 13's compressed ones under
# usr/lib/modules.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

check() {  # check NAME RELEASE
  local out release
  out=$scratch/$1-out
  release=$("$here/kernel-modules.sh" "$scratch/$1" "$out" hid hid-generic uhid)
  [ "$release" = "$2" ] || { echo "FAIL $1: release $release, expected $2"; exit 1; }
  for module in hid hid-generic uhid; do
    [ "$(cat "$out/$module.ko")" = "module $module" ] || { echo "FAIL $1: $module.ko"; exit 1; }
  done
  echo "PASS $1"
}

old=$scratch/debian12/lib/modules/6.1.0-41-amd64/kernel/drivers/hid
mkdir -p "$old"
for module in hid hid-generic uhid; do echo "module $module" >"$old/$module.ko"; done
check debian12 6.1.0-41-amd64

new=$scratch/debian13/usr/lib/modules/6.12.57+deb13-arm64/kernel/drivers/hid
mkdir -p "$new"
echo "module hid" | xz >"$new/hid.ko.xz"
echo "module hid-generic" | zstd -q >"$new/hid-generic.ko.zst"
echo "module uhid" | xz >"$new/uhid.ko.xz"
check debian13 6.12.57+deb13-arm64

mkdir -p "$scratch/empty"
if "$here/kernel-modules.sh" "$scratch/empty" "$scratch/none" hid 2>/dev/null; then
  echo "FAIL: a tree without modules was taken"
  exit 1
fi
echo "PASS a tree without modules is refused"
