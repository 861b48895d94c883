#!/usr/bin/env bash
# Builds INDI 2.2.4.2 (the core: libindidriver, indiserver and the client
# tools; no drivers) for building and testing the driver against the INDI
# 2.x API, which Debian 12 does not ship. Installs it into PREFIX (default
# ~/.cache/light-dimmer/indi-2.2.4.2), outside the clone, so that later
# runs reuse it, and prints PREFIX.
#
# The source is the release archive kept in third_party/indi (see the README
# there): its checksum, and the commit that `git get-tar-commit-id` reads
# from it, must be the tag's.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
version=2.2.4.2
commit=3371faeb07f8fa24bae3edfb44a181853a8e9ce7
sha256=e8c9274933e5481f2ede6fd85c6c6f795affe84d66addd8980d2106882094d76
prefix=${1:-${XDG_CACHE_HOME:-$HOME/.cache}/light-dimmer/indi-$version}
# Names the source and the way it was built: a change of either rebuilds.
stamp=$prefix/.built-$commit-rpath
if [ -f "$stamp" ]; then
  echo "$prefix"
  exit 0
fi

source "$here/../scripts/install-deps.sh"
install_missing git xz-utils libnova-dev libcfitsio-dev libusb-1.0-0-dev \
  libcurl4-gnutls-dev libgsl-dev libjpeg-dev libfftw3-dev libev-dev zlib1g-dev libtheora-dev \
  libogg-dev >&2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
archive=$here/../third_party/indi/indi-$version.tar.xz
if ! echo "$sha256  $archive" | sha256sum --check --status; then
  echo "$archive is not the INDI $version archive kept there (sha256 $sha256)" >&2
  exit 1
fi
xz -dc "$archive" >"$work/indi.tar"
found=$(git get-tar-commit-id <"$work/indi.tar" || true)
if [ "$found" != "$commit" ]; then
  echo "the INDI $version archive is of commit '$found', not $commit" >&2
  exit 1
fi
mkdir "$work/source"
tar -xf "$work/indi.tar" -C "$work/source" --strip-components=1
cmake -S "$work/source" -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX="$prefix" -DINDI_BUILD_DRIVERS=OFF -DINDI_BUILD_EXAMPLES=OFF \
  -DINDI_BUILD_XISF=OFF -DINDI_BUILD_STATIC=OFF -DINDI_INSTALL_UDEV_RULES=OFF \
  -DCMAKE_INSTALL_RPATH="$prefix/lib" >&2
cmake --build "$work/build" >&2
rm -rf "$prefix"
cmake --install "$work/build" >&2
touch "$stamp"
echo "$prefix"
