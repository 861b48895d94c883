#!/usr/bin/env bash
# Builds the Debian packages (light-dimmer, light-dimmer-indi,
# light-dimmer-alpaca and their -dbgsym packages) from debian/ with
# dpkg-buildpackage, for this machine's architecture or cross-built for
# arm64 or armhf, and leaves them in build-packages/. It builds a copy of
# this checkout's tracked files (with any change to them), so nothing
# untracked goes in, and dpkg-buildpackage's output stays out of the
# checkout's parent folder.
#   scripts/build-packages.sh [ARCH]
# DEB_BUILD_OPTIONS is passed on; "nocheck" leaves the tests out (the test
# command runs them on its own builds). DIMMER_PACKAGE_VERSION, when set,
# gives the packages that version in a changelog entry of its own (the
# test of upgrades installs such a rebuild over the packages as released). A cross build needs what
# scripts/cross-build.sh prepares: the architecture's libraries, and INDI's
# development files unpacked into DIMMER_CROSS_STAGING.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/install-deps.sh
install_missing debhelper dpkg-dev
arch=${1:-$(dpkg --print-architecture)}
out=$PWD/build-packages
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mkdir -p "$work/light-dimmer" "$out"
tree=$(git stash create 2>/dev/null || true)
git archive "${tree:-HEAD}" | tar -x -C "$work/light-dimmer"
changelog=$work/light-dimmer/debian/changelog
if [ -n "${DIMMER_PACKAGE_VERSION:-}" ]; then
  {
    printf 'light-dimmer (%s) unstable; urgency=medium\n\n' "$DIMMER_PACKAGE_VERSION"
    printf '  * Rebuilt with a higher version.\n\n'
    printf ' -- %s  %s\n\n' "$(dpkg-parsechangelog -l "$changelog" -S Maintainer)" \
      "$(dpkg-parsechangelog -l "$changelog" -S Date)"
    cat "$changelog"
  } >"$changelog.new"
  mv "$changelog.new" "$changelog"
fi
version=$(dpkg-parsechangelog -l "$changelog" -S Version)

# As many jobs as there are processors, unless DEB_BUILD_OPTIONS says.
[[ "${DEB_BUILD_OPTIONS:-}" == *parallel=* ]] ||
  export DEB_BUILD_OPTIONS="${DEB_BUILD_OPTIONS:-} parallel=$(nproc)"
options=(-b -us -uc)
if [ "$arch" != "$(dpkg --print-architecture)" ]; then
  # INDI's development package cannot be installed beside this machine's
  # own, so dpkg cannot see it among the build dependencies: they are not
  # checked (-d), and the build takes INDI's files from the staging folder.
  [ -n "${DIMMER_CROSS_STAGING:-}" ] || { echo "DIMMER_CROSS_STAGING is not set" >&2; exit 2; }
  options+=(-a "$arch" -d)
  export DIMMER_CROSS_STAGING
elif ! (cd "$work/light-dimmer" && dpkg-checkbuilddeps 2>/dev/null); then
  sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get build-dep -y -qq "$work/light-dimmer" >/dev/null
fi
(cd "$work/light-dimmer" && dpkg-buildpackage "${options[@]}" >"$work/build.log" 2>&1) ||
  {
    grep -A12 "CMake Error" "$work/build.log" || true
    tail -n 40 "$work/build.log"
    echo "FAIL: dpkg-buildpackage $arch"
    exit 1
  }
rm -f "$out"/*_"$version"_"$arch".deb "$out"/*_"$version"_"$arch".ddeb
mv "$work"/*_"$arch".deb "$out/"
ls "$out"/*_"$version"_"$arch".deb
