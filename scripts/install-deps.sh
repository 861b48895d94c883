#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build and the tests need
# and this machine lacks. Sourced by the other scripts here.
set -euo pipefail

dimmer_packages=(cmake ninja-build g++ pkg-config libhidapi-dev libgtest-dev
  dpkg-dev groff-base man-db libindi-dev indi-bin libboost-dev nlohmann-json3-dev
  python3 python3-jsonschema python3-yaml)

install_missing() {
  local missing=()
  local package
  for package in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$package")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  echo "Installing: ${missing[*]}"
  # A mirror being synced fails an index now and then: try again, and
  # install from the indexes there are when one stays out of date.
  local attempt
  for attempt in 1 2 3; do
    "${sudo[@]}" apt-get update -qq && break
    [ "$attempt" = 3 ] || sleep 10
  done
  for attempt in 1 2; do
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
      "${missing[@]}" && return 0
    [ "$attempt" = 2 ] || { sleep 10; "${sudo[@]}" apt-get update -qq || true; }
  done
  return 1
}

# The first of these packages that the archive has, for a library whose
# package is named otherwise in another release (libcurl4, libcurl4t64).
available() {
  local package
  for package in "$@"; do
    if apt-cache show --no-all-versions "$package" >/dev/null 2>&1; then
      echo "$package"
      return
    fi
  done
  echo "$1"
}

# The runtime of the installed clang (its sanitizers and libFuzzer), of the
# same version: 14 on Debian 12, 19 on Debian 13.
clang_runtime() {
  local version
  version=$(clang --version | sed -n 's/.*clang version \([0-9]*\)\..*/\1/p' | head -n 1)
  echo "libclang-rt-$version-dev"
}

install_missing "${dimmer_packages[@]}"
