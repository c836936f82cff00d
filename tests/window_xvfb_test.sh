#!/usr/bin/env bash
# The built program in its window on a virtual X display of its own (Xvfb, no window manager),
# driven with xdotool as a user would drive it.
#
# Usage: window_xvfb_test.sh SCENARIO PROGRAM INK-HELPER EXAMPLES
#   sheet         with a contact sheet: the window appears, writes the same pages as the headless
#                 run, closes by itself, status 0
#   chooser       without one: the chooser appears and Escape dismisses it; the window stays idle
#                 with its status text in its lower half; Help > About and File > Exit by keyboard
#   chooser-fltk  the same with FLTK's own chooser in place of the GTK one
#   installed-help  the program as installed in KESTRUNE_INSTALLED (by the test Window.install):
#                 Help > Help... hands the installed help page to xdg-open
#   failed-start  a missing contact sheet: a box titled with the start folder; dismissed with
#                 Return, the program ends with status 1
#   signal        SIGTERM while the window writes a long slide show: the window closes, status
#                 143, and allin1.html is complete and lists exactly the images with pages
#   signal-chooser  SIGTERM while the chooser waits (signal-chooser-fltk: FLTK's own chooser):
#                 chooser and window gone, status 143, nothing written
#   signal-box    SIGTERM while a failure box waits (a pier.htm of the user's): the box and the
#                 window gone, status 143, the slide show so far complete
# Exit status 77 (skipped) when Xvfb or xdotool is missing.
set -euo pipefail

scenario="$1"
program="$2"
ink="$3"
examples="$4"

for tool in Xvfb xdotool; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIPPED: $tool is not installed (scripts/install-deps.sh installs it)"
    exit 77
  fi
done

# The scenario runs under a deadline of its own, well below ctest's time limit, in a process group
# that the deadline ends as a whole (the program and Xvfb included); its scratch folder is removed
# here whatever happened, so a hung run leaves nothing behind.
if [ -z "${KESTRUNE_XVFB_WORK:-}" ]; then
  # Thousands of pages are written and removed: in memory when /dev/shm allows it.
  scratch=/tmp
  if [ -d /dev/shm ] && [ -w /dev/shm ]; then scratch=/dev/shm; fi
  work="$(mktemp -d "$scratch/kestrune-xvfb-XXXXXX")"
  status=0
  KESTRUNE_XVFB_WORK="$work" timeout -k 5 180 bash "$0" "$@" || status=$?
  [ "$status" -ne 124 ] || echo "FAIL: the $scenario scenario did not end within 180 seconds" >&2
  rm -rf "$work"
  exit "$status"
fi
work="$KESTRUNE_XVFB_WORK"
source "$(dirname "$0")/xvfb_display.sh"

program_pid=""
cleanup() {
  if [ -n "$program_pid" ]; then kill "$program_pid" 2>/dev/null || true; fi
  stop_display
  wait 2>/dev/null || true
}
trap cleanup EXIT

# Every X client of the test runs under a time limit, so no test can hang.
xdo() {
  timeout 10 xdotool "$@"
}

fail() {
  echo "FAIL: $*" >&2
  if [ -s "$work/stderr" ]; then
    echo "--- the program's standard error:" >&2
    cat "$work/stderr" >&2
  fi
  exit 1
}

# The id of the first window named exactly NAME, polled for up to SECONDS while the program runs.
window_named() {
  local name="$1" deadline=$((SECONDS + $2)) pattern found
  pattern="^$(printf '%s' "$name" | sed 's/[][\.*^$+?(){}|/]/\\&/g')\$"
  while [ "$SECONDS" -le "$deadline" ]; do
    found="$(xdo search --name "$pattern" 2>/dev/null | head -n1 || true)"
    if [ -n "$found" ]; then
      echo "$found"
      return 0
    fi
    kill -0 "$program_pid" 2>/dev/null || return 1
    sleep 0.02
  done
  return 1
}

windows_named() {
  xdo search --name "^$1\$" 2>/dev/null | wc -l
}

# Waits up to SECONDS for the program to end; its exit status goes to $status.
wait_for_exit() {
  local seconds="$1" deadline=$((SECONDS + $1))
  while [ "$SECONDS" -le "$deadline" ]; do
    if ! kill -0 "$program_pid" 2>/dev/null; then
      status=0
      wait "$program_pid" || status=$?
      program_pid=""
      return 0
    fi
    sleep 0.1
  done
  fail "the program did not end within $seconds seconds"
}

# SIGTERM to the program, which must end by it, its windows gone: polled up to a generous bound
# (a second is what it takes); how long it took goes to $waited, in seconds.
terminate_program() {
  local start="$EPOCHREALTIME"
  kill -TERM "$program_pid"
  wait_for_exit 30
  waited="$(awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.2f", b - a }')"
  [ "$status" -eq 143 ] || fail "ended with status $status after SIGTERM"
  [ "$(windows_named Quillfen)" -eq 0 ] || fail "the window is still there"
}

run_program() {
  ( cd "$1" && shift && exec "$program" "$@" ) >"$work/stdout" 2>"$work/stderr" &
  program_pid=$!
}

# Keys for the window or dialog WINDOW-ID; without a window manager it is given the focus.
press() {
  local window="$1"
  shift
  xdo windowfocus --sync "$window" || fail "window $window could not be given the focus"
  xdo key --clearmodifiers "$@"
}

# Waits up to 10 seconds until COUNT windows are named NAME.
wait_for_windows() {
  local name="$1" count="$2" deadline=$((SECONDS + 10))
  while [ "$SECONDS" -le "$deadline" ]; do
    [ "$(windows_named "$name")" -eq "$count" ] && return 0
    sleep 0.1
  done
  return 1
}

# Started without a contact sheet: waits for the chooser beside the main window and dismisses it
# with Escape; the main window's id goes to $main.
dismiss_chooser() {
  local title="Choose File from which to Generate Slideshow" chooser
  chooser="$(window_named "$title" 60)" || fail "no chooser appeared"
  main="$(window_named Quillfen 5)" || fail "no main window beside the chooser"
  # The toolkit names its dialog before mapping it; a key sent to an unmapped window is lost.
  wait_for_visible "$chooser" || fail "the chooser was never shown"
  # A busy machine may map the dialog before its toolkit takes keys: Escape again until it goes.
  local tries
  for tries in 1 2 3; do
    press "$chooser" Escape
    wait_for_windows "$title" 0 && return 0
  done
  fail "Escape did not dismiss the chooser"
  kill -0 "$program_pid" 2>/dev/null || fail "the program ended with the chooser"
}

# Waits up to 10 seconds until window WINDOW-ID is mapped and viewable.
wait_for_visible() {
  local deadline=$((SECONDS + 10))
  while [ "$SECONDS" -le "$deadline" ]; do
    xdo search --onlyvisible --name '' 2>/dev/null | grep -qx "$1" && return 0
    sleep 0.05
  done
  return 1
}

# Viewable windows directly below the root: a menu that opens adds its own.
top_windows_shown() {
  xdo search --onlyvisible --maxdepth 1 --name '' 2>/dev/null | wc -l
}

# The idle window (WIDTH x HEIGHT) shows the two-line status text centred across, from the middle
# line of the area under the 25-pixel menu bar down.
# A resize or repaint takes effect a moment later: the window is read until it shows that, for up
# to 10 seconds, and the last reason is reported.
check_status_text() {
  local deadline=$((SECONDS + 10)) problem
  while :; do
    problem="$(status_text_problem "$1" "$2")" && return 0
    [ "$SECONDS" -le "$deadline" ] || fail "$problem"
    sleep 0.05
  done
}

# Prints what is wrong with the status text of the WIDTH x HEIGHT window, if anything.
status_text_problem() {
  local ink_box left top right bottom width height middle margin_left margin_right
  ink_box="$(timeout 10 "$ink" "$main" 30)" || { echo "the window could not be read"; return 1; }
  read -r left top right bottom width height <<<"$ink_box"
  middle=$((25 + (height - 25) / 2))
  margin_left=$left
  margin_right=$((width - 1 - right))
  if [ "$width" -ne "$1" ] || [ "$height" -ne "$2" ]; then
    echo "window is ${width}x$height, not $1x$2"
  elif [ "$top" -lt 0 ]; then
    echo "no status text in the window"
  elif [ "$top" -lt "$middle" ]; then
    echo "status text starts at row $top, above the middle $middle"
  elif [ "$top" -gt $((middle + 6)) ]; then
    echo "status text starts at row $top, not at the middle $middle"
  elif [ $((bottom - top)) -lt 20 ]; then
    echo "status text of rows $top..$bottom is not two lines"
  elif [ $((margin_left - margin_right)) -gt 2 ] || [ $((margin_right - margin_left)) -gt 2 ]; then
    echo "status text not centred: margins $margin_left and $margin_right"
  else
    return 0
  fi
  return 1
}

# Chooses a menu item of the main window by its mnemonics: menu key, then item key.
# The item key is sent once the menu is shown.
choose_menu() {
  local before deadline=$((SECONDS + 10))
  before="$(top_windows_shown)"
  press "$main" "alt+$1"
  until [ "$(top_windows_shown)" -gt "$before" ]; do
    [ "$SECONDS" -le "$deadline" ] || fail "alt+$1 opened no menu"
    sleep 0.05
  done
  xdo key --clearmodifiers "$2"
}

# A contact sheet long enough for the window to stay a moment: the sample's links, then many more.
write_long_sheet() {  # write_long_sheet FOLDER [PICTURES]
  local folder="$1"
  cp -r "$examples/." "$folder"
  mkdir -p "$folder/many"
  {
    cat "$examples/index.html"
    for i in $(seq -w 1 "${2:-6000}"); do echo "<a href=\"many/img$i.jpg\">Picture $i</a>"; done
  } >"$folder/album.html"
}

start_display "$work" || fail "no display"
# Toolkits keep settings, caches and sockets in the home and runtime folders (the GTK chooser,
# FLTK's preferences): fresh ones for each run, so runs side by side share nothing. No session
# bus, no accessibility bridge, no settings daemon: nothing that outlives the run.
export HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime"
export XDG_CONFIG_HOME="$HOME/.config" XDG_CACHE_HOME="$HOME/.cache" XDG_DATA_HOME="$HOME/.local/share"
export DBUS_SESSION_BUS_ADDRESS="disabled:" NO_AT_BRIDGE=1 GSETTINGS_BACKEND=memory GIO_USE_VFS=local
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

case "$scenario" in
  sheet)
    mkdir "$work/headless" "$work/window"
    write_long_sheet "$work/headless"
    write_long_sheet "$work/window"
    headless_status=0
    (cd "$work/headless" && DISPLAY= "$program" album.html) >/dev/null 2>&1 || headless_status=$?
    [ "$headless_status" -eq 0 ] || fail "the headless run ended with status $headless_status"

    run_program "$work/window" album.html
    window="$(window_named Quillfen 30)" || fail "no window named Quillfen appeared"
    wait_for_exit 120
    [ "$status" -eq 0 ] || fail "the window run ended with status $status"
    [ ! -s "$work/stderr" ] || fail "the window run wrote to standard error"
    [ "$(windows_named Quillfen)" -eq 0 ] || fail "the window is still there"
    diff -r "$work/headless" "$work/window" >"$work/diff" ||
      fail "pages differ from the headless run: $(head -n5 "$work/diff")"
    pages="$(find "$work/window" -name '*.htm' | wc -l)"
    [ "$pages" -eq 6013 ] || fail "$pages manual pages instead of 6013"
    echo "window $window ran album.html: $pages manual pages, same bytes as headless"
    ;;

  chooser | chooser-fltk | signal-chooser | signal-chooser-fltk)
    if [ "$scenario" = chooser-fltk ] || [ "$scenario" = signal-chooser-fltk ]; then
      # FLTK's own chooser instead of the GTK one that FLTK prefers when GTK is installed.
      mkdir -p "$HOME/.fltk/fltk.org"
      printf '%s\n' '; FLTK preferences file format 1.0' '; vendor: fltk.org' \
        '; application: fltk' '' '[.]' '' '[./options]' '' 'FNFCUsesGTK:0' \
        >"$HOME/.fltk/fltk.org/fltk.prefs"
    fi
    mkdir "$work/start"
    cp "$examples/index.html" "$work/start/"
    run_program "$work/start"
    if [ "${scenario#signal-}" != "$scenario" ]; then
      title="Choose File from which to Generate Slideshow"
      chooser="$(window_named "$title" 60)" || fail "no chooser appeared"
      wait_for_visible "$chooser" || fail "the chooser was never shown"
      terminate_program
      [ "$(windows_named "$title")" -eq 0 ] || fail "the chooser is still there"
      [ "$(ls "$work/start")" = "index.html" ] || fail "files were written: $(ls "$work/start")"
      [ "$(cat "$work/stderr")" = "Kestrune: stopped by signal 15" ] ||
        fail "standard error does not say so: $(cat "$work/stderr")"
      if [ "$scenario" = signal-chooser-fltk ] && [ -e "$HOME/.config/gtk-2.0" ]; then
        fail "the GTK chooser was shown, not FLTK's"
      fi
      echo "SIGTERM with the chooser open: gone after $waited s, status 143, nothing written"
      exit 0
    fi
    dismiss_chooser

    check_status_text 640 400

    # Resized, it paints the text again at the new middle line, centred on the new width.
    xdo windowsize --sync "$main" 800 500 || fail "the window could not be resized"
    check_status_text 800 500

    # Help > About: a second window named Quillfen, closed with Return.
    choose_menu h a
    wait_for_windows Quillfen 2 || fail "Help > About showed no box"
    press "$(xdo search --name '^Quillfen$' | grep -v "^$main\$" | head -n1)" Return
    wait_for_windows Quillfen 1 || fail "Return did not dismiss the About box"

    choose_menu f x
    wait_for_exit 20
    [ "$status" -eq 0 ] || fail "File > Exit ended with status $status"
    [ "$(ls "$work/start")" = "index.html" ] || fail "files were written: $(ls "$work/start")"
    if [ "$scenario" = chooser-fltk ] && [ -e "$HOME/.config/gtk-2.0" ]; then
      fail "the GTK chooser was shown, not FLTK's"
    fi
    echo "$scenario dismissed, window idle with its status text, About and Exit by keyboard"
    ;;

  installed-help)
    # Installed to a prefix of its own (by the test Window.install), the program finds its help
    # page and gives it to xdg-open (here a stand-in that logs its argument); when xdg-open
    # fails, the box stands in.
    prefix="$KESTRUNE_INSTALLED"
    [ -x "$prefix/bin/kestrune" ] || fail "nothing installed in $prefix"
    mkdir "$work/bin" "$work/start"
    cat >"$work/bin/xdg-open" <<'EOF'
#!/bin/sh
printf '%s\n' "$1" >>"$XDG_OPEN_LOG"
exit "$(cat "$XDG_OPEN_STATUS")"
EOF
    chmod +x "$work/bin/xdg-open"
    echo 0 >"$work/xdg-open.status"
    export PATH="$work/bin:$PATH" XDG_OPEN_LOG="$work/xdg-open.log"
    export XDG_OPEN_STATUS="$work/xdg-open.status"
    program="$prefix/bin/kestrune"
    run_program "$work/start"
    dismiss_chooser

    # A failing xdg-open: the description box stands in for the page.
    echo 4 >"$XDG_OPEN_STATUS"
    choose_menu h h
    wait_for_windows Quillfen 2 || fail "no box when xdg-open failed"
    [ "$(wc -l <"$XDG_OPEN_LOG")" -eq 1 ] || fail "xdg-open was not run once"
    press "$(xdo search --name '^Quillfen$' | grep -v "^$main\$" | head -n1)" Return
    wait_for_windows Quillfen 1 || fail "Return did not dismiss the description box"

    # A working one: the installed page is opened and no box appears. A box would be modal and
    # hold File > Exit back, so the exit that follows shows there was none.
    echo 0 >"$XDG_OPEN_STATUS"
    choose_menu h h
    deadline=$((SECONDS + 10))
    until [ "$(wc -l <"$XDG_OPEN_LOG")" -eq 2 ]; do
      [ "$SECONDS" -le "$deadline" ] || fail "Help > Help... did not run xdg-open again"
      sleep 0.05
    done
    opened="$(tail -n1 "$XDG_OPEN_LOG")"
    [ "$(realpath "$opened")" = "$(realpath "$prefix/share/doc/kestrune/help.html")" ] ||
      fail "xdg-open was given $opened"
    choose_menu f x
    wait_for_exit 20
    [ "$status" -eq 0 ] || fail "File > Exit ended with status $status"
    echo "installed program opened $opened; a failing xdg-open gave the description box"
    ;;

  failed-start)
    mkdir "$work/start"
    run_program "$work/start" missing.html
    folder="$(cd "$work/start" && pwd -P)"
    box="$(window_named "$folder" 30)" || fail "no box titled $folder appeared"
    window_named Quillfen 5 >/dev/null || fail "no main window behind the box"
    kill -0 "$program_pid" 2>/dev/null || fail "the program ended before the box was dismissed"
    press "$box" Return
    wait_for_exit 20
    [ "$status" -eq 1 ] || fail "the failed start ended with status $status"
    echo "box titled $folder dismissed, status 1"
    ;;

  signal)
    mkdir "$work/window"
    write_long_sheet "$work/window" 60000
    run_program "$work/window" album.html
    window_named Quillfen 30 >/dev/null || fail "no window named Quillfen appeared"
    deadline=$((SECONDS + 60))
    until [ -e "$work/window/many/img00100.html" ]; do
      [ "$SECONDS" -le "$deadline" ] || fail "the run did not reach its 100th picture"
      sleep 0.02
    done
    kill -TERM "$program_pid"
    wait_for_exit 60
    [ "$status" -eq 143 ] || fail "ended with status $status after SIGTERM"
    [ "$(windows_named Quillfen)" -eq 0 ] || fail "the window is still there"
    tail -c 32 "$work/window/allin1.html" | grep -q '</center></BODY></HTML>' ||
      fail "allin1.html has no trailer"
    listed="$(grep -c '^<img src=' "$work/window/allin1.html")"
    pages="$(find "$work/window" -name '*.htm' | wc -l)"
    [ "$listed" -eq "$pages" ] || fail "allin1.html lists $listed images, $pages have pages"
    [ "$listed" -lt 60013 ] || fail "the run was not interrupted"
    [ -z "$(find "$work/window" -name '*.tmp')" ] || fail "a temporary file was left"
    grep -q "stopped by signal 15; the slide show holds $listed images" "$work/stderr" ||
      fail "standard error does not say so: $(cat "$work/stderr")"
    echo "SIGTERM after $listed of 60013 images: window closed, status 143, allin1.html complete"
    ;;

  signal-box)
    mkdir "$work/box"
    cp -r "$examples/." "$work/box"
    printf '<html><body>My own page</body></html>\n' >"$work/box/pier.htm"
    run_program "$work/box" index.html
    box="$(window_named pier.htm 60)" || fail "no box titled pier.htm appeared"
    wait_for_visible "$box" || fail "the box was never shown"
    terminate_program
    [ "$(windows_named pier.htm)" -eq 0 ] || fail "the box is still there"
    [ "$(cat "$work/box/pier.htm")" = "<html><body>My own page</body></html>" ] ||
      fail "the user's pier.htm was changed"
    tail -c 32 "$work/box/allin1.html" | grep -q '</center></BODY></HTML>' ||
      fail "allin1.html has no trailer"
    listed="$(grep -c '^<img src=' "$work/box/allin1.html")"
    pages="$(find "$work/box" -name '*.html' ! -name index.html ! -name allin1.html | wc -l)"
    [ "$listed" -eq "$pages" ] || fail "allin1.html lists $listed images, $pages have pages"
    grep -q '^<img src="pier.jpg">' "$work/box/allin1.html" || fail "the box's step was not ended"
    [ -z "$(find "$work/box" -name '*.tmp')" ] || fail "a temporary file was left"
    grep -qx "Kestrune: stopped by signal 15; the slide show holds $listed images, all listed in allin1.html" \
      "$work/stderr" || fail "standard error does not say so: $(cat "$work/stderr")"
    echo "SIGTERM with a box open: gone after $waited s, status 143, $listed images listed"
    ;;

  *)
    fail "unknown scenario $scenario"
    ;;
esac
