# Sourced by the tests that run a program in a window. begin_window_test NAME TOOL... skips
# (exit 77) when Xvfb, xdotool or one of the TOOLs is missing, makes the scratch folder
# $work, and on exit ends what the test started: the program ($pid), the window manager
# ($wm) and the server ($xvfb). fail MESSAGE ends the test with exit 1. start_xvfb starts
# a private Xvfb and sets DISPLAY; it exits 77 (skipped) when the server cannot start.
begin_window_test() {
  test_name=$1
  shift
  for tool in Xvfb xdotool "$@"; do
    if ! command -v "$tool" >/dev/null 2>&1; then
      echo "$test_name: $tool not found, skipped"
      exit 77
    fi
  done
  work=$(mktemp -d)
  pid=
  wm=
  xvfb=
  trap end_window_test EXIT
}

end_window_test() {
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then kill -KILL "$pid" 2>/dev/null; fi
  if [ -n "$wm" ]; then kill "$wm" 2>/dev/null; wait "$wm" 2>/dev/null; fi
  if [ -n "$xvfb" ]; then kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null; fi
  rm -rf "$work"
}

fail() { echo "$test_name: $*"; exit 1; }

start_xvfb() {
  # -displayfd hands back a display number that no other server holds, so tests running
  # side by side never meet each other's windows. -noreset: by default the server resets
  # when its last client leaves (the probe below), and a program connecting during the
  # reset is refused; SDL then quietly takes its offscreen driver and the game runs
  # without a window.
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.log" &
  xvfb=$!
  for _ in $(seq 1 100); do
    [ -s "$work/display" ] && break
    kill -0 "$xvfb" 2>/dev/null || { cat "$work/xvfb.log"; echo "Xvfb did not start, skipped"; exit 77; }
    sleep 0.05
  done
  [ -s "$work/display" ] || fail "Xvfb gave no display number"
  export DISPLAY=":$(head -n 1 "$work/display")"
  unset WAYLAND_DISPLAY
  # The server answers before the program starts: SDL falls back to no display otherwise.
  for _ in $(seq 1 100); do
    xdotool getdisplaygeometry >/dev/null 2>&1 && break
    sleep 0.05
  done
  xdotool getdisplaygeometry >/dev/null 2>&1 || fail "the X server on $DISPLAY does not answer"
}

# Waits for the window titled Tolvane of process $pid; sets wid and evaluates its geometry
# (X, Y, WIDTH, HEIGHT). SDL may make the window again when it sets up its renderer: a
# window is taken once its geometry can be read.
find_window() {
  wid=
  local geometry=
  for _ in $(seq 1 150); do
    wid=$(xdotool search --name '^Tolvane$' 2>/dev/null | tail -n 1)
    if [ -n "$wid" ] && geometry=$(xdotool getwindowgeometry --shell "$wid" 2>/dev/null); then
      break
    fi
    geometry=
    kill -0 "$pid" 2>/dev/null || { cat "$work/out.txt"; fail "the program ended before its window appeared"; }
    sleep 0.1
  done
  [ -n "$geometry" ] || { cat "$work/out.txt"; fail "no window titled Tolvane"; }
  eval "$geometry"
}

# Gives the window the input focus: without a window manager, a real (XTEST) click into
# it and the focus set directly. Keys sent with --window are synthetic and SDL ignores them.
focus_window() {
  xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 1
  xdotool windowfocus --sync "$wid" 2>/dev/null || true
  sleep 0.3
}
