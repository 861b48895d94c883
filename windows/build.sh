#!/usr/bin/env bash
# Cross-builds the Windows programs on Debian: orvane.exe, quorlet.exe,
# alpaca_light_dimmer.exe and hidapi.dll (HIDAPI's Windows backend, built
# from Debian's own hidapi source package) in build-windows/, and the
# release ZIP. The server compiles in Boost's Asio and Beast and
# nlohmann-json from Debian's headers. With
# --test it also runs the Windows unit and end-to-end tests under Wine, the
# server's among them.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/install-deps.sh
packages=(g++-mingw-w64-x86-64-posix cmake ninja-build dpkg-dev libgtest-dev googletest
  nlohmann-json3-dev libboost-dev nsis)
[ "${1:-}" = --test ] && packages+=(wine wine64 xvfb xdotool x11-apps)
install_missing "${packages[@]}"

build=$PWD/build-windows
toolchain=$PWD/cmake/mingw-w64-x86_64.cmake

# HIDAPI for Windows, as hidapi.dll with its import library and CMake package.
hidapi=$build/hidapi
if [ ! -f "$hidapi/install/bin/hidapi.dll" ]; then
  windows/fetch-debian-source.sh hidapi "$hidapi"
  cmake -S "$hidapi/hidapi" -B "$hidapi/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_INSTALL_PREFIX="$hidapi/install" \
    -DCMAKE_PROJECT_INCLUDE="$PWD/windows/hidapi-dll-name.cmake" \
    -DHIDAPI_BUILD_HIDTEST=OFF >/dev/null
  cmake --build "$hidapi/build"
  cmake --install "$hidapi/build" >/dev/null
fi

# The server's header-only libraries, in a folder of their own: Debian's
# /usr/include is the Linux system's, not for the Windows compiler.
headers=$build/headers
mkdir -p "$headers/include"
ln -sfn /usr/include/boost "$headers/include/boost"
cp "$(ls /usr/share/doc/libboost1.*-dev/copyright | head -n 1)" "$headers/boost-LICENSE.txt"
rm -rf "$headers/include/nlohmann"
cp -r /usr/include/nlohmann "$headers/include/"
cp /usr/share/doc/nlohmann-json3-dev/copyright "$headers/nlohmann-json-copyright.txt"

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_PREFIX_PATH="$hidapi/install" -DDIMMER_HIDAPI_LICENSE="$hidapi/hidapi/LICENSE-bsd.txt" \
  -DDIMMER_WINDOWS_HEADERS="$headers" >/dev/null
cmake --build "$build"
(cd "$build" && cpack >/dev/null)
echo "Built: $build/quorlet/quorlet.exe $build/orvane/orvane.exe" \
  "$build/alpaca/alpaca_light_dimmer.exe $build/quorlet/hidapi.dll"
# The programs load nothing but hidapi.dll and Windows' own DLLs.
for program in quorlet/quorlet orvane/orvane alpaca/alpaca_light_dimmer; do
  imports=$(x86_64-w64-mingw32-objdump -p "$build/$program.exe" | sed -n 's/^\tDLL Name: //p' |
    tr 'A-Z' 'a-z' | sort -u)
  foreign=$(grep -v -E '^(hidapi|kernel32|ws2_32|mswsock|msvcrt|advapi32|user32|shell32|ole32|api-ms-win-.*)\.dll$' \
    <<<"$imports" || true)
  [ -z "$foreign" ] || { echo "$program.exe imports $foreign"; exit 1; }
done
zip=$(ls "$build"/light-dimmer-*.zip)
# The licenses travel with what they cover.
contents=$(cmake -E tar tf "$zip")
for file in quorlet.exe orvane.exe alpaca_light_dimmer.exe hidapi.dll README.md LICENSE \
            docs/windows.md docs/alpaca.md docs/command-line.md docs/setup-page.png \
            hidapi-LICENSE-bsd.txt boost-LICENSE.txt nlohmann-json-copyright.txt \
            windows-copyright.txt; do
  grep -qx "$file" <<<"$contents" || { echo "$zip lacks $file"; exit 1; }
done
echo "$zip:" $contents

# The installer, of the ZIP's files.
stage=$build/installer-files
rm -rf "$stage"
mkdir -p "$stage"
(cd "$stage" && cmake -E tar xf "$zip")
version=$(basename "$zip" | sed 's/^light-dimmer-\(.*\)-windows-x64\.zip$/\1/')
setup=$build/light-dimmer-$version-setup-x64.exe
makensis -V2 -WX -DVERSION="$version" -DSTAGE="$stage" -DOUTFILE="$setup" windows/installer.nsi
echo "Built: $setup"

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
wineserver -k || true

# The installer in a prefix of its own, upgraded by a later version of itself.
makensis -V2 -WX -DVERSION="$version.1" -DSTAGE="$stage" -DOUTFILE="$build/upgrade-setup.exe" \
  windows/installer.nsi
windows/installer_test.sh "$setup" "$build/upgrade-setup.exe"
