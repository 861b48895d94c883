#!/usr/bin/env bash
# Builds a release build and measures each run's cost beside a minimal C
# program doing the same work (see benchmark/run.sh), and the Alpaca server
# beside the least its HTTP library can do (benchmark/alpaca_run.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/install-deps.sh
install_missing valgrind wrk curl

cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build build-release
for program in quorlet orvane; do
  if ldd "build-release/$program/$program" | grep -q libstdc++; then
    echo "$program loads libstdc++"
    exit 1
  fi
done
echo "Neither program loads libstdc++:"
ldd build-release/quorlet/quorlet | sed 's/ (0x.*//'
echo
benchmark/run.sh build-release
echo
benchmark/alpaca_run.sh build-release
