#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz/ and runs each of them in turn.
#
#   scripts/fuzz.sh                 every target for 20 seconds (the short run of scripts/test.sh)
#   scripts/fuzz.sh --time 600      every target for 600 seconds
#   scripts/fuzz.sh --runs 5000000  every target for that many inputs
#   scripts/fuzz.sh ... scanner_fuzz   only the targets named
#
# Seeds come from fuzz/corpus/NAME/ (NAME is the target without "_fuzz") and stay unchanged;
# fuzz/NAME.options may hold further libFuzzer flags for a target;
# inputs found meanwhile are kept in build-fuzz/corpus/NAME/ for the next run. A target that
# finds a fault stops the script with its output and the input that caused it.
set -euo pipefail
cd "$(dirname "$0")/.."

limit=(-max_total_time=20)
targets=()
while [ $# -gt 0 ]; do
  case "$1" in
    --time) limit=(-max_total_time="$2"); shift 2 ;;
    --runs) limit=(-runs="$2"); shift 2 ;;
    *) targets+=("$1"); shift ;;
  esac
done

CC=clang CXX=clang++ cmake -S . -B build-fuzz -DKESTRUNE_FUZZ=ON -DKESTRUNE_TESTS=OFF \
  -DKESTRUNE_BENCH=OFF -DKESTRUNE_WINDOW=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz -j2 >/dev/null
if [ ${#targets[@]} -eq 0 ]; then
  for program in build-fuzz/fuzz/*_fuzz; do targets+=("$(basename "$program")"); done
fi

for target in "${targets[@]}"; do
  name="${target%_fuzz}"
  found="build-fuzz/corpus/$name"
  mkdir -p "$found" "build-fuzz/artifacts/$name"
  options=("${limit[@]}" -print_final_stats=1 -artifact_prefix="build-fuzz/artifacts/$name/")
  if [ -f "fuzz/$name.dict" ]; then options+=(-dict="fuzz/$name.dict"); fi
  # Further libFuzzer flags of a target, e.g. to keep its own messages out of the report.
  if [ -f "fuzz/$name.options" ]; then
    read -r -a extra <"fuzz/$name.options"
    options+=("${extra[@]}")
  fi
  seeds=()
  if [ -d "fuzz/corpus/$name" ]; then seeds+=("fuzz/corpus/$name"); fi
  echo "== $target ${limit[*]}"
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "build-fuzz/fuzz/$target" "${options[@]}" "$found" "${seeds[@]}" 2>"build-fuzz/$name.log" ||
    { tail -n 60 "build-fuzz/$name.log"; exit 1; }
  grep -E '^(#[0-9]+.*(DONE|cov)|stat::number_of_executed_units|stat::peak_rss)' \
    "build-fuzz/$name.log" | tail -n 3
done
