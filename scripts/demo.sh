#!/usr/bin/env bash
# Builds the programs and runs them against the simulated dimmer, so the
# whole path can be seen working without the hardware: quorlet, orvane, and
# the INDI driver under indiserver.
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

# The INDI driver serves the same dimmer to INDI clients: started under
# indiserver as KStars would, driven and read with INDI's own client tools.
# The server's children inherit the simulator and its state file.
port=$((20000 + RANDOM % 20000))
while (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; do port=$((port + 1)); done
mkdir -p build/demo-home
HOME=$PWD/build/demo-home indiserver -r 0 -p "$port" -u "$PWD/build/demo-indiserver.socket" \
  build/indi/indi_light_dimmer >build/demo-indiserver.log 2>&1 &
server=$!
trap 'kill $server 2>/dev/null || true' EXIT
for _ in $(seq 50); do
  indi_getprop -p "$port" -t 1 "USB Light Dimmer.CONNECTION.CONNECT" >/dev/null 2>&1 && break
  sleep 0.1
done

indi() {
  echo "\$ $*"
  "$1" -p "$port" "${@:2}"
}
device="USB Light Dimmer"
echo
echo "The INDI driver under indiserver (port $port), on the same dimmer:"
indi indi_setprop "$device.CONNECTION.CONNECT=On"
indi indi_eval -t 5 -w "\"$device.CONNECTION._STATE\"==1"
indi indi_setprop "$device.FLAT_LIGHT_INTENSITY.FLAT_LIGHT_INTENSITY_VALUE=420"
indi indi_setprop "$device.FLAT_LIGHT_CONTROL.FLAT_LIGHT_ON=On"
indi indi_eval -t 5 -w "\"$device.FLAT_LIGHT_CONTROL.FLAT_LIGHT_ON\"==1 && \"$device.FLAT_LIGHT_CONTROL._STATE\"==1"
indi indi_getprop "$device.FLAT_LIGHT_CONTROL.*" "$device.FLAT_LIGHT_INTENSITY.*"
run quorlet
run quorlet 250
sleep 1.2  # the driver looks at the dimmer once a second
indi indi_getprop "$device.FLAT_LIGHT_INTENSITY.*"
