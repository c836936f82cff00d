# shellcheck shell=bash disable=SC2154  # the settings and results come from bench/run.sh
# The report of bench/run.sh, sourced by it: the tables the measurements fill in, then the whole
# report in $results (build/bench-results.md), with the targets judged met or NOT MET.

# Starts the tables the galleries add rows to (the runs table has the floor with look-ups' two
# columns when it is timed) and empties the sections and data they add to.
report_begin() {
  {
    if [ "$has_lookups" = yes ]; then
      echo "| place | layout | thumbnails | images | sheet MB | kestrune s | floor s | ratio | re-run s | ratio | floor + look-ups s | ratio | µs/image | peak RSS MB | RSS − sheet MB |"
      echo "|---|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|"
    else
      echo "| place | layout | thumbnails | images | sheet MB | kestrune s | floor s | ratio | re-run s | ratio | µs/image | peak RSS MB | RSS − sheet MB |"
      echo "|---|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|"
    fi
  } >"$results.runs"
  {
    echo "| layout | thumbnails | images | kestrune | floor | floor + look-ups | kestrune − floor | re-run | thumbnails looked up by name, kestrune / floor + look-ups |"
    echo "|---|---|---:|---:|---:|---:|---:|---:|---|"
  } >"$results.calls"
  : >"$results.breakdown"
  : >"$results.scan"
  : >"$results.data"  # place layout thumbnails images kestrune floor lookups rerun, for the targets
}

# Writes the report, section by section, and removes the tables it was made from.
write_report() {
  {
    report_runs
    report_calls
    report_startup
    report_targets
    report_scans
    echo "bench/run.sh took $SECONDS s."
  } >"$results"
  rm -f "$results.runs" "$results.calls" "$results.breakdown" "$results.scan" "$results.data"
}

# The whole runs, and whether they grow linearly: time per image at the largest size against the
# smallest, for each place, layout and setting.
report_runs() {
  echo "Whole headless runs (medians of $rounds alternating rounds on /dev/shm, $disk_rounds elsewhere):"
  echo
  cat "$results.runs"
  echo
  awk '{ key = $1 " " $2 " " $3; if (!(key in first)) { first[key] = $5 / $4; order[++keys] = key }; last[key] = $5 / $4 }
    END { for (i = 1; i <= keys; i++) printf "time per image, largest size / smallest size, %s: %.2f\n", order[i], last[order[i]] / first[order[i]] }' \
    "$results.data"
  echo
}

# System calls per image of each gallery and where they go, or why they were not counted.
report_calls() {
  if [ "$have_strace" = yes ]; then
    echo "System calls per image (one more run of each under strace -f, untimed; start-up included):"
    echo
    cat "$results.calls"
    echo
    cat "$results.breakdown"
  else
    echo "System calls: not counted (strace is not installed; Debian package strace)."
    echo
  fi
}

# Start-up and the sample, each against its baseline.
report_startup() {
  echo "Start-up and the sample (medians of $start_rounds alternating runs on $first_place):"
  echo
  echo "| run | time | processor time | baseline | time | processor time | ratio | ratio of processor times |"
  echo "|---|---:|---:|---|---:|---:|---:|---:|"
  startup_row '`kestrune --version`' '`/bin/true`' "$version_ms" "$true_ms"
  startup_row "the sample, $sample_images images" "its I/O floor" "$sample_ms" "$samplefloor_ms"
  startup_row "the sample, $sample_images images" '`/bin/true`' "$sample_ms" "$sampletrue_ms"
  if [ "$sample_calls" != - ]; then echo; echo "System calls: $sample_calls."; fi
  echo
}

# One row of the start-up table: startup_row RUN BASELINE "WALL CPU" "WALL CPU" (milliseconds).
startup_row() {
  awk -v run="$1" -v base="$2" -v a="$3" -v b="$4" 'BEGIN {
    split(a, x, " "); split(b, y, " ")
    printf "| %s | %.2f ms | %.2f ms | %s | %.2f ms | %.2f ms | %.2f | %.2f |\n",
           run, x[1], x[2], base, y[1], y[2], x[1] / y[1], (y[2] > 0 ? x[2] / y[2] : 0) }'
}

# The targets section: what weakens its verdicts (too few rounds, modern pages), then the verdicts.
report_targets() {
  echo "Targets (on /dev/shm, the floor without look-ups):"
  echo
  if [ "$rounds" -lt 7 ]; then echo "(only $rounds rounds: the targets ask for medians of at least 7)"; echo; fi
  [ ${#style[@]} -eq 0 ] || echo "(modern pages)"
  judge_targets
  version_target
  echo
}

# The targets of each layout and setting, judged on /dev/shm against the plain floor: a whole run
# at 10,000 and 50,000 images within $target of the floor, a re-run within 1.5x the floor of a
# fresh run, and time per image not growing from 1,000 to 50,000 images.
judge_targets() {
  awk -v target="$target" '
    function verdict(ok) { return ok ? "met" : "NOT MET" }
    function size_targets(s, n,   ratio) {
      printf "- whole run at most %sx the floor, %d images, %s: ", target, n, s
      if (!((s, n) in seen)) { print "not measured"; return }
      ratio = k[s, n] / f[s, n]
      printf "%.2f, %s", ratio, verdict(ratio <= target + 0)
      if (l[s, n] != "-") printf " (against the floor with look-ups: %.2f)", k[s, n] / l[s, n]
      print ""
      printf "- re-run over an earlier show at most 1.5x the floor of a fresh one, %d images, %s: ", n, s
      ratio = r[s, n] / f[s, n]
      printf "%.2f, %s\n", ratio, verdict(ratio <= 1.5)
    }
    function growth_target(s,   a, b) {
      printf "- time per image at 50000 images at most that at 1000, %s: ", s
      if (!((s, 50000) in seen) || !((s, 1000) in seen)) { print "not measured"; return }
      a = k[s, 50000] / 50000 * 1e6; b = k[s, 1000] / 1000 * 1e6
      printf "%.1f against %.1f µs, %s\n", a, b, verdict(a <= b)
    }
    $1 ~ /^\/dev\/shm/ {
      key = "layout " $2 ", thumbnails " $3
      if (!(key in known)) { known[key] = 1; order[++keys] = key }
      k[key, $4] = $5; f[key, $4] = $6; l[key, $4] = $7; r[key, $4] = $8; seen[key, $4] = 1
    }
    END {
      for (i = 1; i <= keys; i++) {
        size_targets(order[i], 10000); size_targets(order[i], 50000); growth_target(order[i])
      }
    }' "$results.data"
}

# The start-up target: `kestrune --version` within 1.5x /bin/true (median wall times; the
# processor times alongside).
version_target() {
  awk -v version="${version_ms%% *}" -v true_="${true_ms%% *}" \
    -v version_cpu="${version_ms##* }" -v true_cpu="${true_ms##* }" 'BEGIN {
    printf "- `kestrune --version` at most 1.5x `/bin/true`: %.2f, %s (processor times: %.2f)\n",
           version / true_, version / true_ <= 1.5 ? "met" : "NOT MET", (true_cpu > 0 ? version_cpu / true_cpu : 0) }'
}

# The scanner and the literal algorithm on the galleries' sheets, and the scanner benchmark.
report_scans() {
  echo "Scanning the same sheets as a generation does:"
  echo
  sed 's/^/    /' "$results.scan"
  echo
  echo "Scanner benchmark:"
  echo
  "$bin/scanner_bench" --benchmark_filter='^Gallery/' 2>/dev/null | grep '^Gallery' | sed 's/^/    /'
  echo
}
