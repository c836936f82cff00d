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
#   bench/run.sh --folder [--photos 100] [--rounds 2] [--thumbnail-peers] [--quick]
#                                   (a folder of photos, its thumbnails and copies against peers:
#                                   bench/lib/folder.sh)
#   bench/run.sh --albums [--rounds 1] [--rerun-rounds 3] [--no-lazygal] [--quick]
#                                   (a tree of 20,000 photos in 400 albums against the same photos
#                                   in one folder, its re-run and lazygal: bench/lib/albums.sh)
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
#
# This file takes the options, builds and calls the measuring parts in bench/lib/: common.sh (the
# tools they share), galleries.sh, startup.sh (start-up and the sample) and report.sh.
set -euo pipefail
# The folder gallery against its peers is a measurement of its own (bench/lib/folder.sh).
if [ "${1:-}" = --folder ]; then shift; exec bash "$(dirname "$0")/lib/folder.sh" "$@"; fi
# So is a tree of albums against the same photos in one folder (bench/lib/albums.sh).
if [ "${1:-}" = --albums ]; then shift; exec bash "$(dirname "$0")/lib/albums.sh" "$@"; fi
caller="$PWD"
cd "$(dirname "$0")/.."
root="$PWD"
export DISPLAY=  # headless runs, even on a desktop
source bench/lib/common.sh
source bench/lib/galleries.sh
source bench/lib/startup.sh
source bench/lib/report.sh

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
# A place may be named relative to the folder run.sh was started from; the runs change folders,
# so each is made absolute.
absolute=""
for place in $places; do
  case "$place" in /*) ;; *) place="$caller/$place" ;; esac
  absolute="$absolute $place"
done
places="${absolute# }"

# Optimised build without sanitizers: the normal build folder.
scripts/install-deps.sh bench
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRUNE_SANITIZE=OFF >/dev/null
cmake --build build -j2 --target kestrune make_gallery io_floor timed_run scan_time scanner_bench \
  >/dev/null
bin="$root/build/bench"
kestrune="$root/build/kestrune"
have_strace=yes
command -v strace >/dev/null || have_strace=no

results="$root/build/bench-results.md"
has_lookups=no
[ ${#programs[@]} = 4 ] && has_lookups=yes
first_place="${places%% *}"
first_setting="${thumbnail_settings%% *}"

report_begin
run_galleries
run_startup
write_report
cat "$results"
