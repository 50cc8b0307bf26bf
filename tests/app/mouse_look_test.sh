#!/usr/bin/env bash
# Mouse look in a real window on a virtual X display, read back from the game's own trace:
# the capture tool runs the game in a window (--window) while xdotool drags with the left
# button (XTEST events, as a user's). In every frame the game turns by one step towards
# each direction in which the cursor moved since the last frame with the button held:
# right and left, up and down, and inverted after F3. The cursor the game read must be
# where xdotool put the pointer. Then the Down arrow, held for some passes, looks down by
# one step a pass and turns nothing, and once it is let go the camera rests; counted in
# passes of the trace, whatever the frame rate. SIGTERM then ends the program with exit
# code 0.
# Usage: mouse_look_test.sh CAPTURE_PROGRAM SOURCE_DIR. Exit 77 (skipped) when Xvfb or
# xdotool are absent.
set -u
prog=$1
root=$2

source "$(dirname "$0")/xvfb.sh"
begin_window_test "mouse look test" awk
start_xvfb

cd "$root"
"$prog" --window --frames 100000000 --trace "$work/trace.jsonl" >"$work/out.txt" 2>&1 &
pid=$!
find_window
focus_window

# Lines of the trace so far.
passes() { wc -l <"$work/trace.jsonl"; }
# Waits until the game has run a few more passes.
settle() {
  local start
  start=$(passes)
  for _ in $(seq 1 100); do
    [ "$(passes)" -gt $((start + 5)) ] && return
    sleep 0.05
  done
  fail "the game stopped running passes"
}

# Waits until the game has run at least one more pass, so that a slow build (sanitizers)
# sees each move in a frame of its own, as a fast one does.
next_pass() {
  local start
  start=$(passes)
  for _ in $(seq 1 250); do
    [ "$(passes)" -gt "$start" ] && return
    sleep 0.02
  done
  fail "the game stopped running passes"
}

# A drag of 12 moves of (DX, DY) pixels from the window's centre, a pass or more apart.
cx=$((X + WIDTH / 2))
cy=$((Y + HEIGHT / 2))
drag() {
  xdotool mousemove "$cx" "$cy"
  settle
  xdotool mousedown 1
  settle
  for _ in $(seq 1 12); do
    xdotool mousemove_relative -- "$1" "$2"
    next_pass
  done
  settle
  xdotool mouseup 1
  settle
}

drag 12 0
drag -12 0
drag 0 -10
drag 0 10
xdotool key F3
settle
drag 0 -10
# The last drag ended 120 pixels above the centre.
last_x=$cx
last_y=$((cy - 120))

# The Down arrow held for 30 passes or more, then let go. Every pass from here on is read
# as part of the key's stretch (the trace file lags the game by a few passes).
key_from=$(passes)
xdotool keydown Down
for _ in $(seq 1 30); do next_pass; done
xdotool keyup Down
settle
settle

# kill -TERM closes the window: the program ends with exit code 0.
kill -TERM "$pid"
for _ in $(seq 1 300); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$pid" 2>/dev/null && fail "the program did not end on SIGTERM"
wait "$pid"
code=$?
pid=
[ "$code" -eq 0 ] || { cat "$work/out.txt"; fail "exit code $code after SIGTERM, expected 0"; }

# Per pass: the yaw and pitch of the camera's forward axis and the cursor the game read.
# A pass with the button held (and not paused) must turn by exactly one step of 0.005
# towards the sign of each cursor difference, and not at all along an axis that did not
# move; every other pass leaves the camera alone.
awk -v last_x="$last_x" -v last_y="$last_y" -v key_from="$key_from" '
  function field(name,   at, rest) {
    at = index($0, "\"" name "\":")
    rest = substr($0, at + length(name) + 3)
    sub(/^\[/, "", rest)
    return rest
  }
  function sign(v) { return v > 0 ? 1 : v < 0 ? -1 : 0 }
  function step(d) { return d > 0.0045 && d < 0.0055 ? 1 : d < -0.0045 && d > -0.0055 ? -1 : (d > -0.0005 && d < 0.0005 ? 0 : 99) }
  {
    split(field("forward"), f, /[],]/)
    yaw = atan2(f[1], f[3])
    pitch = atan2(f[2], sqrt(f[1] * f[1] + f[3] * f[3]))
    split(field("cursor"), c, /[],]/)
    down = index($0, "\"down\":true") > 0
    inverted = index($0, "\"inverted\":true") > 0
    paused = index($0, "\"paused\":true") > 0
    if (NR > 1) {
      turn = step(yaw - last_yaw)
      look = step(pitch - last_pitch)
      if (NR > key_from) {
        # The held Down arrow: one step down or nothing (before the key arrives, after it
        # is let go); never a turn.
        if (turn != 0 || (look != -1 && look != 0)) {
          printf "pass %d: with the Down arrow the camera turned %d and looked %d\n", NR - 1, turn, look
          bad++
        }
        if (look == -1) { key_down++; last_look = NR }
      } else if (down && !paused) {
        dx = sign(c[1] - px); dy = sign(c[2] - py)
        want_look = inverted ? dy : -dy
        if (turn != dx || look != want_look) {
          printf "pass %d: cursor moved by (%d, %d), camera turned %d and looked %d\n", NR - 1, c[1] - px, c[2] - py, turn, look
          bad++
        }
        if (dx > 0) right++
        if (dx < 0) left++
        if (dy < 0 && !inverted) up++
        if (dy > 0) lower++
        if (dy < 0 && inverted) inverted_up++
      } else if (turn != 0 || look != 0) {
        printf "pass %d: the camera moved without a drag\n", NR - 1
        bad++
      }
    }
    last_yaw = yaw; last_pitch = pitch; px = c[1]; py = c[2]
  }
  END {
    printf "mouse look test: %d passes; frames with the cursor moving right %d, left %d, up %d, down %d, up inverted %d\n", NR, right, left, up, lower, inverted_up
    printf "mouse look test: %d passes looked down with the Down arrow held\n", key_down
    if (right < 5 || left < 5 || up < 5 || lower < 5 || inverted_up < 5) { print "mouse look test: a drag did not reach the game"; exit 1 }
    if (key_down < 10) { print "mouse look test: the Down arrow did not look down"; exit 1 }
    if (NR - last_look < 5) { print "mouse look test: the camera still looked down after the Down arrow was let go"; exit 1 }
    if (px != last_x || py != last_y) { printf "mouse look test: the game read the cursor at (%d, %d), the pointer was at (%d, %d)\n", px, py, last_x, last_y; exit 1 }
    if (bad > 0) { printf "mouse look test: %d passes turned the wrong way\n", bad; exit 1 }
  }' "$work/trace.jsonl" || fail "the camera did not follow the mouse"
echo "mouse look test: passed"
