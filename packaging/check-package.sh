#!/usr/bin/env bash
# Checks the Debian packages that scripts/build-packages.sh made for one
# architecture: each package's files, version, architecture (that of its
# programs), dependencies and maintainer scripts, its -dbgsym package,
# lintian's verdict (no error, no warning), and the programs running from
# an unpacked root, with the INDI driver serving its properties under
# indiserver.
#   check-package.sh PACKAGE_DIR VERSION ARCH
# DIMMER_EMULATOR (qemu-user) runs the programs of another architecture.
set -euo pipefail
packages=$(cd "$1" && pwd)
version=$2
arch=$3
emulator=${DIMMER_EMULATOR:-}
scratch=$(mktemp -d)
server=
trap '[ -z "$server" ] || kill "$server" 2>/dev/null; rm -rf "$scratch"' EXIT

tools="lib/udev/rules.d/70-light-dimmer.rules
bin/orvane
bin/quorlet
share/doc/light-dimmer/README.md
share/doc/light-dimmer/changelog.gz
share/doc/light-dimmer/copyright
share/doc/light-dimmer/docs/alpaca.md
share/doc/light-dimmer/docs/building.md
share/doc/light-dimmer/docs/command-line.md
share/doc/light-dimmer/docs/design.md
share/doc/light-dimmer/docs/kstars.md
share/doc/light-dimmer/docs/linux.md
share/doc/light-dimmer/docs/performance.md
share/doc/light-dimmer/docs/setup-page.png
share/doc/light-dimmer/docs/windows.md
share/man/man1/orvane.1.gz
share/man/man1/quorlet.1.gz
share/metainfo/example.light_dimmer.tools.metainfo.xml"
indi="bin/indi_light_dimmer
share/doc/light-dimmer-indi/changelog.gz
share/doc/light-dimmer-indi/copyright
share/indi/indi_light_dimmer.xml
share/man/man1/indi_light_dimmer.1.gz"
alpaca="bin/alpaca_light_dimmer
etc/default/light-dimmer-alpaca
lib/systemd/system/light-dimmer-alpaca.service
share/doc/light-dimmer-alpaca/changelog.gz
share/doc/light-dimmer-alpaca/copyright
share/man/man1/alpaca_light_dimmer.1.gz"

fail() { echo "FAIL: $*"; exit 1; }

# The Debian architecture of a program: its ELF machine.
architecture_of() {
  case $(readelf -h "$1" | sed -n 's/^ *Machine: *//p') in
    "Advanced Micro Devices X86-64") echo amd64 ;;
    AArch64) echo arm64 ;;
    ARM) echo armhf ;;
    *) echo unknown ;;
  esac
}

# check_package NAME FILES DEPENDENCY...: the package's files (under /usr,
# /etc, and lib/ for what debhelper puts in /lib or /usr/lib by release),
# version and architecture, that it depends on each DEPENDENCY, that its
# -dbgsym package is there, and lintian's verdict; unpacks it into the root.
check_package() {
  local deb=$packages/$1_${version}_$arch.deb
  [ -f "$deb" ] || fail "no $(basename "$deb") in $packages"
  [ -f "$packages/$1-dbgsym_${version}_$arch.deb" ] || fail "no debug symbols for $1"
  local packaged
  packaged=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' |
    sed 's|^\./usr/lib/\(udev\|systemd\)/|lib/\1/|; s|^\./usr/|| ; s|^\./||' | sort)
  [ "$packaged" = "$(sort <<<"$2")" ] || fail "$1 holds:"$'\n'"$packaged"
  [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "$1 has the wrong version"
  [ "$(dpkg-deb -f "$deb" Architecture)" = "$arch" ] || fail "$1 is not for $arch"
  local depends
  depends=$(dpkg-deb -f "$deb" Depends)
  for dependency in "${@:3}"; do
    [[ "$depends" == *"$dependency"* ]] || fail "$1 depends on: $depends"
  done
  dpkg -x "$deb" "$scratch/root"
  for program in $(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ && $6 ~ /\/bin\// {print $6}'); do
    [ "$(architecture_of "$scratch/root/$program")" = "$arch" ] ||
      fail "$1 is for $arch, but holds $program for $(architecture_of "$scratch/root/$program")"
  done
  local verdict
  verdict=$(lintian --fail-on error,warning "$deb" 2>&1) || fail "lintian on $1:"$'\n'"$verdict"
  echo "$(basename "$deb"): $depends"
}

# A control file of a package: a maintainer script, its conffiles.
control_file() {
  dpkg-deb --ctrl-tarfile "$packages/$1_${version}_$arch.deb" | tar -xO "./$2" 2>/dev/null || true
}

check_package light-dimmer "$tools" libhidapi-hidraw0
# Runs a packaged program, through the emulator where there is one.
run() { ${emulator:+"$emulator"} "$@"; }
printed=$(run "$scratch/root/usr/bin/quorlet" --version)
[ "$printed" = "quorlet $version" ] || fail "quorlet --version printed: $printed"
printed=$(run "$scratch/root/usr/bin/orvane" 3 V)
[ "$printed" = "version: $version" ] || fail "orvane 3 V printed: $printed"

control_file light-dimmer postinst | grep -q 'udevadm trigger --subsystem-match=hidraw' ||
  fail "light-dimmer does not apply the udev rule to a dimmer plugged in already"

check_package light-dimmer-alpaca "$alpaca" "light-dimmer (= $version)" libstdc++6
control_file light-dimmer-alpaca conffiles | grep -qx /etc/default/light-dimmer-alpaca ||
  fail "light-dimmer-alpaca does not keep /etc/default/light-dimmer-alpaca as a conffile"
printed=$(run "$scratch/root/usr/bin/alpaca_light_dimmer" --version)
[ "$printed" = "alpaca_light_dimmer $version" ] || fail "alpaca_light_dimmer --version printed: $printed"

indiserver=$(command -v indiserver)
getprop=$(command -v indi_getprop)
check_package light-dimmer-indi "$indi" "light-dimmer (= $version)" indi-bin libindidriver
grep -q '<driver name="USB Light Dimmer">indi_light_dimmer</driver>' \
  "$scratch/root/usr/share/indi/indi_light_dimmer.xml" || fail "the drivers file names no driver"
driver=$scratch/root/usr/bin/indi_light_dimmer
if [ -n "$emulator" ]; then  # indiserver starts it, so the emulator goes in between
  printf '#!/bin/sh\nexec %s %s "$@"\n' "$emulator" "$driver" >"$scratch/driver"
  chmod +x "$scratch/driver"
  driver=$scratch/driver
fi
source "$(dirname "$0")/../scripts/free-port.sh"
port=$(free_port)
HOME=$scratch "$indiserver" -r 0 -p "$port" -u "$scratch/socket" "$driver" \
  >"$scratch/server.log" 2>&1 &
server=$!
for _ in $(seq 50); do
  served=$("$getprop" -t 1 -p "$port" "USB Light Dimmer.*.*" 2>/dev/null || true)
  [[ "$served" == *FLAT_LIGHT* || "$served" == *SIMULATION* ]] && break
  sleep 0.1
done
for property in CONNECTION.CONNECT DRIVER_INFO.DRIVER_EXEC SIMULATION.ENABLE \
                POLLING_PERIOD.PERIOD_MS; do
  [[ "$served" == *"USB Light Dimmer.$property="* ]] || fail "the driver does not serve $property"
done
echo "indiserver runs the packaged driver"
