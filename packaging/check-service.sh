#!/usr/bin/env bash
# Checks the light-dimmer-alpaca service: that systemd-analyze verifies the
# unit without a word and rates its sandbox "OK" (an exposure below 4.0), and that its ExecStart line, with the options of the
# defaults file, runs the server and serves (with the server as built in
# place of /usr/bin's).
#   check-service.sh SERVER UNIT DEFAULTS
set -euo pipefail
server=$1 unit=$2 defaults=$3
scratch=$(mktemp -d)
pid=
trap '[ -z "$pid" ] || kill "$pid" 2>/dev/null; rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

sed "s|/usr/bin/alpaca_light_dimmer|$server|" "$unit" >"$scratch/$(basename "$unit")"
said=$(systemd-analyze verify --man=no "$scratch/$(basename "$unit")" 2>&1) ||
  fail "systemd-analyze verify: $said"
[ -z "$said" ] || fail "systemd-analyze verify says: $said"
echo "systemd-analyze verify: no complaint"
# The exposure is out of 100 here: 40 is 4.0, where "MEDIUM" begins.
security=$(systemd-analyze security --offline=true --threshold=40 \
  "$scratch/$(basename "$unit")" 2>&1) || fail "systemd-analyze security: $(tail -n 1 <<<"$security")"
echo "systemd-analyze security: $(tail -n 1 <<<"$security" | sed 's/.*: //')"

# ExecStart as systemd runs it: the defaults' variables, split into words.
exec_start=$(sed -n 's/^ExecStart=//p' "$unit")
set -a
# shellcheck disable=SC1090
source "$defaults"
set +a
read -r -a command <<<"$(eval echo "$exec_start")"
command[0]=${command[0]/\/usr\/bin\/alpaca_light_dimmer/$server}
port=$(printf '%s\n' "${command[@]}" | sed -n '/^--port$/{n;p}')
[ -n "$port" ] || port=11111
echo "running: ${command[*]}"
STATE_DIRECTORY=$scratch "${command[@]}" 2>"$scratch/log" &
pid=$!
for _ in $(seq 100); do
  served=$(curl -s "http://127.0.0.1:$port/management/v1/configureddevices" || true)
  [ -n "$served" ] && break
  sleep 0.05
done
[[ "$served" == *'"DeviceName":"USB Light Dimmer"'* ]] || fail "it does not serve: $served $(cat "$scratch/log")"
[ -s "$scratch/alpaca-unique-id" ] || fail "no UniqueID kept in STATE_DIRECTORY"
kill -TERM "$pid"
wait "$pid" || fail "it did not stop cleanly: $(cat "$scratch/log")"
pid=
echo "it serves on port $port and stops on SIGTERM"
