#!/usr/bin/env bash
# Installs a build into a scratch prefix and builds its Debian packages, and
# checks them: the files laid out, each package's contents, dependencies
# and architecture (that of its programs), lintian's verdict (no error, no
# warning), and the installed programs running from an unpacked root;
# where the build has the INDI driver, also light-dimmer-indi, with the
# driver serving its properties under indiserver.
#   check-package.sh BUILD_DIR VERSION
# Optional, from the environment: DIMMER_EMULATOR runs programs of a
# cross-built package; DIMMER_LINTIAN is lintian; DIMMER_INDISERVER and
# DIMMER_INDI_GETPROP are INDI's server and client tool; DIMMER_ALPACA is set
# where the build has the Alpaca server, and light-dimmer-alpaca is checked
# too.
set -euo pipefail
build=$(cd "$1" && pwd)
version=$2
emulator=${DIMMER_EMULATOR:-}
lintian=${DIMMER_LINTIAN:-}
indiserver=${DIMMER_INDISERVER:-}
getprop=${DIMMER_INDI_GETPROP:-}
scratch=$(mktemp -d)
server=
trap '[ -z "$server" ] || kill "$server" 2>/dev/null; rm -rf "$scratch"' EXIT

tools="bin/orvane
bin/quorlet
lib/udev/rules.d/70-light-dimmer.rules
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
lib/systemd/system/light-dimmer-alpaca.service
share/doc/light-dimmer-alpaca/changelog.gz
share/doc/light-dimmer-alpaca/copyright
share/man/man1/alpaca_light_dimmer.1.gz"
# The service's options live in /etc, whatever the prefix.
alpaca_etc=/etc/default/light-dimmer-alpaca
expected=$tools
[ -z "$indiserver" ] || expected=$(printf '%s\n%s\n' "$expected" "$indi" | sort)
[ -z "${DIMMER_ALPACA:-}" ] ||
  expected=$(printf '%s\n%s\n%s\n' "$expected" "$alpaca" "${alpaca_etc#/}" | sort)

fail() { echo "FAIL: $*"; exit 1; }

DESTDIR=$scratch/prefix cmake --install "$build" --prefix / >/dev/null
installed=$(cd "$scratch/prefix" && find . -type f | sed 's|^\./||' | sort)
[ "$installed" = "$expected" ] || fail "cmake --install laid out:"$'\n'"$installed"

(cd "$scratch" && cpack --config "$build/CPackConfig.cmake" -B "$scratch/package" >/dev/null)

# The Debian architecture of a program: its ELF machine.
architecture_of() {
  case $(readelf -h "$1" | sed -n 's/^ *Machine: *//p') in
    "Advanced Micro Devices X86-64") echo amd64 ;;
    AArch64) echo arm64 ;;
    ARM) echo armhf ;;
    *) echo unknown ;;
  esac
}

# check_package NAME FILES DEPENDENCY...: the package's files, version and
# architecture, that it depends on each DEPENDENCY, and lintian's verdict;
# unpacks it into the root.
check_package() {
  local deb
  deb=$(ls "$scratch"/package/"$1"_*.deb)
  local packaged
  packaged=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./usr/||; s|^\./etc/|etc/|' |
    sort)
  [ "$packaged" = "$2" ] || fail "$1 holds:"$'\n'"$packaged"
  [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "$1 has the wrong version"
  local depends
  depends=$(dpkg-deb -f "$deb" Depends)
  for dependency in "${@:3}"; do
    [[ "$depends" == *"$dependency"* ]] || fail "$1 depends on: $depends"
  done
  dpkg -x "$deb" "$scratch/root"
  local architecture
  architecture=$(dpkg-deb -f "$deb" Architecture)
  for program in $(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ && $6 ~ /\/bin\// {print $6}'); do
    [ "$(architecture_of "$scratch/root/$program")" = "$architecture" ] ||
      fail "$1 is for $architecture, but holds $program for $(architecture_of "$scratch/root/$program")"
  done
  if [ -n "$lintian" ]; then
    local verdict
    verdict=$("$lintian" --fail-on error,warning "$deb" 2>&1) || fail "lintian on $1:"$'\n'"$verdict"
  fi
  echo "$(basename "$deb") ($architecture): $depends"
}

check_package light-dimmer "$tools" libhidapi-hidraw0
# Runs a packaged program, through the emulator where there is one.
run() { ${emulator:+"$emulator"} "$@"; }
printed=$(run "$scratch/root/usr/bin/quorlet" --version)
[ "$printed" = "quorlet $version" ] || fail "quorlet --version printed: $printed"
printed=$(run "$scratch/root/usr/bin/orvane" 3 V)
[ "$printed" = "version: $version" ] || fail "orvane 3 V printed: $printed"

if [ -n "${DIMMER_ALPACA:-}" ]; then
  check_package light-dimmer-alpaca "$(printf '%s\n%s\n' "$alpaca" "${alpaca_etc#/}" | sort)" \
    "light-dimmer (= $version)" libstdc++6
  deb=$(ls "$scratch"/package/light-dimmer-alpaca_*.deb)
  dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./conffiles | grep -qx "$alpaca_etc" ||
    fail "light-dimmer-alpaca does not keep $alpaca_etc as a conffile"
  printed=$(run "$scratch/root/usr/bin/alpaca_light_dimmer" --version)
  [ "$printed" = "alpaca_light_dimmer $version" ] || fail "alpaca_light_dimmer --version printed: $printed"
fi

[ -n "$indiserver" ] || exit 0
check_package light-dimmer-indi "$indi" "light-dimmer (= $version)" indi-bin libindidriver
grep -q '<driver name="USB Light Dimmer">indi_light_dimmer</driver>' \
  "$scratch/root/usr/share/indi/indi_light_dimmer.xml" || fail "the drivers file names no driver"
# A port that nothing answers on.
driver=$scratch/root/usr/bin/indi_light_dimmer
if [ -n "$emulator" ]; then  # indiserver starts it, so the emulator goes in between
  printf '#!/bin/sh\nexec %s %s "$@"\n' "$emulator" "$driver" >"$scratch/driver"
  chmod +x "$scratch/driver"
  driver=$scratch/driver
fi
port=$((20000 + RANDOM % 20000))
while (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; do port=$((port + 1)); done
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
