#!/usr/bin/env bash
# bench/run.sh --folder: a folder of camera-sized photos (4000x3000 colour JPEGs, quality 90,
# 4:2:0, each a different crop of one noisy picture, about 3.6 MB like a 12-megapixel camera's),
# made once, then turned into a gallery with thumbnails and screen-sized copies by kestrune and,
# on copies of the same folder, by vipsthumbnail in three passes (240, 1280, 2560), Debian's
# `fgallery -j 2` and `lazygal` at the same sizes, beside the floor of any tool (each photo decoded
# once by libjpeg at the scale the largest copy needs, and its pictures encoded: copies_floor);
# then the thumbnails alone (kestrune remaking the thumbnails of a gallery whose copies stand,
# against vipsthumbnail's 240 pass and the 1/8-scale decode floor); all in alternating rounds,
# whose order turns from round to round; wall and processor time per photo and peak resident
# memory of each (medians); then a re-run of the unchanged folder against a sheet run of the
# sheet it wrote; and which targets are met.
#
#   bench/run.sh --folder [--photos 100] [--rounds 2] [--place /dev/shm/kestrune-folder-bench]
#                         [--thumbnail-peers] [--quick]
#
# A round takes about 7 minutes on a quiet 2-core machine (processor time: four fifths of it
# fgallery's and lazygal's), much longer on a busy one; --rounds 3 gives a steadier median.
# --thumbnail-peers adds `llgal -d` and `igal2 -d` (thumbnails alone) to the rounds; --quick is
# --photos 20 --rounds 1, to try the bench out. The report is also written to
# build/bench-folder-results.md, and after each round the report so far (a stopped run still
# leaves its figures).
set -euo pipefail
cd "$(dirname "$0")/../.."
root="$PWD"
export DISPLAY=
photos=100
rounds=2
place=/dev/shm/kestrune-folder-bench
thumbnail_peers=no
while [ $# -gt 0 ]; do
  case "$1" in
    --photos) photos="$2"; shift 2 ;;
    --rounds) rounds="$2"; shift 2 ;;
    --place) place="$2"; shift 2 ;;
    --thumbnail-peers) thumbnail_peers=yes; shift ;;
    --quick) photos=20; rounds=1; shift ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done
needed=(vips vipsthumbnail fgallery lazygal)
[ "$thumbnail_peers" = yes ] && needed+=(llgal igal2)
for tool in "${needed[@]}"; do
  command -v "$tool" >/dev/null ||
    { echo "$tool is missing: bash scripts/install-deps.sh bench" >&2; exit 2; }
done
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2 --target kestrune kestrune_photos_module timed_run decode_floor \
  copies_floor >/dev/null
kestrune="$root/build/kestrune"
timed="$root/build/bench/timed_run"
results="$root/build/bench-folder-results.md"
source="$place/source"

source bench/lib/folder_photos.sh
make_photos "$source" "$photos"
photo_bytes=$(du -b "$source"/IMG_0001.JPG | cut -f1)

# The tools of the rounds. kestrune's round also times its thumbnails alone (kestrune-240) and
# vipsthumbnail's its 240 pass alone (vipsthumbnail-240): rows of their own in the second table.
tools=(floor kestrune vipsthumbnail fgallery lazygal floor-240)
[ "$thumbnail_peers" = yes ] && tools+=(llgal igal2)
for tool in "${tools[@]}"; do
  [ "$tool" = floor-240 ] && continue
  rm -rf "${place:?}/$tool" "$place/$tool-out" && cp -r "$source" "$place/$tool"
done

declare -A wall cpu rss failed
# Times PROGRAM in FOLDER (timed_run) and adds the figures to TOOL's: measure TOOL FOLDER
# PROGRAM [ARGUMENT...]
measure() {
  local tool="$1" w r status c
  shift
  read -r w r status c < <("$timed" "$@")
  [ "$status" -eq 0 ] || { failed[$tool]=1; echo "  $tool exited with status $status" >&2; }
  wall[$tool]+="$w "; cpu[$tool]+="$c "; rss[$tool]+="$r "
  echo "  $tool: $w s wall, $c s processor, $r KiB" >&2
}

# Each round starts from the photos alone: what a tool wrote in the round before is removed, so
# none reuses earlier work (kestrune's --clean leaves the photos as they were).
run_tool() {
  local folder="$place/$1"
  case "$1" in
    floor)
      rm -f "$folder"/*.jpg
      measure floor "$folder" "$root/build/bench/copies_floor" --jobs 2 "$folder"/IMG_*.JPG ;;
    kestrune)
      "$kestrune" --clean "$folder" >/dev/null
      measure kestrune "$place" "$kestrune" "$folder"
      # The same gallery with its thumbnails gone: only they are made again (the photo decoded
      # at the 240 size), the copies standing as made.
      rm "$folder"/*_t.jpg
      measure kestrune-240 "$place" "$kestrune" "$folder" ;;
    vipsthumbnail) run_vipsthumbnail "$folder" ;;
    fgallery)
      # -s -d: no copy of the originals nor a zip of them; -k: the originals not optimised
      # (kestrune neither copies nor touches them); one screen-sized image (its only size) at
      # kestrune's largest, 240x180 thumbnails, kestrune's quality. It also makes a blurred
      # background image.
      rm -rf "$folder-out"
      measure fgallery "$place" "$(command -v fgallery)" -j 2 -s -d -k --quality 82 \
        --max-full 2560x2560 --min-thumb 240x180 --max-thumb 240x180 "$folder" "$folder-out" ;;
    lazygal)
      # Its thumbnails and three image sizes are kestrune's four pictures; it writes outside
      # the folder of photos only.
      rm -rf "$folder-out"
      measure lazygal "$place" "$(command -v lazygal)" --quiet -o "$folder-out" -T 240x240 \
        -s dense=480x480,screen=1280x1280,large=2560x2560 -q 82 "$folder" ;;
    floor-240)
      measure floor-240 "$source" "$root/build/bench/decode_floor" "$source"/IMG_*.JPG ;;
    llgal | igal2)
      find "$folder" -mindepth 1 -maxdepth 1 ! -name 'IMG_*.JPG' -exec rm -rf {} +
      measure "$1" "$place" "$(command -v "$1")" -d "$folder" ;;
  esac
}

# The three sizes in three passes, one vipsthumbnail process each; their times add up, and the
# peak memory is the largest of the three.
run_vipsthumbnail() {
  local folder="$1" edge quality w r status c
  local sum_w=0 sum_c=0 most_r=0
  rm -f "$folder"/tn*_*.jpg
  for edge in 240 1280 2560; do
    quality=82
    [ "$edge" = 240 ] && quality=85
    read -r w r status c < <("$timed" "$folder" "$(command -v vipsthumbnail)" \
      --size "${edge}x$edge" -o "tn${edge}_%s.jpg[Q=$quality,strip]" "$folder"/IMG_*.JPG)
    [ "$status" -eq 0 ] || { failed[vipsthumbnail]=1; echo "  vipsthumbnail failed" >&2; }
    if [ "$edge" = 240 ]; then
      wall[vipsthumbnail-240]+="$w "; cpu[vipsthumbnail-240]+="$c "; rss[vipsthumbnail-240]+="$r "
      echo "  vipsthumbnail-240: $w s wall, $c s processor, $r KiB" >&2
    fi
    sum_w=$(echo "$sum_w + $w" | bc -l); sum_c=$(echo "$sum_c + $c" | bc -l)
    [ "$r" -gt "$most_r" ] && most_r=$r
  done
  wall[vipsthumbnail]+="$sum_w "; cpu[vipsthumbnail]+="$sum_c "; rss[vipsthumbnail]+="$most_r "
  echo "  vipsthumbnail, three passes: $sum_w s wall, $sum_c s processor, $most_r KiB" >&2
}

source bench/lib/folder_report.sh
rerun="" sheet=""
for round in $(seq 1 "$rounds"); do
  echo "round $round of $rounds" >&2
  # The order turns by one tool each round, so no tool always follows the same one.
  for k in $(seq 0 $((${#tools[@]} - 1))); do
    run_tool "${tools[$(((k + round - 1) % ${#tools[@]}))]}"
  done
  # The report so far, kept should the run be stopped (a round takes minutes on a busy machine).
  rounds_done=$round
  write_folder_report >"$results"
done

# The re-run of the unchanged folder against a sheet run of the sheet it wrote, alternating.
"$kestrune" "$place/kestrune" >/dev/null 2>&1 || true
for round in $(seq 1 $((rounds * 5))); do
  read -r w _ _ _ < <("$timed" "$place" "$kestrune" "$place/kestrune")
  rerun+="$w "
  read -r w _ _ _ < <("$timed" "$place/kestrune" "$kestrune" index.html)
  sheet+="$w "
done

write_folder_report | tee "$results"
