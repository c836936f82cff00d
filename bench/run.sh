#!/usr/bin/env bash
# Times whole headless runs of build/kestrune on generated gallery contact sheets against the I/O
# floor (bench/io_floor: the same files with the same bytes, open-write-close and nothing else),
# alternating the two in the same rounds, on a memory file system and on the working disk. Also
# counts the system calls of one more run of each (under strace, untimed), times the start-up of
# `kestrune --version` and a whole run on the bundled sample, times the scanner and the literal
# algorithm on the same sheets, runs the scanner benchmark, and says which targets are met.
#
#   bench/run.sh [--sizes "1000 10000 50000"] [--rounds 9] [--disk-rounds 3]
#                [--places "/dev/shm build/bench-disk"] [--literal-images N]
#                [--thumbnails present|absent|both] [--no-thumbnails] [--floor-with-lookups]
#                [--start-rounds 101] [--modern] [--layouts "beside folder"]
#
# Two layouts of gallery: "beside", the images and their thumbnails beside the sheet (the
# gallery page a photo program writes), and "folder", a hand-edited sheet beside a folder img/
# that holds the photos (mixed extensions) and a thumbnail for one in twenty, so every page lands
# in img/. Each run is timed fresh, and again over the show an earlier run left (a re-run),
# against the floor of writing the same pages afresh.
# The gallery's thumbnails (NAME_t.jpg) exist beside it, as in a real gallery folder, so the
# slide show finds each PREVIOUS icon at its first look; --thumbnails absent (or --no-thumbnails)
# leaves them out, and kestrune then looks for two names per image in vain; --thumbnails both
# measures both galleries in the same invocation.
# --floor-with-lookups also times a second floor that makes the thumbnail look-ups kestrune makes
# today (a `stat` per name, in the same order), in the same alternating rounds, so both readings
# stand side by side; the targets are judged against the plain floor.
# --modern writes the galleries' pages in the modern style (the floor then writes those bytes);
# its target is 1.25x the floor, against 1.12x for the classic pages.
# --start-rounds sets how many alternating runs time the start-up and the sample.
# --literal-images stops the literal algorithm after N images and extrapolates (see
# bench/scan_time.cpp); by default it scans every sheet whole. The report is also written to
# build/bench-results.md.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
export DISPLAY=  # headless runs, even on a desktop

sizes="1000 10000 50000"
rounds=9
disk_rounds=3
start_rounds=101
places="/dev/shm $root/build/bench-disk"
literal_images=""
thumbnail_settings="present"
programs=(kestrune floor rerun)
layouts="beside folder"
style=()
target=1.12
while [ $# -gt 0 ]; do
  case "$1" in
    --sizes) sizes="$2"; shift 2 ;;
    --rounds) rounds="$2"; shift 2 ;;
    --disk-rounds) disk_rounds="$2"; shift 2 ;;
    --start-rounds) start_rounds="$2"; shift 2 ;;
    --places) places="$2"; shift 2 ;;
    --literal-images) literal_images="$2"; shift 2 ;;
    --thumbnails)
      case "${2:-}" in
        present | absent) thumbnail_settings="$2" ;;
        both) thumbnail_settings="present absent" ;;
        *) echo "--thumbnails takes present, absent or both" >&2; exit 2 ;;
      esac
      shift 2 ;;
    --no-thumbnails) thumbnail_settings="absent"; shift ;;
    --floor-with-lookups) programs=(kestrune floor rerun lookups); shift ;;
    --layouts) layouts="$2"; shift 2 ;;
    --modern) style=(--modern); target=1.25; shift ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done

# Optimised build without sanitizers: the normal build folder.
scripts/install-deps.sh bench
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRUNE_SANITIZE=OFF >/dev/null
cmake --build build -j2 --target kestrune make_gallery io_floor timed_run scan_time scanner_bench \
  >/dev/null
bin="$root/build/bench"
kestrune="$root/build/kestrune"
have_strace=yes
command -v strace >/dev/null || have_strace=no

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# The pages a run writes: everything but the contact sheet, the images and the thumbnails.
# pages FOLDER SHEET [ACTION...]
pages() { find "$1" -type f \( -name '*.htm' -o -name '*.html' \) ! -path "$1/$2" "${@:3}"; }

# Removes everything a run wrote and settles the disk (a memory file system has nothing to settle).
clean() {
  pages "$1" "$2" -delete
  case "$1" in /dev/shm*) ;; *) sync ;; esac
}

# Sets cmd to the command line of a timed program, given the floor pack of the sheet at hand:
# kestrune and floor on a gallery, lookups (the floor that also makes the thumbnail look-ups),
# version, true, and sample and samplefloor on the sample. command_for NAME PACK
command_for() {
  case "$1" in
    kestrune | rerun) cmd=("$kestrune" "${style[@]}" gallery.html) ;;
    floor | samplefloor) cmd=("$bin/io_floor" "$2") ;;
    lookups) cmd=("$bin/io_floor" --with-lookups "$2") ;;
    version) cmd=("$kestrune" --version) ;;
    true) cmd=(/bin/true) ;;
    sample) cmd=("$kestrune" index.html) ;;
  esac
}

# What the floor does for a gallery of N images, in kestrune's order: the combined page, then for
# each image the look-ups of its PREVIOUS icon (the sheet's own name for the first) and its two
# pages. run.sh checks these names against the files kestrune wrote.
floor_list() {  # floor_list IMAGES [--folder]
  echo allin1.html
  "$bin/make_gallery" "$1" --list ${2:-} |
    awk -v previous=gallery.html '{
      base = $0; sub(/\.[^.]*$/, "", base)
      print "?" previous; print base ".htm"; print base ".html"
      previous = $0 }'
}

# One traced run of NAME in FOLDER; writes its system calls, "name count" a line, to OUT.calls
# and the names of the thumbnails it looked up (stat-like calls on .jpg names), in order, to
# OUT.lookups. Every line of an strace -f trace is one call (the second half of a call split
# around another process's, "<... resumed>", is not counted again).
# trace_calls FOLDER OUT NAME PACK
trace_calls() {
  command_for "$3" "$4"
  (cd "$1" && strace -f -qq -o "$2.trace" "${cmd[@]}" >/dev/null 2>&1)
  awk 'match($0, /^[0-9]+ +[a-z_0-9]+\(/) {
         c = substr($0, RSTART, RLENGTH - 1); sub(/^[0-9]+ +/, "", c); n[c]++ }
       END { for (c in n) print c, n[c] }' "$2.trace" | sort -k2,2nr -k1,1 >"$2.calls"
  sed -n -E 's/^[0-9]+ +(stat|lstat|newfstatat|fstatat64|statx|access|faccessat|faccessat2)\((AT_FDCWD, )?"([^"]*\.jpg)".*/\3/p' \
    "$2.trace" >"$2.lookups"
  rm -f "$2.trace"
}

total_calls() { awk '{ s += $2 } END { print s + 0 }' "$1"; }

# Alternating timed runs in one folder, cleaned of pages before each, in rounds of one run of
# each NAME; appends "seconds rss cpu-seconds" per run to OUT.NAME.times and stops on a non-zero
# status. A re-run (rerun) is not cleaned: it runs over the pages the run before it left.
# alternate ROUNDS FOLDER SHEET PACK OUT NAME...
alternate() {
  local rounds_="$1" folder="$2" sheet="$3" pack="$4" out="$5"
  shift 5
  for _ in $(seq "$rounds_"); do
    for name in "$@"; do
      if [ "$name" = rerun ]; then
        [ -e "$folder/allin1.html" ] || (cd "$folder" && "$kestrune" "${style[@]}" "$sheet")
      else
        clean "$folder" "$sheet"
      fi
      command_for "$name" "$pack"
      read -r seconds rss status cpu < <("$bin/timed_run" "$folder" "${cmd[@]}")
      [ "$status" = 0 ] || { echo "$name failed in $folder" >&2; exit 1; }
      echo "$seconds $rss $cpu" >>"$out.$name.times"
    done
  done
}

results="$root/build/bench-results.md"
has_lookups=no
[ ${#programs[@]} = 4 ] && has_lookups=yes
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
first_place="${places%% *}"
first_setting="${thumbnail_settings%% *}"

for place in $places; do
  case "$place" in /dev/shm*) place_rounds=$rounds ;; *) place_rounds=$disk_rounds ;; esac
  work="$place/kestrune-bench.$$"
  for layout in $layouts; do
  settings="$thumbnail_settings"
  [ "$layout" = folder ] && settings="1-in-20"
  list_option=""
  [ "$layout" = folder ] && list_option=--folder
  for setting in $settings; do
    gallery_option="$list_option"
    [ "$setting" = present ] && gallery_option=--thumbnails
    for n in $sizes; do
      dir="$work/$layout/$setting/$n"
      mkdir -p "$dir/reference" "$dir/run"
      "$bin/make_gallery" "$n" "$dir/reference/gallery.html" $gallery_option
      "$bin/make_gallery" "$n" "$dir/run/gallery.html" $gallery_option
      sheet_bytes=$(stat -c %s "$dir/reference/gallery.html")

      # One run to learn which files kestrune writes; the floor must write exactly those.
      (cd "$dir/reference" && "$kestrune" "${style[@]}" gallery.html)
      floor_list "$n" $list_option >"$dir/floor.list"
      cmp -s <(grep -v '^?' "$dir/floor.list" | sort) <(cd "$dir/reference" && pages . gallery.html | sed 's|^\./||' | sort) ||
        { echo "the floor's files are not the files kestrune wrote at $n images" >&2; exit 1; }
      (cd "$dir/reference" && "$bin/io_floor" --pack "$dir/floor.pack" <"$dir/floor.list")

      for round in $(seq "$place_rounds"); do
        alternate 1 "$dir/run" gallery.html "$dir/floor.pack" "$dir/times" "${programs[@]}"
        echo "  $place $layout $setting $n images: round $round done" >&2
      done
      # The floor wrote exactly what kestrune wrote.
      diff -r -q "$dir/reference" "$dir/run" >/dev/null ||
        { echo "floor output differs from kestrune's at $n images" >&2; exit 1; }

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

      # System calls: one more run of each, traced and untimed, on the first place only (they
      # do not depend on the place). Each traced run's output is checked too.
      if [ "$place" = "$first_place" ] && [ "$have_strace" = yes ]; then
        for program in kestrune floor lookups rerun; do
          [ "$program" = rerun ] || clean "$dir/run" gallery.html
          trace_calls "$dir/run" "$dir/$program" "$program" "$dir/floor.pack"
          diff -r -q "$dir/reference" "$dir/run" >/dev/null ||
            { echo "traced $program output differs from kestrune's at $n images" >&2; exit 1; }
        done
        # kestrune looks the first names of a folder up one by one, as the floor does, and
        # answers the rest from one read of the folder (getdents64).
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
        awk -v layout="$layout" -v setting="$setting" -v n="$n" \
          -v k="$(total_calls "$dir/kestrune.calls")" -v f="$(total_calls "$dir/floor.calls")" \
          -v l="$(total_calls "$dir/lookups.calls")" -v r="$(total_calls "$dir/rerun.calls")" \
          -v same="$same" \
          'BEGIN { printf "| %s | %s | %d | %.2f | %.2f | %.2f | %.2f | %.2f | %s |\n",
                   layout, setting, n, k / n, f / n, l / n, (k - f) / n, r / n, same }' >>"$results.calls"
        if [ "$n" = "${sizes##* }" ]; then
          # Where the calls go at the largest size: each kind of call per image.
          {
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
          } >>"$results.breakdown"
        fi
      fi

      if [ "$place" = "$first_place" ] && [ "$setting" = "$first_setting" ] &&
        [ "$layout" = beside ]; then
        "$bin/scan_time" "$dir/reference/gallery.html" >>"$results.scan"
        "$bin/scan_time" "$dir/reference/gallery.html" --literal $literal_images >>"$results.scan"
      fi
      rm -rf "${dir:?}"
    done
  done
  done
  rm -rf "$work"
done

# Start-up and the sample, on the first place: `kestrune --version` against /bin/true, and a
# whole run on a copy of examples/ against the floor of its pages and against /bin/true (the
# cost of starting any program at all).
work="$first_place/kestrune-bench.$$"
mkdir -p "$work/empty"
sample="$work/sample"
cp -r examples "$sample"
pages "$sample" index.html -delete
(cd "$sample" && "$kestrune" index.html)
sample_images=$(pages "$sample" index.html -name '*.htm' | wc -l)
(cd "$sample" && pages . index.html | sed 's|^\./||' | sort | "$bin/io_floor" --pack "$work/sample.pack")
echo "  start-up: $start_rounds alternating rounds" >&2
alternate "$start_rounds" "$work/empty" none none "$work/start" version true
alternate "$start_rounds" "$sample" index.html "$work/sample.pack" "$work/sample" sample samplefloor true
sample_reference="$work/sample-reference"
cp -r examples "$sample_reference"
pages "$sample_reference" index.html -delete
(cd "$sample_reference" && "$kestrune" index.html)
clean "$sample" index.html
(cd "$sample" && "$bin/io_floor" "$work/sample.pack")
diff -r -q "$sample_reference" "$sample" >/dev/null ||
  { echo "floor output differs from kestrune's on the sample" >&2; exit 1; }
# Median wall and processor milliseconds of a times file: "wall cpu".
ms() {
  echo "$(cut -d' ' -f1 "$1" | median | awk '{ printf "%.3f", $1 * 1000 }')" \
    "$(cut -d' ' -f3 "$1" | median | awk '{ printf "%.3f", $1 * 1000 }')"
}
version_ms=$(ms "$work/start.version.times")
true_ms=$(ms "$work/start.true.times")
sample_ms=$(ms "$work/sample.sample.times")
samplefloor_ms=$(ms "$work/sample.samplefloor.times")
sampletrue_ms=$(ms "$work/sample.true.times")
sample_calls="-"
if [ "$have_strace" = yes ]; then
  clean "$sample" index.html
  trace_calls "$sample" "$work/sample" sample none
  trace_calls "$work/empty" "$work/version" version none
  trace_calls "$work/empty" "$work/true" true none
  sample_calls="$(total_calls "$work/sample.calls") for the sample's run, $(total_calls "$work/version.calls") for \`kestrune --version\`, $(total_calls "$work/true.calls") for \`/bin/true\`"
fi
rm -rf "$work"

{
  echo "Whole headless runs (medians of $rounds alternating rounds on /dev/shm, $disk_rounds elsewhere):"
  echo
  cat "$results.runs"
  echo
  # Linear growth: time per image at the largest size against the smallest.
  awk '{ key = $1 " " $2 " " $3; if (!(key in first)) { first[key] = $5 / $4; order[++keys] = key }; last[key] = $5 / $4 }
    END { for (i = 1; i <= keys; i++) printf "time per image, largest size / smallest size, %s: %.2f\n", order[i], last[order[i]] / first[order[i]] }' \
    "$results.data"
  echo
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
  echo "Start-up and the sample (medians of $start_rounds alternating runs on $first_place):"
  echo
  echo "| run | time | processor time | baseline | time | processor time | ratio | ratio of processor times |"
  echo "|---|---:|---:|---|---:|---:|---:|---:|"
  row() {
    awk -v run="$1" -v base="$2" -v a="$3" -v b="$4" 'BEGIN {
      split(a, x, " "); split(b, y, " ")
      printf "| %s | %.2f ms | %.2f ms | %s | %.2f ms | %.2f ms | %.2f | %.2f |\n",
             run, x[1], x[2], base, y[1], y[2], x[1] / y[1], (y[2] > 0 ? x[2] / y[2] : 0) }'
  }
  row '`kestrune --version`' '`/bin/true`' "$version_ms" "$true_ms"
  row "the sample, $sample_images images" "its I/O floor" "$sample_ms" "$samplefloor_ms"
  row "the sample, $sample_images images" '`/bin/true`' "$sample_ms" "$sampletrue_ms"
  if [ "$sample_calls" != - ]; then echo; echo "System calls: $sample_calls."; fi
  echo
  echo "Targets (on /dev/shm, the floor without look-ups):"
  echo
  if [ "$rounds" -lt 7 ]; then echo "(only $rounds rounds: the targets ask for medians of at least 7)"; echo; fi
  [ ${#style[@]} -eq 0 ] || echo "(modern pages)"
  awk -v target="$target" -v version="${version_ms%% *}" -v true_="${true_ms%% *}" \
    -v version_cpu="${version_ms##* }" -v true_cpu="${true_ms##* }" '
    function verdict(ok) { return ok ? "met" : "NOT MET" }
    $1 ~ /^\/dev\/shm/ {
      key = "layout " $2 ", thumbnails " $3
      if (!(key in known)) { known[key] = 1; order[++keys] = key }
      k[key, $4] = $5; f[key, $4] = $6; l[key, $4] = $7; r[key, $4] = $8; seen[key, $4] = 1
    }
    END {
      for (i = 1; i <= keys; i++) {
        s = order[i]
        for (j = 1; j <= 2; j++) {
          n = j == 1 ? 10000 : 50000
          printf "- whole run at most %sx the floor, %d images, %s: ", target, n, s
          if (!((s, n) in seen)) { print "not measured"; continue }
          ratio = k[s, n] / f[s, n]
          printf "%.2f, %s", ratio, verdict(ratio <= target + 0)
          if (l[s, n] != "-") printf " (against the floor with look-ups: %.2f)", k[s, n] / l[s, n]
          print ""
          printf "- re-run over an earlier show at most 1.5x the floor of a fresh one, %d images, %s: ", n, s
          ratio = r[s, n] / f[s, n]
          printf "%.2f, %s\n", ratio, verdict(ratio <= 1.5)
        }
        printf "- time per image at 50000 images at most that at 1000, %s: ", s
        if (!((s, 50000) in seen) || !((s, 1000) in seen)) { print "not measured"; continue }
        a = k[s, 50000] / 50000 * 1e6; b = k[s, 1000] / 1000 * 1e6
        printf "%.1f against %.1f µs, %s\n", a, b, verdict(a <= b)
      }
      printf "- `kestrune --version` at most 1.5x `/bin/true`: %.2f, %s (processor times: %.2f)\n",
             version / true_, verdict(version / true_ <= 1.5), version_cpu / true_cpu
    }' "$results.data"
  echo
  echo "Scanning the same sheets as a generation does:"
  echo
  sed 's/^/    /' "$results.scan"
  echo
  echo "Scanner benchmark:"
  echo
  "$bin/scanner_bench" --benchmark_filter='^Gallery/' 2>/dev/null | grep '^Gallery' | sed 's/^/    /'
  echo
  echo "bench/run.sh took $SECONDS s."
} >"$results"
rm -f "$results.runs" "$results.calls" "$results.breakdown" "$results.scan" "$results.data"
cat "$results"
