# shellcheck shell=bash disable=SC2154,SC2034  # settings from bench/run.sh; results for report.sh
# Start-up and the sample, measured by bench/run.sh (which sources this) on the first place:
# `kestrune --version` against /bin/true, and a whole run on a copy of examples/ against the floor
# of its pages and against /bin/true (the cost of starting any program at all). Sets the medians
# version_ms, true_ms, sample_ms, samplefloor_ms and sampletrue_ms ("wall cpu" milliseconds),
# sample_images and sample_calls for the report.

# The start-up rounds, in a folder of their own: `kestrune --version` and /bin/true alternating in
# an empty folder, then the sample, its floor and /bin/true alternating in the sample's copy.
run_startup() {
  work="$first_place/kestrune-bench.$$"
  mkdir -p "$work/empty"
  prepare_sample
  echo "  start-up: $start_rounds alternating rounds" >&2
  alternate "$start_rounds" "$work/empty" none none "$work/start" version true
  alternate "$start_rounds" "$sample" index.html "$work/sample.pack" "$work/sample" sample samplefloor true
  check_sample_floor
  startup_medians
  sample_calls="-"
  if [ "$have_strace" = yes ]; then startup_calls; fi
  rm -rf "$work"
}

# A copy of the sample without its pages, run once by kestrune to learn its pages, from which
# the floor's pack is made.
prepare_sample() {
  sample="$work/sample"
  cp -r examples "$sample"
  pages "$sample" index.html -delete
  (cd "$sample" && "$kestrune" index.html)
  sample_images=$(pages "$sample" index.html -name '*.htm' | wc -l)
  (cd "$sample" && pages . index.html | sed 's|^\./||' | sort | "$bin/io_floor" --pack "$work/sample.pack")
}

# The floor writes exactly the pages kestrune writes on a fresh copy of the sample.
check_sample_floor() {
  local sample_reference="$work/sample-reference"
  cp -r examples "$sample_reference"
  pages "$sample_reference" index.html -delete
  (cd "$sample_reference" && "$kestrune" index.html)
  clean "$sample" index.html
  (cd "$sample" && "$bin/io_floor" "$work/sample.pack")
  diff -r -q "$sample_reference" "$sample" >/dev/null ||
    { echo "floor output differs from kestrune's on the sample" >&2; exit 1; }
}

# Median wall and processor milliseconds of a times file: "wall cpu".
ms() {
  echo "$(cut -d' ' -f1 "$1" | median | awk '{ printf "%.3f", $1 * 1000 }')" \
    "$(cut -d' ' -f3 "$1" | median | awk '{ printf "%.3f", $1 * 1000 }')"
}

# The medians the report shows, one for each timed program.
startup_medians() {
  version_ms=$(ms "$work/start.version.times")
  true_ms=$(ms "$work/start.true.times")
  sample_ms=$(ms "$work/sample.sample.times")
  samplefloor_ms=$(ms "$work/sample.samplefloor.times")
  sampletrue_ms=$(ms "$work/sample.true.times")
}

# System calls of one traced run of the sample, of `kestrune --version` and of /bin/true.
startup_calls() {
  clean "$sample" index.html
  trace_calls "$sample" "$work/sample" sample none
  trace_calls "$work/empty" "$work/version" version none
  trace_calls "$work/empty" "$work/true" true none
  sample_calls="$(total_calls "$work/sample.calls") for the sample's run, $(total_calls "$work/version.calls") for \`kestrune --version\`, $(total_calls "$work/true.calls") for \`/bin/true\`"
}
