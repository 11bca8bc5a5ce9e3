#!/usr/bin/env bash
# Drives the real window under Xvfb (CTest starts this inside xvfb-run with a
# 1280x1024 screen): checks the window's size, place and title, injects keys,
# characters, mouse buttons, motion and a close request with xdotool, plays
# the window manager's iconify and focus changes, and compares the event lines
# the probe prints with the sequences the host must produce.
# Usage: window_test.sh <window_probe> <x_window_state>
set -u
probe=$1
wm=$2
work=$(mktemp -d)
log=$work/log
trap 'kill $pid 2>/dev/null; rm -rf "$work"' EXIT
failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Waits (at most 10 s) until a log line after line $2 (default 0) matches
# the pattern $1 in full, and prints that line.
wait_line() {
  for _ in $(seq 200); do
    tail -n +"$((${2:-0} + 1))" "$log" | grep -m1 -x -- "$1" && return 0
    sleep 0.05
  done
  fail "no line '$1'"
  return 1
}

# Runs one step and compares the event lines it produces with the expected
# ones: waits (at most 10 s) for as many lines as expected, then a little
# longer so that any surplus line shows up too.
check() {
  local name=$1 expected=$2
  shift 2
  local before want got
  before=$(wc -l < "$log")
  want=$(printf '%s' "$expected" | grep -c '')
  "$@"
  for _ in $(seq 200); do
    [ "$(($(wc -l < "$log") - before))" -ge "$want" ] && break
    sleep 0.05
  done
  sleep 0.3
  got=$(tail -n +"$((before + 1))" "$log")
  if [ "$got" != "$expected" ]; then
    fail "$name"
    echo "  expected: $(echo "$expected" | tr '\n' '|')"
    echo "  got:      $(echo "$got" | tr '\n' '|')"
  fi
}

"$probe" > "$log" 2>"$work/err" &
pid=$!
wait_line "ready 640 480 1" > /dev/null || { cat "$log" "$work/err"; exit 1; }
wait_line "desktop 1280 1024 8 8 8 [1-9][0-9]*" > /dev/null || fail "desktop mode"
wid=$(xdotool search --name '^Quillet$' | head -1)
[ -n "$wid" ] || { echo "FAIL: no window titled Quillet"; exit 1; }
geometry=$(xwininfo -id "$wid")
x=$(awk '/Absolute upper-left X/ {print $4}' <<<"$geometry")
y=$(awk '/Absolute upper-left Y/ {print $4}' <<<"$geometry")
w=$(awk '/Width:/ {print $2}' <<<"$geometry")
h=$(awk '/Height:/ {print $2}' <<<"$geometry")
[ "$w x $h" = "640 x 480" ] || fail "window is $w x $h"
[ "$x,$y" = "320,272" ] || fail "window at $x,$y, not centred on 1280x1024"
"$wm" focus "$wid"
sleep 0.3

check delete $'key 1 46\nkey 3 127\nkey 2 46' xdotool key Delete
check left $'key 1 37\nkey 3 65573\nkey 2 37' xdotool key Left
check letter $'key 1 65\nkey 3 97\nkey 2 65' xdotool key a
check shifted $'key 1 16\nkey 1 65\nkey 3 65\nkey 2 65\nkey 2 16' \
  xdotool keydown Shift_L key a keyup Shift_L
check control $'key 1 17\nkey 2 17' xdotool keydown Control_L keyup Control_L
check alt-ignored '' xdotool key Alt_L
check keypad-only-types $'key 3 53' xdotool key KP_5
check motion $'mouse 6 -1 100 50' xdotool mousemove --window "$wid" 100 50
check left-button $'mouse 4 0 100 50\nmouse 5 0 100 50' xdotool click 1
check right-button $'mouse 4 1 100 50\nmouse 5 1 100 50' xdotool click 3
check middle-button $'mouse 4 2 100 50\nmouse 5 2 100 50' xdotool click 2
check extra-button-ignored '' xdotool click 8
check close $'key 1 432\nkey 2 432' "$wm" close "$wid"
xwininfo -id "$wid" > /dev/null 2>&1 || fail "window gone after the close request"

# Focus lost: suspended, still drawn, not updated; focus back: resumed.
start=$(wc -l < "$log")
"$wm" unfocus
wait_line suspend "$start" > /dev/null
sleep 0.3
"$wm" focus "$wid"
resume=$(wait_line 'resume .*' "$start")
read -r _ renders updates <<<"$resume"
[ "$updates" = 0 ] || fail "updated while unfocused: $resume"
[ "${renders:-0}" -ge 1 ] || fail "not drawn while unfocused: $resume"

# Iconified: suspended, neither drawn nor updated.
start=$(wc -l < "$log")
"$wm" iconify "$wid"
wait_line suspend "$start" > /dev/null
sleep 0.3
"$wm" restore "$wid"
resume=$(wait_line 'resume .*' "$start")
[ "$resume" = "resume 0 0" ] || fail "drawn or updated while iconified: $resume"

# Re-opening the window while Shift is held releases Shift first.
sleep 0.2
start=$(wc -l < "$log")
xdotool keydown Shift_L
wait_line "key 1 16" "$start" > /dev/null
xdotool key F2
wait_line "reopened 2" "$start" > /dev/null
xdotool keyup Shift_L
sequence=$(tail -n +"$((start + 1))" "$log" | grep -v '^key 2 113$' | head -4 | tr '\n' '|')
[ "$sequence" = "key 1 16|key 1 113|key 2 16|reopened 2|" ] ||
  fail "held Shift not released before the re-open: $sequence"
wid=$(xdotool search --name '^Quillet$' | head -1)
geometry=$(xwininfo -id "$wid")
[ "$(awk '/Absolute upper-left X/ {print $4}' <<<"$geometry")" = 320 ] || fail "re-opened window not centred"

"$wm" focus "$wid"
xdotool key F3
wait "$pid"
status=$?
[ "$status" = 0 ] || fail "probe exit status $status"
if [ "$failures" -ne 0 ]; then
  echo "--- event log"; cat "$log"
  exit 1
fi
echo "window test passed"
