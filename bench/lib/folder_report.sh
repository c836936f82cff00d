#!/usr/bin/env bash
# The report of bench/run.sh --folder, from the figures bench/lib/folder.sh gathered (wall, cpu
# and rss: each tool's figures, one a round, in seconds and KiB; rerun and sheet, empty until the
# rounds are over; failed): the tables of medians per photo, the pictures each tool made, and
# which targets are met, with each ratio's spread over the rounds (round by round, as the tools
# ran side by side).

# The middle figure; of an even number of figures, the mean of the two in the middle.
median() {
  tr ' ' '\n' | grep . | sort -g |
    awk '{ v[NR] = $1 } END { print (v[int((NR + 1) / 2)] + v[int(NR / 2) + 1]) / 2 }'
}
largest() { tr ' ' '\n' | grep . | sort -g | tail -n1; }
per_photo() { median | awk -v n="$photos" '{ printf "%.1f", 1000 * $1 / n }'; }
ratio() { echo "$1 / $2" | bc -l; }
verdict() { [ "$(echo "$1 <= $2" | bc -l)" -eq 1 ] && echo met || echo "NOT met"; }

# The lowest and highest of the round-by-round ratios of two lists of figures: "0.41-0.47".
ratio_spread() {
  paste <(echo "$1" | tr ' ' '\n' | grep .) <(echo "$2" | tr ' ' '\n' | grep .) |
    awk 'NR == 1 || $1 / $2 < lo { lo = $1 / $2 } NR == 1 || $1 / $2 > hi { hi = $1 / $2 }
         END { printf "%.2f-%.2f", lo, hi }'
}

# The pictures a tool left in its folder after the last round, per photo.
pictures_of() {
  local folder="$place/$1" count
  case "$1" in
    kestrune) count=$(find "$folder" -name '*_t.jpg' -o -path '*/kestrune-copies/*.jpg' | wc -l) ;;
    vipsthumbnail) count=$(find "$folder" -name 'tn*_*.jpg' | wc -l) ;;
    fgallery) count=$(find "$folder-out"/imgs "$folder-out"/thumbs "$folder-out"/blurs -name '*.jpg' |
      wc -l) ;;
    lazygal) count=$(find "$folder-out" -maxdepth 1 -name '*.jpg' | wc -l) ;;
    floor) count=$(find "$folder" -name '*.jpg' | wc -l) ;;
  esac
  awk -v c="$count" -v n="$photos" 'BEGIN { printf "%.2g", c / n }'
}

# A row of a table: table_row TOOL NAME [WHAT IT MAKES] (the column left out when not given).
table_row() {
  local tool="$1" name="$2" note=""
  [ -n "${failed[$tool]:-}" ] && note=" (FAILED in a round)"
  printf '| %s%s |' "$name" "$note"
  [ $# -gt 2 ] && printf ' %s |' "$3"
  printf ' %s | %s | %.0f MB |\n' "$(echo "${wall[$tool]}" | per_photo)" \
    "$(echo "${cpu[$tool]}" | per_photo)" "$(echo "$(echo "${rss[$tool]}" | largest) / 1024" | bc -l)"
}

# TOOL's median per photo against OTHER's, with the spread over rounds and a verdict:
# target_line wall|cpu TOOL OTHER LIMIT TEXT
target_line() {
  local -n figures="$1"
  local mine theirs r
  mine=$(echo "${figures[$2]}" | median)
  theirs=$(echo "${figures[$3]}" | median)
  r=$(ratio "$mine" "$theirs")
  printf '%s: %.3fx (rounds %s; target at most %sx): %s\n' "$5" "$r" \
    "$(ratio_spread "${figures[$2]}" "${figures[$3]}")" "$4" "$(verdict "$r" "$4")"
}

write_folder_report() {
  local peak
  echo "## Folder of photos: $photos photos of $(echo "$photo_bytes / 1000000" | bc -l |
    xargs printf '%.1f') MB (4000x3000, quality 90, 4:2:0) on $place"
  echo
  echo "Medians of ${rounds_done:-$rounds} alternating rounds; peak RSS is the largest of the rounds"
  echo "(of the largest process, for the tools that run several). Load average at the end:" \
    "$(cut -d' ' -f1-3 /proc/loadavg)."
  echo
  echo "| tool | what it makes of each photo | wall ms per photo | processor ms per photo | peak RSS |"
  echo "|---|---|---:|---:|---:|"
  table_row kestrune kestrune "240, 480, 1280, 2560 from one decode ($(pictures_of kestrune))"
  table_row vipsthumbnail "vipsthumbnail, three passes" \
    "240, 1280, 2560, a decode each ($(pictures_of vipsthumbnail))"
  table_row fgallery "fgallery -j 2 -s -d -k" \
    "240x180, 2560 and a blurred 720 background ($(pictures_of fgallery))"
  table_row lazygal lazygal "240, 480, 1280, 2560 ($(pictures_of lazygal))"
  table_row floor "floor: libjpeg, one decode + the encodes" \
    "240, 480, 1280, 2560, pixels picked, not filtered ($(pictures_of floor))"
  echo
  echo "Thumbnails alone (kestrune: a gallery whose thumbnails were removed, its copies standing):"
  echo
  echo "| tool | wall ms per photo | processor ms per photo | peak RSS |"
  echo "|---|---:|---:|---:|"
  table_row kestrune-240 "kestrune, thumbnails alone"
  table_row vipsthumbnail-240 "vipsthumbnail --size 240x240"
  if [ "$thumbnail_peers" = yes ]; then
    table_row llgal "llgal -d"
    table_row igal2 "igal2 -d"
  fi
  table_row floor-240 "floor: 1/8-scale decode (libjpeg)"
  echo
  target_line wall kestrune lazygal 0.1 "wall time per photo against lazygal"
  target_line wall kestrune fgallery 0.12 "wall time per photo against fgallery"
  target_line cpu kestrune vipsthumbnail 0.45 \
    "processor time per photo against vipsthumbnail's three passes"
  printf 'processor time per photo against the floor: %.2fx (rounds %s)\n' \
    "$(ratio "$(echo "${cpu[kestrune]}" | median)" "$(echo "${cpu[floor]}" | median)")" \
    "$(ratio_spread "${cpu[kestrune]}" "${cpu[floor]}")"
  peak=$(echo "${rss[kestrune]}" | largest)
  printf 'peak RSS: %.0f MB (target under 200 MB): %s\n' "$(echo "$peak / 1024" | bc -l)" \
    "$(verdict "$peak" 204799)"
  target_line wall kestrune-240 vipsthumbnail-240 0.5 \
    "thumbnails alone, wall time against vipsthumbnail (0.48x before the copies)"
  target_line cpu kestrune-240 floor-240 1.49 \
    "thumbnails alone, processor time against the 1/8-scale floor (1.44x before the copies)"
  [ -n "$rerun" ] || return 0  # measured after the last round
  local r s
  r=$(echo "$rerun" | median)
  s=$(echo "$sheet" | median)
  printf 'Re-run of the unchanged folder: %.3f s; sheet run of its sheet: %.3f s (%.2fx; target at most 2x): %s\n' \
    "$r" "$s" "$(ratio "$r" "$s")" "$(verdict "$(ratio "$r" "$s")" 2)"
}
