#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs each for SECONDS (default 60) from the
# seeds in fuzz/corpus. New inputs go to build-fuzz/corpus, not the repo.
# A finding stops the run and leaves its input as build-fuzz/crash-*.
#   scripts/fuzz.sh 3600          an hour each
#   scripts/fuzz.sh 60 orvane     one target
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/install-deps.sh
install_missing clang
install_missing "$(clang_runtime)"

seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(number_parse quorlet orvane device_answers alpaca_request http_exchange)

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DDIMMER_FUZZ=ON -DBUILD_TESTING=OFF >/dev/null
cmake --build build-fuzz

for target in "${targets[@]}"; do
  corpus=build-fuzz/corpus/$target
  mkdir -p "$corpus"
  echo "== fuzzing $target for ${seconds}s"
  log=build-fuzz/$target.log
  # close_fd_mask=3: the programs' own output would only drown the report.
  status=0
  build-fuzz/fuzz/${target}_fuzzer -max_total_time="$seconds" -close_fd_mask=3 \
    -print_final_stats=1 -artifact_prefix=build-fuzz/ "$corpus" "fuzz/corpus/$target" \
    >"$log" 2>&1 || status=$?
  if [ $status -ne 0 ]; then
    tail -n 40 "$log"
    echo "FAIL: $target found a fault (input saved as build-fuzz/crash-*)"
    exit 1
  fi
  grep -E '^Done' "$log"
done
