#!/usr/bin/env bash
# Builds everything and runs the whole test suite: once as released, once
# under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/install-deps.sh

run_suite() {
  local folder=$1
  shift
  cmake -S . -B "$folder" -G Ninja "$@" >/dev/null
  cmake --build "$folder"
  ctest --test-dir "$folder" --output-on-failure -j "$(nproc)"
}

echo "== Release build"
run_suite build
echo "== Sanitizer build (AddressSanitizer, UndefinedBehaviorSanitizer)"
run_suite build-sanitize -DCMAKE_BUILD_TYPE=Debug -DDIMMER_SANITIZE=ON
