#!/usr/bin/env bash
# Builds the virtual machine for the kernel test into BUILD_DIR/vm: Debian's
# current kernel of the architecture ARCH (default: this machine's; its
# package downloaded once and kept in BUILD_DIR/vm/cache, unpacked, never
# installed), its HID modules, busybox, the programs as built in BUILD_DIR
# with every shared library they load, and the UHID dimmer, in an initramfs
# whose /init (vm/init) runs the scenarios. For another architecture than
# this machine's, EMULATOR (qemu-user) runs that architecture's programs
# here: its dynamic loader lists their libraries, and its busybox and INDI
# tools come from Debian's packages for it.
#   build-image.sh BUILD_DIR [ARCH EMULATOR]
set -euo pipefail
build=$(cd "${1:?usage: build-image.sh BUILD_DIR [ARCH EMULATOR]}" && pwd)
arch=${2:-$(dpkg --print-architecture)}
emulator=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
vm=$build/vm
mkdir -p "$vm/cache"

# A package of ARCH, downloaded once and unpacked into the cache; prints
# the folder it is unpacked in.
unpacked() {
  local deb
  deb=$(ls "$vm/cache/$1"_*"_$arch.deb" 2>/dev/null | head -n 1 || true)
  if [ -z "$deb" ]; then
    (cd "$vm/cache" && apt-get download "$1:$arch" 2>&1 |
      grep -v '^W: Download is performed unsandboxed' || true) >&2
    deb=$(ls "$vm/cache/$1"_*"_$arch.deb" | head -n 1)
  fi
  local folder=$vm/cache/$1
  if [ ! -f "$folder/.unpacked-$(basename "$deb")" ]; then
    rm -rf "$folder"
    dpkg-deb -x "$deb" "$folder"
    touch "$folder/.unpacked-$(basename "$deb")"
  fi
  echo "$folder"
}

# Runs a program of ARCH here.
run() { ${emulator:+"$emulator"} "$@"; }

# The kernel package that linux-image-ARCH names today.
package=$(apt-cache depends "linux-image-$arch:$arch" |
  awk '/Depends: linux-image-[0-9]/ {sub(/:.*/, "", $2); print $2; exit}')
[ -n "$package" ] || { echo "cannot tell which kernel linux-image-$arch depends on"; exit 1; }
kernel=$(unpacked "$package")

root=$vm/root
rm -rf "$root"
mkdir -p "$root"/{bin,dev,etc,proc,sys,tmp,modules}
if [ -z "$emulator" ]; then
  cp /bin/busybox "$root/bin/busybox"
else
  cp "$(unpacked busybox-static)/bin/busybox" "$root/bin/busybox"
fi
for applet in $(run "$root/bin/busybox" --list); do
  [ -e "$root/bin/$applet" ] || ln -s busybox "$root/bin/$applet"
done
# Under lib/modules or usr/lib/modules, plain or compressed, as the
# release's kernel package has them.
release=$("$here/kernel-modules.sh" "$kernel" "$root/modules" hid hid-generic uhid)
cp "$kernel/boot/vmlinuz-$release" "$vm/vmlinuz"
echo 'root:x:0:0::/tmp:/bin/sh' >"$root/etc/passwd"
echo 'root:x:0:' >"$root/etc/group"

mkdir -p "$root/lib"
cp "$build/testing/libanswer_probe.so" "$root/lib/"
binaries=("$build/quorlet/quorlet" "$build/orvane/orvane" "$build/testing/kernel_dimmer")
# The INDI driver, where the build has it, with the server and client tools
# of the INDI it was built with.
if [ -x "$build/indi/indi_light_dimmer" ]; then
  if [ -z "$emulator" ]; then
    indi_bin=$(sed -n 's/^DIMMER_INDISERVER:FILEPATH=\(.*\)\/indiserver$/\1/p' "$build/CMakeCache.txt")
  else
    indi_bin=$(unpacked indi-bin)/usr/bin
  fi
  binaries+=("$build/indi/indi_light_dimmer")
  for tool in indiserver indi_getprop indi_setprop indi_eval; do binaries+=("$indi_bin/$tool"); done
fi
# The Alpaca server, where the build has it, with curl (of ARCH) as its
# client.
if [ -x "$build/alpaca/alpaca_light_dimmer" ]; then
  if [ -z "$emulator" ]; then
    curl=$(command -v curl)
  else
    curl=$(unpacked curl)/usr/bin/curl
  fi
  binaries+=("$build/alpaca/alpaca_light_dimmer" "$curl")
fi
for binary in "${binaries[@]}"; do
  cp "$binary" "$root/bin/"
done
# Every shared library a program of ARCH loads, as its dynamic loader finds
# them.
loader=$(readelf -l "$build/quorlet/quorlet" | sed -n 's/.*interpreter: \([^]]*\)]/\1/p')
libraries() {
  if [ -z "$emulator" ]; then
    ldd "$1"
  else
    "$emulator" "$loader" --list "$1"
  fi | grep -o '/[^ ]*'
}
for binary in "${binaries[@]}" "$build/testing/libanswer_probe.so"; do
  for library in $(libraries "$binary"); do
    mkdir -p "$root$(dirname "$library")"
    cp -L "$library" "$root$library"
  done
done

# What the guest must print that this build decides: the version.
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
sed -e "s|@VERSION@|$version|" \
  -e "s|@CONCURRENT_ROUNDS@|${DIMMER_VM_ROUNDS:-20}|" "$here/init" >"$root/init"
chmod +x "$root/init"
(cd "$root" && find . | cpio -o -H newc --quiet | gzip -1) >"$vm/initramfs.gz"
