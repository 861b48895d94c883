#!/usr/bin/env bash
# Measures each run of the programs as built in BUILD_DIR against the
# simulated dimmer (busy count 0), beside the floor: a minimal C program
# linked against the same HIDAPI doing the same work. Instructions come from
# callgrind (repeatable, unlike times), peak memory from massif (all pages
# mapped), and the device requests from the simulator's log, beside the
# fewest the protocol allows.
set -euo pipefail
build=$(cd "${1:?usage: run.sh BUILD_DIR}" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

export LD_PRELOAD="$build/testing/libsimulated_dimmer.so"
unset DIMMER_SIM_LOG DIMMER_SIM_STATE_FILE DIMMER_SIM_FAIL DIMMER_SIM_BUSY

instructions() {
  valgrind --tool=callgrind --callgrind-out-file="$scratch/callgrind" "$@" >/dev/null 2>&1
  awk '/^(summary|totals):/ {print $2; exit}' "$scratch/callgrind"
}

peak_memory() {
  valgrind --tool=massif --pages-as-heap=yes --massif-out-file="$scratch/massif" "$@" \
    >/dev/null 2>&1
  awk -F= '/^mem_heap_B=/ {if ($2 > peak) peak = $2} END {print peak}' "$scratch/massif"
}

requests() {
  rm -f "$scratch/traffic"
  DIMMER_SIM_LOG="$scratch/traffic" "$@" >/dev/null 2>&1 || true
  [ -f "$scratch/traffic" ] || { echo 0; return; }
  grep -c -v -E '^(open|close|pause)' "$scratch/traffic" || true
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.3f", a / b}'; }

worst_instructions=0
worst_memory=0
extra_requests=0
printf '%-20s %12s %12s %6s   %10s %10s %6s   %8s %7s\n' run instructions floor ratio \
  "peak bytes" floor ratio requests minimum
# name | intensity at start | program | floor | fewest requests
while IFS='|' read -r name start program floor minimum; do
  export DIMMER_SIM_INTENSITY=$start
  read -r -a program_args <<<"$program"
  read -r -a floor_args <<<"$floor"
  program_args[0]=$build/${program_args[0]}
  floor_args[0]=$build/${floor_args[0]}
  pi=$(instructions "${program_args[@]}")
  fi=$(instructions "${floor_args[@]}")
  pm=$(peak_memory "${program_args[@]}")
  fm=$(peak_memory "${floor_args[@]}")
  sent=$(requests "${program_args[@]}")
  ri=$(ratio "$pi" "$fi")
  rm=$(ratio "$pm" "$fm")
  printf '%-20s %12d %12d %6s   %10d %10d %6s   %8d %7d\n' "$name" "$pi" "$fi" "$ri" "$pm" "$fm" \
    "$rm" "$sent" "$minimum"
  worst_instructions=$(awk -v a="$ri" -v b="$worst_instructions" 'BEGIN {print (a > b) ? a : b}')
  worst_memory=$(awk -v a="$rm" -v b="$worst_memory" 'BEGIN {print (a > b) ? a : b}')
  [ "$sent" -le "$minimum" ] || extra_requests=1
done <<'RUNS'
quorlet|500|quorlet/quorlet|benchmark/dimmer_floor status|1
quorlet 300|0|quorlet/quorlet 300|benchmark/dimmer_floor set 300|4
orvane 3 L B128 S|0|orvane/orvane 3 L B128 S|benchmark/dimmer_floor set 176|4
orvane 3 V|0|orvane/orvane 3 V|benchmark/dimmer_floor version|0
RUNS

echo
echo "largest ratio: instructions $worst_instructions, peak memory $worst_memory (target 1.10)"
if awk -v a="$worst_instructions" -v b="$worst_memory" 'BEGIN {exit !(a <= 1.10 && b <= 1.10)}' &&
   [ $extra_requests -eq 0 ]; then
  echo "within target; no request beyond the fewest the protocol allows"
else
  echo "OVER TARGET"
fi
