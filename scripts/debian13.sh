#!/usr/bin/env bash
# The Debian 13 (trixie) leg: in a Debian 13 root made with debootstrap,
# builds that release's packages from debian/ with dpkg-buildpackage, from a
# clean copy of this checkout (its tracked files as they stand), which runs
# the unit, end-to-end, INDI and Alpaca tests on the way; checks them with
# Debian 13's lintian, installs them with apt and runs the programs, the
# driver and the server; then does the same with the Debian 12 packages in
# PACKAGE_DIR (default build-packages), which must serve Debian 13 too.
# Debian 13's packages are left in build-debian13/.
#
# The pristine root is kept in ~/.cache/light-dimmer/debian13-root, outside
# the clone, and made again once it is a week old; each run works in a copy
# of it, so nothing from one run or from this machine goes into the next.
#   scripts/debian13.sh [PACKAGE_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/install-deps.sh
install_missing debootstrap
debian12_packages=$(cd "${1:-build-packages}" && pwd)
version=$(dpkg-parsechangelog -l debian/changelog -S Version)

cache=${XDG_CACHE_HOME:-$HOME/.cache}/light-dimmer
pristine=$cache/debian13-root
if [ ! -f "$pristine/.made" ] || [ -n "$(find "$pristine/.made" -mtime +7)" ]; then
  echo "Making the Debian 13 root in $pristine"
  rm -rf "$pristine.new"
  mkdir -p "$cache"
  debootstrap --variant=minbase trixie "$pristine.new" http://deb.debian.org/debian >/dev/null
  rm -rf "$pristine"
  mv "$pristine.new" "$pristine"
  touch "$pristine/.made"
fi

work=$(mktemp -d "$cache/debian13-run.XXXXXX")
root=$work/root
mounted=()
cleanup() {
  local point
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do umount -l "${mounted[$i]}" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
cp -a "$pristine" "$root"
# Downloads are kept between runs, outside the root.
mkdir -p "$cache/debian13-apt-archives"
for point in proc sys dev dev/pts var/cache/apt/archives; do
  mkdir -p "$root/$point"
done
mount -t proc proc "$root/proc" && mounted+=("$root/proc")
mount --rbind /sys "$root/sys" && mounted+=("$root/sys")
mount --rbind /dev "$root/dev" && mounted+=("$root/dev")
mount --bind "$cache/debian13-apt-archives" "$root/var/cache/apt/archives" &&
  mounted+=("$root/var/cache/apt/archives")
cp /etc/resolv.conf "$root/etc/resolv.conf"

# This checkout as a clean clone would have it (with any change to its
# tracked files).
mkdir -p "$root/src/light-dimmer"
tree=$(git stash create 2>/dev/null || true)
git archive "${tree:-HEAD}" | tar -x -C "$root/src/light-dimmer"
mkdir -p "$root/debian12"
for package in light-dimmer light-dimmer-indi light-dimmer-alpaca; do
  cp "$debian12_packages/${package}_${version}_amd64.deb" "$root/debian12/"
done

inside() { chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin \
  LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive "$@"; }
inside bash -euo pipefail -c '
  cd /src/light-dimmer
  echo "== Debian 13: the packages the build needs"
  source scripts/install-deps.sh
  install_missing lintian debhelper
  apt-get build-dep -y -qq ./ >/dev/null
  echo "== Debian 13: dpkg-buildpackage, with the tests"
  DEB_BUILD_OPTIONS="parallel=$(nproc)" dpkg-buildpackage -b -us -uc >../build.log 2>&1 ||
    { tail -n 80 ../build.log; exit 1; }
  grep -E "tests passed|tests failed" ../build.log
  echo "== Debian 13: its packages, with lintian $(dpkg-query -W -f="\${Version}" lintian)"
  for deb in ../light-dimmer*_amd64.deb; do
    lintian --fail-on error,warning "$deb"
    echo "lintian: $(basename "$deb") clean"
  done
  apt-get install -y -qq --no-install-recommends ../light-dimmer_*.deb ../light-dimmer-indi_*.deb \
    ../light-dimmer-alpaca_*.deb >/dev/null
  DIMMER_BUILD=debian/build scripts/check-installed.sh Debian 13 packages
  apt-get purge -y -qq light-dimmer light-dimmer-indi light-dimmer-alpaca >/dev/null
  echo "== Debian 13: the Debian 12 packages, with the same lintian"
  for deb in /debian12/*.deb; do
    lintian --fail-on error,warning "$deb"
    echo "lintian: $(basename "$deb") clean"
  done
  if apt-get install -y -qq --no-install-recommends /debian12/light-dimmer_*.deb \
       /debian12/light-dimmer-indi_*.deb /debian12/light-dimmer-alpaca_*.deb >/dev/null; then
    DIMMER_BUILD=debian/build scripts/check-installed.sh Debian 12 packages
  else
    echo "FAIL: the Debian 12 packages do not install on Debian 13"
    exit 1
  fi
'
mkdir -p build-debian13
rm -f build-debian13/*.deb
cp "$root"/src/light-dimmer*_amd64.deb build-debian13/
ls build-debian13/*.deb
