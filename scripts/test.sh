#!/usr/bin/env bash
# Builds everything and runs every test twice: a normal build, then one under AddressSanitizer
# and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
jobs="$(nproc)"

cmake -S . -B build -DKESTRUNE_TESTS=ON >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build --no-tests=error --output-on-failure -j"$jobs"

cmake -S . -B build-sanitize -DKESTRUNE_TESTS=ON -DKESTRUNE_SANITIZE=ON >/dev/null
cmake --build build-sanitize -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-sanitize --no-tests=error --output-on-failure -j"$jobs"
scripts/fuzz.sh  # every fuzz target for a short while (longer runs: scripts/fuzz.sh --time SECONDS)
bash scripts/test-windows.sh  # both Windows builds, and the Windows tests under Wine
