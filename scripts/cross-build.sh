#!/usr/bin/env bash
# Cross-builds for the Raspberry Pi's architectures on Debian 12, runs the
# unit and end-to-end tests through qemu-user, and makes and checks that
# architecture's Debian packages (dpkg-buildpackage -a ARCH):
#   scripts/cross-build.sh arm64    64-bit Raspberry Pi OS / Debian (Pi 3 and later)
#   scripts/cross-build.sh armhf    32-bit, ARMv7 (Pi 2 and later; not the Pi 1 or Zero)
# The build is build-ARCH, the packages build-packages/*_ARCH.deb. For arm64
# the tests include the kernel test, in an emulated arm64 machine.
set -euo pipefail
cd "$(dirname "$0")/.."
arch=${1:-}
case $arch in
  arm64) triple=aarch64-linux-gnu qemu=qemu-aarch64-static ;;
  armhf) triple=arm-linux-gnueabihf qemu=qemu-arm-static ;;
  *) echo "usage: scripts/cross-build.sh arm64|armhf" >&2; exit 2 ;;
esac
source scripts/install-deps.sh
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)

# The architecture's libraries install beside the machine's own (multiarch).
if ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
  echo "Adding the $arch architecture to dpkg"
  "${sudo[@]}" dpkg --add-architecture "$arch"
  "${sudo[@]}" apt-get update -qq || true  # install_missing tries again
fi
packages=("g++-$triple" qemu-user-static googletest lintian debhelper "pkgconf:$arch" "libc6:$arch"
  "libstdc++6:$arch"
  "libhidapi-dev:$arch" "$(available libindidriver1t64 libindidriver1):$arch")
# The kernel test runs an emulated machine of the same architecture, with
# curl of that architecture as the Alpaca server's client.
[ "$arch" = arm64 ] && packages+=(qemu-system-arm cpio "$(available libev4t64 libev4):$arch"
  "$(available libcurl4t64 libcurl4):$arch")
if ! install_missing "${packages[@]}"; then
  # An index of this architecture that the archive serves out of step with
  # its Release file (a mirror being synced) leaves the architecture's
  # packages unknown, and its libraries cannot match the machine's own
  # versions until the archive is whole again. No fault of the project's:
  # the leg is left out, loudly, and the machine left as it was.
  update=$("${sudo[@]}" apt-get update 2>&1 || true)
  if grep -q "binary-$arch/Packages.*Mirror sync in progress" <<<"$update"; then
    "${sudo[@]}" dpkg --remove-architecture "$arch" 2>/dev/null || true
    echo "SKIPPED: the $arch leg. Debian's archive serves an $arch index that does not match its"
    echo "Release file (a mirror being synced), so no $arch package can be installed now."
    exit 0
  fi
  exit 1
fi

build=build-$arch
# INDI's development files cannot be installed for two architectures at
# once: they are unpacked into the build's staging folder instead, and its
# link to the driver library points at the installed one.
staging=$PWD/$build/staging
if [ ! -f "$staging/usr/include/libindi/indiapi.h" ]; then
  rm -rf "$staging"
  mkdir -p "$staging/download"
  (cd "$staging/download" && apt-get download "libindi-dev:$arch" 2>&1 |
    grep -v '^W: Download is performed unsandboxed' || true)
  dpkg-deb -x "$staging"/download/libindi-dev_*.deb "$staging"
  ln -sf "/usr/lib/$triple/libindidriver.so.1" "$staging/usr/lib/$triple/libindidriver.so"
fi

cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/$triple.cmake" \
  -DDIMMER_CROSS_STAGING="$staging" >/dev/null
cmake --build "$build"
# The end-to-end tests start the programs through the emulator too.
DIMMER_TEST_RUNNER=$(command -v "$qemu") ctest --test-dir "$build" --output-on-failure \
  -j "$(nproc)"
DIMMER_CROSS_STAGING=$staging DEB_BUILD_OPTIONS=nocheck scripts/build-packages.sh "$arch"
version=$(dpkg-parsechangelog -l debian/changelog -S Version)
DIMMER_EMULATOR=$(command -v "$qemu") packaging/check-package.sh build-packages "$version" "$arch"
