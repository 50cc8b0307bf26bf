#!/usr/bin/env bash
# The game under a window manager that frames its windows (openbox on a virtual X
# display): the client area is the configured 800 by 600 (the game sizes its window with
# AdjustWindowRect), and the window manager's frame lies around it; Ctrl-C (SIGINT) ends
# the program with exit code 0.
# Usage: frame_test.sh PROGRAM SOURCE_DIR. Exit 77 (skipped) when Xvfb, xdotool, xprop or
# openbox are absent.
set -u
prog=$1
root=$2

source "$(dirname "$0")/xvfb.sh"
begin_window_test "frame test" xprop openbox
start_xvfb
openbox >"$work/openbox.log" 2>&1 &
wm=$!
# The window manager is up once it has named itself on the root window.
for _ in $(seq 1 100); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
  kill -0 "$wm" 2>/dev/null || { cat "$work/openbox.log"; echo "frame test: openbox did not start, skipped"; exit 77; }
  sleep 0.05
done

cd "$root"
# With job control on, the program starts with SIGINT at its default action, as from a
# terminal (a script's background commands otherwise ignore it).
set -m
"$prog" >"$work/out.txt" 2>&1 &
pid=$!
set +m
find_window

# The frame's borders (left, right, top, bottom) as the window manager tells them, and the
# client area, which keeps its size.
# SDL may replace its first window while it sets up its renderer, so the window is looked
# up again on every try rather than trusting the first one found.
extents=
for _ in $(seq 1 100); do
  wid=$(xdotool search --name '^Tolvane$' 2>/dev/null | tail -n 1)
  extents=
  [ -n "$wid" ] && extents=$(xprop -id "$wid" _NET_FRAME_EXTENTS 2>/dev/null | sed -n 's/.*= *//p' | tr -d ' ')
  if [ -n "$extents" ]; then
    IFS=, read -r left right top bottom <<<"$extents"
    eval "$(xdotool getwindowgeometry --shell "$wid")"
    [ "$WIDTH" -eq 800 ] && [ "$HEIGHT" -eq 600 ] && break
  fi
  sleep 0.1
done
[ -n "$extents" ] || fail "the window manager gave the window no frame"
echo "frame test: borders $extents, client area ${WIDTH}x${HEIGHT}"
[ $((top + bottom + left + right)) -gt 0 ] || fail "the frame has no borders"
[ "$WIDTH" -eq 800 ] && [ "$HEIGHT" -eq 600 ] || fail "client area ${WIDTH}x${HEIGHT}, expected 800x600"

# Ctrl-C in the terminal: SIGINT.
sleep 1
kill -INT "$pid"
for _ in $(seq 1 300); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$pid" 2>/dev/null && fail "the program did not end on SIGINT"
wait "$pid"
code=$?
pid=
[ "$code" -eq 0 ] || { cat "$work/out.txt"; fail "exit code $code after SIGINT, expected 0"; }
echo "frame test: passed"
