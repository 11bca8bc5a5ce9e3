#!/usr/bin/env bash
# Runs the real program in broken and hostile surroundings, each time from a
# fresh copy of its build folder (program and data), and checks that it
# carries on (or, for a picture whose frames do not fit, ends as a fatal
# error must). Runs inside an X server: CTest wraps it in scripts/xvfb-run.sh.
# Random, huge and re-encoded state files are the state fuzzer's job.
# Usage: hostile.sh <quillet> <data folder> <x_window_state> <state seed>
set -u
quillet=$1 data=$2 wm=$3 seed_state=$4
work=$(mktemp -d)
chmod 755 "$work"
pid=
trap '[ -n "$pid" ] && kill -9 "$pid" 2>/dev/null; chmod -R u+w "$work"; rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL [$case]: $*"; failures=$((failures + 1)); }

# A fresh copy of the build folder for one case: $dir.
fresh() {
  case=$1
  dir=$work/$case
  mkdir -p "$dir"
  cp "$quillet" "$dir/quillet"
  cp -r "$data" "$dir/data"
  chmod -R a+rX "$dir"
}

# Starts the program in $dir (extra arguments run before it, e.g. env or
# setpriv) with stdin closed, and waits for its window.
start() {
  (cd "$dir" && exec "$@" ./quillet </dev/null >"$dir/out" 2>"$dir/err") &
  pid=$!
  wid=
  for _ in $(seq 100); do
    wid=$(xdotool search --pid "$pid" --name '^Quillet$' 2>/dev/null | head -1)
    [ -n "$wid" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
}

# The program must still run after $1 seconds; then it is stopped.
runs_for() {
  sleep "$1"
  if ! kill -0 "$pid" 2>/dev/null; then
    wait "$pid"
    fail "ended early with status $?: $(tail -n 5 "$dir/out" "$dir/err" | tr '\n' ' ')"
    pid=
    return 1
  fi
  kill -9 "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  pid=
  if grep -q "Dovel Runtime Error" "$dir/out"; then fail "runtime error: $(grep -m1 Error "$dir/out")"; fi
  return 0
}

printed() { grep -qxF -- "$1" "$dir/out" || fail "did not print '$1'"; }

# No sound card: the device does not open, the game says so and runs silently.
fresh no-sound
start env ALSOFT_DRIVERS=no-such-driver
runs_for 4
printed "OpenAl error: alcOpenDevice failed"

# Losing the focus suspends the game, which saves. In a read-only working
# folder the save fails, the game goes on and the old file stays as it was;
# the same moves in a writable folder replace the file (a new inode), which
# shows that they do make the game save. The program runs as an unprivileged
# user, for whom the folder's modes count.
suspend_and_resume() {
  if [ -z "$wid" ]; then
    fail "no window"
    return
  fi
  sleep 1.5
  "$wm" focus "$wid"; sleep 0.5
  "$wm" unfocus; sleep 0.5
  "$wm" iconify "$wid"; sleep 0.5
  "$wm" restore "$wid"; "$wm" focus "$wid"
}
for mode in writable read-only; do
  fresh "$mode"
  cp "$seed_state" "$dir/.dovelstate"
  inode=$(stat -c %i "$dir/.dovelstate")
  if [ "$mode" = writable ]; then
    chown -R 65534:65534 "$dir"
  else
    chmod 444 "$dir/.dovelstate"
    chmod 555 "$dir"
  fi
  start setpriv --reuid=65534 --regid=65534 --clear-groups env ALSOFT_DRIVERS=null
  suspend_and_resume
  runs_for 2
  printed "Settings Loaded"
  cmp -s "$seed_state" "$dir/.dovelstate" || fail "the state file's content changed"
  if [ "$mode" = writable ]; then
    [ "$(stat -c %i "$dir/.dovelstate")" != "$inode" ] || fail "the game did not save"
  else
    [ "$(stat -c %i "$dir/.dovelstate")" = "$inode" ] || fail "the state file was replaced"
    chmod 755 "$dir"
  fi
  [ -z "$(ls -A "$dir" | grep '\.tmp\.')" ] || fail "a temporary file was left"
done

# No data folder at all: every slot stays empty, the game runs.
fresh no-data
rm -rf "$dir/data"
start env ALSOFT_DRIVERS=null
runs_for 4

# One picture missing: the logo of the loading screen.
fresh no-logo
rm -f "$dir"/data/common/BrevoLogo*.png
start env ALSOFT_DRIVERS=null
runs_for 4

# A picture whose frame grid does not fit: the logo shrunk to 16 x 16. The
# fatal error is printed, the debug protocol's lines go to stderr, and with
# no debugger on stdin the program ends with status -1.
fresh small-logo
for logo in "$dir"/data/common/BrevoLogo*.png; do convert -size 16x16 xc:red "png32:$logo"; done
start env ALSOFT_DRIVERS=null
for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$pid" 2>/dev/null; then
  fail "still running"
  kill -9 "$pid"
fi
wait "$pid"
status=$?
pid=
[ "$status" = 255 ] || fail "status $status, not 255"
printed "Dovel Runtime Error : Image frame outside surface"
grep -q '^{{~~.*~~}}$' "$dir/err" || fail "no debug position line on stderr: $(head -c 200 "$dir/err")"

# The window resized to one pixel, to larger than the screen, minimised and
# restored, while keys are pressed.
fresh window
start env ALSOFT_DRIVERS=null
if [ -n "$wid" ]; then
  "$wm" focus "$wid"
  for size in "1 1" "4000 3000" "1 1" "640 480"; do
    xdotool windowsize "$wid" $size
    xdotool key --window "$wid" Return Down Up
    sleep 0.7
  done
  xdotool windowminimize "$wid" 2>/dev/null
  "$wm" iconify "$wid"; sleep 0.7
  "$wm" restore "$wid"; "$wm" focus "$wid"; sleep 0.5
else
  fail "no window"
fi
runs_for 1

echo "$failures failure(s)"
[ "$failures" = 0 ]
