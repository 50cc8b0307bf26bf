#!/usr/bin/env bash
# The real program in a window on a virtual X display: its window is titled "Tolvane" and
# is 800 by 600; after the key '2' (chase vehicle B) a screenshot shows the corridor's
# walls; 'T' (blending) changes them; Esc ends the program with exit code 0. The held
# arrow keys are checked from the game's trace, pass by pass (mouse_look_test.sh): a count
# of changed pixels over seconds depends on the frame rate.
# Usage: window_test.sh PROGRAM SOURCE_DIR. Exit 77 (skipped) when Xvfb or the X tools
# are absent.
set -u
prog=$1
root=$2

source "$(dirname "$0")/xvfb.sh"
begin_window_test "window test" import convert compare
start_xvfb

# The game reads its textures from the working directory's Textures folder.
cd "$root"
"$prog" >"$work/out.txt" 2>&1 &
pid=$!

find_window
[ "$WIDTH" -eq 800 ] && [ "$HEIGHT" -eq 600 ] || fail "window of ${WIDTH}x${HEIGHT}, expected 800x600"

# Pixels of the corridor's textured walls: neither the black vehicle bodies, nor the clear
# colour, nor the dim floor and ceiling. One histogram of the picture gives every count.
textured() {
  convert "$1" -alpha off -format %c histogram:info:- | awk '
    { n = $1 + 0; total += n }
    /#000000|#000055|#404040|#3F3F3F/ { other += n }
    END { print total - other }'
}
# The whole screen, cut to the window (there is no frame around it).
shot() {
  import -window root "$work/screen.png" 2>/dev/null &&
    convert "$work/screen.png" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$1"
}
press() { xdotool key "$1"; }

# SDL may replace its first window while it sets up its renderer, which a slow build
# (sanitizers) takes seconds for: keys sent to the first window are lost. Wait until the
# game's first picture is on the screen, then look the window up again and focus it.
for _ in $(seq 1 120); do
  sleep 0.5
  shot "$work/start.png" || continue
  [ "$(textured "$work/start.png")" -gt 200000 ] && break
done
find_window
focus_window

# The waits below end as soon as what they wait for is on the screen; their limits leave
# room for slow builds (sanitizers), which draw a few frames a second and take the keys
# queued behind earlier messages one per frame.

# '2' puts the camera behind vehicle B: the corridor's walls fill most of the picture.
press 2
walls=0
for _ in $(seq 1 120); do
  sleep 0.5
  shot "$work/chaseB.png" || continue
  walls=$(textured "$work/chaseB.png")
  [ "$walls" -gt 200000 ] && break
done
echo "window test: chasing vehicle B, $walls pixels of textured wall"
[ "$walls" -gt 200000 ] || fail "the corridor is not on the screen after '2'"

# 'T' blends the corridor: the walls change colour, the picture with them.
press t
changed=0
for _ in $(seq 1 120); do
  sleep 0.5
  shot "$work/blend.png" || continue
  changed=$(compare -metric AE "$work/chaseB.png" "$work/blend.png" null: 2>&1 | cut -d' ' -f1)
  changed=${changed%%.*}
  [ "${changed:-0}" -gt 150000 ] && break
done
echo "window test: $changed pixels changed after 'T'"
[ "${changed:-0}" -gt 150000 ] || fail "'T' did not change the picture"

# Esc ends the program with exit code 0.
press Escape
for _ in $(seq 1 600); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$pid" 2>/dev/null && fail "the program did not end on Esc"
wait "$pid"
code=$?
pid=
[ "$code" -eq 0 ] || { cat "$work/out.txt"; fail "exit code $code, expected 0"; }
echo "window test: passed"
