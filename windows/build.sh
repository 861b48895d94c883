#!/usr/bin/env bash
# Cross-builds the Windows programs on Debian: orvane.exe, quorlet.exe and
# hidapi.dll (HIDAPI's Windows backend, built from Debian's own hidapi
# source package) in build-windows/, and the release ZIP. With --test it
# also runs the Windows unit and end-to-end tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/install-deps.sh
packages=(g++-mingw-w64-x86-64-posix cmake ninja-build dpkg-dev libgtest-dev googletest)
[ "${1:-}" = --test ] && packages+=(wine wine64)
install_missing "${packages[@]}"

build=$PWD/build-windows
toolchain=$PWD/cmake/mingw-w64-x86_64.cmake

# HIDAPI for Windows, as hidapi.dll with its import library and CMake package.
hidapi=$build/hidapi
if [ ! -f "$hidapi/install/bin/hidapi.dll" ]; then
  windows/fetch-hidapi-source.sh "$hidapi"
  cmake -S "$hidapi/hidapi" -B "$hidapi/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_INSTALL_PREFIX="$hidapi/install" \
    -DCMAKE_PROJECT_INCLUDE="$PWD/windows/hidapi-dll-name.cmake" \
    -DHIDAPI_BUILD_HIDTEST=OFF >/dev/null
  cmake --build "$hidapi/build"
  cmake --install "$hidapi/build" >/dev/null
fi

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_PREFIX_PATH="$hidapi/install" -DDIMMER_HIDAPI_LICENSE="$hidapi/hidapi/LICENSE-bsd.txt" \
  >/dev/null
cmake --build "$build"
(cd "$build" && cpack >/dev/null)
echo "Built: $build/quorlet/quorlet.exe $build/orvane/orvane.exe $build/quorlet/hidapi.dll"
zip=$(ls "$build"/light-dimmer-*.zip)
# The licenses travel with what they cover.
contents=$(cmake -E tar tf "$zip")
for file in quorlet.exe orvane.exe hidapi.dll README.md LICENSE hidapi-LICENSE-bsd.txt \
            windows-copyright.txt; do
  grep -qx "$file" <<<"$contents" || { echo "$zip lacks $file"; exit 1; }
done
echo "$zip:" $contents

[ "${1:-}" = --test ] || exit 0

# A Wine prefix of the build's own, created once. Its server and helper
# processes are started here, away from the tests' output pipes (a helper
# started by a test would hold that test's output open), kept running for
# the tests and stopped at the end.
export WINEPREFIX=$build/wine-prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot -i >/dev/null 2>&1 </dev/null
  wineserver -w
fi
wineserver -p
trap 'wineserver -k || true' EXIT
wine cmd /c exit >/dev/null 2>&1 </dev/null
# Now and then Wine fails to start a program at all (no output, in a
# hundredth of a second); such a test is run again, up to twice more.
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" --repeat until-pass:3
