#!/usr/bin/env bash
# shellcheck disable=SC2154  # the figures and settings come from bench/lib/albums.sh
# The report of bench/run.sh --albums, from the figures bench/lib/albums.sh gathered (wall, cpu
# and rss: each run's figures, one a round, in seconds and KiB; sheets: the added sheet runs, one
# a round; the re-run check's counts; steps_done: which parts are measured so far): a table per
# photo, then each target with its verdict. The medians and ratios are those of the folder bench.
source bench/lib/folder_report.sh

# NAME's median in seconds: seconds NAME
seconds() { echo "${wall[$1]}" | median; }
peak_mb() { echo "$(echo "${rss[$1]}" | largest) / 1024" | bc -l | xargs printf '%.0f'; }

write_albums_report() {
  echo "## Tree of albums: $photos photos of $(echo "$photo_bytes / $photos / 1000" | bc -l |
    xargs printf '%.0f') kB (640x480 JPEGs) in $albums albums on three levels, on $place"
  echo
  echo "Medians of $rounds round(s) of first runs and $rerun_rounds of re-runs; peak RSS is" \
    "/usr/bin/time -v's maximum resident set size, the largest of the rounds. Load average at" \
    "the end: $(cut -d' ' -f1-3 /proc/loadavg)."
  echo
  echo "| run | wall ms per photo | processor ms per photo | peak RSS |"
  echo "|---|---:|---:|---:|"
  table_row tree "kestrune, first run on the tree"
  table_row folder "kestrune, first run on the same photos in one folder"
  [[ " $steps_done " == *" rerun "* ]] && table_row rerun "kestrune, re-run of the unchanged tree"
  [[ " $steps_done " == *" lazygal "* ]] &&
    table_row lazygal "lazygal on the tree (240 thumbnails, 480 for dense screens)"
  echo
  target_line wall tree folder 1.2 "(a) first run, wall time per photo, tree against one folder"
  printf '    processor time per photo, tree against one folder: %.3fx\n' \
    "$(ratio "$(echo "${cpu[tree]}" | median)" "$(echo "${cpu[folder]}" | median)")"
  if [[ " $steps_done " == *" rerun "* ]]; then
    local r s
    r=$(seconds rerun)
    s=$(echo "$sheets" | median)
    printf '(b) re-run of the unchanged tree: %.3f s; sheet runs of its %s sheets: %.3f s (%.2fx; target at most 2x): %s\n' \
      "$r" "$sheet_count" "$s" \
      "$(ratio "$r" "$s")" "$(verdict "$(ratio "$r" "$s")" 2)"
    printf '    the re-run rewrote %s of %s files and changed %s folders; photos opened: %s; libvips loaded: %s: %s\n' \
      "$changed_files" "$files" "$changed_folders" "$photos_opened" "$vips_loaded" \
      "$([ "$changed_files$changed_folders$photos_opened$vips_loaded" = 000no ] && echo met ||
        echo "NOT met")"
  fi
  printf '(c) peak RSS of the first run on the tree: %s MB (target under 200 MB): %s' \
    "$(peak_mb tree)" "$(verdict "$(echo "${rss[tree]}" | largest)" 204799)"
  printf '; in one folder: %s MB' "$(peak_mb folder)"
  [[ " $steps_done " == *" rerun "* ]] && printf '; re-run: %s MB' "$(peak_mb rerun)"
  echo
  if [[ " $steps_done " == *" lazygal "* ]]; then
    printf '(d) first run on the tree against lazygal: wall time %.3fx, processor time %.3fx\n' \
      "$(ratio "$(seconds tree)" "$(seconds lazygal)")" \
      "$(ratio "$(echo "${cpu[tree]}" | median)" "$(echo "${cpu[lazygal]}" | median)")"
  fi
}
