#!/usr/bin/env bash
# Builds with gcov instrumentation, runs the suite, and fails unless the
# programs' own code (dimmer/, quorlet/, orvane/; not tests, not the
# simulator) is covered to 100% of lines and 95% of branches, and the Alpaca
# server's (alpaca/) to 95% of lines. The reports are
# build-coverage/coverage.html and build-coverage/alpaca-coverage.html.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/install-deps.sh
install_missing gcovr

cmake -S . -B build-coverage -G Ninja -DCMAKE_BUILD_TYPE=Debug -DDIMMER_COVERAGE=ON >/dev/null
cmake --build build-coverage
find build-coverage -name '*.gcda' -delete
ctest --test-dir build-coverage --output-on-failure -j "$(nproc)" -E package_installs_and_runs
gcovr --root . --filter 'dimmer/' --filter 'quorlet/' --filter 'orvane/' \
  --exclude '.*_test\.cc' --exclude-throw-branches --exclude-unreachable-branches \
  --html-details build-coverage/coverage.html --print-summary \
  --fail-under-line 100 --fail-under-branch 95 build-coverage
# The server's own code runs on many threads and through the HTTP library's
# exceptions: its lines are gated.
gcovr --root . --filter 'alpaca/' --exclude-throw-branches --exclude-unreachable-branches \
  --html-details build-coverage/alpaca-coverage.html --print-summary \
  --fail-under-line 95 build-coverage
