#!/usr/bin/env bash
# Builds the programs and runs them against the simulated dimmer, so the
# whole path can be seen working without the hardware: quorlet, orvane, the
# INDI driver under indiserver, and the Alpaca server.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/install-deps.sh
install_missing curl

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

echo
echo "Two dimmers on one computer, told apart by their serial numbers:"
(
  export DIMMER_SIM_SERIALS=A1B2C3,D4E5F6
  rm -f "$DIMMER_SIM_STATE_FILE-2"  # the second one's state
  run quorlet --list
  run quorlet --dimmer D4E5F6 300
  run orvane --dimmer A1B2C3 3 L B200 S
  run quorlet --list
  run orvane --dimmer A1B2C3 3 D S
)

# The INDI driver serves the same dimmer to INDI clients: started under
# indiserver as KStars would, driven and read with INDI's own client tools.
# The server's children inherit the simulator and its state file.
port=$((20000 + RANDOM % 20000))
while (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; do port=$((port + 1)); done
mkdir -p build/demo-home
HOME=$PWD/build/demo-home indiserver -r 0 -p "$port" -u "$PWD/build/demo-indiserver.socket" \
  build/indi/indi_light_dimmer >build/demo-indiserver.log 2>&1 &
server=$!
alpaca=
trap 'kill $server $alpaca 2>/dev/null || true' EXIT
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

# The Alpaca server on the same dimmer, on free ports, as ASCOM clients such
# as N.I.N.A. reach it; its dimmer is busy for a few polls after a change,
# so the change can be seen under way.
source scripts/free-port.sh
http_port=$(free_port)
discovery_port=$(free_port)
DIMMER_SIM_BUSY=3 XDG_STATE_HOME=$PWD/build/demo-home build/alpaca/alpaca_light_dimmer \
  --address 127.0.0.1 --port "$http_port" --discovery-port "$discovery_port" \
  2>build/demo-alpaca.log &
alpaca=$!
base=http://127.0.0.1:$http_port
for _ in $(seq 50); do curl -s -o /dev/null "$base/management/apiversions" && break; sleep 0.1; done
api=$base/api/v1/covercalibrator/0

http() {
  echo "\$ curl $*"
  curl -s "$@"
  echo
}
echo
echo "The Alpaca server (HTTP port $http_port, discovery port $discovery_port), on the same dimmer:"
echo "\$ echo -n alpacadiscovery1 > /dev/udp/127.0.0.1/$discovery_port"
exec 4<>"/dev/udp/127.0.0.1/$discovery_port"
printf alpacadiscovery1 >&4
answer=$(timeout 2 dd bs=512 count=1 <&4 2>/dev/null || true)  # one datagram
exec 4<&-
echo "answer: $answer"
http "$base/management/v1/configureddevices"
http -X PUT -d "Connected=True&ClientID=1" "$api/connected"
http -X PUT -d "Brightness=420&ClientID=1" "$api/calibratoron"
for _ in $(seq 20); do
  state=$(curl -s "$api/calibratorstate?ClientID=1")
  echo "CalibratorState: $state"
  [[ "$state" == *'"Value":3'* ]] && break
  sleep 0.1
done
echo "(CalibratorState 2 is NotReady, 3 Ready)"
run quorlet
echo
echo "Its setup page, a control page for any browser: $base/setup"
kill $alpaca
wait $alpaca 2>/dev/null || true
alpaca=
