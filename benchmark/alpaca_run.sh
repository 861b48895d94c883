#!/usr/bin/env bash
# Measures alpaca_light_dimmer as built in BUILD_DIR, on the simulated dimmer
# (idle, busy count 0) with a client connected, beside the floor: the
# server's own HTTP transport answering the same requests with a fixed reply
# of the same size (alpaca_floor). wrk loads each on loopback at 1, 16
# and 64 connections, in ROUNDS (default 5) rounds of SECONDS (default 2)
# that alternate between the server and the floor, and each side's median
# over the rounds counts: requests per second, p50 and p99 latency, each
# taken on its own; then the peak RSS of each process (each kind of request
# has a fresh server and a fresh floor), and the device requests made during
# the row beside the refreshes.
# Then GET at 16 connections while 1000 idle connections are held open,
# beside the same without them. Last, a 10-second GET at 64 connections,
# whose device requests must be the refreshes alone.
set -euo pipefail
trap 'echo "alpaca_run.sh: failed at line $LINENO" >&2' ERR
build=$(cd "${1:?usage: alpaca_run.sh BUILD_DIR [SECONDS [ROUNDS]]}" && pwd)
seconds=${2:-2}
rounds=${3:-5}
scratch=$(mktemp -d)
server_pid=
cleanup() {
  local pid
  for pid in $server_pid ${floor_pid:-}; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$scratch" || true
}
trap cleanup EXIT

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

wait_for_port() {
  for _ in $(seq 200); do
    curl -s -o /dev/null "http://127.0.0.1:$1/management/apiversions" && return 0
    sleep 0.05
  done
  echo "nothing listens on port $1" >&2
  return 1
}

cat >"$scratch/put.lua" <<'LUA'
wrk.method = "PUT"
wrk.body = "Brightness=300&ClientID=1&ClientTransactionID=1"
wrk.headers["Content-Type"] = "application/x-www-form-urlencoded"
LUA

# requests/s, p50 and p99 in microseconds, from wrk's report
load() {
  local url=$1 connections=$2 script=()
  [ "$3" = PUT ] && script=(-s "$scratch/put.lua")
  local threads=$((connections < 2 ? 1 : 2))
  "${client_cpu[@]}" wrk -t"$threads" -c"$connections" -d"${seconds}s" --timeout 5s --latency "${script[@]}" "$url" >"$scratch/wrk"
  awk '
    function micros(text) {
      if (text ~ /us$/) return text + 0
      if (text ~ /ms$/) return text * 1000
      return text * 1000000
    }
    /^Requests\/sec:/ { rps = $2 }
    $1 == "50.000%" || $1 == "50%" { p50 = micros($2) }
    $1 == "99.000%" || $1 == "99%" { p99 = micros($2) }
    END { printf "%d %d %d\n", rps, p50, p99 }' "$scratch/wrk"
}

peak_rss() { awk '/^VmHWM:/ {print $2 * 1024}' "/proc/$1/status" 2>/dev/null || echo 0; }

# The median of each column over the rounds in FILE.
median() {
  for column in 1 2 3; do
    awk -v c=$column '{print $c}' "$1" | sort -n | awk '{v[NR] = $1} END {printf "%s ", v[int((NR + 1) / 2)]}'
  done
  echo
}

# With two processors or more, the servers get one and wrk another, so that
# neither takes time from the other and rows compare alike.
server_cpu=()
client_cpu=()
if [ "$(nproc)" -ge 2 ] && command -v taskset >/dev/null; then
  server_cpu=(taskset -c 0)
  client_cpu=(taskset -c 1)
fi

export LD_PRELOAD="$build/testing/libsimulated_dimmer.so"
export DIMMER_SIM_STATE_FILE="$scratch/state" DIMMER_SIM_LOG="$scratch/traffic"
export DIMMER_SIM_NODE="$scratch/node" XDG_STATE_HOME="$scratch/state-home"
unset DIMMER_SIM_FAIL DIMMER_SIM_BUSY
echo 300 >"$scratch/state"  # on at 300: the PUT rows change nothing

port=$(free_port)
base=http://127.0.0.1:$port/api/v1/covercalibrator/0
# A fresh server, with a client connected. Each kind of request gets one,
# as it gets a fresh floor, so that both peaks cover the same requests.
start_server() {
  if [ -n "$server_pid" ]; then
    kill "$server_pid"
    wait "$server_pid" 2>/dev/null || true
  fi
  "${server_cpu[@]}" "$build/alpaca/alpaca_light_dimmer" --address 127.0.0.1 --port "$port" \
    --discovery-port 0 2>>"$scratch/server.log" &
  server_pid=$!
  wait_for_port "$port"
  curl -s -X PUT -d 'Connected=True&ClientID=1' "$base/connected" >/dev/null
}

floor_port=$(free_port)
floor_pid=

printf '%-22s %5s   %9s %9s %5s   %8s %8s   %8s %8s   %10s %10s %5s   %8s %8s\n' \
  request conns "req/s" floor ratio p50_us floor p99_us floor "peak RSS" floor ratio \
  device refresh
worst_rps=10
worst_p99=0
worst_rss=0
device_ok=1
for row in "GET calibratorstate" "GET devicestate" "PUT calibratoron"; do
  read -r method member <<<"$row"
  start_server
  url="$base/$member"
  [ "$method" = GET ] && url="$url?ClientID=1&ClientTransactionID=1"
  size=$(if [ "$method" = GET ]; then curl -s "$url"; else
    curl -s -X PUT -d 'Brightness=300&ClientID=1&ClientTransactionID=1' "$url"; fi | wc -c)
  [ -z "$floor_pid" ] || { kill "$floor_pid"; wait "$floor_pid" 2>/dev/null || true; }
  LD_PRELOAD= "${server_cpu[@]}" "$build/benchmark/alpaca_floor" "$floor_port" "$size" &
  floor_pid=$!
  wait_for_port "$floor_port"
  for connections in 1 16 64; do
    before=$(grep -c -v -E '^(open|close|pause)' "$scratch/traffic" || true)
    started=$(date +%s.%N)
    : >"$scratch/server-rounds"
    : >"$scratch/floor-rounds"
    for _ in $(seq "$rounds"); do
      load "$url" "$connections" "$method" >>"$scratch/server-rounds"
      load "${url/:$port/:$floor_port}" "$connections" "$method" >>"$scratch/floor-rounds"
    done
    elapsed=$(awk -v a="$started" -v b="$(date +%s.%N)" 'BEGIN {print b - a}')
    after=$(grep -c -v -E '^(open|close|pause)' "$scratch/traffic" || true)
    read -r rps p50 p99 <<<"$(median "$scratch/server-rounds")"
    read -r floor_rps floor_p50 floor_p99 <<<"$(median "$scratch/floor-rounds")"
    rss=$(peak_rss "$server_pid")
    floor_rss=$(peak_rss "$floor_pid")
    device=$((after - before))
    refreshes=$(awk -v e="$elapsed" 'BEGIN {printf "%d", e + 1}')
    rps_ratio=$(awk -v a="$rps" -v b="$floor_rps" 'BEGIN {printf "%.2f", a / b}')
    rss_ratio=$(awk -v a="$rss" -v b="$floor_rss" 'BEGIN {printf "%.2f", a / b}')
    printf '%-22s %5d   %9d %9d %5s   %8d %8d   %8d %8d   %10d %10d %5s   %8d %8d\n' \
      "$row" "$connections" "$rps" "$floor_rps" "$rps_ratio" "$p50" "$floor_p50" "$p99" \
      "$floor_p99" "$rss" "$floor_rss" "$rss_ratio" "$device" "$refreshes"
    if [ "$method" = GET ]; then
      worst_rps=$(awk -v a="$rps_ratio" -v b="$worst_rps" 'BEGIN {print (a < b) ? a : b}')
      worst_p99=$(awk -v a="$p99" -v b="$floor_p99" -v w="$worst_p99" \
        'BEGIN {r = a / (b > 0 ? b : 1); print (r > w) ? r : w}')
    fi
    worst_rss=$(awk -v a="$rss_ratio" -v b="$worst_rss" 'BEGIN {print (a > b) ? a : b}')
  done
done
kill "$floor_pid" 2>/dev/null || true

# GET at 16 connections while 1000 idle connections are held open, beside
# the same without them, over the same rounds. The idle ones come from
# addresses of their own, as the server takes 64 from one address.
idle_load() {
  : >"$scratch/idle-rounds"
  for _ in $(seq "$rounds"); do
    load "$base/calibratorstate?ClientID=1&ClientTransactionID=1" 16 GET >>"$scratch/idle-rounds"
  done
  read -r rps _ <<<"$(median "$scratch/idle-rounds")"
  echo "$rps"
}
without_idle=$(idle_load)
python3 - "$port" >"$scratch/idle-ready" <<'PY' &
import resource, socket, sys, time
soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
resource.setrlimit(resource.RLIMIT_NOFILE, (min(hard, 4096), hard))
held = []
for index in range(1000):
    connection = socket.socket()
    connection.bind(("127.0.1.%d" % (1 + index // 50), 0))
    connection.connect(("127.0.0.1", int(sys.argv[1])))
    held.append(connection)
print("ready", flush=True)
time.sleep(600)
PY
idle_pid=$!
for _ in $(seq 200); do grep -q ready "$scratch/idle-ready" && break; sleep 0.05; done
with_idle=$(idle_load)
kill "$idle_pid" 2>/dev/null || true
wait "$idle_pid" 2>/dev/null || true
idle_ratio=$(awk -v a="$with_idle" -v b="$without_idle" 'BEGIN {printf "%.2f", a / b}')


before=$(grep -c -v -E '^(open|close|pause)' "$scratch/traffic" || true)
started=$(date +%s.%N)
seconds=10 load "$base/calibratorstate?ClientID=1&ClientTransactionID=1" 64 GET >"$scratch/long"
elapsed=$(awk -v a="$started" -v b="$(date +%s.%N)" 'BEGIN {print b - a}')
device=$(($(grep -c -v -E '^(open|close|pause)' "$scratch/traffic" || true) - before))
refreshes=$(awk -v e="$elapsed" 'BEGIN {printf "%d", e + 1}')
read -r long_rps _ <"$scratch/long"
[ "$device" -le "$refreshes" ] || device_ok=0

echo
printf 'GET: lowest throughput ratio %s (goal 0.9 or more), highest p99 ratio %.2f (goal 1.5 or less)\n' \
  "$worst_rps" "$worst_p99"
echo "peak RSS: highest ratio $worst_rss (goal 1.2 or less)"
printf 'GET calibratorstate at 16 connections with 1000 idle ones open: %d req/s, %d without, ratio %s (goal 0.8 or more)\n' \
  "$with_idle" "$without_idle" "$idle_ratio"
printf '10 s of GET calibratorstate at 64 connections: %d requests, %d device requests, %d refreshes\n' \
  "$((long_rps * 10))" "$device" "$refreshes"
[ $device_ok -eq 1 ] || echo "MORE device requests than refreshes"
