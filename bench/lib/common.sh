# shellcheck shell=bash disable=SC2154  # bin, kestrune and style come from bench/run.sh
# The tools every measurement of bench/run.sh shares, sourced by it: medians, the pages a run
# writes, the command line of each timed program, the floor's list of a gallery, alternating
# timed runs and traced runs. They read the settings run.sh sets: bin, kestrune and style.

# The median of the numbers on standard input, one a line (the lower middle one of an even count).
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
# pages. prepare_gallery checks these names against the files kestrune wrote.
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

# The number of system calls in a file of "name count" lines (trace_calls' OUT.calls).
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
