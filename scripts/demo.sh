#!/usr/bin/env bash
# Builds the programs and runs them against the simulated dimmer, so the
# whole path can be seen working without the hardware.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/install-deps.sh

cmake -S . -B build -G Ninja >/dev/null
cmake --build build

# The simulator stands in for HIDAPI and keeps the light's level in a file,
# so each run sees what the previous one left.
export LD_PRELOAD="$PWD/build/testing/libsimulated_dimmer.so"
export DIMMER_SIM_STATE_FILE="$PWD/build/demo-dimmer-state"
rm -f "$DIMMER_SIM_STATE_FILE"

run() {
  echo "\$ $*"
  local status=0
  "build/$1/$1" "${@:2}" || status=$?
  echo "(exit status $status)"
}

echo
echo "Simulated dimmer, light off:"
run quorlet
run quorlet 300
run quorlet
run quorlet 0
run quorlet

echo
echo "The panel command line drives the same dimmer:"
run orvane 3 L B128 S
run quorlet
run orvane 3 D S
run quorlet
run orvane 3 V
