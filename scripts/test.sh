#!/usr/bin/env bash
# Builds everything and passes every test, stage by stage: the normal build, the slide shows
# walked in a browser, the same build under AddressSanitizer and UndefinedBehaviorSanitizer, the
# fuzzers briefly, the Windows builds with their tests under Wine, and the release packages with
# their checks. Every stage runs even when
# an earlier one failed; the summary at the end gives each stage's test count, time and result,
# and the exit status is 1 if any failed.
# Each stage's whole output is also kept in build-logs/STAGE.log.
set -uo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh test || exit 1
jobs="$(nproc)"
logs=build-logs
mkdir -p "$logs"

# ---- Stages: each runs its commands in order and stops at the first that fails ---------------

stage_normal() {
  cmake -S . -B build -DKESTRUNE_TESTS=ON >/dev/null &&
    cmake --build build -j"$jobs" &&
    ctest --test-dir build --no-tests=error --output-on-failure -j"$jobs"
}

stage_browser() {  # every slide show walked in headless Chromium, over file:// and HTTP
  cmake -S . -B build -DKESTRUNE_TESTS=ON >/dev/null &&
    cmake --build build -j"$jobs" --target kestrune &&
    /usr/bin/python3 tests/browser/walk_test.py build/kestrune examples tests/browser/fixtures
}

# The layer checks compile a line of each header against each layer: what they find is the same
# in every build, so only the normal stage runs them. The headless-only build also leaves out the
# fault sweeps and overlapping runs, whose libraries are the same with or without a window.
same_in_every_build='^Layers\.'

stage_sanitizer() {
  cmake -S . -B build-sanitize -DKESTRUNE_TESTS=ON -DKESTRUNE_SANITIZE=ON >/dev/null &&
    cmake --build build-sanitize -j"$jobs" &&
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
      ctest --test-dir build-sanitize --no-tests=error --output-on-failure -j"$jobs" \
      -E "$same_in_every_build"
}

# The program built without a window (KESTRUNE_WINDOW=OFF): no FLTK or X11 in it, and every test
# that needs no window passes.
stage_headless_only() {
  cmake -S . -B build-headless -DKESTRUNE_TESTS=ON -DKESTRUNE_WINDOW=OFF -DKESTRUNE_BENCH=OFF \
    >/dev/null &&
    cmake --build build-headless -j"$jobs" &&
    if ldd build-headless/kestrune | grep -E 'libfltk|libX11'; then
      echo "FAIL: the headless-only program links a window toolkit"
      false
    fi &&
    ctest --test-dir build-headless --no-tests=error --output-on-failure -j"$jobs" \
      -E "$same_in_every_build|FaultSweep|OverlappingRuns"
}

stage_fuzz() {
  # Every target for a short while, its inputs found so far kept in build-fuzz/corpus (longer
  # runs: scripts/fuzz.sh --time SECONDS).
  scripts/fuzz.sh --time 8
}

stage_windows() {
  bash scripts/test-windows.sh  # both Windows builds, and the Windows tests under Wine
}

stage_package() {
  # The release artefacts in dist/: the .deb installed in a scratch Debian system (as root), the
  # zips, and the installer under Wine.
  bash scripts/package.sh && bash scripts/test-package.sh
}

# ---- Counting what a stage's log says it tested -------------------------------------------------

count_ctest() {  # "100% tests passed, 0 tests failed out of 201"
  sed -n 's/.*tests failed out of \([0-9]*\).*/\1 tests/p' "$1" | tail -n1
}

count_walks() {  # "2478 passed, 0 failed"
  sed -n 's/^\([0-9]*\) passed, [0-9]* failed$/\1 checks/p' "$1" | tail -n1
}

count_fuzz() {  # one "stat::number_of_executed_units: N" per target
  awk '/stat::number_of_executed_units/ {n += $2; t++} END {if (t) print t " targets, " n " inputs"}' "$1"
}

count_checks() {  # "N checks, M failed" per Windows test program or packaging check
  # Windows programs end their lines with CR LF.
  awk '{sub(/\r$/, "")} /^[0-9]+ checks, [0-9]+ failed$/ {n += $1} END {if (n) print n " checks"}' "$1"
}

# ---- Running and summing up ---------------------------------------------------------------------

summary=()
failed=0
run_stage() {
  local name="$1" counter="$2" start=$SECONDS status=0
  echo "==== $name"
  "stage_$name" 2>&1 | tee "$logs/$name.log" || status=$?
  local count result="passed"
  count="$("$counter" "$logs/$name.log")"
  if [ "$status" -ne 0 ]; then
    result="FAILED"
    failed=1
  fi
  summary+=("$(printf '%-14s %-32s %5ds  %s' "$name" "${count:-no count}" $((SECONDS - start)) \
    "$result")")
}

run_stage normal count_ctest
run_stage browser count_walks
run_stage sanitizer count_ctest
run_stage headless_only count_ctest
run_stage fuzz count_fuzz
run_stage windows count_checks
run_stage package count_checks

echo
echo "==== Summary (logs in $logs/)"
printf '%s\n' "${summary[@]}"
exit "$failed"
