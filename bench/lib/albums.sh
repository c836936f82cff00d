#!/usr/bin/env bash
# bench/run.sh --albums: a tree of albums, 20,000 small photos (640x480 JPEGs, three in four with
# an EXIF DateTimeOriginal) in 400 albums on three levels (8 years, 5 trips a year, 10 days a
# trip, 50 photos a day), made once by build/bench/make_album_tree and kept; then, side by side in
# one run:
#   (a) kestrune's first run on the tree against its first run on the same photos in one folder
#       (wall and processor time per photo, the ratio; target within 1.2x);
#   (b) a re-run of the unchanged tree against the sheet runs of all its sheets (`kestrune
#       index.html` in each folder, their times added; target at most 2x), with a check that the
#       re-run rewrote no file (names, sizes, modification times and inodes before and after) and
#       decoded nothing (no photo opened, libvips not loaded: one traced re-run);
#   (c) peak memory of each run (maximum resident set size, /usr/bin/time -v; target under 200 MB);
#   (d) Debian's lazygal on the same tree at the same sizes (240 thumbnails, 480 for dense
#       screens).
#
#   bench/run.sh --albums [--rounds 1] [--rerun-rounds 3] [--place /dev/shm/kestrune-albums-bench]
#                         [--no-lazygal] [--quick]
#
# Each run starts from the photos alone: the tree is laid anew as hard links to the kept photos
# (kestrune never writes a photo), and so is the one folder. --rounds N alternates the two first
# runs N times (medians); lazygal runs once, last (about 40 ms of processor time a photo: some
# 15 minutes). --quick is a tree of 20 albums of 20 photos and one round, to try the bench out.
# The report is build/bench-albums-results.md, written again after each step, so a run stopped
# on a busy machine leaves the figures it has.
set -euo pipefail
cd "$(dirname "$0")/../.."
root="$PWD"
export DISPLAY=
rounds=1
rerun_rounds=3
place=/dev/shm/kestrune-albums-bench
lazygal=yes
shape=(--years 8 --trips 5 --days 10 --photos 50)
while [ $# -gt 0 ]; do
  case "$1" in
    --rounds) rounds="$2"; shift 2 ;;
    --rerun-rounds) rerun_rounds="$2"; shift 2 ;;
    --place) place="$2"; shift 2 ;;
    --no-lazygal) lazygal=no; shift ;;
    --quick) shape=(--years 2 --trips 2 --days 5 --photos 20); rounds=1; shift ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done
bash scripts/install-deps.sh bench
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2 --target kestrune kestrune_photos_module timed_run make_album_tree \
  >/dev/null
kestrune="$root/build/kestrune"
timed="$root/build/bench/timed_run"
results="$root/build/bench-albums-results.md"
mkdir -p "$place"

# The photos, made once and kept while their recipe stands (a change of recipe or shape makes
# them anew).
recipe="make_album_tree v1 ${shape[*]}"
if [ "$(cat "$place/tree.recipe" 2>/dev/null)" != "$recipe" ]; then
  echo "Making the tree of photos in $place/tree (once; a minute or two)" >&2
  rm -rf "${place:?}/tree" "$place/tree.recipe"
  "$root/build/bench/make_album_tree" "${shape[@]}" --jobs 2 "$place/tree"
  echo "$recipe" >"$place/tree.recipe"
fi
photos=$(find "$place/tree" -name '*.JPG' | wc -l)
albums=$(find "$place/tree" -name '*.JPG' -printf '%h\n' | sort -u | wc -l)
photo_bytes=$(find "$place/tree" -name '*.JPG' -printf '%s\n' | awk '{ s += $1 } END { print s }')

# The tree and the one folder laid anew from the kept photos: hard links, so no photo is copied.
lay_tree() { rm -rf "${place:?}/run-tree" && cp -al "$place/tree" "$place/run-tree"; }
lay_folder() {
  rm -rf "${place:?}/run-folder" && mkdir "$place/run-folder"
  find "$place/tree" -name '*.JPG' -exec ln -t "$place/run-folder" {} +
}

declare -A wall cpu rss failed
# Times PROGRAM in FOLDER with its peak memory as /usr/bin/time -v reports it, and adds the
# figures to NAME's: measure NAME FOLDER PROGRAM [ARGUMENT...]
measure() {
  local name="$1" folder="$2" w status c r
  shift 2
  read -r w _ status c < <("$timed" "$folder" /usr/bin/time -v -o "$place/$name.time" "$@")
  r=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$place/$name.time")
  status=$(sed -n 's/.*Exit status: //p' "$place/$name.time")
  [ "$status" -eq 0 ] || { failed[$name]=1; echo "  $name exited with status $status" >&2; }
  wall[$name]+="$w "; cpu[$name]+="$c "; rss[$name]+="$r "
  echo "  $name: $w s wall, $c s processor, $r KiB" >&2
}

# The sheet runs of all the tree's sheets, one process each in its folder, their wall times
# added (the sheets of folders that hold albums alone link no photo: kestrune says so and exits
# with status 1, after reading them as it reads any sheet).
sheet_runs() {
  local sum=0 w folder
  while IFS= read -r -d '' folder; do
    read -r w _ _ _ < <("$timed" "$folder" "$kestrune" index.html)
    sum=$(echo "$sum + $w" | bc -l)
  done < <(find "$place/run-tree" -name index.html -printf '%h\0')
  sheets+="$sum "
  sheet_count=$(find "$place/run-tree" -name index.html | wc -l)
  echo "  sheet runs of the tree's $sheet_count sheets: $sum s" >&2
}

# What stands in the tree: every file and folder with its size, modification time and inode.
snapshot() { find "$place/run-tree" -printf '%y %p %s %T@ %i\n' | sort; }

# One re-run of the unchanged tree under strace: the files and folders it changed, the photos it
# opened and whether it loaded libvips.
check_rerun() {
  snapshot >"$place/before"
  (cd "$place" && strace -f -qq -e trace=openat,open -o "$place/rerun.trace" "$kestrune" run-tree \
    >/dev/null 2>&1) || true
  snapshot >"$place/after"
  changed_files=$(diff <(grep '^f' "$place/before") <(grep '^f' "$place/after") | grep -c '^>' ||
    true)
  changed_folders=$(diff <(grep '^d' "$place/before") <(grep '^d' "$place/after") |
    grep -c '^>' || true)
  files=$(grep -c '^f' "$place/after")
  photos_opened=$(grep -v ENOENT "$place/rerun.trace" | grep -c '\.JPG"' || true)
  vips_loaded=no
  grep -v ENOENT "$place/rerun.trace" | grep -q 'libvips\.so' && vips_loaded=yes
  rm -f "$place/rerun.trace"
}

source bench/lib/albums_report.sh
steps_done=""
sheets=""
for round in $(seq 1 "$rounds"); do
  echo "round $round of $rounds" >&2
  lay_tree
  lay_folder
  # The order turns each round, so neither run always follows the other.
  if [ $((round % 2)) -eq 1 ]; then order="tree folder"; else order="folder tree"; fi
  for run in $order; do measure "$run" "$place" "$kestrune" "run-$run"; done
  steps_done="first"
  write_albums_report >"$results"
done

echo "re-runs of the unchanged tree" >&2
check_rerun
for _ in $(seq 1 "$rerun_rounds"); do
  measure rerun "$place" "$kestrune" run-tree
  sheet_runs
done
steps_done="first rerun"
write_albums_report >"$results"

if [ "$lazygal" = yes ]; then
  echo "lazygal on the tree" >&2
  rm -rf "${place:?}/lazygal-out"
  measure lazygal "$place" "$(command -v lazygal)" --quiet -o "$place/lazygal-out" -T 240x240 \
    -s dense=480x480 -q 85 "$place/tree"
  rm -rf "${place:?}/lazygal-out"
  steps_done="first rerun lazygal"
fi
# The galleries made go; the photos stay for the next run.
rm -rf "${place:?}/run-tree" "$place/run-folder" "$place/before" "$place/after"
write_albums_report | tee "$results"
