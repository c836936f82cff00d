#!/usr/bin/env bash
# bench/run.sh --folder: a folder of camera-sized photos (4000x3000 JPEGs, quality 90), made once,
# turned into a gallery by kestrune and, on copies of the same folder, by vipsthumbnail (one
# process, the same thumbnail size), llgal -d and igal2 -d, in alternating rounds; wall and
# processor time per photo and peak resident memory of each (medians), against the floor of any
# tool (each photo decoded at 1/8 of its size by libjpeg, in one process, the same rounds); then a
# re-run of the unchanged folder against a sheet run of the sheet it wrote; and which targets are
# met.
#
#   bench/run.sh --folder [--photos 200] [--rounds 3] [--place /dev/shm/kestrune-folder-bench]
set -euo pipefail
cd "$(dirname "$0")/../.."
root="$PWD"
export DISPLAY=
photos=200
rounds=3
place=/dev/shm/kestrune-folder-bench
while [ $# -gt 0 ]; do
  case "$1" in
    --photos) photos="$2"; shift 2 ;;
    --rounds) rounds="$2"; shift 2 ;;
    --place) place="$2"; shift 2 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done
for tool in vips vipsthumbnail llgal igal2; do
  command -v "$tool" >/dev/null ||
    { echo "$tool is missing: bash scripts/install-deps.sh bench" >&2; exit 2; }
done
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2 --target kestrune kestrune_photos_module timed_run decode_floor >/dev/null
kestrune="$root/build/kestrune"
timed="$root/build/bench/timed_run"
median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# The photos, made once: cellular noise over a gradient, which a JPEG encoder cannot shrink to
# nothing (about the size of a camera's photo), copied under camera-like names.
source="$place/source"
if [ "$(find "$source" -name 'IMG_*.JPG' 2>/dev/null | wc -l)" -ne "$photos" ]; then
  rm -rf "$source" && mkdir -p "$source"
  vips worley "$source/cells.v" 4000 3000 --cell-size 64
  vips linear "$source/cells.v" "$source/scaled.v" 2 0
  vips bandjoin "$source/scaled.v $source/scaled.v $source/scaled.v" "$source/rgb.v"
  vips cast "$source/rgb.v" "$source/photo.jpg[Q=90]" uchar
  for i in $(seq 1 "$photos"); do cp "$source/photo.jpg" "$source/IMG_$(printf %04d "$i").JPG"; done
  rm -f "$source"/*.v "$source/photo.jpg"
fi
for tool in kestrune vipsthumbnail llgal igal2; do
  rm -rf "${place:?}/$tool" && cp -r "$source" "$place/$tool"
done
# What each tool wrote, removed before its next round.
reset() {
  case "$1" in
    kestrune) "$kestrune" --clean "$place/kestrune" >/dev/null ;;
    # The peers write hidden thumbnails and templates of their own (igal2 .thumb_*, llgal
    # .llgal/): everything but the photos goes, so no round reuses an earlier one's work.
    *) find "$place/$1" -mindepth 1 -maxdepth 1 ! -name 'IMG_*.JPG' -exec rm -rf {} + ;;
  esac
}
command_of() {
  case "$1" in
    kestrune) cmd=("$kestrune" "$place/kestrune") ;;
    vipsthumbnail) cmd=("$(command -v vipsthumbnail)" --size 240x240 -o 'tn_%s.jpg[Q=85,strip]') ;;
    llgal) cmd=("$(command -v llgal)" -d "$place/llgal") ;;
    igal2) cmd=("$(command -v igal2)" -d "$place/igal2") ;;
  esac
}
declare -A wall cpu rss
for round in $(seq 1 "$rounds"); do
  read -r w r status c < <(cd "$source" && "$timed" . "$root/build/bench/decode_floor" IMG_*.JPG)
  wall[floor]+="$w "; cpu[floor]+="$c "; rss[floor]+="$r "
  for tool in kestrune vipsthumbnail llgal igal2; do
    reset "$tool"
    command_of "$tool"
    if [ "$tool" = vipsthumbnail ]; then
      (cd "$place/vipsthumbnail" && "$timed" . "${cmd[@]}" IMG_*.JPG) >"$place/time"
    else
      "$timed" "$place" "${cmd[@]}" >"$place/time"
    fi
    read -r w r status c <"$place/time"
    [ "$status" -eq 0 ] || echo "round $round: $tool exited with status $status" >&2
    wall[$tool]+="$w "; cpu[$tool]+="$c "; rss[$tool]+="$r "
    echo "round $round: $tool $w s wall, $c s processor, $r KiB" >&2
  done
done
per_photo() { tr ' ' '\n' | grep . | median | awk -v n="$photos" '{ printf "%.1f", 1000 * $1 / n }'; }
declare -A wall_ms cpu_ms
echo
echo "| tool | photos | wall ms per photo | processor ms per photo | peak RSS |"
echo "|---|---:|---:|---:|---:|"
for tool in kestrune vipsthumbnail llgal igal2 floor; do
  peak=$(echo "${rss[$tool]}" | tr ' ' '\n' | grep . | median)
  wall_ms[$tool]=$(echo "${wall[$tool]}" | per_photo)
  cpu_ms[$tool]=$(echo "${cpu[$tool]}" | per_photo)
  name=$tool
  [ "$tool" = floor ] && name="1/8-scale JPEG decode (libjpeg, the floor)"
  printf '| %s | %d | %s | %s | %.0f MB |\n' "$name" "$photos" "${wall_ms[$tool]}" \
    "${cpu_ms[$tool]}" "$(echo "$peak / 1024" | bc -l)"
done
ratio() { echo "$1 / $2" | bc -l; }
verdict() { [ "$(echo "$1 <= $2" | bc -l)" -eq 1 ] && echo met || echo "NOT met"; }
echo
for peer in vipsthumbnail llgal igal2; do
  limit=0.15
  [ "$peer" = vipsthumbnail ] && limit=0.5
  r=$(ratio "${wall_ms[kestrune]}" "${wall_ms[$peer]}")
  printf 'wall time per photo: %.3fx %s (target at most %sx): %s\n' "$r" "$peer" "$limit" \
    "$(verdict "$r" "$limit")"
done
printf 'processor time per photo: %.2fx the 1/8-scale decode floor\n' \
  "$(ratio "${cpu_ms[kestrune]}" "${cpu_ms[floor]}")"
peak=$(echo "${rss[kestrune]}" | tr ' ' '\n' | grep . | median)
printf 'peak RSS: %.0f MB (target under 200 MB): %s\n' "$(echo "$peak / 1024" | bc -l)" \
  "$(verdict "$peak" 204800)"

# The re-run of the unchanged folder against a sheet run of its sheet, alternating.
"$kestrune" "$place/kestrune" >/dev/null 2>&1 || true
rerun="" sheet=""
for round in $(seq 1 $((rounds * 3))); do
  read -r w _ _ _ < <("$timed" "$place" "$kestrune" "$place/kestrune")
  rerun+="$w "
  read -r w _ _ _ < <("$timed" "$place/kestrune" "$kestrune" index.html)
  sheet+="$w "
done
r=$(echo "$rerun" | tr ' ' '\n' | grep . | median)
s=$(echo "$sheet" | tr ' ' '\n' | grep . | median)
echo
printf 'Re-run of the unchanged folder: %.3f s; sheet run of its sheet: %.3f s (%.2fx; target at most 2x): %s\n' \
  "$r" "$s" "$(ratio "$r" "$s")" "$(verdict "$(ratio "$r" "$s")" 2)"
