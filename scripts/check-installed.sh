#!/usr/bin/env bash
# Runs the installed programs from /usr/bin against the simulated dimmer of
# the build in DIMMER_BUILD (default ./build): quorlet and orvane, the INDI driver under
# indiserver, and the Alpaca server where its package is installed. Used by
# the Debian 13 leg on each set of packages it installs.
#   scripts/check-installed.sh LABEL...
set -euo pipefail
label="$*"
scratch=$(mktemp -d)
pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; rm -rf "$scratch"' EXIT
fail() { echo "FAIL ($label): $*"; exit 1; }
expect() {  # expect WANT COMMAND...
  local got
  got=$("${@:2}" 2>&1) || true
  [ "$got" = "$1" ] || fail "$* printed '$got', not '$1'"
}

build=$PWD/${DIMMER_BUILD:-build}
export LD_PRELOAD=$build/testing/libsimulated_dimmer.so
export DIMMER_SIM_STATE_FILE=$scratch/state DIMMER_SIM_NODE=$scratch/node HOME=$scratch
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
expect "quorlet $version" /usr/bin/quorlet --version
expect "" /usr/bin/quorlet 300
expect "light is on, intensity 300" /usr/bin/quorlet
expect "" /usr/bin/orvane 3 L B128 S
expect "light is on, intensity 176" /usr/bin/quorlet
expect "version: $version" /usr/bin/orvane 3 V

source "$(dirname "$0")/free-port.sh"

# The driver under indiserver, from INDI's own tools.
port=$(free_port)
indiserver -r 0 -p "$port" -u "$scratch/socket" /usr/bin/indi_light_dimmer >"$scratch/indi.log" 2>&1 &
pids+=($!)
device="USB Light Dimmer"
for _ in $(seq 50); do
  indi_getprop -p "$port" -t 1 "$device.CONNECTION.CONNECT" >/dev/null 2>&1 && break
  sleep 0.1
done
indi_setprop -p "$port" "$device.CONNECTION.CONNECT=On"
indi_eval -p "$port" -t 10 -w "\"$device.CONNECTION._STATE\"==1" ||
  fail "the driver did not connect: $(cat "$scratch/indi.log")"
indi_setprop -p "$port" "$device.FLAT_LIGHT_INTENSITY.FLAT_LIGHT_INTENSITY_VALUE=420"
indi_eval -p "$port" -t 10 -w "\"$device.FLAT_LIGHT_INTENSITY._STATE\"==1" ||
  fail "the driver did not set 420"
expect "light is on, intensity 420" /usr/bin/quorlet

# The server, where its package is installed.
if [ -x /usr/bin/alpaca_light_dimmer ]; then
  port=$(free_port)
  /usr/bin/alpaca_light_dimmer --address 127.0.0.1 --port "$port" --discovery-port 0 \
    2>"$scratch/alpaca.log" &
  pids+=($!)
  api=http://127.0.0.1:$port/api/v1/covercalibrator/0
  for _ in $(seq 100); do curl -s -o /dev/null "http://127.0.0.1:$port/setup" && break; sleep 0.1; done
  curl -s -X PUT -d "Connected=True&ClientID=1" "$api/connected" >/dev/null ||
    fail "the server does not answer: $(cat "$scratch/alpaca.log")"
  curl -s -X PUT -d "Brightness=250&ClientID=1" "$api/calibratoron" >/dev/null
  for _ in $(seq 50); do
    [[ "$(curl -s "$api/brightness?ClientID=1")" == *'"Value":250'* ]] && break
    sleep 0.1
  done
  expect "light is on, intensity 250" /usr/bin/quorlet
fi
echo "PASS ($label): quorlet, orvane, the INDI driver$([ -x /usr/bin/alpaca_light_dimmer ] &&
  echo " and the Alpaca server") as installed"
