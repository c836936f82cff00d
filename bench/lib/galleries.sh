# shellcheck shell=bash disable=SC2154  # the settings come from bench/run.sh
# The gallery measurements of bench/run.sh, sourced by it: for every place, layout, thumbnail
# setting and size, a generated gallery is run by kestrune and by its I/O floor in alternating
# timed rounds, its system calls are counted once under strace, and its rows go into the report's
# tables (the files $results.runs, .calls, .breakdown, .scan and .data).
# The gallery at hand is named by globals the loops set: place, layout, setting, n, and dir, its
# folder (reference/ holds kestrune's first run, run/ the timed ones).

# Every place in turn (medians of --rounds on a memory file system, --disk-rounds on a disk, where
# each round is slow), each in a folder of its own that is removed afterwards.
run_galleries() {
  for place in $places; do
    case "$place" in /dev/shm*) place_rounds=$rounds ;; *) place_rounds=$disk_rounds ;; esac
    work="$place/kestrune-bench.$$"
    for layout in $layouts; do
      run_layout
    done
    rm -rf "$work"
  done
}

# Every thumbnail setting and size of one layout. The folder layout has a setting of its own (a
# thumbnail for one in twenty photos, in img/); list_option and gallery_option are what
# make_gallery takes for the layout and the setting.
run_layout() {
  local settings="$thumbnail_settings"
  [ "$layout" = folder ] && settings="1-in-20"
  list_option=""
  [ "$layout" = folder ] && list_option=--folder
  for setting in $settings; do
    gallery_option="$list_option"
    [ "$setting" = present ] && gallery_option=--thumbnails
    for n in $sizes; do
      measure_gallery
    done
  done
}

# One gallery: its timed rounds and their row; on the first place its system calls (they do not
# depend on the place); and on the first place, setting and the beside layout the scanner's time.
measure_gallery() {
  dir="$work/$layout/$setting/$n"
  prepare_gallery
  timed_rounds
  runs_row
  if [ "$place" = "$first_place" ] && [ "$have_strace" = yes ]; then
    traced_runs
    calls_row
    if [ "$n" = "${sizes##* }" ]; then calls_breakdown >>"$results.breakdown"; fi
  fi
  if [ "$place" = "$first_place" ] && [ "$setting" = "$first_setting" ] &&
    [ "$layout" = beside ]; then
    scan_times
  fi
  rm -rf "${dir:?}"
}

# Makes the gallery in reference/ and in run/, and runs kestrune once in reference/ to learn which
# files it writes; the floor must write exactly those, so its list is checked against them before
# its pack (the names and bytes it writes) is made from them.
prepare_gallery() {
  mkdir -p "$dir/reference" "$dir/run"
  "$bin/make_gallery" "$n" "$dir/reference/gallery.html" ${gallery_option:+"$gallery_option"}
  "$bin/make_gallery" "$n" "$dir/run/gallery.html" ${gallery_option:+"$gallery_option"}
  sheet_bytes=$(stat -c %s "$dir/reference/gallery.html")
  (cd "$dir/reference" && "$kestrune" "${style[@]}" gallery.html)
  floor_list "$n" ${list_option:+"$list_option"} >"$dir/floor.list"
  cmp -s <(grep -v '^?' "$dir/floor.list" | sort) <(cd "$dir/reference" && pages . gallery.html | sed 's|^\./||' | sort) ||
    { echo "the floor's files are not the files kestrune wrote at $n images" >&2; exit 1; }
  (cd "$dir/reference" && "$bin/io_floor" --pack "$dir/floor.pack" <"$dir/floor.list")
}

# The timed rounds: each runs every program once (kestrune, the floor, the re-run, and the floor
# with look-ups if asked), alternating, so all see the same state of a busy machine. The floor
# must then have written exactly what kestrune wrote.
timed_rounds() {
  for round in $(seq "$place_rounds"); do
    alternate 1 "$dir/run" gallery.html "$dir/floor.pack" "$dir/times" "${programs[@]}"
    echo "  $place $layout $setting $n images: round $round done" >&2
  done
  diff -r -q "$dir/reference" "$dir/run" >/dev/null ||
    { echo "floor output differs from kestrune's at $n images" >&2; exit 1; }
}

# The gallery's row of the runs table: median wall times against the floor, time per image and
# kestrune's peak memory against the sheet's size. The medians also go to $results.data, which
# the growth line and the targets are judged from.
runs_row() {
  local k f l r rss
  k=$(cut -d' ' -f1 "$dir/times.kestrune.times" | median)
  f=$(cut -d' ' -f1 "$dir/times.floor.times" | median)
  l=-
  [ "$has_lookups" = yes ] && l=$(cut -d' ' -f1 "$dir/times.lookups.times" | median)
  r=$(cut -d' ' -f1 "$dir/times.rerun.times" | median)
  rss=$(cut -d' ' -f2 "$dir/times.kestrune.times" | sort -n | tail -n 1)
  echo "$place $layout $setting $n $k $f $l $r" >>"$results.data"
  awk -v place="$place" -v layout="$layout" -v setting="$setting" -v n="$n" \
    -v bytes="$sheet_bytes" -v k="$k" -v f="$f" -v l="$l" -v r="$r" -v rss="$rss" \
    'BEGIN { printf "| %s | %s | %s | %d | %.2f | %.3f | %.3f | %.2f | %.3f | %.2f |", place, layout, setting, n, bytes / 1e6, k, f, k / f, r, r / f
             if (l != "-") printf " %.3f | %.2f |", l, k / l
             printf " %.1f | %.1f | %.1f |\n", k / n * 1e6, rss / 1024, rss / 1024 - bytes / 1048576 }' \
    >>"$results.runs"
}

# One more run of each program, traced and untimed, for its system calls; each traced run's
# output is checked too.
traced_runs() {
  for program in kestrune floor lookups rerun; do
    [ "$program" = rerun ] || clean "$dir/run" gallery.html
    trace_calls "$dir/run" "$dir/$program" "$program" "$dir/floor.pack"
    diff -r -q "$dir/reference" "$dir/run" >/dev/null ||
      { echo "traced $program output differs from kestrune's at $n images" >&2; exit 1; }
  done
}

# Sets same to how kestrune's thumbnail look-ups compare with the floor's: kestrune looks the
# first names of a folder up one by one, as the floor does, and answers the rest from one read
# of the folder (getdents64).
compare_lookups() {
  local kl ll reads
  kl=$(wc -l <"$dir/kestrune.lookups")
  ll=$(wc -l <"$dir/lookups.lookups")
  reads=$(awk '$1 == "getdents64" { print $2 }' "$dir/kestrune.calls")
  if [ ${#style[@]} -gt 0 ]; then
    same="$kl / $ll (modern pages look up the next image's thumbnail, not the previous one's)"
  elif [ "$kl" = 0 ]; then
    same="none / $ll"
  elif head -n "$kl" "$dir/lookups.lookups" | cmp -s - "$dir/kestrune.lookups"; then
    same="$kl / $ll, the floor's first $kl in the same order"
  else
    same="$kl / $ll, NOT the floor's first names in the same order"
  fi
  [ -z "$reads" ] || same="$same; the rest from the folder, read in ${reads} getdents64 calls"
}

# The gallery's row of the system calls table: calls per image of each traced run.
calls_row() {
  compare_lookups
  awk -v layout="$layout" -v setting="$setting" -v n="$n" \
    -v k="$(total_calls "$dir/kestrune.calls")" -v f="$(total_calls "$dir/floor.calls")" \
    -v l="$(total_calls "$dir/lookups.calls")" -v r="$(total_calls "$dir/rerun.calls")" \
    -v same="$same" \
    'BEGIN { printf "| %s | %s | %d | %.2f | %.2f | %.2f | %.2f | %.2f | %s |\n",
             layout, setting, n, k / n, f / n, l / n, (k - f) / n, r / n, same }' >>"$results.calls"
}

# Where the calls go at the largest size: each kind of call per image, the most frequent first,
# the rare ones (start-up) summed as "other".
calls_breakdown() {
  echo "System calls per image by kind, $n images, layout $layout, thumbnails $setting" \
    "(calls made fewer than 0.01 times per image: start-up, summed as \"other\"):"
  echo
  echo "| call | kestrune | floor | floor + look-ups | re-run |"
  echo "|---|---:|---:|---:|---:|"
  awk -v n="$n" 'FNR == 1 { file++ } { count[$1, file] = $2; names[$1] = 1 }
    END {
      for (c in names) {
        big = 0
        for (i = 1; i <= 4; i++) if (count[c, i] / n >= 0.01) big = 1
        if (big) printf "| %s | %.2f | %.2f | %.2f | %.2f |\n", c, count[c, 1] / n, count[c, 2] / n, count[c, 3] / n, count[c, 4] / n
        else for (i = 1; i <= 4; i++) other[i] += count[c, i]
      }
      printf "| other | %d calls | %d calls | %d calls | %d calls |\n", other[1], other[2], other[3], other[4]
    }' "$dir/kestrune.calls" "$dir/floor.calls" "$dir/lookups.calls" "$dir/rerun.calls" |
    sort -t'|' -k3,3gr | awk '/^\| other/ { o = $0; next } { print } END { print o }'
  echo
}

# The scanner and the literal algorithm on the same sheet (--literal-images stops the literal one
# early and extrapolates).
scan_times() {
  "$bin/scan_time" "$dir/reference/gallery.html" >>"$results.scan"
  "$bin/scan_time" "$dir/reference/gallery.html" --literal $literal_images >>"$results.scan"
}
