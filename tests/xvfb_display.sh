# A virtual X display for one test run; sourced by the window tests and the Windows tests.
#
#   start_display FOLDER   starts an Xvfb of its own, with its number and log in FOLDER; once a
#                          client gets in, DISPLAY names it and XVFB_PID is its process
#   stop_display           ends it and waits for it to be gone
#
# Several runs may start a display at the same moment: Xvfb picks a free number itself
# (-displayfd). -noreset matters: without it the server resets each time its last client leaves,
# and a client that connects during the reset is refused, so the probe below, or any short-lived
# client such as xdotool, could leave the program under test without a display.

XVFB_PID=""

start_display() {
  local folder="$1" deadline=$((SECONDS + 30))
  rm -f "$folder/display"
  Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 1024x768x24 \
    3>"$folder/display" 2>"$folder/xvfb.log" &
  XVFB_PID=$!
  echo "$XVFB_PID" >"$folder/xvfb.pid"
  while [ "$SECONDS" -le "$deadline" ]; do
    # The number is complete once its line ends; the server is ready once a client gets in.
    if grep -q '^[0-9][0-9]*$' "$folder/display" 2>/dev/null; then
      export DISPLAY=":$(head -n1 "$folder/display")"
      if timeout 10 xdpyinfo >/dev/null 2>&1; then return 0; fi
    fi
    kill -0 "$XVFB_PID" 2>/dev/null || break
    sleep 0.1
  done
  echo "Xvfb did not start: $(cat "$folder/xvfb.log" 2>/dev/null)" >&2
  return 1
}

stop_display() {
  [ -n "$XVFB_PID" ] || return 0
  kill "$XVFB_PID" 2>/dev/null || true
  wait "$XVFB_PID" 2>/dev/null || true
  XVFB_PID=""
}
