#!/usr/bin/env bash
# The program's options and its choice of working folder, on the real binary
# (CTest runs this inside xvfb-run).
# Usage: command_line_test.sh <quillet> <version> <data folder> <x_window_state>
set -u
program=$1
version=$2
data=$3
wm=$4
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
. "$ROOT/scripts/session-lib.sh"
session_scratch
failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Each row: arguments | exit status | expected standard output | expected
# standard error. An expectation is a pattern (grep -E) that the whole text,
# joined into one line with "~" between lines, must match; "" means empty.
cases=(
  "--help|0|^usage: quillet .*~Controls.*F10.*~Files.*data/.*\.dovelstate|"
  "-h|0|^usage: quillet |"
  "--version|0|^quillet ${version//./\\.}$|"
  "-V|0|^quillet ${version//./\\.}$|"
  "--bogus|2||^quillet: unknown option '--bogus'~usage: quillet [^~]*$"
  "plain --help|0|^usage: quillet |"
  "--bogus --help|2||unknown option '--bogus'"
)

joined() { tr '\n' '~' <"$1" | sed 's/~$//'; }

matches() {
  local text=$1 pattern=$2
  if [ -z "$pattern" ]; then [ -z "$text" ]; else printf '%s' "$text" | grep -Eq -- "$pattern"; fi
}

for row in "${cases[@]}"; do
  IFS='|' read -r args want_status want_out want_err <<<"$row"
  status=0
  # shellcheck disable=SC2086
  "$program" $args </dev/null >"$work/out" 2>"$work/err" || status=$?
  out=$(joined "$work/out")
  err=$(joined "$work/err")
  [ "$status" = "$want_status" ] || fail "$args: status $status, want $want_status"
  matches "$out" "$want_out" || fail "$args: standard output '$out' does not match '$want_out'"
  matches "$err" "$want_err" || fail "$args: standard error '$err' does not match '$want_err'"
done

# No data/ in the working folder nor beside the program: one line on standard
# error names both folders, then the start goes on as before (here into the
# missing display). Plain arguments are the game's, not options.
mkdir -p "$work/lone" "$work/elsewhere"
cp "$program" "$work/lone/quillet"
cd "$work/elsewhere"
status=0
env -u DISPLAY -u WAYLAND_DISPLAY "$work/lone/quillet" one two </dev/null >"$work/out" 2>"$work/err" || status=$?
[ "$(grep -c '^quillet:' "$work/err")" = 1 ] && grep -q "no data folder in $work/elsewhere or $work/lone" "$work/err" ||
  fail "no data anywhere: standard error '$(joined "$work/err")'"
[ "$(joined "$work/out")" = "glfwInit failed" ] && [ "$status" = 255 ] ||
  fail "no data anywhere: start-up did not go on (status $status, output '$(joined "$work/out")')"

# Started from another folder, the program runs in its own folder, which holds
# data/, says nothing about it and ends normally when its window is closed.
mkdir -p "$work/game"
cp "$program" "$work/game/quillet"
ln -s "$data" "$work/game/data"
session_start 30 env ALSOFT_DRIVERS=null "$work/game/quillet"
if [ -z "$wid" ]; then
  fail "started from elsewhere: no window; $(joined "$work/err")"
else
  [ "$(readlink "/proc/$pid/cwd")" = "$work/game" ] || fail "started from elsewhere: runs in $(readlink "/proc/$pid/cwd")"
  session_close
  [ "$status" = 0 ] || fail "started from elsewhere: status $status"
  ! grep -q '^quillet:' "$work/err" || fail "started from elsewhere: standard error '$(joined "$work/err")'"
fi

[ "$failures" = 0 ] && echo "command line: all cases pass"
exit $((failures > 0))
