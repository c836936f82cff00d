#!/usr/bin/env bash
# Times whole headless runs of build/kestrune on generated gallery contact sheets against the I/O
# floor (bench/io_floor: the same files with the same bytes, open-write-close and nothing else),
# alternating the two in the same rounds, on a memory file system and on the working disk. Also
# times the scanner and the literal algorithm on the same sheets, and runs the scanner benchmark.
#
#   bench/run.sh [--sizes "1000 10000 50000"] [--rounds 9] [--disk-rounds 3]
#                [--places "/dev/shm build/bench-disk"] [--literal-images N] [--no-thumbnails]
#
# The gallery's thumbnails (NAME_t.jpg) exist beside it, as in a real gallery folder, so the
# slide show finds each PREVIOUS icon at its first look; --no-thumbnails leaves them out, and
# kestrune then looks for two names per image in vain.
# --literal-images stops the literal algorithm after N images and extrapolates (see
# bench/scan_time.cpp); by default it scans every sheet whole. The table is also written to
# build/bench-results.md.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
export DISPLAY=  # headless runs, even on a desktop

sizes="1000 10000 50000"
rounds=9
disk_rounds=3
places="/dev/shm $root/build/bench-disk"
literal_images=""
thumbnails=--thumbnails
thumbnail_note="thumbnails present"
while [ $# -gt 0 ]; do
  case "$1" in
    --sizes) sizes="$2"; shift 2 ;;
    --rounds) rounds="$2"; shift 2 ;;
    --disk-rounds) disk_rounds="$2"; shift 2 ;;
    --places) places="$2"; shift 2 ;;
    --literal-images) literal_images="$2"; shift 2 ;;
    --no-thumbnails) thumbnails=""; thumbnail_note="no thumbnails"; shift ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done

# Optimised build without sanitizers: the normal build folder.
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRUNE_SANITIZE=OFF >/dev/null
cmake --build build -j2 --target kestrune make_gallery io_floor timed_run scan_time scanner_bench \
  >/dev/null
bin="$root/build/bench"
kestrune="$root/build/kestrune"

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# The pages a run writes: everything but the contact sheet and the thumbnails.
# pages FOLDER [ACTION...]
pages() { find "$1" -type f \( -name '*.htm' -o -name '*.html' \) ! -name gallery.html "${@:2}"; }

# Removes everything a run wrote and settles the disk.
clean() {
  pages "$1" -delete
  sync
}

results="$root/build/bench-results.md"
{
  echo "| place | images | sheet MB | kestrune s | floor s | ratio | µs/image | peak RSS MB | RSS − sheet MB |"
  echo "|---|---:|---:|---:|---:|---:|---:|---:|---:|"
} >"$results.runs"
: >"$results.scan"

for place in $places; do
  case "$place" in /dev/shm*) place_rounds=$rounds ;; *) place_rounds=$disk_rounds ;; esac
  work="$place/kestrune-bench.$$"
  for n in $sizes; do
    mkdir -p "$work/$n/reference" "$work/$n/run"
    "$bin/make_gallery" "$n" "$work/$n/reference/gallery.html" $thumbnails
    "$bin/make_gallery" "$n" "$work/$n/run/gallery.html" $thumbnails
    sheet_bytes=$(stat -c %s "$work/$n/reference/gallery.html")

    # One run to learn which files kestrune writes, packed for the floor.
    (cd "$work/$n/reference" && "$kestrune" gallery.html)
    (cd "$work/$n/reference" && pages . | sort | "$bin/io_floor" --pack "$work/$n/floor.pack")

    : >"$work/$n/kestrune.times"
    : >"$work/$n/floor.times"
    for round in $(seq "$place_rounds"); do
      for program in kestrune floor; do
        clean "$work/$n/run"
        if [ "$program" = kestrune ]; then
          read -r seconds rss status < <("$bin/timed_run" "$work/$n/run" "$kestrune" gallery.html)
        else
          read -r seconds rss status < <("$bin/timed_run" "$work/$n/run" "$bin/io_floor" \
            "$work/$n/floor.pack")
        fi
        [ "$status" = 0 ] || { echo "$program failed at $n images in $place" >&2; exit 1; }
        echo "$seconds $rss" >>"$work/$n/$program.times"
      done
      echo "  $place $n images: round $round done" >&2
    done
    # The floor wrote exactly what kestrune wrote.
    diff -r -q "$work/$n/reference" "$work/$n/run" >/dev/null ||
      { echo "floor output differs from kestrune's at $n images" >&2; exit 1; }

    k=$(cut -d' ' -f1 "$work/$n/kestrune.times" | median)
    f=$(cut -d' ' -f1 "$work/$n/floor.times" | median)
    rss=$(cut -d' ' -f2 "$work/$n/kestrune.times" | sort -n | tail -n 1)
    awk -v place="$place" -v n="$n" -v bytes="$sheet_bytes" -v k="$k" -v f="$f" -v rss="$rss" \
      'BEGIN { printf "| %s | %d | %.2f | %.3f | %.3f | %.2f | %.1f | %.1f | %.1f |\n",
               place, n, bytes / 1e6, k, f, k / f, k / n * 1e6, rss / 1024, rss / 1024 - bytes / 1048576 }' \
      >>"$results.runs"

    if [ "$place" = "${places%% *}" ]; then
      "$bin/scan_time" "$work/$n/reference/gallery.html" >>"$results.scan"
      "$bin/scan_time" "$work/$n/reference/gallery.html" --literal $literal_images >>"$results.scan"
    fi
    rm -rf "${work:?}/$n"
  done
  rm -rf "$work"
done

{
  echo "Whole headless runs (medians of $rounds rounds on /dev/shm, $disk_rounds elsewhere;" \
    "$thumbnail_note):"
  echo
  cat "$results.runs"
  echo
  # Linear growth: time per image at the largest size against the smallest, per place.
  awk -F'|' 'NR > 2 { p = $2; if (!(p in first)) first[p] = $8; last[p] = $8 }
    END { for (p in first) printf "time per image, largest size / smallest size,%s: %.2f\n", p, last[p] / first[p] }' \
    "$results.runs"
  echo
  echo "Scanning the same sheets as a generation does:"
  echo
  sed 's/^/    /' "$results.scan"
  echo
  echo "Scanner benchmark:"
  echo
  "$bin/scanner_bench" --benchmark_filter='^Gallery/' 2>/dev/null | grep '^Gallery' | sed 's/^/    /'
} >"$results"
rm -f "$results.runs" "$results.scan"
cat "$results"
