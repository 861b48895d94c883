#!/usr/bin/env bash
# Installs a build into a scratch prefix and builds its Debian package, and
# checks both: the files laid out, the package's contents and dependencies,
# and the installed programs running from an unpacked root.
set -euo pipefail
build=$(cd "$1" && pwd)
version=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

expected="bin/orvane
bin/quorlet
lib/udev/rules.d/70-light-dimmer.rules
share/doc/light-dimmer/README.md
share/man/man1/orvane.1
share/man/man1/quorlet.1"

fail() { echo "FAIL: $*"; exit 1; }

cmake --install "$build" --prefix "$scratch/prefix" >/dev/null
installed=$(cd "$scratch/prefix" && find . -type f | sed 's|^\./||' | sort)
[ "$installed" = "$expected" ] || fail "cmake --install laid out:"$'\n'"$installed"

(cd "$scratch" && cpack --config "$build/CPackConfig.cmake" -B "$scratch/package" >/dev/null)
deb=$(ls "$scratch"/package/light-dimmer_*.deb)
packaged=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./usr/||' | sort)
[ "$packaged" = "$expected" ] || fail "the package holds:"$'\n'"$packaged"
depends=$(dpkg-deb -f "$deb" Depends)
[[ "$depends" == *libhidapi-hidraw0* ]] || fail "the package depends on: $depends"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "wrong package version"

dpkg -x "$deb" "$scratch/root"
printed=$("$scratch/root/usr/bin/quorlet" --version)
[ "$printed" = "quorlet $version" ] || fail "quorlet --version printed: $printed"
printed=$("$scratch/root/usr/bin/orvane" 3 V)
[ "$printed" = "version: $version" ] || fail "orvane 3 V printed: $printed"
echo "$(basename "$deb"): $depends"
