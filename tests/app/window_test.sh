#!/usr/bin/env bash
# The real program in a window on a virtual X display: its window is titled "Tolvane", a
# screenshot shows white axis lines on the clear colour, and Esc typed into the window
# ends the program with exit code 0.
# Usage: window_test.sh PROGRAM SOURCE_DIR. Exit 77 (skipped) when Xvfb or the X tools
# are absent.
set -u
prog=$1
root=$2

for tool in Xvfb xdotool import convert; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "window test: $tool not found, skipped"
    exit 77
  fi
done

work=$(mktemp -d)
pid=
xvfb=
cleanup() {
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then kill "$pid" 2>/dev/null; fi
  if [ -n "$xvfb" ]; then kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null; fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "window test: $*"; exit 1; }

# Our own server: -displayfd hands back a display number that no other server holds, so
# tests running side by side never meet each other's windows.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
for _ in $(seq 1 100); do
  [ -s "$work/display" ] && break
  kill -0 "$xvfb" 2>/dev/null || { cat "$work/xvfb.log"; echo "window test: Xvfb did not start, skipped"; exit 77; }
  sleep 0.05
done
[ -s "$work/display" ] || fail "Xvfb gave no display number"
export DISPLAY=":$(head -n 1 "$work/display")"
unset WAYLAND_DISPLAY

# The game reads its textures from the working directory's Textures folder.
cd "$root"
"$prog" >"$work/out.txt" 2>&1 &
pid=$!

wid=
for _ in $(seq 1 150); do
  wid=$(xdotool search --name '^Tolvane$' 2>/dev/null | head -n 1)
  [ -n "$wid" ] && break
  kill -0 "$pid" 2>/dev/null || { cat "$work/out.txt"; fail "the program ended before its window appeared"; }
  sleep 0.1
done
[ -n "$wid" ] || fail "no window titled Tolvane"

# Frames are presented continuously; give the first ones time to arrive.
count() {  # pixels of colour $2 in image $1
  convert "$1" -alpha off -fill black +opaque "$2" -fill white -opaque "$2" -format '%[fx:round(mean*w*h)]' info:
}
white=0
clear=0
for _ in $(seq 1 50); do
  sleep 0.2
  import -window root "$work/shot.png" 2>/dev/null || continue
  white=$(count "$work/shot.png" '#FFFFFF')
  clear=$(count "$work/shot.png" '#000055')
  [ "$white" -gt 500 ] && [ "$clear" -gt 200000 ] && break
done
echo "window test: $white white pixels, $clear pixels of the clear colour"
[ "$white" -gt 500 ] || fail "no axis lines on the screen"
[ "$clear" -gt 200000 ] || fail "the back buffer is not cleared to 0x000055"

# No window manager: a real (XTEST) click into the window, and the input focus set
# directly, before typing. Keys sent with --window are synthetic and SDL ignores them.
geometry=$(xdotool getwindowgeometry --shell "$wid") || fail "the window's geometry cannot be read"
eval "$geometry"
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 1
xdotool windowfocus --sync "$wid" 2>/dev/null || true
sleep 0.3
xdotool key Escape

for _ in $(seq 1 100); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$pid" 2>/dev/null && fail "the program did not end on Esc"
wait "$pid"
code=$?
pid=
[ "$code" -eq 0 ] || { cat "$work/out.txt"; fail "exit code $code, expected 0"; }
echo "window test: passed"
