#!/usr/bin/env bash
# Builds everything and runs the whole test suite: as released (with the
# end-to-end tests again under valgrind, and the kernel test in a virtual
# machine), the Debian packages (checked, and the service proven under
# systemd in a Debian 12 machine: install, reboot, upgrade, removal), under
# AddressSanitizer and UndefinedBehaviorSanitizer, the threaded code (the
# dimmer owner, the INDI driver, the Alpaca server) under ThreadSanitizer,
# with the coverage gate,
# the INDI driver against INDI 2.x as well as Debian's INDI 1.9, a short
# run of each fuzz target, the Windows build under Wine, and the Raspberry
# Pi builds (arm64, armhf) under qemu-user, with the arm64 kernel test, and
# the Debian 13 leg.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/install-deps.sh
install_missing valgrind gcovr wrk curl chromium chromium-driver python3-selenium systemd appstream xz-utils zstd clang g++-mingw-w64-x86-64-posix googletest \
  wine wine64 nsis xvfb xdotool x11-apps qemu-system-x86 qemu-utils busybox-static cpio lintian debhelper debootstrap
install_missing "$(clang_runtime)"

# Each leg's time, printed at the end.
timings=()
leg_name=
leg() {
  end_leg
  leg_name=$1
  leg_started=$SECONDS
  echo "== $1"
}
end_leg() {
  [ -z "$leg_name" ] || timings+=("$(printf '%6d s  %s' $((SECONDS - leg_started)) "$leg_name")")
}

run_suite() {
  local folder=$1
  shift
  cmake -S . -B "$folder" -G Ninja "$@" >/dev/null
  cmake --build "$folder"
  ctest --test-dir "$folder" --output-on-failure -j "$(nproc)"
}

leg "Release build"
run_suite build
leg "Debian packages from debian/, checked; the service under systemd in a Debian 12 machine"
version=$(dpkg-parsechangelog -l debian/changelog -S Version)
DEB_BUILD_OPTIONS=nocheck scripts/build-packages.sh >/dev/null
packaging/check-package.sh build-packages "$version" amd64
# The same packages with a higher version, to upgrade to.
DIMMER_PACKAGE_VERSION=$version+rebuild1 DEB_BUILD_OPTIONS=nocheck scripts/build-packages.sh >/dev/null
vm/systemd/run.sh build build-packages "$version" "$version+rebuild1"
leg "Sanitizer build (AddressSanitizer, UndefinedBehaviorSanitizer)"
run_suite build-sanitize -DCMAKE_BUILD_TYPE=Debug -DDIMMER_SANITIZE=ON
leg "ThreadSanitizer: the dimmer owner, the INDI driver and the Alpaca server"
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DDIMMER_SANITIZE_THREAD=ON >/dev/null
cmake --build build-tsan
# A report ends the program that made it, which fails its test.
export TSAN_OPTIONS="halt_on_error=1 exitcode=66 suppressions=$PWD/testing/thread-sanitizer.supp"
ctest --test-dir build-tsan --output-on-failure -L indi
ctest --test-dir build-tsan --output-on-failure -j "$(nproc)" -R '^OwnerTest\.|^alpaca_'
unset TSAN_OPTIONS
leg "The INDI driver against INDI 2.x (built once, outside the clone)"
indi2=$(indi/build-indi2.sh)
cmake -S . -B build-indi2 -G Ninja -DCMAKE_PREFIX_PATH="$indi2" >/dev/null
cmake --build build-indi2 --target light_dimmer_driver_test
ctest --test-dir build-indi2 --output-on-failure -L indi
leg "Coverage"
scripts/coverage.sh
leg "Fuzzing, ${DIMMER_FUZZ_SECONDS:-60}s a target"
scripts/fuzz.sh "${DIMMER_FUZZ_SECONDS:-60}"
leg "Windows build, tests under Wine"
windows/build.sh --test
leg "Raspberry Pi, arm64: tests under qemu-user, kernel test in an emulated arm64 machine"
scripts/cross-build.sh arm64
leg "Raspberry Pi, armhf: tests under qemu-user"
scripts/cross-build.sh armhf
leg "Debian 13 (trixie): build, tests and packages in a Debian 13 root; the Debian 12 packages there"
scripts/debian13.sh build-packages
end_leg
echo "== Time per leg"
printf '%s\n' "${timings[@]}"
printf '%6d s  in all\n' "$SECONDS"
